// batch_bench: figures for the multi-year run, measured against baselines taken in the same run.
//
// 1. A run of 20 years through the main window (Command7, Timer2, the progress window) against
//    its floor: 21 ticks of 500 ms.
// 2. One year step (the attach over a command connection, then the grid refresh) against
//    FreeTDS's tsql sending the same attach and the same list query on the same server; tsql's
//    bare process start (tsql -C, no connection) is measured apart and taken off. Goal: <= 1.5.
// 3. The same with 5,000 more databases on the server, so the refresh lists 5,000 rows.
// Prints figures only; not a test.

#include "BenchSupport.h"
#include "DbError.h"
#include "GuiFixture.h"
#include "Windows.h"
#include "YearStep.h"
#include "operations_support.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

using namespace tp::test;
using namespace tp::bench;

namespace {

constexpr int runYears = 20;
constexpr int firstYear = 2001;
constexpr int extraDatabases = 5000;
const QString listQuery = QStringLiteral("select name from sysdatabases ORDER BY name");

QString attachStatement(const QString& root, int year)
{
    const QString folder = root + QStringLiteral("\\ZT001\\") + QString::number(year);
    return QStringLiteral("EXEC sp_attach_db @dbname = N'UFDATA_001_%1',@filename1 = N'%2\\ufdata.MDF',"
                          "@filename2 = N'%2\\ufdata.LDF'")
        .arg(year)
        .arg(folder);
}

void detachAll(GuiFixture& fx)
{
    for (int i = 0; i < runYears; ++i) {
        if (!fx.execute(QStringLiteral("EXEC sp_detach_db @dbname = 'UFDATA_001_%1'").arg(firstYear + i)))
            fail(fx.lastError());
    }
}

// Year steps of the product against tsql, every year of the run attached once by each.
// Expects the run's databases detached; leaves them detached.
void compareSteps(GuiFixture& fx, const QString& tsql, const QString& root, const char* label)
{
    QVector<double> ours;
    setBox(QStringLiteral("Text3"), QString::number(firstYear));
    for (int i = 0; i < runYears; ++i) {
        QElapsedTimer t;
        t.start();
        try {
            tp::yearStep();
        } catch (const tp::DbError& e) {
            fail(QStringLiteral("year step: %1 %2").arg(e.number()).arg(e.description()));
        }
        ours << double(t.nsecsElapsed()) / 1e6;
        QCoreApplication::processEvents();
    }
    detachAll(fx);

    const QStringList login = tsqlLogin(fx.server());
    QVector<double> theirs;
    for (int i = 0; i < runYears; ++i)
        theirs << tsqlMs(tsql, login, { attachStatement(root, firstYear + i), listQuery });
    detachAll(fx);
    QVector<double> spawn;
    for (int i = 0; i < 5; ++i)
        spawn << tsqlMs(tsql, { QStringLiteral("-C") }, {});

    const double o = medianOf(ours);
    const double t = medianOf(theirs);
    const double s = medianOf(spawn);
    std::printf("%s\n", label);
    std::printf("  year step (attach + grid refresh), median of %d:   %8.2f ms\n", runYears, o);
    std::printf("  tsql, same attach + same query, median:           %8.2f ms\n", t);
    std::printf("  tsql process start alone (tsql -C), median:       %8.2f ms\n", s);
    std::printf(
        "  ratio step / (tsql - process start):              %8.2f   (goal <= 1.5)\n", t - s > 0 ? o / (t - s) : 0.0);
    std::printf("  ratio step / tsql:                                %8.2f\n", t > 0 ? o / t : 0.0);
}

void waitForText4(const QString& expected)
{
    QDeadlineTimer deadline(10000);
    while (box(QStringLiteral("Text4")) != expected) {
        if (deadline.hasExpired())
            fail(QStringLiteral("the path display does not show %1").arg(expected));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const QString tsql = prepareTsqlBench(TALLYPORT_STANDIN_PATH);
    QApplication app(argc, argv);

    QTemporaryDir dir;
    if (!dir.isValid())
        fail(QStringLiteral("no temporary folder"));
    const QString root = dir.path();
    GuiFixture fx;
    if (!fx.startServer())
        fail(fx.lastError());
    for (int i = 0; i < runYears; ++i) {
        if (!makeAccountYearFiles(fx, root, QStringLiteral("001"), firstYear + i))
            fail(fx.lastError());
    }
    if (!fx.signIn())
        fail(fx.lastError());

    // 1. The run through the windows.
    setBox(QStringLiteral("Text1"), root);
    setBox(QStringLiteral("Text2"), QStringLiteral("001"));
    setBox(QStringLiteral("Text3"), QString::number(firstYear));
    setBox(QStringLiteral("Text6"), QString::number(runYears));
    waitForText4(root + QStringLiteral("\\ZT001\\") + QString::number(firstYear) + QStringLiteral("\\ufdata.MDF"));
    QElapsedTimer run;
    run.start();
    if (!clickMayRun(QStringLiteral("Command7"), 120000))
        fail(QStringLiteral("the run did not finish"));
    const double runMs = double(run.nsecsElapsed()) / 1e6;
    const QList<tp::ShownMessage> shown = fx.takeMessages();
    if (shown.size() != 1 || shown.first().text != QStringLiteral("附加数据库完成！"))
        fail(QStringLiteral("the run did not end with its completion message"));
    const double floorMs = (runYears + 1) * 500.0;
    std::printf("run of %d years through the main window\n", runYears);
    std::printf("  total:                                            %8.1f ms\n", runMs);
    std::printf("  floor (%d ticks of 500 ms):                       %8.1f ms\n", runYears + 1, floorMs);
    std::printf("  ratio total / floor:                              %8.3f\n", runMs / floorMs);
    std::printf("  time beyond the floor per year:                   %8.2f ms\n", (runMs - floorMs) / runYears);

    // 2. One step against tsql.
    detachAll(fx);
    compareSteps(fx, tsql, root, "one year step, server with the system databases and the probe database");

    // 3. The same with 5,000 more databases.
    fx.server().stop();
    addCatalogueCopies(fx.server().dataDir(), QStringLiteral("utp_signin"), extraDatabases, 100);
    if (!fx.server().restart())
        fail(fx.server().lastError());
    tp::control<QLineEdit>(tp::Windows::form1(), QStringLiteral("fwq"))->setText(fx.server().serverName());
    compareSteps(fx, tsql, root, "one year step, server with 5,000 more databases");

    fx.cleanup();
    return 0;
}
