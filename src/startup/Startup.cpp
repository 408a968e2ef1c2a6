#include "Startup.h"

#include "AccountYearInstall.h"
#include "Artwork.h"
#include "BatchInstall.h"
#include "BusyCursor.h"
#include "FileAttachInstall.h"
#include "MainWindowInputs.h"
#include "MainWindowInstall.h"
#include "OperationsInstall.h"
#include "QtTranslation.h"
#include "ScanWindow.h"
#include "SigninInstall.h"
#include "Windows.h"

#include <QApplication>

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

int runTallyport(int& argc, char** argv, const std::function<void(QWidget& login)>& beforeShow)
{
    QApplication app(argc, argv);
    installQtTranslation();
    installBusyCursor();
    QApplication::setWindowIcon(mainIcon());
    // The application ends only through its exit paths, never because a window was closed.
    QApplication::setQuitOnLastWindowClosed(false);

    installAll();
    QWidget& login = Windows::form1();
    if (beforeShow)
        beforeShow(login);
    login.show();
    const int rc = app.exec();
    // The windows unloaded at the end go now, and with them the connections they hold.
    Windows::unloadAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return rc;
}

} // namespace tp
