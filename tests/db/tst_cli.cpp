#include "Ado.h"
#include "CuttingProxy.h"
#include "PathIdentity.h"
#include "StandinProcess.h"
#include "Statements.h"
#include "fileattach_dbfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

using tp::test::StandinProcess;

namespace {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
    QList<QJsonObject> json; // each line of out, when --json was given
    bool jsonOk = true;
};

CliRun runCli(const QStringList& args, const QByteArray& input = QByteArray(),
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
    const QString& workingFolder = QString())
{
    CliRun r;
    QProcess p;
    p.setProcessEnvironment(environment);
    if (!workingFolder.isEmpty())
        p.setWorkingDirectory(workingFolder);
    // Under wine a process start now and then fails with "Internal error" when the machine is
    // busy; a second start is not a second run of the command, which never began.
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        p.start(qEnvironmentVariable("TALLYPORT_CLI"), args);
        started = p.waitForStarted(10000);
        if (!started)
            qWarning("tallyport-cli did not start (%s)", qPrintable(p.errorString()));
    }
    if (!started) {
        r.err = QStringLiteral("tallyport-cli did not start: ") + p.errorString();
        return r;
    }
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(120000);
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    // A Windows console program ends its lines with CR LF.
    r.out = QString::fromUtf8(p.readAllStandardOutput()).remove(QLatin1Char('\r'));
    r.err = QString::fromUtf8(p.readAllStandardError()).remove(QLatin1Char('\r'));
    if (args.contains(QStringLiteral("--json"))) {
        for (const QString& line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            QJsonParseError e;
            const QJsonDocument d = QJsonDocument::fromJson(line.toUtf8(), &e);
            r.jsonOk = r.jsonOk && e.error == QJsonParseError::NoError && d.isObject();
            r.json.append(d.object());
        }
    }
    return r;
}

QString describe(const CliRun& r)
{
    return QStringLiteral("exit %1\nstdout:\n%2\nstderr:\n%3").arg(r.exitCode).arg(r.out, r.err);
}

// Forwards to a stand-in's port and holds back the server's answers on a connection from the
// moment its client has sent a request holding `marker`, until release(): the client then waits
// in the middle of that statement.
class HoldingProxy
{
public:
    HoldingProxy(quint16 target, const QString& marker)
        : m_marker(reinterpret_cast<const char*>(marker.utf16()), marker.size() * 2)
    {
        m_listener.listen(QHostAddress::LocalHost);
        QObject::connect(&m_listener, &QTcpServer::newConnection, [this, target] {
            while (QTcpSocket* client = m_listener.nextPendingConnection()) {
                auto* server = new QTcpSocket(client);
                server->connectToHost(QHostAddress::LocalHost, target);
                auto sent = std::make_shared<QByteArray>();
                auto held = std::make_shared<QByteArray>();
                auto holds = std::make_shared<bool>(false);
                QObject::connect(client, &QTcpSocket::readyRead, server, [=] {
                    const QByteArray bytes = client->readAll();
                    *sent += bytes;
                    if (!m_released && sent->contains(m_marker))
                        *holds = m_holding = true;
                    server->write(bytes);
                });
                QObject::connect(server, &QTcpSocket::readyRead, client, [=] {
                    if (*holds && !m_released)
                        *held += server->readAll();
                    else
                        client->write(server->readAll());
                });
                m_flushes.push_back([=] { client->write(*held); });
                QObject::connect(client, &QTcpSocket::disconnected, server, &QTcpSocket::disconnectFromHost);
                QObject::connect(server, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
            }
        });
    }
    QString serverName() const { return QStringLiteral("127.0.0.1,%1").arg(m_listener.serverPort()); }
    bool holding() const { return m_holding; }
    void release()
    {
        m_released = true;
        for (const auto& flush : m_flushes)
            flush();
    }

private:
    QTcpServer m_listener;
    QByteArray m_marker; // UTF-16LE, as the request carries it
    bool m_holding = false;
    bool m_released = false;
    std::vector<std::function<void()>> m_flushes;
};

// The attach statements the server received, in order.
QStringList attachesSent(const StandinProcess& s)
{
    QStringList sent;
    for (const QString& t : s.sqlTexts()) {
        if (t.startsWith(QLatin1String("EXEC sp_attach_db")) || t.startsWith(QLatin1String("CREATE DATABASE"))
            || t.startsWith(QLatin1String("EXEC sp_detach_db")))
            sent << t;
    }
    return sent;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
    StandinProcess server;
    QTemporaryDir tmp;
    QString root;
    QString cs;

    // UFDATA_<set>_<year> made by the stand-in under the root and detached, as after a reinstall.
    bool makeYear(const QString& set, const QString& year)
    {
        const QString dir = root + QStringLiteral("/ZT") + set + QLatin1Char('/') + year;
        QDir().mkpath(dir);
        const QString error = tp::test::createDetachedDatabase(cs, QStringLiteral("UFDATA_%1_%2").arg(set, year),
            { dir + QStringLiteral("/ufdata.MDF") }, dir + QStringLiteral("/ufdata.LDF"));
        if (!error.isEmpty())
            qWarning("%s", qPrintable(error));
        return error.isEmpty();
    }
    // A folder under the root that a server running as another user may write to.
    void makeOpenFolder(const QString& dir)
    {
        QDir().mkpath(dir);
        const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::WriteGroup
            | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        for (QString d = dir; d.startsWith(tmp.path()); d = QFileInfo(d).path())
            QFile::setPermissions(d, all);
    }
    // The same, written by a stand-in of another version (the files carry its version), run as
    // `runAs` when given; `crash` leaves the database attached and ends the server by SIGKILL.
    bool makeYearOn(
        int version, const QString& set, const QString& year, const QString& runAs = QString(), bool crash = false)
    {
        StandinProcess writer;
        writer.setRunAs(runAs);
        if (!writer.start(version)) {
            qWarning("%s", qPrintable(writer.lastError()));
            return false;
        }
        const QString dir = root + QStringLiteral("/ZT") + set + QLatin1Char('/') + year;
        makeOpenFolder(dir);
        const QString writerCs = tp::test::standinMasterConnectionString(writer.serverName(), writer.password());
        const QString name = QStringLiteral("UFDATA_%1_%2").arg(set, year);
        const QString error = crash
            ? tp::test::executeStatement(writerCs,
                QStringLiteral("CREATE DATABASE %1 ON PRIMARY (NAME = d, FILENAME = N'%2/ufdata.MDF') LOG ON "
                               "(NAME = l, FILENAME = N'%2/ufdata.LDF')")
                    .arg(name, dir))
            : tp::test::createDetachedDatabase(
                writerCs, name, { dir + QStringLiteral("/ufdata.MDF") }, dir + QStringLiteral("/ufdata.LDF"));
        if (!error.isEmpty())
            qWarning("%s", qPrintable(error));
        if (crash && !writer.kill())
            return false;
        return error.isEmpty();
    }
    QString path(const QString& set, const QString& year, const QString& file)
    {
        return root + QStringLiteral("\\ZT") + set + QLatin1Char('\\') + year + QLatin1Char('\\') + file;
    }
    // The statement that attaches a year from its two files, for a test's set-up.
    QString attachYear(const QString& set, const QString& year)
    {
        return "EXEC sp_attach_db @dbname = N'UFDATA_" + set + "_" + year + "',@filename1 = N'"
            + path(set, year, "ufdata.MDF") + "',@filename2 = N'" + path(set, year, "ufdata.LDF") + "'";
    }
    QStringList common(const QString& command)
    {
        return { command, QStringLiteral("--server"), server.serverName(), QStringLiteral("--password-stdin") };
    }
    QByteArray pw() { return (server.password() + QLatin1Char('\n')).toUtf8(); }

private slots:
    void verdicts_data();
    void verdicts();
    void logLessYearNotShutDownCleanly();
    void otherDataFiles();
    void refusedCommandLines_data();
    void refusedCommandLines();
    void shrinkSaysTheLogChainIsBroken_data();
    void shrinkSaysTheLogChainIsBroken();

    void init()
    {
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        QVERIFY(tmp.isValid());
        root = tmp.filePath(QStringLiteral("账套 数据"));
        QVERIFY(QDir().mkpath(root));
        cs = tp::test::standinMasterConnectionString(server.serverName(), server.password());
    }
    void cleanup()
    {
        server.stop();
        server.setRunAs(QString());
        QDir(root).removeRecursively();
    }

    void whatIfSendsNothing()
    {
        QVERIFY(makeYear("001", "2005"));
        QVERIFY(makeYear("001", "2006"));
        QVERIFY(QFile::remove(root + QStringLiteral("/ZT001/2006/ufdata.LDF")));
        server.clearRequests();

        CliRun r = runCli({ "attach-missing", "--server", server.serverName(), "--root", root, "--rebuild-log",
            "--what-if", "--server-version", "8" });
        QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
        QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
            QStringList({ "SELECT name, filename, dbid FROM master..sysdatabases",
                "SELECT dbid, filename, groupid FROM master..sysaltfiles",
                "SELECT CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128))", "SELECT 0 AS verdict_item",
                "dbcc checkprimaryfile (N'" + path("001", "2005", "ufdata.MDF") + "',2) WITH NO_INFOMSGS",
                "SELECT 1 AS verdict_item",
                "dbcc checkprimaryfile (N'" + path("001", "2006", "ufdata.MDF") + "',2) WITH NO_INFOMSGS",
                "dbcc checkprimaryfile (N'" + path("001", "2006", "ufdata.MDF") + "',3) WITH NO_INFOMSGS",
                "EXEC sp_attach_db @dbname = N'UFDATA_001_2005',@filename1 = N'" + path("001", "2005", "ufdata.MDF")
                    + "',@filename2 = N'" + path("001", "2005", "ufdata.LDF") + "'",
                "EXEC sp_attach_db @dbname = N'UFDATA_001_2006',@filename1 = N'" + path("001", "2006", "ufdata.MDF")
                    + "'" }));

        r = runCli({ "detach", "--what-if", "--json", "UFDATA_001_2005", "O'Brien" });
        QVERIFY2(r.exitCode == 0 && r.jsonOk && r.json.size() == 2, qPrintable(describe(r)));
        QCOMPARE(r.json.at(1).value("statement").toString(), QStringLiteral("EXEC sp_detach_db @dbname = N'O''Brien'"));
        // A shrink's what-if shows what a shrink sends: the data file's on 2008 and later
        // without a recovery switch, the log's as one batch.
        r = runCli({ "shrink", "--data", "--what-if", "UFDATA_001_2005" });
        QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
        QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
            QStringList({ "SELECT name FROM sysfiles WHERE(fileid= 1)",
                "SELECT CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128))",
                "CHECKPOINT DBCC SHRINKFILE ([<逻辑文件名>])" }));
        r = runCli({ "shrink", "--log", "--what-if", "--server-version", "10", "UFDATA_001_2005" });
        const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(r.exitCode == 0 && lines.size() == 4, qPrintable(describe(r)));
        QCOMPARE(lines.at(2),
            QStringLiteral("SELECT CAST(DATABASEPROPERTYEX(N'UFDATA_001_2005','Recovery') AS nvarchar(128))"));
        QVERIFY2(lines.at(3).startsWith("BEGIN TRY ALTER DATABASE UFDATA_001_2005 SET RECOVERY SIMPLE CHECKPOINT ")
                && lines.at(3).endsWith(" RAISERROR (N'%d: %s', 16, 1, @number, @message) END CATCH"),
            qPrintable(lines.at(3)));
        QVERIFY2(attachesSent(server).isEmpty() && server.sqlTexts().isEmpty(), "what-if sent something");
    }

    // The server reads a relative path against its own folder: the command line sends the
    // root made absolute against the folder it was started in.
    void relativeRootIsSentAbsolute()
    {
        QVERIFY(makeYear("001", "2005"));
        const CliRun r = runCli({ "attach-missing", "--root", QFileInfo(root).fileName(), "--what-if" }, QByteArray(),
            QProcessEnvironment::systemEnvironment(), QFileInfo(root).path());
        QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
        const QStringList lines = r.out.split(QLatin1Char('\n')).filter(QStringLiteral("sp_attach_db"));
        const QString attach = lines.value(0);
        const QString sent = attach.section(QStringLiteral("@filename1 = N'"), 1).section(QLatin1Char('\''), 0, 0);
        QVERIFY2(tp::isAbsolutePath(sent) && tp::samePath(sent, path("001", "2005", "ufdata.MDF")), qPrintable(r.out));
    }

    void logFileOfAnotherDatabase_data()
    {
        QTest::addColumn<int>("version");
        QTest::newRow("2000: file names padded") << 8;
        QTest::newRow("2022") << 16;
    }

    // The log file of an account-year is the log of another database: the year is not ready.
    void logFileOfAnotherDatabase()
    {
        QFETCH(int, version);
        server.stop();
        QVERIFY2(server.start(version), qPrintable(server.lastError()));
        cs = tp::test::standinMasterConnectionString(server.serverName(), server.password());
        QVERIFY(makeYear("001", "2005"));
        QVERIFY(QFile::remove(root + QStringLiteral("/ZT001/2005/ufdata.LDF")));
        QCOMPARE(tp::test::executeStatement(cs,
                     "CREATE DATABASE Books ON (NAME = b, FILENAME = N'" + root + "/books.mdf"
                         + "') LOG ON (NAME = b_log, FILENAME = N'" + path("001", "2005", "ufdata.LDF") + "')"),
            QString());
        const CliRun r = runCli(common("scan") << "--root" << root << "--json", pw());
        QVERIFY2(r.exitCode == 0 && r.jsonOk && r.json.size() == 2, qPrintable(describe(r)));
        QCOMPARE(r.json.at(0).value("state").toString(), QStringLiteral("files-in-use"));
        QCOMPARE(r.json.at(0).value("otherDatabase").toString(), QStringLiteral("Books"));
        // Books's own data file lies under the root too: an other .MDF, attached.
        QCOMPARE(r.json.at(1).value("database").toString() + " " + r.json.at(1).value("state").toString(),
            QStringLiteral("Books attached"));
    }

    void scanThenAttachMissing()
    {
        QVERIFY(makeYear("001", "2005"));
        QVERIFY(makeYear("001", "2006"));
        QVERIFY(makeYear("001", "2008"));
        QVERIFY(QFile::remove(root + QStringLiteral("/ZT001/2008/ufdata.LDF")));
        QVERIFY(tp::test::executeStatement(cs,
            attachYear("001", "2006"))
                    .isEmpty());

        CliRun r = runCli(common("scan") << "--root" << root << "--json", pw());
        QVERIFY2(r.exitCode == 0 && r.jsonOk, qPrintable(describe(r)));
        QStringList states;
        for (const QJsonObject& o : r.json)
            states << o.value("database").toString() + " " + o.value("state").toString();
        QCOMPARE(states,
            QStringList({ "UFDATA_001_2005 ready", "UFDATA_001_2006 attached", "UFDATA_001_2008 log-missing" }));

        // The year without its log is skipped: not everything asked for was done.
        server.clearRequests();
        r = runCli(common("attach-missing") << "--root" << root << "--json", pw());
        QVERIFY2(r.exitCode == 1 && r.jsonOk && !r.json.isEmpty(), qPrintable(describe(r)));
        QCOMPARE(attachesSent(server),
            QStringList({ "EXEC sp_attach_db @dbname = N'UFDATA_001_2005',@filename1 = N'"
                + path("001", "2005", "ufdata.MDF") + "',@filename2 = N'" + path("001", "2005", "ufdata.LDF") + "'" }));
        const QJsonObject summary = r.json.last().value("summary").toObject();
        QCOMPARE(summary.value("attached").toInt(), 1);
        QCOMPARE(summary.value("alreadyAttached").toInt(), 1);
        QCOMPARE(summary.value("skipped").toInt(), 1);

        // Asked for explicitly, the year without its log is attached with a new one.
        server.clearRequests();
        r = runCli(common("attach-missing") << "--root" << root << "--rebuild-log", pw());
        QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
        QVERIFY2(
            r.out.contains(QStringLiteral("附加 1 个，已存在 2 个，跳过 0 个，失败 0 个（其中 1 个重建了日志文件）")),
            qPrintable(r.out));
        QCOMPARE(attachesSent(server),
            QStringList({ "CREATE DATABASE UFDATA_001_2008 ON (FILENAME = N'" + path("001", "2008", "ufdata.MDF")
                + "') FOR ATTACH_REBUILD_LOG" }));

        r = runCli(common("shrink") << "--log"
                                    << "--json"
                                    << "UFDATA_001_2005",
            pw());
        QVERIFY2(r.exitCode == 0 && r.jsonOk && r.json.size() == 1, qPrintable(describe(r)));
        QCOMPARE(r.json.at(0).value("outcome").toString(), QStringLiteral("shrunk"));
    }

    // After a rebuilt log the data file records the log the server made under its own name: the
    // scan shows it for the attached year, and once the year is detached it is ready with it.
    void rebuiltLogIsFoundAgain()
    {
        QVERIFY(makeYear("001", "2007"));
        QVERIFY(QFile::remove(root + QStringLiteral("/ZT001/2007/ufdata.LDF")));
        CliRun r = runCli(common("attach-missing") << "--root" << root << "--rebuild-log", pw());
        QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
        r = runCli(common("scan") << "--root" << root << "--json", pw());
        QVERIFY2(r.exitCode == 0 && r.jsonOk && r.json.size() == 1, qPrintable(describe(r)));
        const QString rebuilt = r.json.at(0).value("logFile").toString();
        QVERIFY2(r.json.at(0).value("state").toString() == QLatin1String("attached")
                && rebuilt.endsWith(QLatin1String("UFDATA_001_2007_log.ldf")) && QFileInfo::exists(rebuilt),
            qPrintable(describe(r)));

        QCOMPARE(tp::test::executeStatement(cs, "EXEC sp_detach_db @dbname = N'UFDATA_001_2007'"), QString());
        r = runCli(common("scan") << "--root" << root << "--json", pw());
        QVERIFY2(r.exitCode == 0 && r.jsonOk && r.json.size() == 1, qPrintable(describe(r)));
        QCOMPARE(r.json.at(0).value("state").toString() + " " + r.json.at(0).value("logFile").toString(),
            "ready " + rebuilt);
        server.clearRequests();
        r = runCli(common("attach-missing") << "--root" << root, pw());
        QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
        QCOMPARE(attachesSent(server),
            QStringList({ "EXEC sp_attach_db @dbname = N'UFDATA_001_2007',@filename1 = N'"
                + path("001", "2007", "ufdata.MDF") + "',@filename2 = N'" + rebuilt + "'" }));
    }

    // Where case counts, ZT001 and zt001 are two folders: the copy in zt001 is not attached
    // because ZT001's files are, and its name is taken.
    void twoCopiesInAnotherCase()
    {
#ifdef Q_OS_WIN
        QSKIP("one folder where the file system ignores case");
#endif
        QVERIFY(makeYear("001", "2005"));
        QVERIFY(QDir().mkpath(root + QStringLiteral("/zt001/2005")));
        for (const QString f : { "/2005/ufdata.MDF", "/2005/ufdata.LDF" })
            QVERIFY(QFile::copy(root + "/ZT001" + f, root + "/zt001" + f));
        CliRun r = runCli(common("attach-missing") << "--root" << root << "--json", pw());
        QVERIFY2(r.exitCode == 1 && r.jsonOk && r.json.size() == 3, qPrintable(describe(r)));
        QCOMPARE(r.json.at(0).value("outcome").toString() + " " + r.json.at(1).value("outcome").toString() + " "
                + r.json.at(1).value("state").toString(),
            QStringLiteral("attached skipped name-taken"));
        r = runCli(common("scan") << "--root" << root << "--json", pw());
        QVERIFY2(r.exitCode == 0 && r.jsonOk && r.json.size() == 2, qPrintable(describe(r)));
        QCOMPARE(r.json.at(0).value("state").toString() + " " + r.json.at(1).value("state").toString() + " "
                + r.json.at(1).value("otherFile").toString(),
            "attached name-taken " + path("001", "2005", "ufdata.MDF"));
    }

    // Every year attach-missing leaves unattached is one of its rows, and the status is 1: also
    // an attached year whose files are gone.
    void everyYearNotAttachedIsReported()
    {
        QVERIFY(makeYear("001", "2005"));
        QCOMPARE(tp::test::executeStatement(cs,
                     attachYear("001", "2005")),
            QString());
        QVERIFY(QDir(root + QStringLiteral("/ZT001/2005")).removeRecursively());
        QVERIFY(QDir().mkpath(root + QStringLiteral("/ZT001/2006/ufdata.MDF"))); // not a file
        const CliRun r = runCli(common("attach-missing") << "--root" << root << "--json", pw());
        QVERIFY2(r.exitCode == 1 && r.jsonOk && r.json.size() == 3, qPrintable(describe(r)));
        QStringList rows;
        for (int i = 0; i < 2; ++i)
            rows << r.json.at(i).value("database").toString() + " " + r.json.at(i).value("outcome").toString() + " "
                    + r.json.at(i).value("state").toString();
        QCOMPARE(rows, QStringList({ "UFDATA_001_2005 skipped gone", "UFDATA_001_2006 skipped unreadable" }));
        QCOMPARE(r.json.at(2).value("summary").toObject().value("skipped").toInt(), 2);
    }

    // The command line killed while the server shrinks the log: the server ends the batch by
    // itself and sets the recovery model back.
    void killedDuringShrink()
    {
        server.setExtraArguments({ QStringLiteral("--shrink-delay-ms"), QStringLiteral("6000") });
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        server.setExtraArguments({});
        cs = tp::test::standinMasterConnectionString(server.serverName(), server.password());
        QVERIFY(makeYear("001", "2005"));
        QCOMPARE(tp::test::executeStatement(cs,
                     attachYear("001", "2005") + " ALTER DATABASE UFDATA_001_2005 SET RECOVERY FULL"),
            QString());
        server.clearRequests();
        const auto batches = [&] {
            QStringList sent;
            for (const QString& t : server.sqlTexts()) {
                if (t.contains(QLatin1String("SET RECOVERY")))
                    sent << t;
            }
            return sent;
        };

        auto master = std::make_shared<tp::Connection>();
        master->open(cs, QString(), QString(), tp::adConnectUnspecified);
        const auto recovery = [&] {
            tp::Recordset rs;
            rs.open("SELECT CAST(DATABASEPROPERTYEX(N'UFDATA_001_2005','Recovery') AS nvarchar(128))", master,
                tp::adOpenStatic, tp::adLockOptimistic, tp::adCmdUnspecified);
            return rs.text(0, 0);
        };
        QProcess cli;
        cli.start(qEnvironmentVariable("TALLYPORT_CLI"), common("shrink") << "--log" << "UFDATA_001_2005");
        QVERIFY2(cli.waitForStarted(10000), qPrintable(cli.errorString()));
        cli.write(pw());
        cli.closeWriteChannel();
        // Killed while the server shrinks (6 s), before the reply came.
        QTRY_VERIFY_WITH_TIMEOUT(!batches().isEmpty(), 30000);
        cli.kill();
        QVERIFY(cli.waitForFinished(10000));
        QCOMPARE(cli.exitStatus(), QProcess::CrashExit);

        QTRY_COMPARE_WITH_TIMEOUT(recovery(), QStringLiteral("FULL"), 30000);
        const QStringList sent = batches();
        QCOMPARE(sent.size(), 1);
        QVERIFY2(sent.first().startsWith("BEGIN TRY ALTER DATABASE UFDATA_001_2005 SET RECOVERY SIMPLE CHECKPOINT "
                                         "DBCC SHRINKFILE (UFDATA_001_2005_log) ALTER DATABASE UFDATA_001_2005 SET RECOVERY "
                                         "FULL END TRY BEGIN CATCH "),
            qPrintable(sent.first()));
    }

    // The link breaks after the shrink's batch left, just after a cancel stopped it in SIMPLE:
    // the model is set back over a new connection, and the row says so.
    void lostLinkAfterACancelledShrink()
    {
        server.setExtraArguments({ QStringLiteral("--shrink-delay-ms"), QStringLiteral("1500") });
        QVERIFY2(server.restart(), qPrintable(server.lastError()));
        server.setExtraArguments({});
        cs = tp::test::standinMasterConnectionString(server.serverName(), server.password());
        QVERIFY(makeYear("001", "2005"));
        QCOMPARE(tp::test::executeStatement(cs,
                     attachYear("001", "2005") + " ALTER DATABASE UFDATA_001_2005 SET RECOVERY FULL"),
            QString());
        tp::test::CuttingProxy proxy;
        QVERIFY(proxy.start(server.port()));
        proxy.cutAfter(QStringLiteral("SET RECOVERY SIMPLE"), true);
        const CliRun r = runCli({ "shrink", "--log", "--server", proxy.serverName(), "--password-stdin", "--json",
                                    "UFDATA_001_2005" },
            pw());
        QVERIFY(proxy.hasCut());
        QVERIFY2(r.exitCode == 1 && r.jsonOk && r.json.size() == 1, qPrintable(describe(r)));
        QVERIFY2(r.json.at(0).value("hint").toString().contains(QStringLiteral("程序已通过新的连接把它改回 FULL")),
            qPrintable(describe(r)));
        QCOMPARE(tp::test::executeStatement(cs,
                     "IF CAST(DATABASEPROPERTYEX(N'UFDATA_001_2005','Recovery') AS nvarchar(128)) <> N'FULL' "
                     "RAISERROR (N'not FULL', 16, 1)"),
            QString());
    }

    void failuresGiveStatusOne()
    {
        QVERIFY(makeYear("001", "2005"));
        // Not a database file: the server's verdict refuses it before anything is sent; the
        // other year is attached all the same.
        QVERIFY(QDir().mkpath(root + "/ZT000/2005"));
        for (const char* f : { "/ZT000/2005/ufdata.MDF", "/ZT000/2005/ufdata.LDF" }) {
            QFile file(root + f);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(20000, 'x'));
        }
        server.clearRequests();
        CliRun r = runCli(common("attach-missing") << "--root" << root << "--json", pw());
        QVERIFY2(r.exitCode == 1 && r.jsonOk && r.json.size() == 3, qPrintable(describe(r)));
        QCOMPARE(r.json.at(0).value("outcome").toString(), QStringLiteral("refused"));
        QCOMPARE(r.json.at(0).value("error").toInt(), 5172);
        QCOMPARE(r.json.at(1).value("outcome").toString(), QStringLiteral("attached"));
        QCOMPARE(attachesSent(server).size(), 1);

        // A database that cannot leave FULL recovery is not shrunk, and the command line says why.
        QCOMPARE(tp::test::executeStatement(cs, "ALTER DATABASE UFDATA_001_2005 SET PARTNER = N'TCP://mirror:5022'"),
            QString());
        r = runCli(common("shrink") << "--log"
                                    << "UFDATA_001_2005",
            pw());
        QVERIFY2(r.exitCode == 1 && r.out.contains(QStringLiteral("不允许")), qPrintable(describe(r)));

        r = runCli(common("scan") << "--root" << root + "/nowhere", pw());
        QVERIFY2(r.exitCode == 1 && r.err.contains(QStringLiteral("找不到数据根目录")), qPrintable(describe(r)));

        r = runCli(common("detach") << "NoSuchDb", pw());
        QVERIFY2(r.exitCode == 1 && r.out.contains(QStringLiteral("错误号 15010")), qPrintable(describe(r)));

        r = runCli(common("scan") << "--root" << root, "wrong\n");
        QVERIFY2(r.exitCode == 1 && r.err.contains(QStringLiteral("错误号 18456")), qPrintable(describe(r)));

        r = runCli({ "scan", "--server", server.serverName(), "--root", root, "--password", "x" });
        QVERIFY2(r.exitCode == 2 && r.err.contains(QStringLiteral("密码不能写在命令行上")), qPrintable(describe(r)));
    }

    // What --what-if lists is what a real run sends, in the same order; the scan's shows the
    // plan as it is on disk.
    void whatIfListsWhatARealRunSends()
    {
        QVERIFY(makeYear("001", "2005"));
        QVERIFY(makeYear("001", "2006"));
        QVERIFY(QFile::remove(root + QStringLiteral("/ZT001/2006/ufdata.LDF")));
        CliRun r = runCli({ "scan", "--root", root, "--what-if", "--json" });
        // The catalogue, the verdict's version, service account and batch, then the plan.
        QVERIFY2(r.exitCode == 0 && r.jsonOk && r.json.size() == 7, qPrintable(describe(r)));
        QCOMPARE(r.json.at(0).value("statement").toString() + " / " + r.json.at(1).value("statement").toString(),
            QStringLiteral("SELECT name, filename, dbid FROM master..sysdatabases / "
                           "SELECT dbid, filename, groupid FROM master..sysaltfiles"));
        QVERIFY2(r.json.at(4).value("statement").toString().startsWith(QStringLiteral("SELECT 0 AS verdict_item\n")),
            qPrintable(describe(r)));
        QCOMPARE(r.json.at(5).value("state").toString() + " " + r.json.at(6).value("state").toString(),
            QStringLiteral("ready log-missing"));

        const QStringList attach { "attach-missing", "--server", server.serverName(), "--root", root, "--rebuild-log" };
        r = runCli(QStringList(attach) << "--what-if");
        QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
        const QStringList listed = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        server.clearRequests();
        r = runCli(QStringList(attach) << "--password-stdin", pw());
        QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
        QStringList sent = server.sqlTexts();
        sent.removeAll(QStringLiteral("SET QUOTED_IDENTIFIER ON")); // FreeTDS's own, at every connect
        // A batch is listed one statement a line.
        QCOMPARE(sent.join(QLatin1Char('\n')).split(QLatin1Char('\n')), listed);
    }

    // The main window's plain literal would reach the server as '????'.
    void detachSendsTheNameInUnicode()
    {
        QVERIFY(makeYear("001", "2005"));
        QCOMPARE(tp::test::executeStatement(cs,
                     "EXEC sp_attach_db @dbname = N'账套2024',@filename1 = N'" + path("001", "2005", "ufdata.MDF")
                         + "',@filename2 = N'" + path("001", "2005", "ufdata.LDF") + "'"),
            QString());
        server.clearRequests();
        const CliRun r = runCli(common("detach") << QStringLiteral("账套2024"), pw());
        QVERIFY2(r.exitCode == 0 && r.out.contains(QStringLiteral("已分离")), qPrintable(describe(r)));
        QCOMPARE(attachesSent(server), QStringList { QStringLiteral("EXEC sp_detach_db @dbname = N'账套2024'") });
    }

    // Refused on this machine before any server is asked: said as such, not as a failed connection.
    void refusedBeforeTheServer_data()
    {
        QTest::addColumn<QString>("serverSuffix");
        QTest::addColumn<QByteArray>("input"); // empty: the stand-in's password
        QTest::addColumn<bool>("noDriver");
        QTest::addColumn<QString>("said");
        QTest::newRow("password with };") << "" << QByteArray("a};b\n") << false << "SA 密码中含有“};”";
#ifndef Q_OS_WIN
        // unixODBC's list of drivers comes from ODBCSYSINI; under wine the variable does not reach it.
        QTest::newRow("no SQL Server ODBC driver") << "" << QByteArray() << true << "ODBC Driver 18 for SQL Server";
        QTest::newRow("password not UTF-8") << "" << QByteArray("\xC3\xDC\xC2\xEB\n") << false << "不是有效的 UTF-8";
#endif
    }
    void refusedBeforeTheServer()
    {
        QFETCH(QString, serverSuffix);
        QFETCH(QByteArray, input);
        QFETCH(bool, noDriver);
        QFETCH(QString, said);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (noDriver) {
            // The driver manager lists Microsoft's driver, whose library is not there.
            QFile ini(tmp.filePath(QStringLiteral("odbcinst.ini")));
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write("[ODBC Driver 18 for SQL Server]\nDriver=/nonexistent/libmsodbcsql-18.so\n");
            ini.close();
            environment.insert(QStringLiteral("ODBCSYSINI"), tmp.path());
        }
        server.clearRequests();
        const CliRun r = runCli({ "scan", "--server", server.serverName() + serverSuffix, "--root", root,
                                    "--password-stdin" },
            input.isEmpty() ? pw() : input, environment);
        QVERIFY2(r.exitCode == 1 && r.err.contains(said) && !r.err.contains(QStringLiteral("失败")),
            qPrintable(describe(r)));
        QVERIFY(server.sqlTexts().isEmpty());
    }

    // "--" ends the options: a database whose name begins with "-" can be named after it.
    void namesAfterDoubleDash()
    {
        QVERIFY(makeYear("001", "2005"));
        QCOMPARE(tp::test::executeStatement(cs,
                     "EXEC sp_attach_db @dbname = N'--x',@filename1 = N'" + path("001", "2005", "ufdata.MDF")
                         + "',@filename2 = N'" + path("001", "2005", "ufdata.LDF") + "'"),
            QString());
        server.clearRequests();
        const CliRun r = runCli(common("detach") << "--" << "--x", pw());
        QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
        QCOMPARE(attachesSent(server), QStringList { QStringLiteral("EXEC sp_detach_db @dbname = N'--x'") });
    }

#ifdef Q_OS_UNIX
    // A reader that has gone (| head) does not stop the detaches midway: every one is sent,
    // and the lost output makes the status 1.
    void readerGoneFinishesTheWork()
    {
        const QStringList names { "UFDATA_001_2005", "UFDATA_001_2006", "UFDATA_001_2007" };
        for (const QString& name : names) {
            QVERIFY(makeYear("001", name.right(4)));
            QCOMPARE(tp::test::executeStatement(cs,
                         "EXEC sp_attach_db @dbname = N'" + name + "',@filename1 = N'"
                             + path("001", name.right(4), "ufdata.MDF") + "',@filename2 = N'"
                             + path("001", name.right(4), "ufdata.LDF") + "'"),
                QString());
        }
        server.clearRequests();
        QProcess p;
        // The reader closes its end before the password is given, so every write finds it gone.
        p.start(QStringLiteral("bash"),
            QStringList { "-c", "\"$0\" \"$@\" | { exec 0<&-; echo closed >&2; }; exit ${PIPESTATUS[0]}",
                qEnvironmentVariable("TALLYPORT_CLI") }
                << common("detach") << "--json" << names);
        QVERIFY(p.waitForStarted());
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += p.readAllStandardError()).contains("closed"), 10000);
        p.write(pw());
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished(60000));
        err += p.readAllStandardError();
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 1,
            qPrintable(QStringLiteral("exit %1: %2").arg(p.exitCode()).arg(QString::fromUtf8(err))));
        QCOMPARE(attachesSent(server).size(), 3);
    }

    // Ctrl+C while the server carries out an attach: the attach is answered and reported, the
    // next years are not sent, and the command says which.
    void ctrlCWaitsForTheStatement()
    {
        for (const char* year : { "2005", "2006", "2007" })
            QVERIFY(makeYear("001", year));
        HoldingProxy proxy(quint16(server.port()), QStringLiteral("sp_attach_db"));
        server.clearRequests();
        QProcess p;
        p.start(qEnvironmentVariable("TALLYPORT_CLI"),
            { "attach-missing", "--server", proxy.serverName(), "--root", root, "--password-stdin" });
        QVERIFY(p.waitForStarted());
        p.write(pw());
        p.closeWriteChannel();
        QTRY_VERIFY_WITH_TIMEOUT(proxy.holding(), 30000);
        QCOMPARE(::kill(pid_t(p.processId()), SIGINT), 0);
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT(
            (err += p.readAllStandardError()).contains(QStringLiteral("已收到 Ctrl+C").toUtf8()), 10000);
        proxy.release();
        QTRY_VERIFY_WITH_TIMEOUT(p.state() == QProcess::NotRunning, 30000);
        err += p.readAllStandardError();
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 130, err.constData());
        QVERIFY2(out.contains(QStringLiteral("UFDATA_001_2005  已附加")), qPrintable(out));
        QVERIFY2(QString::fromUtf8(err).contains(
                     QStringLiteral("以下 2 个年度没有附加：UFDATA_001_2006、UFDATA_001_2007")),
            err.constData());
        QCOMPARE(attachesSent(server).size(), 1);
    }

    // Ctrl+C at the password prompt leaves the terminal echoing again.
    void ctrlCAtThePromptGivesEchoBack()
    {
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        const QByteArray slave = ptsname(master);
        const int terminal = ::open(slave.constData(), O_RDWR | O_NOCTTY);
        QVERIFY(terminal >= 0);
        const auto echoes = [terminal] {
            termios t {};
            return tcgetattr(terminal, &t) == 0 && (t.c_lflag & ECHO) != 0;
        };
        QVERIFY(echoes());
        QProcess p;
        p.setStandardInputFile(QString::fromLocal8Bit(slave));
        p.start(qEnvironmentVariable("TALLYPORT_CLI"), { "scan", "--server", server.serverName(), "--root", root });
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!echoes(), 10000);
        QCOMPARE(::kill(pid_t(p.processId()), SIGINT), 0);
        QVERIFY(p.waitForFinished(10000));
        const bool echoesAgain = echoes();
        ::close(terminal);
        ::close(master);
        QVERIFY(echoesAgain);
        QCOMPARE(p.exitStatus(), QProcess::CrashExit); // ended by SIGINT, as a shell expects
    }
#endif
};

// The server's verdict on a year before any attach, against a 2022 stand-in (run as the
// service account "nobody" where the row says so, and so are the stand-ins that write the
// files): its state and sentence in the scan, and attach-missing sends nothing for a refused
// year and exits with 1.
void TestCli::verdicts_data()
{
    QTest::addColumn<int>("writer"); // the version of the stand-in that wrote the files
    QTest::addColumn<bool>("serviceAccount");
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("hintPart");
    QTest::newRow("2000 files") << 8 << false << ""
                                << "too-old" << 950 << "先把它附加到一台 SQL Server 2008 或 2008 R2 的服务器上";
    QTest::newRow("2025 files") << 17 << false << ""
                                << "too-new" << 948 << "请把它附加到 SQL Server 2025 或更新版本的服务器上";
    QTest::newRow("not a database file") << 16 << false << "junk"
                                         << "not-database" << 5172 << "不是有效的数据库文件";
    QTest::newRow("2014 files are upgraded for good") << 12 << false << ""
                                                      << "ready" << 0 << "升级后不能再附加到 SQL Server 2014";
#ifdef Q_OS_WIN
    // The read-only attribute binds every account.
    QTest::newRow("read-only files") << 16 << false << "read-only"
                                     << "read-only" << 0 << "附加后数据库只能读";
#else
    // The service account, not the superuser the tests run as, is what the files must allow.
    QTest::newRow("the server may not read the files")
        << 16 << true << "no-access"
        << "no-access" << 5120 << "的所有者改为这个账户，例如以 root 执行：chown -R nobody";
    QTest::newRow("read-only files") << 16 << true << "read-only"
                                     << "read-only" << 0 << "附加后数据库只能读";
    QTest::newRow("read-only 2014 files: the upgrade would write them") << 12 << true << "read-only"
                                                                        << "read-only" << 3415 << "升级须写入文件";
#endif
}

void TestCli::verdicts()
{
    QFETCH(int, writer);
    QFETCH(bool, serviceAccount);
    QFETCH(QString, damage);
    QFETCH(QString, state);
    QFETCH(int, error);
    QFETCH(QString, hintPart);
    const QString account = serviceAccount ? QStringLiteral("nobody") : QString();
    if (serviceAccount) {
        server.stop();
        server.setRunAs(account);
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        cs = tp::test::standinMasterConnectionString(server.serverName(), server.password());
    }
    QVERIFY(makeYearOn(writer, "001", "2005", account));
    makeOpenFolder(root + QStringLiteral("/ZT001/2006"));
    QVERIFY(makeYear("001", "2006"));
    const QString folder = root + QStringLiteral("/ZT001/2005/");
    for (const char* name : { "ufdata.MDF", "ufdata.LDF" }) {
        QFile f(folder + QLatin1String(name));
        if (damage == QLatin1String("junk")) {
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray(20000, 'x'));
        } else if (damage == QLatin1String("read-only")) {
            QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        } else if (damage == QLatin1String("no-access")) {
            QVERIFY(f.setPermissions({}));
        }
    }

    CliRun r = runCli(common("scan") << "--root" << root << "--json", pw());
    QVERIFY2(r.exitCode == 0 && r.jsonOk && r.json.size() == 2, qPrintable(describe(r)));
    const QJsonObject year = r.json.at(0);
    QCOMPARE(year.value("state").toString(), state);
    QCOMPARE(year.value("error").toInt(), error);
    QVERIFY2(year.value("hint").toString().contains(hintPart), qPrintable(describe(r)));
    QCOMPARE(r.json.at(1).value("state").toString(), QStringLiteral("ready"));

    server.clearRequests();
    r = runCli(common("attach-missing") << "--root" << root, pw());
    const bool refused = state != QLatin1String("ready");
    QVERIFY2(r.exitCode == (refused ? 1 : 0) && r.out.contains(hintPart), qPrintable(describe(r)));
    QCOMPARE(attachesSent(server).size(), refused ? 1 : 2);
    QVERIFY2(!refused || !attachesSent(server).first().contains("UFDATA_001_2005"), qPrintable(describe(r)));
    QVERIFY2(!refused || r.out.contains(QStringLiteral("不能附加 1 个")), qPrintable(r.out));
    for (const char* name : { "ufdata.MDF", "ufdata.LDF" })
        QFile::setPermissions(folder + QLatin1String(name), QFile::ReadOwner | QFile::WriteOwner);
}

// A year whose server was killed, its log gone: the server cannot rebuild the log, and the hint
// says to find it or restore from a backup.
void TestCli::logLessYearNotShutDownCleanly()
{
    QVERIFY(makeYearOn(16, "001", "2005", QString(), true));
    QVERIFY(QFile::remove(root + QStringLiteral("/ZT001/2005/ufdata.LDF")));
    CliRun r = runCli(common("scan") << "--root" << root << "--json", pw());
    QVERIFY2(r.exitCode == 0 && r.json.size() == 1, qPrintable(describe(r)));
    QCOMPARE(r.json.at(0).value("state").toString(), QStringLiteral("log-missing"));

    r = runCli(common("attach-missing") << "--root" << root << "--rebuild-log"
                                        << "--json",
        pw());
    QVERIFY2(r.exitCode == 1 && r.jsonOk && r.json.size() == 2, qPrintable(describe(r)));
    QCOMPARE(r.json.at(0).value("outcome").toString(), QStringLiteral("failed"));
    QCOMPARE(r.json.at(0).value("error").toInt(), 5113);
    QVERIFY2(r.json.at(0).value("hint").toString().contains(QStringLiteral("从备份还原")), qPrintable(describe(r)));
}

// An .MDF beside the account-year layout is listed under the name it records, and attached
// under it with the log its file lists only when asked for.
void TestCli::otherDataFiles()
{
    QVERIFY(makeYear("001", "2005"));
    QVERIFY(QDir().mkpath(root + "/parked"));
    QVERIFY(tp::test::executeStatement(cs,
        "CREATE DATABASE Books ON PRIMARY (NAME = b, FILENAME = N'" + root
            + "/parked/books.mdf') LOG ON (NAME = bl, "
              "FILENAME = N'"
            + root + "/parked/books_log.ldf')")
                .isEmpty());
    QVERIFY(tp::test::executeStatement(cs, "EXEC sp_detach_db @dbname = N'Books'").isEmpty());
    const QString books = root + QStringLiteral("\\parked\\books.mdf");

    server.clearRequests();
    CliRun r = runCli(common("scan") << "--root" << root << "--json", pw());
    QVERIFY2(r.exitCode == 0 && r.jsonOk && r.json.size() == 2, qPrintable(describe(r)));
    QCOMPARE(r.json.at(1).value("database").toString(), QStringLiteral("Books"));
    QCOMPARE(r.json.at(1).value("dataFile").toString(), books);
    QVERIFY(r.json.at(1).value("otherDataFile").toBool());
    QVERIFY2(server.sqlTexts().contains("SELECT 0 AS verdict_item\ndbcc checkprimaryfile (N'"
                 + path("001", "2005", "ufdata.MDF")
                 + "',2) WITH NO_INFOMSGS\nSELECT 1 AS verdict_item\n"
                   "dbcc checkprimaryfile (N'"
                 + books
                 + "',2) WITH NO_INFOMSGS\n"
                   "dbcc checkprimaryfile (N'"
                 + books + "',3) WITH NO_INFOMSGS"),
        qPrintable(server.sqlTexts().join("\n---\n")));

    server.clearRequests();
    r = runCli(common("attach-missing") << "--root" << root << "--json", pw());
    QVERIFY2(r.exitCode == 0 && r.json.size() == 2, qPrintable(describe(r))); // the year and the summary
    QCOMPARE(attachesSent(server).size(), 1);

    server.clearRequests();
    r = runCli(common("attach-missing") << "--root" << root << "--all-files", pw());
    QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
    QCOMPARE(attachesSent(server),
        QStringList({ "EXEC sp_attach_db @dbname = N'Books',@filename1 = N'" + books + "',@filename2 = N'" + root
            + "\\parked\\books_log.ldf'" }));
}

// Command lines refused before anything is read or sent: a password as an option (its value
// is never used or shown), an unknown option (named without its value), a server text that
// would add attributes to the connection string.
void TestCli::refusedCommandLines_data()
{
    QTest::addColumn<QStringList>("args"); // SERVER stands for the stand-in
    QTest::addColumn<QString>("said");
    const QString password = QStringLiteral("密码不能写在命令行上");
    const QString serverName = QStringLiteral("服务器名称中不能含有");
    const QStringList detach { "detach", "--server", "SERVER" };
    QTest::newRow("-P before a name") << (QStringList(detach) << "-P" << "secret" << "Books2024") << password;
    QTest::newRow("-p, shrink") << QStringList { "shrink", "--log", "--server", "SERVER", "-p", "secret", "Books" }
                                << password;
    QTest::newRow("-P first") << QStringList { "-P", "secret", "detach", "--server", "SERVER", "Books" } << password;
    QTest::newRow("-P, what-if") << QStringList { "detach", "--what-if", "-P", "secret", "Books" } << password;
    QTest::newRow("--Password=") << (QStringList(detach) << "--Password=secret" << "Books") << password;
    QTest::newRow("--pwd=") << (QStringList(detach) << "--pwd=secret" << "Books") << password;
    QTest::newRow("--password X") << (QStringList(detach) << "--password" << "secret" << "Books") << password;
    QTest::newRow("/P") << (QStringList(detach) << "/P" << "secret" << "Books") << password;
    QTest::newRow("/pwd:") << (QStringList(detach) << "/pwd:secret" << "Books") << password;
    QTest::newRow("-Password") << (QStringList(detach) << "-Password" << "secret" << "Books") << password;
    QTest::newRow("--passwd") << (QStringList(detach) << "--passwd" << "secret" << "Books") << password;
    QTest::newRow("--pass") << (QStringList(detach) << "--pass" << "secret" << "Books") << password;
    QTest::newRow("-P as the server") << QStringList { "detach", "--server", "-P", "secret", "Books" } << password;
    QTest::newRow("--password-stdin=") << (QStringList(detach) << "--password-stdin=secret" << "Books") << password;
    QTest::newRow("unknown option with =") << (QStringList(detach) << "--user=secret" << "Books")
                                           << "未知的选项 --user（";
    QTest::newRow("unknown short option") << (QStringList(detach) << "-x" << "secret" << "Books") << "未知的选项 -x（";
    QTest::newRow("server with ; and Server=")
        << QStringList { "detach", "--server", "127.0.0.1,1;Server=SERVER", "Books" } << serverName;
    QTest::newRow("server with };") << QStringList { "detach", "--server", "SERVER};x", "Books" } << serverName;
    QTest::newRow("server with {") << QStringList { "scan", "--server", "{SERVER", "--root", "." } << serverName;
    QTest::newRow("server with =") << QStringList { "shrink", "--log", "--server", "SERVER=", "Books" } << serverName;
}

void TestCli::refusedCommandLines()
{
    QFETCH(QStringList, args);
    QFETCH(QString, said);
    args.replaceInStrings(QStringLiteral("SERVER"), server.serverName());
    server.clearRequests();
    const CliRun r = runCli(args << "--password-stdin", pw());
    QVERIFY2(r.exitCode == 2 && r.err.contains(said), qPrintable(describe(r)));
    QVERIFY2(!(r.out + r.err).contains(QStringLiteral("secret")), qPrintable(describe(r)));
    QVERIFY(server.sqlTexts().isEmpty());
}

void TestCli::shrinkSaysTheLogChainIsBroken_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("broken");
    QTest::newRow("2022, FULL") << 16 << "FULL" << true;
    QTest::newRow("2022, BULK_LOGGED") << 16 << "BULK_LOGGED" << true;
    QTest::newRow("2008, FULL") << 10 << "FULL" << true;
    QTest::newRow("2022, SIMPLE") << 16 << "SIMPLE" << false;
}

// The log's shrink through SIMPLE recovery breaks the log backup chain: the next log backup
// fails (4214) until a database backup, and the command line says so below its success line.
void TestCli::shrinkSaysTheLogChainIsBroken()
{
    QFETCH(int, version);
    QFETCH(QString, model);
    QFETCH(bool, broken);
    server.stop();
    QVERIFY2(server.start(version), qPrintable(server.lastError()));
    cs = tp::test::standinMasterConnectionString(server.serverName(), server.password());
    QVERIFY(makeYear("001", "2005"));
    const QString backups = tmp.filePath(QStringLiteral("backup-%1-%2").arg(version).arg(model));
    const QString backupLog = "BACKUP LOG UFDATA_001_2005 TO DISK = N'" + backups + ".trn'";
    QCOMPARE(tp::test::executeStatement(cs,
                 attachYear("001", "2005") + " ALTER DATABASE UFDATA_001_2005 SET RECOVERY " + model + " BACKUP DATABASE UFDATA_001_2005 TO DISK = N'" + backups + ".bak'"),
        QString());
    if (broken)
        QCOMPARE(tp::test::executeStatement(cs, backupLog), QString());

    CliRun r = runCli(common("shrink") << "--log" << "UFDATA_001_2005", pw());
    QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.size() == (broken ? 3 : 2) && lines.at(1).startsWith("UFDATA_001_2005  日志文件收缩成功"),
        qPrintable(describe(r)));
    if (broken) {
        QVERIFY2(lines.at(2).contains(QStringLiteral("日志备份链因此断开")) && lines.at(2).contains("4214"),
            qPrintable(r.out));
        QVERIFY2(tp::test::executeStatement(cs, backupLog).contains("4214"), "the log backup chain is whole");
    }
    r = runCli(common("shrink") << "--log" << "--json" << "UFDATA_001_2005", pw());
    QVERIFY2(r.exitCode == 0 && r.jsonOk && r.json.size() == 1, qPrintable(describe(r)));
    QCOMPARE(r.json.at(0).value("logChainBroken").toBool(), broken);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
