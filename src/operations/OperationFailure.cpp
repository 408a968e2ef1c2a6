#include "OperationFailure.h"

#include "DatabaseGrid.h"

namespace tp {

void throwOperationError(const DbError& e, ErrorContext context)
{
    const bool selected = context.operation == Operation::Detach || context.operation == Operation::Shrink;
    const bool gone = e.number() == 911 || e.number() == 4060 || e.number() == 15010;
    if (selected && gone) {
        try {
            refreshDatabaseGrid();
            context.listRefreshed = true;
        } catch (const DbError&) {
            // The hint then asks for the refresh instead; the first error is the one to report.
        }
    }
    throw OperationError(e, context);
}

} // namespace tp
