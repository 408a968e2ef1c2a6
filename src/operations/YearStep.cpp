#include "YearStep.h"

#include "AccountYear.h"
#include "Ado.h"
#include "BoxText.h"
#include "DatabaseGrid.h"
#include "NumberText.h"
#include "SignIn.h"
#include "Statements.h"
#include "Windows.h"

namespace tp {

void yearStep()
{
    QWidget& form2 = Windows::form2();
    const AccountYearPaths year = accountYear(boxText(form2, QStringLiteral("Text1")),
        boxText(form2, QStringLiteral("Text2")), boxText(form2, QStringLiteral("Text3")));

    Connection connection; // closed by its destructor if a later call throws
    connection.setConnectionString(masterConnectionString());
    connection.open();
    connection.execute(attachDatabaseStatement(year.databaseName, year.dataFilePath, year.logFilePath));
    connection.close();

    // Read the box again, as the year that was just attached.
    const qint64 attached = numberFromText(boxText(form2, QStringLiteral("Text3")));
    setBoxText(form2, QStringLiteral("Text3"), textFromNumber(saturatingAdd(attached, 1)));

    refreshDatabaseGrid();
}

} // namespace tp
