#include "Startup.h"

#include "AccountYearInstall.h"
#include "BatchInstall.h"
#include "FileAttachInstall.h"
#include "MainWindowInputs.h"
#include "MainWindowInstall.h"
#include "OperationsInstall.h"
#include "ScanWindow.h"
#include "SigninInstall.h"

namespace tp {

void installAll()
{
    installSignin();
    installMainWindow();
    installMainWindowInputs();
    installAccountYearPaths();
    installFileAttach();
    installOperations();
    installBatch();
    installScanWindow();
}

} // namespace tp
