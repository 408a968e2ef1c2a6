#pragma once

#include <functional>

class QWidget;

namespace tp {

// Installs every subsystem's handlers on the window instances. Call once, before the
// first window is referenced.
void installAll();

// The whole program: the application object, Qt's own texts in Chinese, the wait cursor, every
// handler, then the login window shown; returns the exit status when the application ends,
// after the windows still loaded are gone. `beforeShow`, when given, is called with the login
// window just before it is shown (the start-up benchmark watches its first paint so).
int runTallyport(int& argc, char** argv, const std::function<void(QWidget& login)>& beforeShow = {});

} // namespace tp
