#pragma once

namespace tp {

// Installs the file window's handlers on every instance of Form4 as it is loaded.
void installFileAttach();

} // namespace tp
