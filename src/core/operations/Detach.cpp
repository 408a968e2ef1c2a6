#include "Detach.h"

#include "Ado.h"
#include "ErrorHints.h"
#include "Statements.h"

namespace tp {

void detachDatabase(Connection& master, const QString& name, NameLiteral literal)
{
    try {
        master.execute(literal == NameLiteral::Unicode ? detachDatabaseUnicodeStatement(name)
                                                       : detachDatabaseStatement(name));
    } catch (const DbError& e) {
        throw OperationError(e, { Operation::Detach, name });
    }
}

} // namespace tp
