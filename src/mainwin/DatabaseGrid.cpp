#include "DatabaseGrid.h"

#include "DataControl.h"
#include "DataGrid.h"
#include "ErrorBoundary.h"
#include "SignIn.h"
#include "Statements.h"
#include "Windows.h"

namespace tp {

namespace {
DataControl* adodc1()
{
    return control<DataControl>(Windows::form2(), QStringLiteral("Adodc1"));
}
DataGrid* dataGrid1()
{
    return control<DataGrid>(Windows::form2(), QStringLiteral("DataGrid1"));
}
} // namespace

void setupDatabaseGrid()
{
    DataControl* dc = adodc1();
    dc->setConnectionString(masterConnectionString());
    dc->setRecordSource(databaseListSetupSource());
    dataGrid1()->setDataSource(dc);
    // The data control's own first fetch, as when its window comes up.
    try {
        dc->refresh();
    } catch (const DbError& e) {
        reportDbError(e);
    }
}

void refreshDatabaseGrid()
{
    DataControl* dc = adodc1();
    dc->setConnectionString(masterConnectionString());
    dc->setRecordSource(databaseListRefreshSource());
    dataGrid1()->setDataSource(dc);
    dc->refresh();
}

} // namespace tp
