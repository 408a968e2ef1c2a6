#pragma once
// The year step: the click action of form2's hidden Command8, which the multi-year run's tick
// calls directly as an ordinary procedure.

namespace tp {

// Attaches the account-year database that form2's Text1 (data root), Text2 (account set) and
// Text3 (year) name at this moment, over a command connection with the master connection
// string; then advances Text3 by one and refreshes the database grid. A year whose database is
// already attached with the same files counts as attached (attachFiles). Shows no message
// and tests no file. Throws OperationError when the server refuses (or cannot be reached): the step then
// ends where it failed, Text3 keeps the failing year, the grid is not refreshed, and the
// connection it opened is closed.
void yearStep();

} // namespace tp
