#pragma once

namespace tp {

// Registers form2's load hook that installs the path display (PathTimer.h). Call once at
// start-up.
void installAccountYearPaths();

} // namespace tp
