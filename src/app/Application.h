#pragma once
// Ending the application. Exit buttons, closing the login or the main window, and an
// internal failure all end the whole application at once through endApplication().

#include <functional>

namespace tp {

// Ends the application: every window goes away (connections held by them close) and the
// event loops return. Tests install a handler instead, which is called in place of that.
void endApplication();
void setEndApplicationHandler(std::function<void()> handler); // nullptr restores the real end
// True once the real end has begun: no further handler runs.
bool applicationEnding();

} // namespace tp
