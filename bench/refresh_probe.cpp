// The refresh benchmark's client, built for Linux and for Windows: against the server named on
// the command line it signs in through the login window as a user does (the login probe, then
// the main window's load with the grid's first fetch) and refreshes the main window's database
// grid, painting the window after each, and prints the median of each:
//
//   refresh_probe SERVER PASSWORD [repetitions]
//   signin_ms <median>
//   refresh_ms <median>
//   rows <databases in the grid>
//
// bench/wine_refresh runs the two builds' probes against the same stand-in.

#include "BusyCursor.h"
#include "DataGrid.h"
#include "DatabaseGrid.h"
#include "Services.h"
#include "SignIn.h"
#include "Startup.h"
#include "Windows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace tp;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double msSince(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: refresh_probe SERVER PASSWORD [repetitions]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QString server = QString::fromLocal8Bit(argv[1]);
    const QString password = QString::fromLocal8Bit(argv[2]);
    const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 7;
    installBusyCursor(); // as the program has it: the wait cursor is part of every wait
    installAll();
    MessageService::setRecorder([](const ShownMessage& m) {
        std::fprintf(stderr, "refresh_probe: a message was shown: %s\n", qPrintable(m.text));
        std::exit(1);
    });
    std::vector<double> signIns;
    std::vector<double> refreshes;
    int rows = 0;
    for (int i = 0; i < repeats; ++i) {
        QWidget& login = Windows::form1();
        login.show();
        setControlText(login, QStringLiteral("fwq"), server);
        setControlText(login, QStringLiteral("mm"), password);
        QElapsedTimer t;
        t.start();
        loginProbe();
        if (!Windows::isLoaded(WindowId::form2) || !Windows::form2().isVisible()) {
            std::fprintf(stderr, "refresh_probe: the main window did not open\n");
            return 1;
        }
        Windows::form2().repaint();
        signIns.push_back(msSince(t));
        t.restart();
        refreshDatabaseGrid();
        Windows::form2().repaint();
        refreshes.push_back(msSince(t));
        rows = control<DataGrid>(Windows::form2(), QStringLiteral("DataGrid1"))->rowCountShown();
        Windows::unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    std::printf("signin_ms %.1f\nrefresh_ms %.1f\nrows %d\n", median(signIns), median(refreshes), rows);
    return 0;
}
