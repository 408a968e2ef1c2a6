// scan_bench: figures for the scan of a data root and attach of what is missing, against
// baselines taken in the same run.
//
// 1. attach-missing of 200 account-years (10 sets x 20 years, real files made by the stand-in):
//    time per database against tsql sending the same 200 statements over one connection.
// 2. The scan of 100 sets x 30 years (3,000 account-years, files with real headers) with the
//    server's verdict for every year, against the same scan without verdicts, side by side on a
//    server with its system databases only; and the round trips it takes. Goal: at most 2x.
//    The stand-in's check whether another database uses a file resolves every path of its
//    catalogue, so the verdict is not measured against 32,767 databases.
// 3. The plan (no verdicts) of that root against a server with 32,767 databases: wall and
//    processor time of the client against tsql listing the same catalogue with the same query.
//    Goal: under 1 s of client time.
// 4. The main window's grid refresh with 32,767 databases against tsql sending the grid's
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
#include <unistd.h>

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

// Processor time of a process in ms (Linux /proc; 0 elsewhere).
double processCpuMs(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return double(fields.at(11).toLongLong() + fields.at(12).toLongLong()) * 1000.0 / double(sysconf(_SC_CLK_TCK));
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

QList<tp::PlanRow> scanOnce(const QString& root, bool verdicts = false, int* roundTrips = nullptr)
{
    tp::Connection master;
    master.setConnectionString(tp::masterConnectionString());
    master.open();
    tp::ScanOptions options;
    options.verdicts = verdicts;
    tp::ScanStats stats;
    QList<tp::PlanRow> plan = tp::scanDataRoot(master, root, options, &stats);
    master.close();
    if (roundTrips)
        *roundTrips = stats.roundTrips;
    return plan;
}

// The first page of a file (the stand-in's header) and the file's length.
QPair<QByteArray, qint64> headerOf(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1").arg(path));
    return { f.read(8192), f.size() };
}

// A copy of a database file that holds only its header page: the rest is a hole.
void writeSparseCopy(const QString& path, const QPair<QByteArray, qint64>& header)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(header.first) != header.first.size() || !f.resize(header.second))
        fail(QStringLiteral("cannot write %1").arg(path));
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

    // 2. The scan with and without the server's verdict: 3,000 account-years whose files carry
    //    the header of a real database (the stand-in reads nothing else).
    const QString scanRoot = dir.filePath(QStringLiteral("scan"));
    if (!makeAccountYearFiles(fx, dir.filePath(QStringLiteral("model")), QStringLiteral("001"), 2000))
        fail(fx.lastError());
    const QString model = accountYearDir(dir.filePath(QStringLiteral("model")), QStringLiteral("001"), 2000);
    const auto dataHeader = headerOf(model + QStringLiteral("/ufdata.MDF"));
    const auto logHeader = headerOf(model + QStringLiteral("/ufdata.LDF"));
    for (int set = 1; set <= 100; ++set) {
        for (int year = 1990; year < 2020; ++year) {
            const QString folder = scanRoot + QStringLiteral("/ZT%1/%2").arg(set, 3, 10, QLatin1Char('0')).arg(year);
            QDir().mkpath(folder);
            writeSparseCopy(folder + QStringLiteral("/ufdata.MDF"), dataHeader);
            writeSparseCopy(folder + QStringLiteral("/ufdata.LDF"), logHeader);
        }
    }
    QVector<double> without, with, withoutCpu, withCpu, serverCpu;
    int roundTrips = 0;
    int ready = 0;
    for (int i = 0; i < 5; ++i) {
        std::clock_t c = std::clock();
        t.restart();
        scanOnce(scanRoot, false);
        without << msSince(t);
        withoutCpu << cpuMs(c);
        const double serverBefore = processCpuMs(fx.server().processId());
        c = std::clock();
        t.restart();
        const QList<tp::PlanRow> plan = scanOnce(scanRoot, true, &roundTrips);
        with << msSince(t);
        withCpu << cpuMs(c);
        serverCpu << processCpuMs(fx.server().processId()) - serverBefore;
        ready = 0;
        for (const tp::PlanRow& r : plan)
            ready += r.state == tp::YearState::Ready && r.fileVersion > 0 ? 1 : 0;
    }
    if (ready != 3000)
        fail(QStringLiteral("the verdict found %1 years ready, not 3000").arg(ready));
    std::printf("scan of 100 sets x 30 years with and without the server's verdict, median of 5\n");
    std::printf("  scan without verdicts:                             %8.1f ms\n", medianOf(without));
    std::printf("  scan with the verdict for every year:              %8.1f ms\n", medianOf(with));
    const int catalogue = int(tp::catalogueQueries().size());
    std::printf("  round trips with verdicts: %d (%d of the catalogue, version, service account, %d batches)\n",
        roundTrips, catalogue, roundTrips - catalogue - 2);
    std::printf("  ratio with / without, wall time:                   %8.2f   (goal <= 2)\n",
        medianOf(with) / medianOf(without));
    std::printf("  client processor time without / with verdicts:     %8.1f / %.1f ms, ratio %.2f\n",
        medianOf(withoutCpu), medianOf(withCpu), medianOf(withCpu) / medianOf(withoutCpu));
    std::printf("  the stand-in's processor time for the verdicts:    %8.1f ms (%.0f us a file)\n", medianOf(serverCpu),
        medianOf(serverCpu) * 1000.0 / 3000);

    // 3. The plan: 3,000 account-years on disk, 32,767 databases on the server.
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

    // 4. The main window's grid with 32,767 databases.
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
