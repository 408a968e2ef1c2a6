#pragma once
// The wait cursor over every window while a connection opens or a statement runs; the
// normal cursor is back before any message about its outcome is shown.

#include <functional>

namespace tp {

void installBusyCursor();

// Runs `attempt` on a thread of its own and returns when it is over; meanwhile this thread
// goes on painting the windows and serving timers, but takes no user input (keys, clicks,
// closing a window wait until after). For a connection that may take the whole login
// time-out to fail (Connection::setOpenWait); `attempt` must touch no Qt object.
void waitKeepingWindowsPainted(const std::function<void()>& attempt);

} // namespace tp
