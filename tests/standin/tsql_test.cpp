// The stand-in through the real FreeTDS client `tsql`: sign in, list the databases, create a
// database in a temporary folder, detach it, attach it again with the application's exact
// statement, and see the second attach refused. The machine's FreeTDS configuration is kept out
// with a freetds.conf of the test's own.

#include "FileHash.h"
#include "StandinProcess.h"
#include "TsqlClient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using tp::test::fileHash;
using tp::test::StandinProcess;

namespace {

constexpr int waitMs = 30000;

// The messages tsql printed, "number/severity/state: text" each, in order.
QStringList tsqlMessages(const QString& err)
{
    static const QRegularExpression message(
        QStringLiteral("Msg (\\d+) \\(severity (\\d+), state (\\d+)\\) from [^\\n]*:\\n\\t\"(.*)\"\\n"));
    QStringList out;
    auto it = message.globalMatch(err);
    while (it.hasNext()) {
        const auto m = it.next();
        out << QStringLiteral("%1/%2/%3: %4").arg(m.captured(1), m.captured(2), m.captured(3), m.captured(4));
    }
    return out;
}

// Gives `path` to root with `mode` (the test runs as root; the server as another account).
void giveToRoot(const QString& path, mode_t mode)
{
    QVERIFY2(::chown(QFile::encodeName(path).constData(), 0, 0) == 0, qPrintable(path));
    QVERIFY2(::chmod(QFile::encodeName(path).constData(), mode) == 0, qPrintable(path));
}

struct TsqlRun
{
    bool finished = false;
    int exitCode = -1;
    QStringList out; // non-empty stdout lines, trimmed
    QString err;
    QString raw; // stdout as written
};

} // namespace

class TsqlTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void signInAndList_data();
    void signInAndList();
    void wrongPasswordRefused();
    void createDetachAttach_data();
    void createDetachAttach();
    void shrinkBatchPerVersion_data();
    void shrinkBatchPerVersion();
    void primaryFileQueries();
    void recoverySwitchNeedsDatabaseBackup_data();
    void recoverySwitchNeedsDatabaseBackup();
    void tryCatchShrinkBatch_data();
    void tryCatchShrinkBatch();
    void language_data();
    void language();
    void clientKilledDuringSlowShrink();
    void sysaltfiles_data();
    void sysaltfiles();

    void serviceAccountFileRefusals_data();
    void serviceAccountFileRefusals();
    void serviceAccountName();
    void serviceAccountVersions_data();
    void serviceAccountVersions();
    void killedServerLogCannotBeRebuilt_data();
    void killedServerLogCannotBeRebuilt();

private:
    TsqlRun tsql(const QString& input, const QString& password = QString());
    // Creates database S with files s.mdf and s_log.ldf in `folder`.
    bool createS(const QTemporaryDir& folder);

    tp::test::FreeTdsConfig m_conf;
    std::unique_ptr<StandinProcess> m_server;
};

void TsqlTest::initTestCase()
{
    QVERIFY(m_conf.write());
}

void TsqlTest::init()
{
    m_server = std::make_unique<StandinProcess>();
}

void TsqlTest::cleanup()
{
    m_server.reset();
}

TsqlRun TsqlTest::tsql(const QString& input, const QString& password)
{
    QProcess p;
    p.setProcessEnvironment(m_conf.environment());
    p.start(QStringLiteral("tsql"), tp::test::tsqlArguments(*m_server, password));
    const tp::test::TsqlOutput o = tp::test::finishTsql(p, input, waitMs);
    return { o.finished, o.exitCode, tp::test::outputLines(o.out), o.err, o.out };
}

void TsqlTest::signInAndList_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("2000") << 8;
    QTest::newRow("2005") << 9;
    QTest::newRow("2022") << 16;
}

void TsqlTest::signInAndList()
{
    QFETCH(int, version);
    QVERIFY2(m_server->start(version), qPrintable(m_server->lastError()));
    const TsqlRun r
        = tsql(QStringLiteral("select name from sysdatabases ORDER BY name\ngo\n"
                              "SELECT CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128))\ngo\nexit\n"));
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.err));
    QVERIFY2(!r.err.contains(QLatin1String("Msg ")), qPrintable(r.err));
    QCOMPARE(r.out.mid(0, 5), (QStringList { "name", "master", "model", "msdb", "tempdb" }));
    const QString expected = version == 8
        ? QStringLiteral("8.00.2039")
        : (version == 9 ? QStringLiteral("9.00.5000.00") : QStringLiteral("16.0.1000.6"));
    QCOMPARE(r.out.last(), expected);
}

void TsqlTest::wrongPasswordRefused()
{
    QVERIFY2(m_server->start(16), qPrintable(m_server->lastError()));
    const TsqlRun r = tsql(QStringLiteral("select 1\ngo\nexit\n"), QStringLiteral("not-it"));
    QVERIFY(r.finished);
    QVERIFY(r.exitCode != 0);
    QVERIFY2(r.err.contains(QLatin1String("Msg 18456 (severity 14, state 1)")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QLatin1String("\"Login failed for user 'sa'.\"")), qPrintable(r.err));
}

void TsqlTest::createDetachAttach_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("exists");
    QTest::newRow("2000") << 8 << "Msg 1801 (severity 16, state 1)";
    QTest::newRow("2022") << 16 << "Msg 1801 (severity 16, state 3)";
}

void TsqlTest::createDetachAttach()
{
    QFETCH(int, version);
    QFETCH(QString, exists);
    QVERIFY2(m_server->start(version), qPrintable(m_server->lastError()));
    QTemporaryDir files;
    QVERIFY(files.isValid());
    const QString mdf = files.filePath(QStringLiteral("ufdata.MDF"));
    const QString ldf = files.filePath(QStringLiteral("ufdata.LDF"));
    const QString create
        = QStringLiteral("CREATE DATABASE UFDATA_001_2007 ON PRIMARY (NAME = UFDATA_Data, FILENAME = '%1') "
                         "LOG ON (NAME = UFDATA_Log, FILENAME = '%2')")
              .arg(mdf, ldf);
    const TsqlRun made = tsql(create
        + QStringLiteral("\ngo\nEXEC sp_detach_db @dbname = 'UFDATA_001_2007'\ngo\n"
                         "select name from sysdatabases ORDER BY name\ngo\nexit\n"));
    QVERIFY2(made.finished && made.exitCode == 0, qPrintable(made.err));
    QVERIFY2(!made.err.contains(QLatin1String("Msg ")), qPrintable(made.err));
    QCOMPARE(made.out, (QStringList { "name", "master", "model", "msdb", "tempdb" }));
    QVERIFY(QFile::exists(mdf));
    QVERIFY(QFile::exists(ldf));
    const QByteArray mdfHash = fileHash(mdf);
    const QByteArray ldfHash = fileHash(ldf);

    // The application's statement, exactly as it composes it.
    const QString attach = QStringLiteral("EXEC sp_attach_db @dbname = N'UFDATA_001_2007',@filename1 = N'") + mdf
        + QStringLiteral("',@filename2 = N'") + ldf + QStringLiteral("'");
    const TsqlRun attached
        = tsql(attach + QStringLiteral("\ngo\nselect name from sysdatabases ORDER BY name\ngo\nexit\n"));
    QVERIFY2(attached.finished && attached.exitCode == 0, qPrintable(attached.err));
    QVERIFY2(!attached.err.contains(QLatin1String("Msg ")), qPrintable(attached.err));
    QCOMPARE(attached.out, (QStringList { "name", "master", "model", "msdb", "tempdb", "UFDATA_001_2007" }));
    // Attached, the primary file is marked open (the only change); the log is not written.
    QVERIFY(fileHash(mdf) != mdfHash);
    QCOMPARE(fileHash(ldf), ldfHash);
    QVERIFY(m_server->sqlTexts().contains(attach + QLatin1Char('\n')));

    const TsqlRun again = tsql(attach + QStringLiteral("\ngo\nexit\n"));
    QVERIFY(again.finished);
    QVERIFY2(again.err.contains(exists), qPrintable(again.err));
    QVERIFY2(again.err.contains(QLatin1String("Database 'UFDATA_001_2007' already exists.")), qPrintable(again.err));

    // A restarted server still knows the database; detached again, the files are as they were.
    QVERIFY2(m_server->restart(), qPrintable(m_server->lastError()));
    const TsqlRun later = tsql(QStringLiteral("select name from sysdatabases ORDER BY name\ngo\n"
                                              "EXEC sp_detach_db @dbname = 'UFDATA_001_2007'\ngo\nexit\n"));
    QCOMPARE(later.out.last(), QStringLiteral("UFDATA_001_2007"));
    QVERIFY2(!later.err.contains(QLatin1String("Msg ")), qPrintable(later.err));
    QCOMPARE(fileHash(mdf), mdfHash);
    QCOMPARE(fileHash(ldf), ldfHash);
}

void TsqlTest::shrinkBatchPerVersion_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("2005 truncates and shrinks") << 9;
    QTest::newRow("2022 refuses TRUNCATE_ONLY") << 16;
}

void TsqlTest::shrinkBatchPerVersion()
{
    QFETCH(int, version);
    QVERIFY2(m_server->start(version), qPrintable(m_server->lastError()));
    QTemporaryDir files;
    const QString ldf = files.filePath(QStringLiteral("s_log.ldf"));
    const TsqlRun made = tsql(QStringLiteral("CREATE DATABASE S ON (NAME = s, FILENAME = '%1') LOG ON (NAME = s_log, "
                                             "FILENAME = '%2')\ngo\nexit\n")
                                  .arg(files.filePath(QStringLiteral("s.mdf")), ldf));
    QVERIFY2(made.finished && !made.err.contains(QLatin1String("Msg ")), qPrintable(made.err));
    const qint64 before = QFileInfo(ldf).size();
    const TsqlRun r
        = tsql(QStringLiteral("use S\ngo\nBACKUP LOG S WITH TRUNCATE_ONLY DBCC SHRINKFILE (s_log)\ngo\nexit\n"));
    QVERIFY(r.finished);
    if (version >= 10) {
        QVERIFY2(r.err.contains(QLatin1String("Msg 155 (severity 15, state 1)")), qPrintable(r.err));
        QVERIFY2(
            r.err.contains(QLatin1String("'TRUNCATE_ONLY' is not a recognized BACKUP option.")), qPrintable(r.err));
        QCOMPARE(QFileInfo(ldf).size(), before);
        return;
    }
    QVERIFY2(!r.err.contains(QLatin1String("severity 16")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QLatin1String("DBCC execution completed.")), qPrintable(r.err));
    QCOMPARE(r.out.first(), QStringLiteral("DbId\tFileId\tCurrentSize\tMinimumSize\tUsedPages\tEstimatedPages"));
    QVERIFY(QFileInfo(ldf).size() < before);
    QCOMPARE(QFileInfo(ldf).size(), r.out.at(1).section(QLatin1Char('\t'), 2, 2).toLongLong() * 8192);
}

// The look-ups of a database's primary file, on every claimed version: the path exactly as
// given, not padded (sysdatabases.filename is nvarchar(260) on 2000 too).
void TsqlTest::primaryFileQueries()
{
    QTemporaryDir files;
    const QString mdf = files.filePath(QStringLiteral("p.mdf"));
    for (int version = 8; version <= 16; ++version) {
        QVERIFY2(m_server->start(version), qPrintable(m_server->lastError()));
        const TsqlRun r = tsql(QStringLiteral("CREATE DATABASE P ON (NAME = p, FILENAME = '%1') LOG ON (NAME = p_log, "
                                              "FILENAME = '%2')\ngo\nEXEC sp_detach_db @dbname = 'P'\ngo\n"
                                              "EXEC sp_attach_db @dbname = N'P',@filename1 = N'%1'\ngo\n"
                                              "SELECT filename FROM master..sysdatabases WHERE name = N'P'\ngo\n"
                                              "SELECT name, filename FROM master..sysdatabases\ngo\nexit\n")
                                   .arg(mdf, files.filePath(QStringLiteral("p_log.ldf"))));
        QVERIFY2(r.finished && !r.err.contains(QLatin1String("Msg ")), qPrintable(r.err));
        const QStringList lines = r.raw.split(QLatin1Char('\n'));
        QVERIFY2(lines.contains(QStringLiteral("filename")) && lines.contains(mdf), qPrintable(r.raw));
        QVERIFY2(lines.contains(QStringLiteral("name\tfilename")), qPrintable(r.raw));
        QVERIFY2(lines.contains(QStringLiteral("P\t") + mdf), qPrintable(r.raw));
        QCOMPARE(r.out.size(), 2 + 1 + 5);
        QVERIFY(QFile::remove(mdf) && QFile::remove(files.filePath(QStringLiteral("p_log.ldf"))));
    }
}

void TsqlTest::recoverySwitchNeedsDatabaseBackup_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("2008") << 10;
    QTest::newRow("2022") << 16;
}

// The shrink of a FULL database on 2008 and later, statement by statement as the application
// sends it: afterwards the server itself refuses log backups until a database backup.
void TsqlTest::recoverySwitchNeedsDatabaseBackup()
{
    QFETCH(int, version);
    QVERIFY2(m_server->start(version), qPrintable(m_server->lastError()));
    QTemporaryDir files;
    const QString bak = files.filePath(QStringLiteral("s.bak"));
    const TsqlRun backedUp
        = tsql(QStringLiteral("CREATE DATABASE S ON (NAME = s, FILENAME = '%1') LOG ON (NAME = "
                              "s_log, FILENAME = '%2')\ngo\nBACKUP DATABASE S TO DISK = N'%3'\ngo\n"
                              "BACKUP DATABASE S TO DISK = N'%3'\ngo\n"
                              "BACKUP LOG S TO DISK = N'NUL'\ngo\nexit\n")
                   .arg(files.filePath(QStringLiteral("s.mdf")), files.filePath(QStringLiteral("s_log.ldf")), bak));
    QVERIFY2(backedUp.finished && !backedUp.err.contains(QLatin1String("severity 16")), qPrintable(backedUp.err));
    QVERIFY2(backedUp.err.contains(QLatin1String("file 's' on file 2.")), qPrintable(backedUp.err));
    QVERIFY2(backedUp.err.contains(QLatin1String("BACKUP LOG successfully processed")), qPrintable(backedUp.err));
    QCOMPARE(QFileInfo(bak).size() > 0, true);

    const QString shrink = QStringLiteral("ALTER DATABASE S SET RECOVERY SIMPLE\ngo\nCHECKPOINT\ngo\nuse S\ngo\n"
                                          "DBCC SHRINKFILE (s_log)\ngo\nALTER DATABASE S SET RECOVERY FULL\ngo\n");
    const TsqlRun shrunk = tsql(shrink + QStringLiteral("BACKUP LOG S TO DISK = N'NUL'\ngo\n"));
    QVERIFY2(shrunk.err.contains(QLatin1String("Msg 4214 (severity 16, state 1)")), qPrintable(shrunk.err));
    QVERIFY2(shrunk.err.contains(QLatin1String("Msg 3013 (severity 16, state 1)")), qPrintable(shrunk.err));
    QCOMPARE(shrunk.err.count(QLatin1String("severity 16")), 2);

    const TsqlRun restarted
        = tsql(QStringLiteral("BACKUP DATABASE S TO DISK = N'NUL'\ngo\nBACKUP LOG S TO DISK = N'NUL'\ngo\n"
                              "ALTER DATABASE S SET PARTNER = N'TCP://mirror.example:5022'\ngo\n%1"
                              "SELECT DATABASEPROPERTYEX('S', 'Recovery')\ngo\nexit\n")
                   .arg(shrink));
    QVERIFY2(restarted.err.contains(QLatin1String("BACKUP LOG successfully processed")), qPrintable(restarted.err));
    // A mirrored database cannot leave FULL recovery: the switch is refused, nothing changes.
    QCOMPARE(restarted.err.count(QLatin1String("Msg 1468 (severity 16, state 1)")), 1);
    QCOMPARE(restarted.err.count(QLatin1String("Msg 5069 (severity 16, state 1)")), 1);
    QCOMPARE(restarted.err.count(QLatin1String("severity 16")), 2);
    QCOMPARE(restarted.out.last(), QStringLiteral("FULL"));
}

bool TsqlTest::createS(const QTemporaryDir& folder)
{
    const TsqlRun made
        = tsql(QStringLiteral("CREATE DATABASE S ON (NAME = s, FILENAME = '%1') LOG ON (NAME = s_log, "
                              "FILENAME = '%2')\ngo\nexit\n")
                   .arg(folder.filePath(QStringLiteral("s.mdf")), folder.filePath(QStringLiteral("s_log.ldf"))));
    if (!made.finished || made.err.contains(QLatin1String("Msg ")))
        qWarning("%s", qPrintable(made.err));
    return made.finished && !made.err.contains(QLatin1String("Msg "));
}

namespace {

// The shrink as the application sends it: one batch, THROW from 2012 on, RAISERROR before.
QString shrinkBatch(const QString& file, int version)
{
    const QString tryPart
        = QStringLiteral("BEGIN TRY ALTER DATABASE [S] SET RECOVERY SIMPLE CHECKPOINT DBCC SHRINKFILE "
                         "(%1) ALTER DATABASE [S] SET RECOVERY FULL END TRY ")
              .arg(file);
    const QString setBack = QStringLiteral("IF CAST(DATABASEPROPERTYEX(N'S','Recovery') AS nvarchar(128)) <> N'FULL' "
                                           "ALTER DATABASE [S] SET RECOVERY FULL; ");
    if (version >= 11)
        return tryPart + QStringLiteral("BEGIN CATCH ") + setBack + QStringLiteral("THROW; END CATCH");
    return tryPart
        + QStringLiteral(
            "BEGIN CATCH DECLARE @n int, @m nvarchar(2048) SELECT @n = ERROR_NUMBER(), @m = ERROR_MESSAGE() ")
        + setBack + QStringLiteral("RAISERROR(N'%d %s', 16, 1, @n, @m) END CATCH");
}

} // namespace

void TsqlTest::tryCatchShrinkBatch_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("error"); // empty: none
    QTest::newRow("2022 unknown file") << 16 << "nope"
                                       << "Msg 8985 (severity 16, state 1) from";
    QTest::newRow("2012 unknown file") << 11 << "nope"
                                       << "Msg 8985 (severity 16, state 1) from";
    QTest::newRow("2008 unknown file") << 10 << "nope"
                                       << "Msg 50000 (severity 16, state 1) from";
    QTest::newRow("2022 shrinks") << 16 << "s_log"
                                  << "";
    QTest::newRow("2008 shrinks") << 10 << "s_log"
                                  << "";
}

// The client's one-batch shrink through FreeTDS: a failure is reported once, with its own number
// from 2012 on and as 50000 "number text" before, and the database is in FULL recovery again.
void TsqlTest::tryCatchShrinkBatch()
{
    QFETCH(int, version);
    QFETCH(QString, file);
    QFETCH(QString, error);
    QVERIFY2(m_server->start(version), qPrintable(m_server->lastError()));
    QTemporaryDir files;
    QVERIFY(createS(files));
    const qint64 before = QFileInfo(files.filePath(QStringLiteral("s_log.ldf"))).size();
    const TsqlRun r = tsql(QStringLiteral("use S\ngo\n%1\ngo\nSELECT CAST(DATABASEPROPERTYEX(N'S', 'Recovery') AS "
                                          "nvarchar(128))\ngo\nexit\n")
                               .arg(shrinkBatch(file, version)));
    QVERIFY(r.finished);
    QCOMPARE(r.out.last(), QStringLiteral("FULL"));
    const qint64 after = QFileInfo(files.filePath(QStringLiteral("s_log.ldf"))).size();
    if (error.isEmpty()) {
        QVERIFY2(!r.err.contains(QLatin1String("severity 16")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QLatin1String("DBCC execution completed.")), qPrintable(r.err));
        QVERIFY(after < before);
        return;
    }
    QCOMPARE(r.err.count(QLatin1String("Msg ")), 1);
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    const QString text = QStringLiteral("Could not locate file 'nope' for database 'S' in sys.database_files.");
    QVERIFY2(r.err.contains(version >= 11 ? QStringLiteral("\"") + text : QStringLiteral("\"8985 ") + text),
        qPrintable(r.err));
    QCOMPARE(after, before);
}

void TsqlTest::language_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("out"); // stdout lines
    QTest::addColumn<QStringList>("err"); // pieces of stderr, in order
    QTest::newRow("variables and IF")
        << 16
        << "DECLARE @n int, @s nvarchar(20) SELECT @n = dbid FROM sysdatabases WHERE name = N'msdb' SET @s = N'db ' + "
           "CAST(@n AS nvarchar(5)) IF @n > 3 SELECT @s AS said ELSE SELECT N'no' AS said"
        << QStringList { "said", "db 4" } << QStringList();
    QTest::newRow("parse error: no CATCH")
        << 16 << "BEGIN TRY SELECT FROM x END TRY BEGIN CATCH SELECT N'caught' AS c END CATCH" << QStringList()
        << QStringList { "Msg 156 (severity 15, state 1)", "Incorrect syntax near the keyword 'FROM'." };
    QTest::newRow("RAISERROR formats") << 16 << "RAISERROR(N'%05d|%-4s|%x', 16, 3, 42, N'ab', 255)" << QStringList()
                                       << QStringList { "Msg 50000 (severity 16, state 3)", "\"00042|ab  |ff\"" };
    QTest::newRow("RAISERROR refuses a low number")
        << 16 << "RAISERROR(100, 16, 1)" << QStringList()
        << QStringList { "Msg 2732 (severity 16, state 1)", "Error number 100 is invalid." };
    QTest::newRow("2008: DECLARE with a value")
        << 10 << "DECLARE @a int = 5 SELECT @a AS a" << QStringList { "a", "5" } << QStringList();
    QTest::newRow("2008: no THROW") << 10 << "BEGIN TRY SELECT 1 END TRY BEGIN CATCH THROW; END CATCH" << QStringList()
                                    << QStringList { "Incorrect syntax near 'THROW'." };
    QTest::newRow("2000: no TRY") << 8 << "BEGIN TRY SELECT 1 END TRY BEGIN CATCH SELECT 2 END CATCH" << QStringList()
                                  << QStringList { "Msg 170 (severity 15, state 1)", "Incorrect syntax near 'TRY'." };
}

void TsqlTest::language()
{
    QFETCH(int, version);
    QFETCH(QString, sql);
    QFETCH(QStringList, out);
    QFETCH(QStringList, err);
    QVERIFY2(m_server->start(version), qPrintable(m_server->lastError()));
    const TsqlRun r = tsql(sql + QStringLiteral("\ngo\nexit\n"));
    QVERIFY(r.finished);
    QCOMPARE(r.out, out);
    qsizetype at = 0;
    for (const QString& piece : err) {
        at = r.err.indexOf(piece, at);
        QVERIFY2(at >= 0, qPrintable(piece + QStringLiteral(" not in: ") + r.err));
    }
    if (err.isEmpty())
        QVERIFY2(!r.err.contains(QLatin1String("Msg ")), qPrintable(r.err));
}

// A client killed while its shrink batch runs does not stop it: the server runs the batch to its
// end (one batch in the request log; the database back in FULL recovery, the log shrunk).
void TsqlTest::clientKilledDuringSlowShrink()
{
    m_server->setExtraArguments({ QStringLiteral("--shrink-delay-ms"), QStringLiteral("1500") });
    QVERIFY2(m_server->start(16), qPrintable(m_server->lastError()));
    QTemporaryDir files;
    QVERIFY(createS(files));
    const qint64 before = QFileInfo(files.filePath(QStringLiteral("s_log.ldf"))).size();
    const QString batch = shrinkBatch(QStringLiteral("s_log"), 16);
    QProcess client;
    client.setProcessEnvironment(m_conf.environment());
    client.start(QStringLiteral("tsql"), tp::test::tsqlArguments(*m_server));
    QVERIFY(client.waitForStarted(waitMs));
    client.write(QStringLiteral("use S\ngo\n%1\ngo\n").arg(batch).toUtf8());
    QTRY_VERIFY_WITH_TIMEOUT(m_server->sqlTexts().contains(batch + QLatin1Char('\n')), waitMs);
    client.kill();
    QVERIFY(client.waitForFinished(waitMs));

    const TsqlRun r
        = tsql(QStringLiteral("SELECT CAST(DATABASEPROPERTYEX(N'S', 'Recovery') AS nvarchar(128))\ngo\nexit\n"));
    QVERIFY2(r.finished && !r.err.contains(QLatin1String("Msg ")), qPrintable(r.err));
    QCOMPARE(r.out.last(), QStringLiteral("FULL"));
    QVERIFY(QFileInfo(files.filePath(QStringLiteral("s_log.ldf"))).size() < before);
    QCOMPARE(m_server->sqlTexts().count(batch + QLatin1Char('\n')), 1);
    QVERIFY(m_server->isRunning());
}

void TsqlTest::sysaltfiles_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("2000") << 8;
    QTest::newRow("2022") << 16;
}

// Which database uses a file, as the application asks: the name comes back blank-padded on 2000.
void TsqlTest::sysaltfiles()
{
    QFETCH(int, version);
    QVERIFY2(m_server->start(version), qPrintable(m_server->lastError()));
    QTemporaryDir files;
    QVERIFY(createS(files));
    const QString log = files.filePath(QStringLiteral("s_log.ldf"));
    const TsqlRun r = tsql(QStringLiteral("SELECT DB_NAME(dbid) AS db, fileid, name FROM master..sysaltfiles WHERE "
                                          "filename = N'%1'\ngo\nexit\n")
                               .arg(log));
    QVERIFY2(r.finished && !r.err.contains(QLatin1String("Msg ")), qPrintable(r.err));
    const QStringList lines = r.raw.split(QLatin1Char('\n'));
    QVERIFY2(lines.contains(QStringLiteral("db\tfileid\tname")), qPrintable(r.raw));
    QVERIFY2(lines.contains(QStringLiteral("S\t2\t")
                 + (version <= 8 ? QStringLiteral("s_log").leftJustified(128) : QStringLiteral("s_log"))),
        qPrintable(r.raw));
}

void TsqlTest::serviceAccountFileRefusals_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("2000") << 8;
    QTest::newRow("2008") << 10;
    QTest::newRow("2022") << 16;
}

// The stand-in as a service account (nobody): the file system's permissions apply. One scan
// batch of checkprimaryfile statements with refusals in the middle; then the attaches.
void TsqlTest::serviceAccountFileRefusals()
{
    QFETCH(int, version);
    if (::geteuid() != 0)
        QSKIP("the stand-in can only drop to another account when the test runs as root (as CI does)");
    QTemporaryDir files;
    QVERIFY(QFile::setPermissions(files.path(),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
            | QFileDevice::WriteGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther
            | QFileDevice::ExeOther));
    m_server->setRunAs(QStringLiteral("nobody"));
    QVERIFY2(m_server->start(version), qPrintable(m_server->lastError()));
    const auto path = [&](const char* name) { return files.filePath(QString::fromLatin1(name)); };
    QString make;
    for (const char* db : { "Locked", "Shared" }) {
        make += QStringLiteral("CREATE DATABASE %1 ON (NAME = %1, FILENAME = '%2/%1.mdf') LOG ON (NAME = %1_log, "
                               "FILENAME = '%2/%1_log.ldf')\ngo\nEXEC sp_detach_db @dbname = '%1'\ngo\n")
                    .arg(QString::fromLatin1(db), files.path());
    }
    const TsqlRun made = tsql(make + QStringLiteral("exit\n"));
    QVERIFY2(made.finished && !made.err.contains(QLatin1String("Msg ")), qPrintable(made.err));
    // Locked: root's alone (the account may not open it); Shared: readable, not writable.
    giveToRoot(path("Locked.mdf"), 0600);
    giveToRoot(path("Locked_log.ldf"), 0600);
    giveToRoot(path("Shared.mdf"), 0644);
    giveToRoot(path("Shared_log.ldf"), 0644);
    QFile junk(path("junk.mdf"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(16384, 'x'));
    junk.close();
    QVERIFY(QFile::setPermissions(path("junk.mdf"), QFileDevice::ReadOwner | QFileDevice::ReadOther));

    // The scan's batch: a refusal stops only its own statement.
    QString scan;
    int n = 0;
    for (const char* f : { "Locked.mdf", "Shared.mdf", "none.mdf", "junk.mdf", "Shared_log.ldf", "Shared.mdf" })
        scan += QStringLiteral("SELECT N'mark %1'\ndbcc checkprimaryfile (N'%2',2)\n").arg(n++).arg(path(f));
    const TsqlRun scanned = tsql(scan + QStringLiteral("go\nexit\n"));
    QVERIFY2(scanned.finished && scanned.exitCode == 0, qPrintable(scanned.err));
    QStringList marks;
    for (const QString& line : scanned.out) {
        if (line.startsWith(QLatin1String("mark ")) || line.startsWith(QLatin1String("Database name")))
            marks << line;
    }
    QCOMPARE(marks,
        (QStringList { "mark 0", "mark 1", "Database name\tShared", "mark 2", "mark 3", "mark 4", "mark 5",
            "Database name\tShared" }));
    QStringList refusals;
    for (const QString& m : tsqlMessages(scanned.err)) {
        if (!m.startsWith(QLatin1String("2528/")))
            refusals << QString(m).replace(files.path(), QStringLiteral("F"));
    }
    const QStringList expected = version <= 8
        ? QStringList { "5105/16/2: Device activation error. The physical file name 'F/Locked.mdf' may be incorrect.",
              "5105/16/2: Device activation error. The physical file name 'F/none.mdf' may be incorrect.",
              "5172/16/15: The header for file 'F/junk.mdf' is not a valid database file header. The PageAudit "
              "property "
              "is incorrect.",
              "5171/16/1: F/Shared_log.ldf is not a primary database file." }
        : QStringList { "5120/16/101: Unable to open the physical file \"F/Locked.mdf\". Operating system error 5: "
                        "\"5(Access is denied.)\".",
              "5120/16/101: Unable to open the physical file \"F/none.mdf\". Operating system error 2: \"2(The system "
              "cannot find the file specified.)\".",
              "5172/16/15: The header for file 'F/junk.mdf' is not a valid database file header. The PageAudit "
              "property "
              "is incorrect.",
              "5171/16/1: F/Shared_log.ldf is not a primary database file." };
    QCOMPARE(refusals, expected);

    // Attach: a file the account may not open is refused; one it may only read makes a
    // read-only database, which refuses option changes.
    const TsqlRun attached = tsql(
        QStringLiteral("EXEC sp_attach_db @dbname = N'Locked',@filename1 = N'%1',@filename2 = N'%2'\ngo\n"
                       "EXEC sp_attach_db @dbname = N'Shared',@filename1 = N'%3',@filename2 = N'%4'\ngo\n"
                       "SELECT CAST(DATABASEPROPERTYEX('Shared', 'Updateability') AS nvarchar(20))\ngo\n"
                       "ALTER DATABASE Shared SET RECOVERY SIMPLE\ngo\n"
                       "CREATE DATABASE Made ON (NAME = m, FILENAME = '%5') LOG ON (NAME = m_log, FILENAME = '%6')\n"
                       "go\nexit\n")
            .arg(path("Locked.mdf"), path("Locked_log.ldf"), path("Shared.mdf"), path("Shared_log.ldf"),
                m_server->dataDir() + QStringLiteral("/../made.mdf"),
                m_server->dataDir() + QStringLiteral("/../made.ldf")));
    QVERIFY(attached.finished);
    QCOMPARE(attached.out.last(), QStringLiteral("READ_ONLY"));
    QStringList got;
    for (const QString& m : tsqlMessages(attached.err))
        got << QString(m).replace(files.path(), QStringLiteral("F")).replace(m_server->dataDir(), QStringLiteral("D"));
    const QStringList wanted = version <= 8
        ? QStringList { "5105/16/2: Device activation error. The physical file name 'F/Locked.mdf' may be incorrect.",
              "1813/16/2: Could not open new database 'Locked'. CREATE DATABASE is aborted.",
              "5004/16/1: To use ALTER DATABASE, the database must be in a writable state in which a checkpoint can be "
              "executed.",
              "5123/16/1: CREATE FILE encountered operating system error 5(Access is denied.) while attempting to open "
              "or "
              "create the physical file 'D/../made.mdf'.",
              "1802/11/4: CREATE DATABASE failed. Some file names listed could not be created. Check previous errors." }
        : QStringList {
              "5120/16/101: Unable to open the physical file \"F/Locked.mdf\". Operating system error 5: \"5(Access "
              "is denied.)\".",
              "1802/16/4: CREATE DATABASE failed. Some file names listed could not be created. Check related errors.",
              "5004/16/1: To use ALTER DATABASE, the database must be in a writable state in which a checkpoint can be "
              "executed.",
              "5069/16/1: ALTER DATABASE statement failed.",
              "5123/16/1: CREATE FILE encountered operating system error 5(Access is denied.) while attempting to open "
              "or "
              "create the physical file 'D/../made.mdf'.",
              "1802/16/4: CREATE DATABASE failed. Some file names listed could not be created. Check related errors."
          };
    QCOMPARE(got, wanted);
    QVERIFY(!attached.err.contains(QLatin1String("Permission denied")));
}

// sys.dm_server_services reports the account the stand-in runs as, or the one it is told.
void TsqlTest::serviceAccountName()
{
    if (::geteuid() != 0)
        QSKIP("the stand-in can only drop to another account when the test runs as root (as CI does)");
    const QString ask = QStringLiteral("SELECT servicename, service_account, status_desc FROM sys.dm_server_services\n"
                                       "go\nexit\n");
    m_server->setRunAs(QStringLiteral("nobody"));
    QVERIFY2(m_server->start(16), qPrintable(m_server->lastError()));
    const TsqlRun asNobody = tsql(ask);
    QVERIFY2(asNobody.finished && asNobody.exitCode == 0, qPrintable(asNobody.err));
    QCOMPARE(asNobody.out,
        (QStringList { "servicename\tservice_account\tstatus_desc", "SQL Server (MSSQLSERVER)\tnobody\tRunning",
            "SQL Server Agent (MSSQLSERVER)\tnobody\tStopped" }));
    m_server->setExtraArguments({ QStringLiteral("--service-account"), QStringLiteral("NT Service\\MSSQLSERVER") });
    QVERIFY2(m_server->restart(), qPrintable(m_server->lastError()));
    QCOMPARE(tsql(ask).out.value(1), QStringLiteral("SQL Server (MSSQLSERVER)\tNT Service\\MSSQLSERVER\tRunning"));
    // Before 2008 R2 SP1 there is no such view.
    m_server->setExtraArguments({});
    QVERIFY2(m_server->start(10), qPrintable(m_server->lastError()));
    const TsqlRun old = tsql(ask);
    QCOMPARE(tsqlMessages(old.err), QStringList { "208/16/1: Invalid object name 'sys.dm_server_services'." });
}

void TsqlTest::serviceAccountVersions_data()
{
    QTest::addColumn<int>("writer");
    QTest::addColumn<int>("reader");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("2008 files, read-only to the account, on 2022")
        << 10 << 16
        << QStringList { "3415/16/2: Database 'Old' cannot be upgraded because it is read-only, has read-only files or "
                         "the user does not have permissions to modify some of the files. Make the database or files "
                         "writeable, and rerun recovery." };
    QTest::newRow("2000 files on 2022")
        << 8 << 16
        << QStringList { "1813/16/2: Could not open new database 'Old'. CREATE DATABASE is aborted.",
               "950/20/1: Database 'Old' cannot be upgraded because its non-release version (539) is not supported by "
               "this version of SQL Server. You cannot open a database that is incompatible with this version of "
               "sqlservr.exe. You must re-create the database." };
    QTest::newRow("2022 files on 2008")
        << 16 << 10
        << QStringList { "1813/16/2: Could not open new database 'Old'. CREATE DATABASE is aborted.",
               "948/20/1: The database 'Old' cannot be opened because it is version 957. This server supports version "
               "655 "
               "and earlier. A downgrade path is not supported." };
}

// Files of another version, owned by root and only readable by the service account.
void TsqlTest::serviceAccountVersions()
{
    QFETCH(int, writer);
    QFETCH(int, reader);
    QFETCH(QStringList, expected);
    if (::geteuid() != 0)
        QSKIP("the stand-in can only drop to another account when the test runs as root (as CI does)");
    QTemporaryDir files;
    QVERIFY(QFile::setPermissions(files.path(),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
            | QFileDevice::WriteOther | QFileDevice::ExeOther));
    const QString mdf = files.filePath(QStringLiteral("old.mdf"));
    const QString ldf = files.filePath(QStringLiteral("old_log.ldf"));
    m_server->setRunAs(QStringLiteral("nobody"));
    QVERIFY2(m_server->start(writer), qPrintable(m_server->lastError()));
    const TsqlRun made = tsql(QStringLiteral("CREATE DATABASE Old ON (NAME = o, FILENAME = '%1') LOG ON (NAME = o_log, "
                                             "FILENAME = '%2')\ngo\nEXEC sp_detach_db @dbname = 'Old'\ngo\nexit\n")
                                  .arg(mdf, ldf));
    QVERIFY2(made.finished && !made.err.contains(QLatin1String("Msg ")), qPrintable(made.err));
    giveToRoot(mdf, 0644);
    giveToRoot(ldf, 0644);
    QVERIFY2(m_server->start(reader), qPrintable(m_server->lastError()));
    // What the scan sees first: the file is read whatever its version (the version rows themselves are
    // checked by the engine tests: tsql prints an int inside sql_variant wrongly).
    const TsqlRun checked = tsql(QStringLiteral("dbcc checkprimaryfile (N'%1',2)\ngo\nexit\n").arg(mdf));
    QVERIFY2(checked.out.contains(QStringLiteral("Database name\tOld")), qPrintable(checked.out.join('\n')));
    QCOMPARE(tsqlMessages(checked.err),
        QStringList { "2528/0/1: DBCC execution completed. If DBCC printed error messages, contact your system "
                      "administrator." });
    const TsqlRun r = tsql(QStringLiteral("EXEC sp_attach_db @dbname = N'Old',@filename1 = N'%1',@filename2 = N'%2'\n"
                                          "go\nexit\n")
                               .arg(mdf, ldf));
    QVERIFY(r.finished);
    QCOMPARE(tsqlMessages(r.err), expected);
}

void TsqlTest::killedServerLogCannotBeRebuilt_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("killed");
    QTest::newRow("2022 killed") << 16 << true;
    QTest::newRow("2022 detached") << 16 << false;
    QTest::newRow("2000 killed") << 8 << true;
}

// A database attached when the server was killed (SIGKILL) cannot have its log rebuilt; a
// detached one can.
void TsqlTest::killedServerLogCannotBeRebuilt()
{
    QFETCH(int, version);
    QFETCH(bool, killed);
    QTemporaryDir files;
    const QString mdf = files.filePath(QStringLiteral("k.mdf"));
    const QString ldf = files.filePath(QStringLiteral("k_log.ldf"));
    QVERIFY2(m_server->start(version), qPrintable(m_server->lastError()));
    const TsqlRun made
        = tsql(QStringLiteral("CREATE DATABASE K ON (NAME = k, FILENAME = '%1') LOG ON (NAME = k_log, "
                              "FILENAME = '%2')\ngo\n%3exit\n")
                   .arg(mdf, ldf, killed ? QString() : QStringLiteral("EXEC sp_detach_db @dbname = 'K'\ngo\n")));
    QVERIFY2(made.finished && !made.err.contains(QLatin1String("Msg ")), qPrintable(made.err));
    if (killed)
        QVERIFY(m_server->kill());
    else
        m_server->stop();
    QVERIFY(QFile::remove(ldf));
    // Another server (its own data folder) is given the primary file alone.
    QVERIFY2(m_server->start(version), qPrintable(m_server->lastError()));
    const QString attach = version <= 8
        ? QStringLiteral("EXEC sp_attach_db @dbname = N'K',@filename1 = N'%1'\ngo\n").arg(mdf)
        : QStringLiteral("CREATE DATABASE K ON (FILENAME = N'%1') FOR ATTACH_REBUILD_LOG\ngo\n").arg(mdf);
    const TsqlRun r = tsql(attach + QStringLiteral("select name from sysdatabases where name = N'K'\ngo\nexit\n"));
    QVERIFY(r.finished);
    QStringList got;
    for (const QString& m : tsqlMessages(r.err))
        got << QString(m).replace(files.path(), QStringLiteral("F")).replace(m_server->dataDir(), QStringLiteral("D"));
    QStringList expected;
    if (!killed) {
        expected = QStringList {
            "5111/0/1: File activation failure. The physical file name \"F/k_log.ldf\" may be incorrect.",
            "5182/0/1: New log file 'D/DATA/K_log.ldf' was created."
        };
    } else if (version <= 8) {
        expected
            = QStringList { "5105/0/2: Device activation error. The physical file name 'F/k_log.ldf' may be incorrect.",
                  "1818/16/1: Primary log file 'F/k_log.ldf' is missing and the database was not cleanly shut down so "
                  "it cannot "
                  "be rebuilt.",
                  "1813/16/2: Could not open new database 'K'. CREATE DATABASE is aborted." };
    } else {
        expected = QStringList {
            "5111/0/1: File activation failure. The physical file name \"F/k_log.ldf\" may be incorrect.",
            "5113/0/1: The log cannot be rebuilt because there were open transactions/users when the database was "
            "shutdown, no checkpoint occurred to the database, or the database was read-only. This error could occur "
            "if "
            "the transaction log file was manually deleted or lost due to a hardware or environment failure.",
            "1813/16/2: Could not open new database 'K'. CREATE DATABASE is aborted."
        };
    }
    QCOMPARE(got, expected);
    QCOMPARE(r.out.contains(QStringLiteral("K")), !killed);
}

QTEST_GUILESS_MAIN(TsqlTest)
#include "tsql_test.moc"
