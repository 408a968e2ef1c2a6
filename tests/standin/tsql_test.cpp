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

private:
    TsqlRun tsql(const QString& input, const QString& password = QString());

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

QTEST_GUILESS_MAIN(TsqlTest)
#include "tsql_test.moc"
