#include "Startup.h"

#include "AccountYearInstall.h"
#include "MainWindowInputs.h"
#include "MainWindowInstall.h"
#include "SigninInstall.h"

namespace tp {

void installAll()
{
    installSignin();
    installMainWindow();
    installMainWindowInputs();
    installAccountYearPaths();
}

} // namespace tp
