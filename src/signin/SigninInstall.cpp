#include "SigninInstall.h"

#include "Application.h"
#include "Events.h"
#include "SignIn.h"
#include "Windows.h"

namespace tp {

void installSignin()
{
    Windows::onLoad(WindowId::Form1, [](QWidget& w) {
        onClick(w, QStringLiteral("Command1"), [] { loginProbe(); });
        onClick(w, QStringLiteral("Command2"), [] { endApplication(); });
        onGotFocus(w, QStringLiteral("fwq"), [&w] { selectAllText(w, QStringLiteral("fwq")); });
        onGotFocus(w, QStringLiteral("mm"), [&w] { selectAllText(w, QStringLiteral("mm")); });
    });
    Windows::onUnload(WindowId::Form1, [](QWidget&) { endApplication(); });
}

} // namespace tp
