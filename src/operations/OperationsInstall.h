#pragma once

namespace tp {

// Installs the account-year operations on the main window, for every instance it loads:
// Command8 (year step), Command2 (detach), Command3 (shrink log), Command9 (shrink data file).
void installOperations();

} // namespace tp
