#include "Shrink.h"
#include "Statements.h"

#include <QTest>

using tp::LogTruncation;

class TestOperationsStatements : public QObject
{
    Q_OBJECT
private slots:
    void attach_data();
    void attach();
    void detach_data();
    void detach();
    void lookups();
    void samePath_data();
    void samePath();
    void identifier_data();
    void identifier();
    void logicalFileName_data();
    void logicalFileName();
    void majorVersion_data();
    void majorVersion();
    void recoveryQuery_data();
    void recoveryQuery();
    void truncation_data();
    void truncation();
    void shrinkBatch_data();
    void shrinkBatch();
    void setRecovery();
    void shrinkPlan_data();
    void shrinkPlan();
};

void TestOperationsStatements::attach_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("dataFile");
    QTest::addColumn<QString>("logFile");
    QTest::addColumn<QString>("statement");
    QTest::newRow("account year")
        << "UFDATA_001_2007"
        << "D:\\Data\\ZT001\\2007\\ufdata.MDF"
        << "D:\\Data\\ZT001\\2007\\ufdata.LDF"
        << "EXEC sp_attach_db @dbname = N'UFDATA_001_2007',@filename1 = "
           "N'D:\\Data\\ZT001\\2007\\ufdata.MDF',@filename2 = N'D:\\Data\\ZT001\\2007\\ufdata.LDF'";
    QTest::newRow("drive root keeps the doubled backslash")
        << "UFDATA_001_2007"
        << "C:\\\\ZT001\\2007\\ufdata.MDF"
        << "C:\\\\ZT001\\2007\\ufdata.LDF"
        << "EXEC sp_attach_db @dbname = N'UFDATA_001_2007',@filename1 = N'C:\\\\ZT001\\2007\\ufdata.MDF',"
           "@filename2 = N'C:\\\\ZT001\\2007\\ufdata.LDF'";
    QTest::newRow("apostrophes doubled everywhere") << "O'Brien"
                                                    << "D:\\Bob's\\a.MDF"
                                                    << "D:\\Bob's\\a.LDF"
                                                    << "EXEC sp_attach_db @dbname = N'O''Brien',@filename1 = "
                                                       "N'D:\\Bob''s\\a.MDF',@filename2 = N'D:\\Bob''s\\a.LDF'";
    QTest::newRow("empty values") << ""
                                  << ""
                                  << ""
                                  << "EXEC sp_attach_db @dbname = N'',@filename1 = N'',@filename2 = N''";
    QTest::newRow("chinese and blanks kept") << "账套 2007"
                                             << "/tmp/数据/a.MDF"
                                             << "/tmp/数据/a.LDF"
                                             << "EXEC sp_attach_db @dbname = N'账套 2007',@filename1 = "
                                                "N'/tmp/数据/a.MDF',@filename2 = N'/tmp/数据/a.LDF'";
}

void TestOperationsStatements::attach()
{
    QFETCH(QString, name);
    QFETCH(QString, dataFile);
    QFETCH(QString, logFile);
    QFETCH(QString, statement);
    QCOMPARE(tp::attachDatabaseStatement(name, dataFile, logFile), statement);
}

void TestOperationsStatements::detach_data()
{
    // The main window's plain literal, and the command line's N'...'.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("unicodeStatement");
    QTest::newRow("account year") << "UFDATA_001_2007"
                                  << "EXEC sp_detach_db @dbname = 'UFDATA_001_2007'"
                                  << "EXEC sp_detach_db @dbname = N'UFDATA_001_2007'";
    QTest::newRow("apostrophe") << "O'Brien"
                                << "EXEC sp_detach_db @dbname = 'O''Brien'"
                                << "EXEC sp_detach_db @dbname = N'O''Brien'";
    QTest::newRow("two apostrophes") << "''"
                                     << "EXEC sp_detach_db @dbname = ''''''"
                                     << "EXEC sp_detach_db @dbname = N''''''";
    QTest::newRow("blanks only") << "  "
                                 << "EXEC sp_detach_db @dbname = '  '"
                                 << "EXEC sp_detach_db @dbname = N'  '";
    QTest::newRow("chinese") << "账套"
                             << "EXEC sp_detach_db @dbname = '账套'"
                             << "EXEC sp_detach_db @dbname = N'账套'";
}

void TestOperationsStatements::detach()
{
    QFETCH(QString, name);
    QFETCH(QString, statement);
    QFETCH(QString, unicodeStatement);
    QCOMPARE(tp::detachDatabaseStatement(name), statement);
    QCOMPARE(tp::detachDatabaseUnicodeStatement(name), unicodeStatement);
}

void TestOperationsStatements::lookups()
{
    QCOMPARE(tp::logicalNameQuery(2), QStringLiteral("SELECT name FROM sysfiles WHERE(fileid= 2)"));
    QCOMPARE(tp::logicalNameQuery(1), QStringLiteral("SELECT name FROM sysfiles WHERE(fileid= 1)"));
    QCOMPARE(
        tp::productVersionQuery(), QStringLiteral("SELECT CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128))"));
    QCOMPARE(tp::primaryFileQuery(QStringLiteral("O'Brien 账套")),
        QStringLiteral("SELECT filename FROM master..sysdatabases WHERE name = N'O''Brien 账套'"));
    QCOMPARE(tp::primaryFilesQuery(), QStringLiteral("SELECT name, filename FROM master..sysdatabases"));
}

void TestOperationsStatements::samePath_data()
{
    QTest::addColumn<QString>("reported");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("same");
    QTest::newRow("as sent") << "D:\\Data\\ZT001\\2007\\ufdata.MDF"
                             << "D:\\Data\\ZT001\\2007\\ufdata.MDF" << true;
    QTest::newRow("case") << "d:\\data\\zt001\\2007\\UFDATA.mdf"
                          << "D:\\Data\\ZT001\\2007\\ufdata.MDF" << true;
    QTest::newRow("slashes") << "/srv/Data/ZT001/2007/ufdata.MDF"
                             << "\\srv\\Data\\ZT001\\2007\\ufdata.MDF" << true;
    QTest::newRow("padded to 260") << "D:\\a.MDF" + QString(250, ' ') << "D:\\a.MDF" << true;
    QTest::newRow("other year") << "D:\\Data\\ZT001\\2006\\ufdata.MDF"
                                << "D:\\Data\\ZT001\\2007\\ufdata.MDF" << false;
    QTest::newRow("leading blank counts") << " D:\\a.MDF"
                                          << "D:\\a.MDF" << false;
    QTest::newRow("log is not the data file") << "D:\\a.LDF"
                                              << "D:\\a.MDF" << false;
    QTest::newRow("a drive root in the account-year scheme") << "C:\\ZT001\\2005\\ufdata.MDF"
                                                             << "C:\\\\ZT001\\2005\\ufdata.MDF" << true;
    QTest::newRow("doubled inside a UNC name") << "\\\\server\\share\\\\x\\ufdata.MDF"
                                               << "\\\\server\\share\\x\\ufdata.MDF" << true;
    QTest::newRow("a UNC name is not a rooted path") << "\\\\server\\share\\x"
                                                     << "\\server\\share\\x" << false;
    QTest::newRow("dots resolved") << "D:\\Data\\.\\ZT001\\..\\ZT001\\ufdata.MDF"
                                   << "D:/Data/ZT001/ufdata.MDF" << true;
    QTest::newRow("case in a UNC name") << "\\\\Server\\Share\\ZT001"
                                        << "\\\\server\\share\\zt001" << true;
#ifndef Q_OS_WIN
    QTest::newRow("a POSIX path keeps its case") << "/srv/Data/ZT001/2007/ufdata.MDF"
                                                 << "/srv/Data/zt001/2007/ufdata.MDF" << false;
#endif
}

void TestOperationsStatements::samePath()
{
    QFETCH(QString, reported);
    QFETCH(QString, path);
    QFETCH(bool, same);
    QCOMPARE(tp::samePath(reported, path), same);
    QCOMPARE(tp::samePath(path, reported), same);
}

void TestOperationsStatements::identifier_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("written");
    QTest::newRow("account year") << "UFDATA_001_2007"
                                  << "UFDATA_001_2007";
    QTest::newRow("logical log name") << "ufdata_Log"
                                      << "ufdata_Log";
    QTest::newRow("chinese") << "账套数据"
                             << "账套数据";
    QTest::newRow("chinese with digits") << "账套2007"
                                         << "账套2007";
    QTest::newRow("underscore first") << "_x"
                                      << "_x";
    QTest::newRow("inner @ # $") << "a@b#c$d"
                                 << "a@b#c$d";
    QTest::newRow("blank") << "my db"
                           << "[my db]";
    QTest::newRow("hyphen") << "my-db"
                            << "[my-db]";
    QTest::newRow("apostrophe") << "O'Brien"
                                << "[O'Brien]";
    QTest::newRow("leading digit") << "2007db"
                                   << "[2007db]";
    QTest::newRow("reserved word") << "backup"
                                   << "[backup]";
    QTest::newRow("reserved word upper") << "FILE"
                                         << "[FILE]";
    QTest::newRow("reserved word in a name") << "FILE1"
                                             << "FILE1";
    QTest::newRow("empty") << ""
                           << "[]";
    QTest::newRow("closing bracket doubled") << "a]b"
                                             << "[a]]b]";
    QTest::newRow("opening bracket") << "a[b"
                                     << "[a[b]";
    QTest::newRow("leading @") << "@x"
                               << "[@x]";
    QTest::newRow("leading #") << "#x"
                               << "[#x]";
    QTest::newRow("leading $") << "$x"
                               << "[$x]";
    QTest::newRow("dot") << "a.b"
                         << "[a.b]";
    QTest::newRow("full-width blank") << QStringLiteral("账套\u3000数据") << QStringLiteral("[账套\u3000数据]");
    QTest::newRow("trailing blank") << "ab "
                                    << "[ab ]";
}

void TestOperationsStatements::identifier()
{
    QFETCH(QString, name);
    QFETCH(QString, written);
    QCOMPARE(tp::sqlIdentifier(name), written);
    QCOMPARE(tp::isRegularIdentifier(name), written == name);
}

void TestOperationsStatements::logicalFileName_data()
{
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("name");
    QTest::newRow("as is") << "ufdata_Log"
                           << "ufdata_Log";
    QTest::newRow("nchar padding") << QStringLiteral("ufdata_Log") + QString(118, QLatin1Char(' ')) << "ufdata_Log";
    QTest::newRow("leading blank kept") << " a "
                                        << " a";
    QTest::newRow("inner blank kept") << "a b  "
                                      << "a b";
    QTest::newRow("blanks only") << "   "
                                 << "";
}

void TestOperationsStatements::logicalFileName()
{
    QFETCH(QString, read);
    QFETCH(QString, name);
    QCOMPARE(tp::logicalFileName(read), name);
}

void TestOperationsStatements::majorVersion_data()
{
    QTest::addColumn<QString>("productVersion");
    QTest::addColumn<int>("major");
    QTest::newRow("2000") << "8.00.2039" << 8;
    QTest::newRow("2005") << "9.00.5000.00" << 9;
    QTest::newRow("2008 R2") << "10.50.1600.1" << 10;
    QTest::newRow("2022") << "16.0.1000.6" << 16;
    QTest::newRow("padded") << " 11.0.2100.60 " << 11;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("garbage") << "x" << 0;
}

void TestOperationsStatements::majorVersion()
{
    QFETCH(QString, productVersion);
    QFETCH(int, major);
    QCOMPARE(tp::majorVersion(productVersion), major);
}

void TestOperationsStatements::recoveryQuery_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("query");
    QTest::newRow("account year") << "UFDATA_001_2007"
                                  << "SELECT CAST(DATABASEPROPERTYEX(N'UFDATA_001_2007','Recovery') AS nvarchar(128))";
    QTest::newRow("apostrophe") << "O'Brien"
                                << "SELECT CAST(DATABASEPROPERTYEX(N'O''Brien','Recovery') AS nvarchar(128))";
}

void TestOperationsStatements::recoveryQuery()
{
    QFETCH(QString, name);
    QFETCH(QString, query);
    QCOMPARE(tp::recoveryModelQuery(name), query);
}

void TestOperationsStatements::truncation_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("recovery");
    QTest::addColumn<int>("truncation");
    QTest::newRow("2000 full") << 8 << "FULL" << int(LogTruncation::TruncateOnly);
    QTest::newRow("2005 simple") << 9 << "SIMPLE" << int(LogTruncation::TruncateOnly);
    QTest::newRow("2008 full") << 10 << "FULL" << int(LogTruncation::SimpleRoundTrip);
    QTest::newRow("2022 bulk logged") << 16 << "bulk_logged " << int(LogTruncation::SimpleRoundTrip);
    QTest::newRow("2022 nothing read") << 16 << "" << int(LogTruncation::Checkpoint);
    QTest::newRow("2022 simple") << 16 << "SIMPLE" << int(LogTruncation::Checkpoint);
    QTest::newRow("2022 simple lower padded") << 16 << "simple  " << int(LogTruncation::Checkpoint);
    QTest::newRow("unknown version") << 0 << "SIMPLE" << int(LogTruncation::TruncateOnly);
}

void TestOperationsStatements::truncation()
{
    QFETCH(int, version);
    QFETCH(QString, recovery);
    QFETCH(int, truncation);
    QCOMPARE(int(tp::logTruncationFor(version, recovery)), truncation);
}

void TestOperationsStatements::shrinkBatch_data()
{
    QTest::addColumn<int>("truncation");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("logical");
    QTest::addColumn<QString>("batch");
    const int old = int(LogTruncation::TruncateOnly);
    const int checkpoint = int(LogTruncation::Checkpoint);
    QTest::newRow("old, plain names") << old << "UFDATA_001_2007"
                                      << "ufdata_Log"
                                      << "BACKUP LOG UFDATA_001_2007 WITH TRUNCATE_ONLY DBCC SHRINKFILE (ufdata_Log)";
    QTest::newRow("old, 2000 padding trimmed")
        << old << "UFDATA_001_2007" << QStringLiteral("ufdata_Log") + QString(118, QLatin1Char(' '))
        << "BACKUP LOG UFDATA_001_2007 WITH TRUNCATE_ONLY DBCC SHRINKFILE (ufdata_Log)";
    QTest::newRow("old, blank in names") << old << "my db"
                                         << "my log"
                                         << "BACKUP LOG [my db] WITH TRUNCATE_ONLY DBCC SHRINKFILE ([my log])";
    QTest::newRow("old, padded name with a blank")
        << old << "a" << QStringLiteral("my log") + QString(122, QLatin1Char(' '))
        << "BACKUP LOG a WITH TRUNCATE_ONLY DBCC SHRINKFILE ([my log])";
    QTest::newRow("new full: checkpoint between the switches") << int(LogTruncation::SimpleRoundTrip) << "O'Brien"
                                                               << "O'Brien_log"
                                                               << "CHECKPOINT DBCC SHRINKFILE ([O'Brien_log])";
    QTest::newRow("new simple, plain") << checkpoint << "UFDATA_001_2007"
                                       << "ufdata"
                                       << "CHECKPOINT DBCC SHRINKFILE (ufdata)";
    QTest::newRow("new simple, bracket in name") << checkpoint << "x"
                                                 << "a]b"
                                                 << "CHECKPOINT DBCC SHRINKFILE ([a]]b])";
}

void TestOperationsStatements::shrinkBatch()
{
    QFETCH(int, truncation);
    QFETCH(QString, database);
    QFETCH(QString, logical);
    QFETCH(QString, batch);
    QCOMPARE(tp::shrinkBatch(LogTruncation(truncation), database, logical), batch);
}

void TestOperationsStatements::setRecovery()
{
    QCOMPARE(
        tp::setRecoveryStatement(QStringLiteral("UFDATA_001_2007"), tp::recoveryModelName(QStringLiteral("SIMPLE"))),
        QStringLiteral("ALTER DATABASE UFDATA_001_2007 SET RECOVERY SIMPLE"));
    QCOMPARE(
        tp::setRecoveryStatement(QStringLiteral("Primary"), tp::recoveryModelName(QStringLiteral(" bulk_logged "))),
        QStringLiteral("ALTER DATABASE [Primary] SET RECOVERY BULK_LOGGED"));
    QCOMPARE(tp::setRecoveryStatement(QStringLiteral("O'Brien"), QStringLiteral("FULL")),
        QStringLiteral("ALTER DATABASE [O'Brien] SET RECOVERY FULL"));
    QCOMPARE(tp::recoveryModelName(QStringLiteral("FULL; DROP")), QString());
}

// What a shrink asks and sends, per version, file and model (the answer to the model query).
void TestOperationsStatements::shrinkPlan_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("fileId");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("logical");
    QTest::addColumn<QStringList>("sent");
    const QString version = QStringLiteral("SELECT CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128))");
    const QString recovery
        = QStringLiteral("SELECT CAST(DATABASEPROPERTYEX(N'UFDATA_001_2007','Recovery') AS nvarchar(128))");
    QTest::newRow("2000 data file: the fixed text") << 8 << 1 << "FULL" << "UFDATA_001_2007" << "ufdata"
        << QStringList { version, "BACKUP LOG UFDATA_001_2007 WITH TRUNCATE_ONLY DBCC SHRINKFILE (ufdata)" };
    QTest::newRow("2005 log, model not asked") << 9 << 2 << "FULL" << "UFDATA_001_2007" << "ufdata_Log"
        << QStringList { version, "BACKUP LOG UFDATA_001_2007 WITH TRUNCATE_ONLY DBCC SHRINKFILE (ufdata_Log)" };
    QTest::newRow("2008 R2 log, full: RAISERROR") << 10 << 2 << "FULL" << "UFDATA_001_2007" << "ufdata_Log"
        << QStringList { version, recovery,
               "BEGIN TRY ALTER DATABASE UFDATA_001_2007 SET RECOVERY SIMPLE CHECKPOINT DBCC SHRINKFILE (ufdata_Log) "
               "ALTER DATABASE UFDATA_001_2007 SET RECOVERY FULL END TRY BEGIN CATCH DECLARE @number int, @message "
               "nvarchar(2048) SELECT @number = ERROR_NUMBER(), @message = ERROR_MESSAGE() IF "
               "CAST(DATABASEPROPERTYEX(N'UFDATA_001_2007','Recovery') AS nvarchar(128)) <> N'FULL' ALTER DATABASE "
               "UFDATA_001_2007 SET RECOVERY FULL; RAISERROR (N'%d: %s', 16, 1, @number, @message) END CATCH" };
    QTest::newRow("2012 log, bulk-logged, apostrophe: THROW") << 11 << 2 << "bulk_logged" << "O'Brien"
        << "O'Brien_log"
        << QStringList { "SELECT CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128))",
               "SELECT CAST(DATABASEPROPERTYEX(N'O''Brien','Recovery') AS nvarchar(128))",
               "BEGIN TRY ALTER DATABASE [O'Brien] SET RECOVERY SIMPLE CHECKPOINT DBCC SHRINKFILE ([O'Brien_log]) "
               "ALTER DATABASE [O'Brien] SET RECOVERY BULK_LOGGED END TRY BEGIN CATCH IF "
               "CAST(DATABASEPROPERTYEX(N'O''Brien','Recovery') AS nvarchar(128)) <> N'BULK_LOGGED' ALTER DATABASE "
               "[O'Brien] SET RECOVERY BULK_LOGGED; THROW; END CATCH" };
    QTest::newRow("2022 log, simple") << 16 << 2 << "SIMPLE" << "UFDATA_001_2007" << "ufdata_Log"
        << QStringList { version, recovery, "CHECKPOINT DBCC SHRINKFILE (ufdata_Log)" };
    QTest::newRow("2022 data file, full: no switch, model not asked")
        << 16 << 1 << "FULL" << "UFDATA_001_2007" << "ufdata"
        << QStringList { version, "CHECKPOINT DBCC SHRINKFILE (ufdata)" };
}

void TestOperationsStatements::shrinkPlan()
{
    QFETCH(int, version);
    QFETCH(int, fileId);
    QFETCH(QString, model);
    QFETCH(QString, database);
    QFETCH(QString, logical);
    QFETCH(QStringList, sent);
    QStringList asked;
    const tp::ShrinkPlan plan = tp::planShrink(
        [&](const QString& query) {
            asked << query;
            return asked.size() == 1 ? QString::number(version) + QStringLiteral(".0.1600.1") : model;
        },
        database, logical, fileId);
    QCOMPARE(asked << plan.batch, sent);
}

QTEST_APPLESS_MAIN(TestOperationsStatements)
#include "tst_operations_statements.moc"
