#include "Application.h"

#include "Windows.h"

#include <QCoreApplication>

namespace tp {

namespace {
std::function<void()>& endHandler()
{
    static std::function<void()> h;
    return h;
}
bool g_ending = false;
} // namespace

void endApplication()
{
    if (endHandler()) {
        endHandler()();
        return;
    }
    if (g_ending)
        return;
    g_ending = true;
    Windows::unloadAll();
    QCoreApplication::exit(0);
}

void setEndApplicationHandler(std::function<void()> handler)
{
    endHandler() = std::move(handler);
}

bool applicationEnding()
{
    return g_ending;
}

} // namespace tp
