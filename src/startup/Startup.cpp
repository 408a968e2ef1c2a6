#include "Startup.h"

#include "MainWindowInputs.h"
#include "MainWindowInstall.h"
#include "SigninInstall.h"

namespace tp {

void installAll()
{
    installSignin();
    installMainWindow();
    installMainWindowInputs();
}

} // namespace tp
