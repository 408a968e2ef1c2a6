// access_bench: the database list of a server with 5,000 databases, read through the access
// layer, against FreeTDS's own tsql running the same query on the same server in the same run;
// and the round trip of one attach and one detach, each over a command connection of its own,
// against tsql sending the same two statements.
//
// Prints figures and ratios only (the goal for the list is a ratio of at most 1.5).
// tsql's process start and login are measured apart (a run with no query) and taken off.

#include "Ado.h"
#include "ConnectionStrings.h"
#include "DataControl.h"
#include "StandinProcess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QUuid>
#include <cstdio>

using namespace tp;

namespace {

constexpr int databaseCount = 5000;
const QString listQuery = QStringLiteral("select name from sysdatabases ORDER BY name");

[[noreturn]] void fail(const QString& what)
{
    std::fprintf(stderr, "access_bench: %s\n", qPrintable(what));
    std::exit(1);
}

// Adds databaseCount entries to the stand-in's catalogue while it is stopped, cloned from a
// database the stand-in created itself. Their files do not exist; the list does not need them.
void prepareCatalogue(const QString& dataDir, const QString& templateName)
{
    const QString path = dataDir + QStringLiteral("/catalogue.json");
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1").arg(path));
    QJsonObject root = QJsonDocument::fromJson(f.readAll()).object();
    f.close();
    QJsonArray databases = root.value(QStringLiteral("databases")).toArray();
    QJsonObject model;
    int maxId = 0;
    for (const QJsonValue& v : databases) {
        const QJsonObject o = v.toObject();
        maxId = qMax(maxId, o.value(QStringLiteral("dbid")).toInt());
        if (o.value(QStringLiteral("name")).toString() == templateName)
            model = o;
    }
    if (model.isEmpty())
        fail(QStringLiteral("the stand-in's catalogue has no entry for %1 (its format changed?)").arg(templateName));
    for (int i = 0; i < databaseCount; ++i) {
        QJsonObject o = model;
        const QString name = QStringLiteral("UFDATA_%1_%2").arg(i / 20, 3, 10, QLatin1Char('0')).arg(2000 + i % 20);
        o[QStringLiteral("name")] = name;
        o[QStringLiteral("dbid")] = maxId + 1 + i;
        o[QStringLiteral("guid")] = QUuid::createUuid().toString(QUuid::WithoutBraces);
        QJsonArray files;
        for (const QJsonValue& fv : model.value(QStringLiteral("files")).toArray()) {
            QJsonObject file = fv.toObject();
            const bool log = file.value(QStringLiteral("fileid")).toInt() != 1;
            file[QStringLiteral("name")] = log ? name + QStringLiteral("_log") : name;
            file[QStringLiteral("path")] = dataDir + QStringLiteral("/absent/") + name
                + (log ? QStringLiteral("_log.ldf") : QStringLiteral(".mdf"));
            files.append(file);
        }
        o[QStringLiteral("files")] = files;
        databases.append(o);
    }
    root[QStringLiteral("databases")] = databases;
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot write %1").arg(path));
    f.write(QJsonDocument(root).toJson(QJsonDocument::Compact));
}

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

// Wall time of one tsql process that signs in and sends `batches` (each ended by "go").
double tsqlMs(const QString& tsql, const tp::test::StandinProcess& s, const QStringList& batches)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TDSVER"), QStringLiteral("7.4"));
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    QString input;
    for (const QString& b : batches)
        input += b + QStringLiteral("\ngo\n");
    QElapsedTimer t;
    t.start();
    p.start(tsql,
        { QStringLiteral("-H"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(s.port()),
            QStringLiteral("-U"), QStringLiteral("sa"), QStringLiteral("-P"), s.password() });
    if (!p.waitForStarted(10000))
        fail(QStringLiteral("tsql does not start"));
    p.write(input.toUtf8());
    p.closeWriteChannel();
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        fail(QStringLiteral("tsql failed (exit code %1)").arg(p.exitCode()));
    return double(t.nsecsElapsed()) / 1e6;
}

double medianOf(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0.0 : v.at(v.size() / 2);
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
        prepareCatalogue(server.dataDir(), QStringLiteral("BenchTemplate"));
        if (!server.restart())
            fail(QStringLiteral("stand-in restart: ") + server.lastError());

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
            tsqlEmpty << tsqlMs(tsql, server, {});
        const double tsqlStart = medianOf(tsqlEmpty);
        const double tsqlMany = tsqlMs(tsql, server, manyQueries);
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
        const double tsqlOne = tsqlMs(tsql, server, oneQuery);

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
        const double tsqlPair = (tsqlMs(tsql, server, tsqlPairs) - tsqlStart) / pairs;
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
