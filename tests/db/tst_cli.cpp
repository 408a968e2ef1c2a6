#include "Ado.h"
#include "StandinProcess.h"
#include "fileattach_dbfiles.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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

CliRun runCli(const QStringList& args, const QString& input = QString())
{
    CliRun r;
    QProcess p;
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
    p.write(input.toUtf8());
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
    QString path(const QString& set, const QString& year, const QString& file)
    {
        return root + QStringLiteral("\\ZT") + set + QLatin1Char('\\') + year + QLatin1Char('\\') + file;
    }
    QStringList common(const QString& command)
    {
        return { command, QStringLiteral("--server"), server.serverName(), QStringLiteral("--password-stdin") };
    }
    QString pw() { return server.password() + QLatin1Char('\n'); }

private slots:
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
            QStringList({ "SELECT name, filename FROM master..sysdatabases",
                "EXEC sp_attach_db @dbname = N'UFDATA_001_2005',@filename1 = N'" + path("001", "2005", "ufdata.MDF")
                    + "',@filename2 = N'" + path("001", "2005", "ufdata.LDF") + "'",
                "EXEC sp_attach_db @dbname = N'UFDATA_001_2006',@filename1 = N'" + path("001", "2006", "ufdata.MDF")
                    + "'" }));

        r = runCli({ "detach", "--what-if", "--json", "UFDATA_001_2005", "O'Brien" });
        QVERIFY2(r.exitCode == 0 && r.jsonOk && r.json.size() == 2, qPrintable(describe(r)));
        QCOMPARE(r.json.at(1).value("statement").toString(), QStringLiteral("EXEC sp_detach_db @dbname = 'O''Brien'"));
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

    void scanThenAttachMissing()
    {
        QVERIFY(makeYear("001", "2005"));
        QVERIFY(makeYear("001", "2006"));
        QVERIFY(makeYear("001", "2008"));
        QVERIFY(QFile::remove(root + QStringLiteral("/ZT001/2008/ufdata.LDF")));
        QVERIFY(tp::test::executeStatement(cs,
            "EXEC sp_attach_db @dbname = N'UFDATA_001_2006',@filename1 = N'" + path("001", "2006", "ufdata.MDF")
                + "',@filename2 = N'" + path("001", "2006", "ufdata.LDF") + "'")
                    .isEmpty());

        CliRun r = runCli(common("scan") << "--root" << root << "--json", pw());
        QVERIFY2(r.exitCode == 0 && r.jsonOk, qPrintable(describe(r)));
        QStringList states;
        for (const QJsonObject& o : r.json)
            states << o.value("database").toString() + " " + o.value("state").toString();
        QCOMPARE(states,
            QStringList({ "UFDATA_001_2005 ready", "UFDATA_001_2006 attached", "UFDATA_001_2008 log-missing" }));

        server.clearRequests();
        r = runCli(common("attach-missing") << "--root" << root << "--json", pw());
        QVERIFY2(r.exitCode == 0 && r.jsonOk && !r.json.isEmpty(), qPrintable(describe(r)));
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
                     "EXEC sp_attach_db @dbname = N'UFDATA_001_2005',@filename1 = N'"
                         + path("001", "2005", "ufdata.MDF") + "',@filename2 = N'" + path("001", "2005", "ufdata.LDF")
                         + "' ALTER DATABASE UFDATA_001_2005 SET RECOVERY FULL"),
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
        cli.write(pw().toUtf8());
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

    void failuresGiveStatusOne()
    {
        QVERIFY(makeYear("001", "2005"));
        // Not a database file: the server refuses it; the other year is attached all the same.
        QVERIFY(QDir().mkpath(root + "/ZT000/2005"));
        for (const char* f : { "/ZT000/2005/ufdata.MDF", "/ZT000/2005/ufdata.LDF" }) {
            QFile file(root + f);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(20000, 'x'));
        }
        CliRun r = runCli(common("attach-missing") << "--root" << root << "--json", pw());
        QVERIFY2(r.exitCode == 1 && r.jsonOk && r.json.size() == 3, qPrintable(describe(r)));
        QCOMPARE(r.json.at(0).value("outcome").toString(), QStringLiteral("failed"));
        QVERIFY2(r.json.at(0).value("error").toInt() > 0, qPrintable(describe(r)));
        QCOMPARE(r.json.at(1).value("outcome").toString(), QStringLiteral("attached"));

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

        r = runCli(common("scan") << "--root" << root, QStringLiteral("wrong\n"));
        QVERIFY2(r.exitCode == 1 && r.err.contains(QStringLiteral("错误号 18456")), qPrintable(describe(r)));

        r = runCli({ "scan", "--server", server.serverName(), "--root", root, "--password", "x" });
        QVERIFY2(r.exitCode == 2 && r.err.contains(QStringLiteral("密码不能写在命令行上")), qPrintable(describe(r)));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
