#pragma once
// The main window's own inputs: the drive and folder lists feeding the data root (Text1),
// the digit filter of the number boxes, select-on-focus, the exit paths and the button that
// opens the file window.

namespace tp {

// Registers form2's load hook that installs these handlers, and its unload hook (closing
// the main window ends the application). Call once at start-up.
void installMainWindowInputs();

} // namespace tp
