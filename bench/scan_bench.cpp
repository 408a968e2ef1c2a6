// scan_bench: figures for the scan of a data root and attach of what is missing, against
// baselines taken in the same run.
//
// 1. attach-missing of 200 account-years (10 sets x 20 years, real files made by the stand-in):
//    time per database against tsql sending the same 200 statements over one connection.
// 2. The plan of a data root of 100 sets x 30 years (3,000 account-years) against a server with
//    32,767 databases: wall and processor time of the client against tsql listing the same
//    catalogue with the same query. Goal: under 1 s of client time.
// 3. The main window's grid refresh with 32,767 databases against tsql sending the grid's
//    query, and the memory the grid holds then.
// Prints figures only; not a test.

#include "Ado.h"
#include "AttachMissing.h"
#include "BenchSupport.h"
#include "DatabaseGrid.h"
#include "DbError.h"
#include "GuiFixture.h"
#include "SignIn.h"
#include "Statements.h"
#include "Windows.h"
#include "operations_support.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

using namespace tp::test;
using namespace tp::bench;

namespace {

constexpr int maxDatabases = 32767;

double msSince(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

double cpuMs(std::clock_t from)
{
    return double(std::clock() - from) * 1000.0 / CLOCKS_PER_SEC;
}

// Resident memory of this process in KB (Linux /proc; 0 elsewhere).
qint64 residentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

double tsqlSpawnMs(const QString& tsql)
{
    QVector<double> spawn;
    for (int i = 0; i < 5; ++i)
        spawn << tsqlMs(tsql, { QStringLiteral("-C") }, {});
    return medianOf(spawn);
}

QList<tp::PlanRow> scanOnce(const QString& root)
{
    tp::Connection master;
    master.setConnectionString(tp::masterConnectionString());
    master.open();
    QList<tp::PlanRow> plan = tp::scanDataRoot(master, root);
    master.close();
    return plan;
}

void detachAll(GuiFixture& fx, const QList<tp::PlanRow>& plan)
{
    for (const tp::PlanRow& r : plan) {
        if (!fx.execute(tp::detachDatabaseStatement(r.databaseName)))
            fail(fx.lastError());
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

    GuiFixture fx;
    if (!fx.startServer())
        fail(fx.lastError());
    const double spawn = tsqlSpawnMs(tsql);
    const QStringList login = tsqlLogin(fx.server());

    // 1. attach-missing of 200 account-years.
    const QString attachRoot = dir.filePath(QStringLiteral("attach"));
    for (int set = 1; set <= 10; ++set) {
        for (int year = 2000; year < 2020; ++year) {
            if (!makeAccountYearFiles(fx, attachRoot, QStringLiteral("%1").arg(set, 3, 10, QLatin1Char('0')), year))
                fail(fx.lastError());
        }
    }
    if (!fx.signIn())
        fail(fx.lastError());
    const QList<tp::PlanRow> attachPlan = scanOnce(attachRoot);
    if (attachPlan.size() != 200)
        fail(QStringLiteral("the plan has %1 rows, not 200").arg(attachPlan.size()));
    QElapsedTimer t;
    t.start();
    const QList<tp::AttachResult> results
        = tp::attachMissing(tp::masterConnectionString(), attachPlan, tp::AttachOptions {});
    const double oursAttach = msSince(t);
    if (tp::summarize(results).attached != 200)
        fail(QStringLiteral("attach-missing: ") + tp::summaryText(results));
    detachAll(fx, attachPlan);
    QStringList statements;
    for (const tp::PlanRow& r : attachPlan)
        statements << tp::attachStatementFor(r, tp::AttachOptions {});
    const double theirsAttach = tsqlMs(tsql, login, statements) - spawn;
    detachAll(fx, attachPlan);
    std::printf("attach-missing of 200 account-years\n");
    std::printf("  attach-missing, per database:                      %8.2f ms\n", oursAttach / 200);
    std::printf("  tsql, same 200 statements on one connection, per database (process start taken off): %8.2f ms\n",
        theirsAttach / 200);
    std::printf("  ratio:                                             %8.2f\n", oursAttach / theirsAttach);

    // 2. The plan: 3,000 account-years on disk, 32,767 databases on the server.
    const QString scanRoot = dir.filePath(QStringLiteral("scan"));
    for (int set = 1; set <= 100; ++set) {
        for (int year = 1990; year < 2020; ++year) {
            const QString folder = scanRoot + QStringLiteral("/ZT%1/%2").arg(set, 3, 10, QLatin1Char('0')).arg(year);
            QDir().mkpath(folder);
            for (const char* name : { "/ufdata.MDF", "/ufdata.LDF" }) {
                QFile f(folder + QLatin1String(name));
                if (!f.open(QIODevice::WriteOnly) || f.write("x", 1) != 1)
                    fail(QStringLiteral("cannot write %1").arg(f.fileName()));
            }
        }
    }
    fx.server().stop();
    {
        // Count what the server has now (system databases, the probe's), then fill to the maximum.
        QFile cat(fx.server().dataDir() + QStringLiteral("/catalogue.json"));
        cat.open(QIODevice::ReadOnly);
        const int existing = int(cat.readAll().count("\"dbid\""));
        addCatalogueCopies(fx.server().dataDir(), QStringLiteral("utp_signin"), maxDatabases - existing, 101);
    }
    if (!fx.server().restart())
        fail(fx.server().lastError());
    tp::control<QLineEdit>(tp::Windows::form1(), QStringLiteral("fwq"))->setText(fx.server().serverName());
    const QStringList bigLogin = tsqlLogin(fx.server());

    QVector<double> planWall, planCpu, listing, walk;
    int rows = 0;
    for (int i = 0; i < 5; ++i) {
        const std::clock_t c = std::clock();
        t.restart();
        rows = int(scanOnce(scanRoot).size());
        planWall << msSince(t);
        planCpu << cpuMs(c);
        listing << tsqlMs(tsql, bigLogin, { tp::primaryFilesQuery() }) - spawn;
        t.restart();
        tp::walkDataRoot(scanRoot);
        walk << msSince(t);
    }
    if (rows != 3000)
        fail(QStringLiteral("the plan has %1 rows, not 3000").arg(rows));
    std::printf("plan of 100 sets x 30 years against %d databases, median of 5\n", maxDatabases);
    std::printf("  plan, wall time:                                   %8.1f ms\n", medianOf(planWall));
    std::printf("  plan, client processor time:                       %8.1f ms   (goal < 1000)\n", medianOf(planCpu));
    std::printf("  of which the walk of the data root alone:          %8.1f ms\n", medianOf(walk));
    std::printf("  tsql listing the same catalogue (process start off):%8.1f ms\n", medianOf(listing));
    std::printf("  ratio plan wall / tsql:                            %8.2f\n", medianOf(planWall) / medianOf(listing));

    // 3. The main window's grid with 32,767 databases.
    const qint64 before = residentKb();
    QVector<double> refresh, theirs;
    for (int i = 0; i < 5; ++i) {
        t.restart();
        try {
            tp::refreshDatabaseGrid();
        } catch (const tp::DbError& e) {
            fail(QStringLiteral("grid refresh: %1 %2").arg(e.number()).arg(e.description()));
        }
        QCoreApplication::processEvents();
        refresh << msSince(t);
        theirs << tsqlMs(tsql, bigLogin, { QStringLiteral("select name from sysdatabases ORDER BY name") }) - spawn;
    }
    const qint64 after = residentKb();
    const int shown = int(gridNames().size());
    std::printf("main window's grid with %d databases (%d rows shown), median of 5\n", maxDatabases, shown);
    std::printf("  grid refresh:                                      %8.1f ms\n", medianOf(refresh));
    std::printf("  tsql, same query (process start off):              %8.1f ms\n", medianOf(theirs));
    std::printf("  ratio refresh / tsql:                              %8.2f\n", medianOf(refresh) / medianOf(theirs));
    std::printf("  resident memory before / after the refreshes:      %lld KB / %lld KB (+%lld KB)\n",
        (long long)before, (long long)after, (long long)(after - before));

    fx.cleanup();
    return 0;
}
