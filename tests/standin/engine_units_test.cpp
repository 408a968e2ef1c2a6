// The engine's building blocks on their own: name collation, server paths, the message table,
// the database file format and RAISERROR's formatting.

#include "Collation.h"
#include "DatabaseFile.h"
#include "MessageTable.h"
#include "RaiseErrorFormat.h"
#include "ServerPath.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>

using namespace standin;

class EngineUnitsTest : public QObject
{
    Q_OBJECT

private slots:
    void compareNames_data();
    void compareNames();
    void codePage_data();
    void codePage();
    void serverPaths_data();
    void serverPaths();
    void openErrors();
    void messageVersions_data();
    void messageVersions();
    void fileHeaders_data();
    void fileHeaders();
    void fileRoundTripAndShrink();
    void raiseErrorFormat_data();
    void raiseErrorFormat();
    void raiseErrorLength();

    void osErrors_data();
    void osErrors();
    void fileAccessAndCleanMark();
};

void EngineUnitsTest::compareNames_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("sign");
    QTest::newRow("case ignored") << "UFDATA_001_2007"
                                  << "ufdata_001_2007" << 0;
    QTest::newRow("trailing blanks ignored") << "Tally  "
                                             << "tally" << 0;
    QTest::newRow("leading blank counts") << " Tally"
                                          << "Tally" << -1;
    QTest::newRow("underscore before digits") << "UFDATA_001_2007"
                                              << "UFDATA001" << -1;
    QTest::newRow("digits before letters") << "2007u"
                                           << "u" << -1;
    QTest::newRow("underscore before digit start") << "_u"
                                                   << "2007u" << -1;
    QTest::newRow("character by character") << "db10"
                                            << "db9" << -1;
    QTest::newRow("prefix first") << "u"
                                  << "UFDATA" << -1;
    QTest::newRow("years in order") << "UFDATA_001_2008"
                                    << "UFDATA_002_2007" << -1;
    QTest::newRow("between msdb and tempdb") << "msdb"
                                             << "Tally" << -1;
    QTest::newRow("Tally before tempdb") << "Tally"
                                         << "tempdb" << -1;
    QTest::newRow("accent decides only a tie") << "e"
                                               << "\u00e9" << -1;
    QTest::newRow("accented letter before the next letter") << "\u00e9"
                                                            << "f" << -1;
    QTest::newRow("accents are not equal") << "caf\u00e9"
                                           << "cafe" << 1;
    QTest::newRow("full width equals ascii") << "\uff35"
                                             << "u" << 0;
    QTest::newRow("chinese after latin") << "\u8d26\u5957"
                                         << "zeta" << 1;
}

void EngineUnitsTest::compareNames()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, sign);
    QCOMPARE(standin::compareNames(a, b), sign);
    QCOMPARE(standin::compareNames(b, a), -sign);
    QCOMPARE(sameName(a, b), sign == 0);
}

void EngineUnitsTest::codePage_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ascii") << "UFDATA_001_2007"
                           << "UFDATA_001_2007";
    QTest::newRow("latin-1") << "Gr\u00fc\u00dfe"
                             << "Gr\u00fc\u00dfe";
    QTest::newRow("euro sign is in 1252") << "\u20ac"
                                          << "\u20ac";
    QTest::newRow("chinese") << "\u8d26\u5957"
                             << "??";
    QTest::newRow("outside the BMP") << "a\U0001F600b"
                                     << "a?b";
}

void EngineUnitsTest::codePage()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(toServerCodePage(text), expected);
}

void EngineUnitsTest::serverPaths_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("local"); // "-" = cannot exist here
    QTest::newRow("unix path") << "/srv/d/x.mdf"
                               << "/srv/d/x.mdf"
                               << "/srv/d/x.mdf";
    QTest::newRow("backslashes") << "\\srv\\d\\x.mdf"
                                 << "\\srv\\d\\x.mdf"
                                 << "/srv/d/x.mdf";
    QTest::newRow("trailing blanks") << "/srv/d/x.mdf   "
                                     << "/srv/d/x.mdf"
                                     << "/srv/d/x.mdf";
    QTest::newRow("drive letter") << "D:\\Data\\ZT001\\2007\\ufdata.MDF"
                                  << "D:\\Data\\ZT001\\2007\\ufdata.MDF"
                                  << "-";
    QTest::newRow("drive only") << "C:\\x"
                                << "C:\\x"
                                << "-";
    QTest::newRow("unc") << "\\\\host\\share\\x.mdf"
                         << "\\\\host\\share\\x.mdf"
                         << "-";
    QTest::newRow("relative") << "sub\\x.mdf"
                              << "sub\\x.mdf"
                              << "/data/DATA/sub/x.mdf";
    QTest::newRow("dot dot") << "/srv/d/../e/x.mdf"
                             << "/srv/d/../e/x.mdf"
                             << "/srv/e/x.mdf";
    QTest::newRow("empty") << "   "
                           << ""
                           << "-";
}

void EngineUnitsTest::serverPaths()
{
    QFETCH(QString, given);
    QFETCH(QString, shown);
    QFETCH(QString, local);
    const ServerPath p = resolveServerPath(given, QStringLiteral("/data/DATA"));
    QCOMPARE(p.shown, shown);
    QCOMPARE(p.reachable(), local != QLatin1String("-"));
    if (p.reachable())
        QCOMPARE(p.local, local);
}

void EngineUnitsTest::openErrors()
{
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("there.mdf")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    auto err = [&](const QString& p) { return openError(resolveServerPath(p, dir.path())); };
    QCOMPARE(err(dir.filePath(QStringLiteral("there.mdf"))), 0);
    QCOMPARE(err(dir.filePath(QStringLiteral("there.mdf")) + QStringLiteral("  ")), 0);
    QCOMPARE(err(dir.filePath(QStringLiteral("missing.mdf"))), 2);
    QCOMPARE(err(dir.filePath(QStringLiteral("no/missing.mdf"))), 3);
    QCOMPARE(err(dir.path()), 5);
    QCOMPARE(err(QStringLiteral("D:\\Data\\x.mdf")), 3);
}

void EngineUnitsTest::messageVersions_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("version");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("severity");
    QTest::addColumn<int>("state");
    QTest::newRow("911 on 2005") << 911 << 9 << QStringList { "X" }
                                 << "Could not locate entry in sysdatabases for database 'X'. No entry found with that "
                                    "name. Make sure that the name is entered correctly."
                                 << 16 << 1;
    QTest::newRow("911 on 2008") << 911 << 10 << QStringList { "X" }
                                 << "Database 'X' does not exist. Make sure that the name is entered correctly." << 16
                                 << 1;
    QTest::newRow("105 on 2000") << 105 << 8 << QStringList { "a" }
                                 << "Unclosed quotation mark before the character string 'a'." << 15 << 1;
    QTest::newRow("105 on 2019") << 105 << 15 << QStringList { "a" }
                                 << "Unclosed quotation mark after the character string 'a'." << 15 << 1;
    QTest::newRow("argument holding a placeholder")
        << 208 << 16 << QStringList { "%2" } << "Invalid object name '%2'." << 16 << 1;
    QTest::newRow("2528 is informational") << 2528 << 16 << QStringList {}
                                           << "DBCC execution completed. If DBCC printed error messages, contact your "
                                              "system administrator."
                                           << 10 << 1;
    QTest::newRow("5120 state 101") << 5120 << 16 << QStringList { "f", "2", "2(x)" }
                                    << "Unable to open the physical file \"f\". Operating system error 2: \"2(x)\"."
                                    << 16 << 101;
    QTest::newRow("2812 state 62") << 2812 << 16 << QStringList { "p" } << "Could not find stored procedure 'p'." << 16
                                   << 62;

    // Numbers, severities and texts SQL Server uses (sources in standin/FACTS.md).
    QTest::newRow("1803 severity 17") << 1803 << 16 << QStringList { "3" }
                                      << "The CREATE DATABASE statement failed. The primary file must be at least 3 MB "
                                         "to accommodate a copy of the model database."
                                      << 17 << 1;
    QTest::newRow("1803 on 2000")
        << 1803 << 8 << QStringList { "1" }
        << "CREATE DATABASE failed. Could not allocate enough disk space for a new database on "
           "the named disks. Total space allocated must be at least 1 MB to accommodate a copy "
           "of the model database."
        << 17 << 1;
    QTest::newRow("1465 mirroring wording up to 2008 R2") << 1465 << 10 << QStringList { "D" }
                                                          << "Database mirroring cannot be enabled because the \"D\" "
                                                             "database is not in full recovery mode on both partners."
                                                          << 16 << 1;
    QTest::newRow("1465 availability group wording from 2012")
        << 1465 << 11 << QStringList { "D" }
        << "Database \"D\" database is not in full recovery mode on each of the server instances. The full recovery "
           "model is required for a database to participate in database mirroring or in an availability group."
        << 16 << 1;
    QTest::newRow("1469 is the auto-close refusal")
        << 1469 << 9 << QStringList { "D" }
        << "Database mirroring cannot be enabled because the \"D\" database is an auto-close database on one of the "
           "partners."
        << 16 << 1;
    QTest::newRow("1469 from 2012")
        << 1469 << 16 << QStringList { "D" }
        << "Database \"D\" is an auto-close database on one of the partners which is "
           "incompatible with participating in database mirroring or in an availability group."
        << 16 << 1;
    QTest::newRow("1105 with the index part")
        << 1105 << 9 << QStringList { "sys.sysdbreg", ".'clst'", "master", "PRIMARY" }
        << "Could not allocate space for object 'sys.sysdbreg'.'clst' in database 'master' because the 'PRIMARY' "
           "filegroup is full. Create disk space by deleting unneeded files, dropping objects in the filegroup, adding "
           "additional files to the filegroup, or setting autogrowth on for existing files in the filegroup."
        << 17 << 2;
    QTest::newRow("1105 on 2000") << 1105 << 8 << QStringList { "sysdatabases", "master", "PRIMARY" }
                                  << "Could not allocate space for object 'sysdatabases' in database 'master' because "
                                     "the 'PRIMARY' filegroup is full."
                                  << 17 << 2;
    QTest::newRow("5123 quotes the Windows error")
        << 5123 << 16 << QStringList { osErrorText(5), "C:\\d\\x.mdf" }
        << "CREATE FILE encountered operating system error 5(Access is denied.) while attempting to open or create the "
           "physical file 'C:\\d\\x.mdf'."
        << 16 << 1;
    QTest::newRow("5173 one blank between sentences")
        << 5173 << 16 << QStringList {}
        << "One or more files do not match the primary file of the database. If you are attempting to attach a "
           "database, retry the operation with the correct files. If this is an existing database, the file may be "
           "corrupted and should be restored from a backup."
        << 16 << 1;
    // The 2000 personality.
    QTest::newRow("137 on 2000") << 137 << 8 << QStringList { "@x" } << "Must declare the variable '@x'." << 15 << 2;
    QTest::newRow("137 on 2005") << 137 << 9 << QStringList { "@x" } << "Must declare the scalar variable \"@x\"." << 15
                                 << 2;
    QTest::newRow("201 on 2000") << 201 << 8 << QStringList { "sp_executesql", "@statement" }
                                 << "Procedure 'sp_executesql' expects parameter '@statement', which was not supplied."
                                 << 16 << 4;
    QTest::newRow("245 on 2000") << 245 << 8 << QStringList { "nvarchar", "abc", "int" }
                                 << "Syntax error converting the nvarchar value 'abc' to a column of data type int."
                                 << 16 << 1;
    QTest::newRow("1038 on 2000") << 1038 << 8 << QStringList {}
                                  << "Cannot use empty object or column names. Use a single space if necessary." << 15
                                  << 4;
    QTest::newRow("948 on 2000 severity 14")
        << 948 << 8 << QStringList { "D", "611", "539" }
        << "Database 'D' cannot be upgraded. Database is version 611 and this server supports version 539." << 14 << 1;
    QTest::newRow("1802 on 2000 severity 11")
        << 1802 << 8 << QStringList {}
        << "CREATE DATABASE failed. Some file names listed could not be created. Check previous errors." << 11 << 4;
    QTest::newRow("1828 on 2000") << 1828 << 8 << QStringList { "x" }
                                  << "The file named 'x' is already in use. Choose another name." << 16 << 3;
    QTest::newRow("3201 on 2000")
        << 3201 << 8 << QStringList { "C:\\b.bak", "3(x)" }
        << "Cannot open backup device 'C:\\b.bak'. Device error or device off-line. See the SQL "
           "Server error log for more details."
        << 16 << 1;
    QTest::newRow("3202 on 2000")
        << 3202 << 8 << QStringList { "b.bak", "112" }
        << "Write on 'b.bak' failed, status = 112. See the SQL Server error log for more details." << 16 << 1;
    QTest::newRow("5170 on 2000") << 5170 << 8 << QStringList { "f.mdf" }
                                  << "Cannot create file 'f.mdf' because it already exists." << 16 << 1;
    QTest::newRow("5173 on 2000") << 5173 << 8 << QStringList {} << "Cannot associate files with different databases."
                                  << 16 << 1;
    QTest::newRow("15354 on 2000") << 15354 << 8 << QStringList {} << "Usage: sp_detach_db <dbname>, [TRUE|FALSE]" << 0
                                   << 1;
    QTest::newRow("4214 on 2000 is a warning")
        << 4214 << 8 << QStringList {}
        << "There is no current database backup. This log backup cannot be used to roll forward a preceding database "
           "backup."
        << 10 << 1;
    QTest::newRow("701 on 2000 severity 19")
        << 701 << 8 << QStringList {} << "There is insufficient system memory to run this query." << 19 << 123;
    // Service account, read-only and version facts.
    QTest::newRow("3415 on 2000")
        << 3415 << 8 << QStringList { "D" }
        << "Database 'D' is read-only or has read-only files and must be made writable before "
           "it can be upgraded."
        << 16 << 2;
    QTest::newRow("3415 on 2008") << 3415 << 10 << QStringList { "D" }
                                  << "Database 'D' cannot be upgraded because it is read-only or has read-only files. "
                                     "Make the database or files writeable, and rerun recovery."
                                  << 16 << 2;
    QTest::newRow("3415 on 2022")
        << 3415 << 16 << QStringList { "D" }
        << "Database 'D' cannot be upgraded because it is read-only, has read-only files or the "
           "user does not have permissions to modify some of the files. Make the database or "
           "files writeable, and rerun recovery."
        << 16 << 2;
    QTest::newRow("5004")
        << 5004 << 16 << QStringList {}
        << "To use ALTER DATABASE, the database must be in a writable state in which a checkpoint can "
           "be executed."
        << 16 << 1;
    QTest::newRow("5113")
        << 5113 << 16 << QStringList {}
        << "The log cannot be rebuilt because there were open transactions/users when the database was "
           "shutdown, no checkpoint occurred to the database, or the database was read-only. This error "
           "could occur if the transaction log file was manually deleted or lost due to a hardware or "
           "environment failure."
        << 10 << 1;
    QTest::newRow("1818 on 2000")
        << 1818 << 8 << QStringList { "x_log.ldf" }
        << "Primary log file 'x_log.ldf' is missing and the database was not cleanly shut down "
           "so it cannot be rebuilt."
        << 16 << 1;
    QTest::newRow("3035")
        << 3035 << 16 << QStringList { "D" }
        << "Cannot perform a differential backup for database \"D\", because a current database backup "
           "does not exist. Perform a full database backup by reissuing BACKUP DATABASE, omitting the "
           "WITH DIFFERENTIAL option."
        << 16 << 1;
    QTest::newRow("3035 on 2000")
        << 3035 << 8 << QStringList { "D" }
        << "Cannot perform a differential backup for database 'D', because a current database "
           "backup does not exist. Perform a full database backup by reissuing BACKUP DATABASE, "
           "omitting the WITH DIFFERENTIAL option."
        << 16 << 1;
    QTest::newRow("950 from 2012") << 950 << 16 << QStringList { "D", "539" }
                                   << "Database 'D' cannot be upgraded because its non-release version (539) is not "
                                      "supported by this version of SQL Server. You cannot open a database that is "
                                      "incompatible with this version of sqlservr.exe. You must re-create the database."
                                   << 20 << 1;
}

void EngineUnitsTest::osErrors_data()
{
    QTest::addColumn<int>("posixErrno");
    QTest::addColumn<int>("windows");
    QTest::addColumn<QString>("text");
    QTest::newRow("EACCES") << EACCES << 5 << "5(Access is denied.)";
    QTest::newRow("EPERM") << EPERM << 5 << "5(Access is denied.)";
    QTest::newRow("ENOENT") << ENOENT << 2 << "2(The system cannot find the file specified.)";
    QTest::newRow("ENOTDIR") << ENOTDIR << 3 << "3(The system cannot find the path specified.)";
    QTest::newRow("EBUSY") << EBUSY << 32
                           << "32(The process cannot access the file because it is being used by another process.)";
    QTest::newRow("ENOSPC") << ENOSPC << 112 << "112(There is not enough space on the disk.)";
    QTest::newRow("EROFS") << EROFS << 19 << "19(The media is write protected.)";
    QTest::newRow("EEXIST") << EEXIST << 80 << "80(The file exists.)";
    QTest::newRow("EIO") << EIO << 1117 << "1117(The request could not be performed because of an I/O device error.)";
    QTest::newRow("anything else") << EINVAL << 5 << "5(Access is denied.)";
}

// An operating system error reaches the client in Windows' words, never as a C library string.
void EngineUnitsTest::osErrors()
{
    QFETCH(int, posixErrno);
    QFETCH(int, windows);
    QFETCH(QString, text);
    QCOMPARE(windowsError(posixErrno), windows);
    QCOMPARE(osErrorText(windowsError(posixErrno)), text);
    QVERIFY(!text.contains(QString::fromLocal8Bit(std::strerror(posixErrno))) || posixErrno == EEXIST);
}

// A file with no write bits is read-only even for root; the clean mark survives a round trip.
void EngineUnitsTest::fileAccessAndCleanMark()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.mdf"));
    DatabaseHeader h;
    h.databaseName = QStringLiteral("X");
    h.databaseGuid = QStringLiteral("guid-2");
    h.cleanShutdown = false;
    FileRecord data { 1, 1, QStringLiteral("x"), path, 8, -1, 8, 2, 2 };
    h.files = { data };
    QString error;
    QVERIFY2(createDatabaseFile(path, h, data, &error), qPrintable(error));
    QCOMPARE(readDatabaseFile(path).header.cleanShutdown, false);
    QCOMPARE(writeAccessError(path), 0);
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    QCOMPARE(writeAccessError(path), 5);
    QCOMPARE(openPathError(path), 0);
    QCOMPARE(openPathError(dir.filePath(QStringLiteral("none.mdf"))), 2);
    QCOMPARE(openPathError(dir.filePath(QStringLiteral("no/none.mdf"))), 3);
    QCOMPARE(openPathError(dir.path()), 5);
    int osError = 0;
    QVERIFY(!createDatabaseFile(path, h, data, &error, &osError)); // exists
    QCOMPARE(osError, 80);
    // A file written before the mark existed counts as cleanly shut down.
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    h.cleanShutdown = true;
    QVERIFY(rewriteHeader(path, h, &error));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.read(8192).contains("\"clean\":true"));
}

void EngineUnitsTest::messageVersions()
{
    QFETCH(int, number);
    QFETCH(int, version);
    QFETCH(QStringList, args);
    QFETCH(QString, text);
    QFETCH(int, severity);
    QFETCH(int, state);
    const Message m = serverMessage(number, version, args);
    QCOMPARE(m.number, number);
    QCOMPARE(m.text, text);
    QCOMPARE(int(m.severity), severity);
    QCOMPARE(int(m.state), state);
}

void EngineUnitsTest::fileHeaders_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("badProperty");
    QTest::newRow("empty") << QByteArray() << "FILE SIZE";
    QTest::newRow("short") << QByteArray(100, 'x') << "FILE SIZE";
    QTest::newRow("not whole pages") << QByteArray(8192 + 10, 'x') << "FILE SIZE";
    QTest::newRow("no magic") << QByteArray(8192, 'x') << "PageAudit";
    QByteArray badJson(8192, '\0');
    memcpy(badJson.data(), "TPDBFILE\x01\0\0\0\x01\0\0\0\x05\0\0\0{oops", 25);
    QTest::newRow("broken header") << badJson << "PageAudit";
}

void EngineUnitsTest::fileHeaders()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, badProperty);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.mdf"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    const FileReadResult r = readDatabaseFile(path);
    QCOMPARE(r.osError, 0);
    QCOMPARE(r.badProperty, badProperty);
    QCOMPARE(readDatabaseFile(dir.filePath(QStringLiteral("none.mdf"))).osError, 2);
}

void EngineUnitsTest::fileRoundTripAndShrink()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.mdf"));
    DatabaseHeader h;
    h.databaseName = QString::fromUtf8("账套 O'Brien");
    h.databaseGuid = QStringLiteral("guid-1");
    h.version = 611;
    h.compatibilityLevel = 90;
    h.recovery = QStringLiteral("SIMPLE");
    h.created = QDateTime(QDate(2007, 1, 2), QTime(3, 4, 5));
    FileRecord data { 1, 1, QStringLiteral("x_Data"), QStringLiteral("D:\\x.mdf"), 100, -1, 10, 0x100002, 20 };
    FileRecord log { 2, 0, QStringLiteral("x_Log"), QStringLiteral("D:\\x.ldf"), 50, -1, 10, 0x100042, 5 };
    h.files = { data, log };
    QString error;
    QVERIFY2(createDatabaseFile(path, h, data, &error), qPrintable(error));
    QVERIFY(!createDatabaseFile(path, h, data, &error)); // never over an existing file
    QCOMPARE(QFileInfo(path).size(), qint64(100) * 8192);
    FileReadResult r = readDatabaseFile(path);
    QVERIFY(r.ok());
    QCOMPARE(r.header.databaseName, h.databaseName);
    QCOMPARE(r.header.version, 611);
    QCOMPARE(r.header.recovery, QStringLiteral("SIMPLE"));
    QCOMPARE(r.header.files.size(), 2);
    QCOMPARE(r.header.file(2)->logicalName, QStringLiteral("x_Log"));
    QCOMPARE(r.header.file(2)->physicalName, QStringLiteral("D:\\x.ldf"));
    QCOMPARE(r.header.file(1)->usedPages, 20);
    // Used pages carry their stamp, free pages are zero.
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.seek(19 * 8192));
    QCOMPARE(f.read(6), QByteArray("TPPAGE"));
    QVERIFY(f.seek(20 * 8192));
    QCOMPARE(f.read(8192), QByteArray(8192, '\0'));
    f.close();
    r.header.file(1)->sizePages = 20;
    QVERIFY(rewriteHeader(path, r.header, &error));
    QVERIFY(truncatePages(path, 20, &error));
    QCOMPARE(QFileInfo(path).size(), qint64(20) * 8192);
    QCOMPARE(readDatabaseFile(path).header.file(1)->sizePages, 20);
}

namespace {

using Args = QVector<FormatArgument>;

FormatArgument number(qint64 v)
{
    FormatArgument a;
    a.type = FormatArgument::Type::Integer;
    a.integer = v;
    return a;
}

FormatArgument string(const QString& v)
{
    FormatArgument a;
    a.type = FormatArgument::Type::Text;
    a.text = v;
    return a;
}

} // namespace

void EngineUnitsTest::raiseErrorFormat_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QVector<FormatArgument>>("args");
    QTest::addColumn<QString>("expected"); // the text, or "error N: args"

    const FormatArgument null;
    FormatArgument date;
    date.type = FormatArgument::Type::Unsupported;
    date.text = QStringLiteral("datetime");
    QTest::newRow("in order") << "This is message %s %d." << Args { string("number"), number(5) }
                              << "This is message number 5.";
    QTest::newRow("widths and flags") << "%5d|%-5d|%05d|%+d|% d"
                                      << Args { number(42), number(42), number(42), number(5), number(5) }
                                      << "   42|42   |00042|+5| 5";
    QTest::newRow("unsigned bases") << "%x %X %#x %#o %u"
                                    << Args { number(255), number(255), number(255), number(8), number(-1) }
                                    << "ff FF 0xff 010 4294967295";
    QTest::newRow("precision of numbers turns zeros off") << "%08.3d" << Args { number(7) } << "     007";
    QTest::newRow("string precision") << "<<%7.3s>><<%-4s>>" << Args { string("abcde"), string("ab") }
                                      << "<<    abc>><<ab  >>";
    QTest::newRow("stars from the arguments") << "<<%*.*s>>" << Args { number(7), number(3), string("abcde") }
                                              << "<<    abc>>";
    QTest::newRow("sizes") << "%hd %I64d %ld" << Args { number(70000), number(5000000000), number(5000000000) }
                           << "4464 5000000000 705032704";
    QTest::newRow("missing and NULL") << "%s, %d, %s" << Args { string("a"), null } << "a, (null), (null)";
    QTest::newRow("percent") << "100%% done" << Args() << "100% done";
    QTest::newRow("text for a number") << "%d" << Args { string("5") } << "error 2786: 1";
    QTest::newRow("number for text") << "%s %s" << Args { string("a"), number(5) } << "error 2786: 2";
    QTest::newRow("unknown type") << "at %f" << Args { number(1) } << "error 2787: %f";
    QTest::newRow("cut short") << "50%" << Args() << "error 2787: %";
    QTest::newRow("datetime argument") << "%s" << Args { string("a"), date } << "error 2748: datetime, 5";
}

void EngineUnitsTest::raiseErrorFormat()
{
    QFETCH(QString, format);
    QFETCH(QVector<FormatArgument>, args);
    QFETCH(QString, expected);
    const FormatResult r = formatRaiseError(format, args);
    QCOMPARE(r.error ? QStringLiteral("error %1: %2").arg(r.error).arg(r.errorArgs.join(QStringLiteral(", "))) : r.text,
        expected);
}

void EngineUnitsTest::raiseErrorLength()
{
    const QString fits(2047, QLatin1Char('a'));
    QCOMPARE(limitRaiseErrorText(fits), fits);
    const QString cut = limitRaiseErrorText(QString(2048, QLatin1Char('b')));
    QCOMPARE(cut.size(), 2047);
    QVERIFY(cut.endsWith(QStringLiteral("b...")));
}

QTEST_GUILESS_MAIN(EngineUnitsTest)
#include "engine_units_test.moc"
