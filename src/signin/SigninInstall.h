#pragma once

namespace tp {

// Installs the login window's handlers: OK runs the login probe, Exit and closing the
// window end the application, fwq and mm select their text when they gain focus.
void installSignin();

} // namespace tp
