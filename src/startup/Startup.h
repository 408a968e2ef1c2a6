#pragma once

namespace tp {

// Installs every subsystem's handlers on the window instances. Call once, before the
// first window is referenced.
void installAll();

} // namespace tp
