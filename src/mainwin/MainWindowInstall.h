#pragma once

namespace tp {

// Installs the main window's load sequence (the current year into Text3, the data root from
// Dir1 into Text1, the database grid setup) and the grid's mouse handler (the current
// cell's text into Text5).
void installMainWindow();

} // namespace tp
