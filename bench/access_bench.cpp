// access_bench: the database list of a server with 5,000 databases, read through the access
// layer, against FreeTDS's own tsql running the same query on the same server in the same run;
// and the round trip of one attach and one detach, each over a command connection of its own,
// against tsql sending the same two statements.
//
// Prints figures and ratios only (the goal for the list is a ratio of at most 1.5).
// tsql's process start and login are measured apart (a run with no query) and taken off.

#include "Ado.h"
#include "BenchSupport.h"
#include "ConnectionStrings.h"
#include "DataControl.h"
#include "StandinProcess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <cstdio>

using namespace tp;
using namespace tp::bench;

namespace {

constexpr int databaseCount = 5000;
const QString listQuery = QStringLiteral("select name from sysdatabases ORDER BY name");

std::shared_ptr<Connection> openMaster(const tp::test::StandinProcess& s)
{
    auto c = std::make_shared<Connection>();
    c->open(buildMasterConnectionString(s.serverName(), s.password()), QString(), QString(), adConnectUnspecified);
    return c;
}

void executeOnMaster(const tp::test::StandinProcess& s, const QString& statement)
{
    Connection c;
    c.setConnectionString(buildMasterConnectionString(s.serverName(), s.password()));
    c.open();
    c.execute(statement);
    c.close();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    if (qEnvironmentVariableIsEmpty("TALLYPORT_STANDIN"))
        qputenv("TALLYPORT_STANDIN", TALLYPORT_STANDIN_PATH);
    QApplication app(argc, argv);
    const QString tsql = QStandardPaths::findExecutable(QStringLiteral("tsql"));
    if (tsql.isEmpty())
        fail(QStringLiteral("FreeTDS's tsql is not installed (package freetds-bin)"));

    tp::test::StandinProcess server;
    if (!server.start())
        fail(QStringLiteral("stand-in: ") + server.lastError());

    try {
        QElapsedTimer setup;
        setup.start();
        executeOnMaster(server, QStringLiteral("CREATE DATABASE BenchTemplate"));
        server.stop();
        addCatalogueCopies(server.dataDir(), QStringLiteral("BenchTemplate"), databaseCount, 0);
        if (!server.restart())
            fail(QStringLiteral("stand-in restart: ") + server.lastError());
        const QStringList login = tsqlLogin(server);

        auto connection = openMaster(server);
        int rows = 0;
        {
            Recordset rs;
            rs.open(listQuery, connection, adOpenStatic, adLockOptimistic, adCmdUnspecified);
            rows = rs.rowCount();
        }
        if (rows < databaseCount)
            fail(QStringLiteral("the server lists %1 databases, expected at least %2").arg(rows).arg(databaseCount));
        std::printf("setup: %d databases listed, %.1f s\n", rows, double(setup.elapsed()) / 1000.0);

        // --- the database list -------------------------------------------------------
        constexpr int repeats = 7;
        const QStringList oneQuery { listQuery };
        QStringList manyQueries;
        for (int i = 0; i < repeats; ++i)
            manyQueries << listQuery;

        QVector<double> tsqlEmpty;
        for (int i = 0; i < 5; ++i)
            tsqlEmpty << tsqlMs(tsql, login, {});
        const double tsqlStart = medianOf(tsqlEmpty);
        const double tsqlMany = tsqlMs(tsql, login, manyQueries);
        const double tsqlPerQuery = (tsqlMany - tsqlStart) / repeats;

        QVector<double> ours;
        for (int i = 0; i < repeats; ++i) {
            QElapsedTimer t;
            t.start();
            Recordset rs;
            rs.open(listQuery, connection, adOpenStatic, adLockOptimistic, adCmdUnspecified);
            for (int r = 0; r < rs.rowCount(); ++r)
                rs.text(r, 0);
            ours << double(t.nsecsElapsed()) / 1e6;
        }
        const double oursPerQuery = medianOf(ours);

        DataControl adodc;
        adodc.setConnectionString(buildMasterConnectionString(server.serverName(), server.password()));
        adodc.setRecordSource(listQuery);
        QVector<double> refreshes;
        for (int i = 0; i < repeats; ++i) {
            QElapsedTimer t;
            t.start();
            adodc.refresh();
            refreshes << double(t.nsecsElapsed()) / 1e6;
        }
        const double refresh = medianOf(refreshes);
        const double tsqlOne = tsqlMs(tsql, login, oneQuery);

        std::printf("\nselect name from sysdatabases ORDER BY name, %d rows\n", rows);
        std::printf("  tsql, per query (start and sign-in of %.1f ms taken off): %9.1f ms\n", tsqlStart, tsqlPerQuery);
        std::printf("  Recordset on an open connection, every cell as text:     %9.1f ms\n", oursPerQuery);
        std::printf("  ratio Recordset / tsql:                                  %9.2f  (goal <= 1.5)\n",
            oursPerQuery / tsqlPerQuery);
        std::printf("  data control refresh (new connection + query):          %9.1f ms\n", refresh);
        std::printf("  tsql process: start + sign-in + query:                   %9.1f ms\n", tsqlOne);
        std::printf("  ratio refresh / tsql process:                            %9.2f\n", refresh / tsqlOne);
        adodc.closeRecordset();

        // --- one attach and one detach ------------------------------------------------
        executeOnMaster(server, QStringLiteral("CREATE DATABASE BenchAttach"));
        QString mdf;
        QString ldf;
        {
            Recordset rs;
            rs.open(QStringLiteral("select filename from sysdatabases where name = N'BenchAttach'"), connection,
                adOpenStatic, adLockOptimistic, adCmdUnspecified);
            mdf = rs.text(0, 0).trimmed();
        }
        const QString detach = QStringLiteral("EXEC sp_detach_db @dbname = 'BenchAttach'");
        executeOnMaster(server, detach);
        {
            Recordset rs;
            rs.open(QStringLiteral("dbcc checkprimaryfile (N'") + mdf + QStringLiteral("',1) "), connection,
                adOpenStatic, adLockOptimistic, adCmdUnspecified);
            ldf = rs.text(1, 8).trimmed();
        }
        const QString attach = QStringLiteral("EXEC sp_attach_db @dbname = N'BenchAttach',@filename1 = N'") + mdf
            + QStringLiteral("',@filename2 = N'") + ldf + QStringLiteral("'");

        constexpr int pairs = 5;
        QVector<double> roundTrips;
        for (int i = 0; i < pairs; ++i) {
            QElapsedTimer t;
            t.start();
            executeOnMaster(server, attach);
            executeOnMaster(server, detach);
            roundTrips << double(t.nsecsElapsed()) / 1e6;
        }
        QStringList tsqlPairs;
        for (int i = 0; i < pairs; ++i)
            tsqlPairs << attach << detach;
        const double tsqlPair = (tsqlMs(tsql, login, tsqlPairs) - tsqlStart) / pairs;
        const double ourPair = medianOf(roundTrips);
        std::printf("\nattach + detach, each over its own command connection\n");
        std::printf("  Connection::open/execute/close twice:                    %9.1f ms\n", ourPair);
        std::printf("  tsql, both statements in one session (start taken off):  %9.1f ms\n", tsqlPair);
        std::printf("  ratio:                                                   %9.2f\n", ourPair / tsqlPair);
    } catch (const DbError& e) {
        fail(QStringLiteral("DbError %1: %2").arg(e.number()).arg(e.description()));
    }
    return 0;
}
