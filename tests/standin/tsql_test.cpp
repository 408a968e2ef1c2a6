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
#include <QTemporaryDir>
#include <QTest>

using tp::test::fileHash;
using tp::test::StandinProcess;

namespace {

constexpr int waitMs = 30000;

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
    QCOMPARE(fileHash(mdf), mdfHash);
    QCOMPARE(fileHash(ldf), ldfHash);
    QVERIFY(m_server->sqlTexts().contains(attach + QLatin1Char('\n')));

    const TsqlRun again = tsql(attach + QStringLiteral("\ngo\nexit\n"));
    QVERIFY(again.finished);
    QVERIFY2(again.err.contains(exists), qPrintable(again.err));
    QVERIFY2(again.err.contains(QLatin1String("Database 'UFDATA_001_2007' already exists.")), qPrintable(again.err));

    // A restarted server still knows the database.
    QVERIFY2(m_server->restart(), qPrintable(m_server->lastError()));
    const TsqlRun later = tsql(QStringLiteral("select name from sysdatabases ORDER BY name\ngo\nexit\n"));
    QCOMPARE(later.out.last(), QStringLiteral("UFDATA_001_2007"));
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

QTEST_GUILESS_MAIN(TsqlTest)
#include "tsql_test.moc"
