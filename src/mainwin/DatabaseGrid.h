#pragma once
// The main window's database grid: form2.DataGrid1 fed by form2.Adodc1 with the master
// connection string.

namespace tp {

// Run once by form2's load sequence. Record source "select name  from sysdatabases ORDER BY
// name" (two blanks, fixed). The first fetch follows at once; if it fails, the error is
// reported in a message box here and the grid stays empty. Never throws for a DbError.
void setupDatabaseGrid();

// Run after every attach or detach. Record source "select name from sysdatabases ORDER BY
// name" (one blank, fixed), the grid bound again, the data control refreshed.
// Throws DbError when the refresh fails; the grid is then empty.
void refreshDatabaseGrid();

} // namespace tp
