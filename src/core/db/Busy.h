#pragma once
// While a connection opens or a statement runs, the caller waits on the network (a stopped
// server takes the whole login time-out). The access layer marks those waits with a
// BusyScope; the application installs a callback that shows it (the wait cursor), so this
// layer holds no window code. Scopes nest: the callback hears true when the first one opens
// and false when the last one closes, before any error leaves the access layer.

#include <functional>

namespace tp {

using BusyCallback = std::function<void(bool busy)>;

// Installs the callback (nullptr: none); returns the one installed before.
BusyCallback setBusyCallback(BusyCallback callback);

class BusyScope
{
public:
    BusyScope();
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
};

} // namespace tp
