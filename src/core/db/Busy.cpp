#include "Busy.h"

namespace tp {

namespace {
    BusyCallback& callback()
    {
        static BusyCallback c;
        return c;
    }
    int g_depth = 0;
} // namespace

BusyCallback setBusyCallback(BusyCallback c)
{
    BusyCallback previous = std::move(callback());
    callback() = std::move(c);
    return previous;
}

BusyScope::BusyScope()
{
    if (g_depth++ == 0 && callback())
        callback()(true);
}

BusyScope::~BusyScope()
{
    if (--g_depth == 0 && callback())
        callback()(false);
}

} // namespace tp
