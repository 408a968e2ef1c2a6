#include "YearStep.h"

#include "AccountYear.h"
#include "Ado.h"
#include "AttachStep.h"
#include "BoxText.h"
#include "DatabaseGrid.h"
#include "ErrorHints.h"
#include "NumberText.h"
#include "SignIn.h"
#include "Statements.h"
#include "Windows.h"

#include <memory>

namespace tp {

void yearStep()
{
    QWidget& form2 = Windows::form2();
    const AccountYearPaths year = accountYear(boxText(form2, QStringLiteral("Text1")),
        boxText(form2, QStringLiteral("Text2")), boxText(form2, QStringLiteral("Text3")));

    auto connection = std::make_shared<Connection>(); // closed by its destructor if a later call throws
    connection->setConnectionString(masterConnectionString());
    try {
        connection->open();
    } catch (const DbError& e) {
        throw OperationError(e, { Operation::YearAttach, year.databaseName });
    }
    // A year whose database already uses these files counts as attached: the reply to an
    // earlier attempt may have been lost after the server had done it.
    attachFiles(connection, year.databaseName, year.dataFilePath, year.logFilePath, Operation::YearAttach);
    connection->close();

    // Read the box again, as the year that was just attached.
    const qint64 attached = numberFromText(boxText(form2, QStringLiteral("Text3")));
    setBoxText(form2, QStringLiteral("Text3"), textFromNumber(saturatingAdd(attached, 1)));

    refreshDatabaseGrid();
}

} // namespace tp
