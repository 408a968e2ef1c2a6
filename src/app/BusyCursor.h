#pragma once
// The wait cursor over every window while a connection opens or a statement runs; the
// normal cursor is back before any message about its outcome is shown.

namespace tp {

void installBusyCursor();

} // namespace tp
