// The stand-in engine and its database files: create, attach, detach, shrink, checkprimaryfile,
// recovery and backup, sessions using a database, and a restart on the same data dir.

#include "engine_harness.h"

#include "DatabaseFile.h"
#include "VersionTable.h"

#include <QCoreApplication>

#include <QFileInfo>

using namespace enginetest;

namespace {

QString attachStatement(const QString& name, const QString& mdf, const QString& ldf)
{
    return QStringLiteral("EXEC sp_attach_db @dbname = N'") + name + QStringLiteral("',@filename1 = N'") + mdf
        + QStringLiteral("',@filename2 = N'") + ldf + QStringLiteral("'");
}

QString detachStatement(const QString& name)
{
    return QStringLiteral("EXEC sp_detach_db @dbname = '") + name + QStringLiteral("'");
}

QString messageLine(const Message& m)
{
    return QStringLiteral("%1/%2/%3 '%4' line %5: %6")
        .arg(m.number)
        .arg(m.severity)
        .arg(m.state)
        .arg(m.procName)
        .arg(m.line)
        .arg(m.text);
}

QStringList messageLines(const Reply& r)
{
    QStringList out;
    for (const Message& m : messages(r))
        out << messageLine(m);
    return out;
}

// The text with every "%1" replaced by `folder` (QString::arg would warn on texts without it).
QString withFolder(QString text, const QString& folder)
{
    return text.replace(QStringLiteral("%1"), folder);
}

// Writes a file that is not a database file.
void writeJunk(const QString& path, qint64 size)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(size, 'x'));
}

} // namespace

class EngineFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void createWritesFilesInOwnFormat();
    void createDefaultsToDataFolder();
    void createRefusals_data();
    void createRefusals();
    void detachAttachRoundTrip_data();
    void detachAttachRoundTrip();
    void attachRefusals_data();
    void attachRefusals();
    void attachFromNewerOrTooOldServer_data();
    void attachFromNewerOrTooOldServer();
    void attachRebuildsMissingUnlistedLog();
    void createDatabaseForAttach();
    void detachRefusals_data();
    void detachRefusals();
    void detachNeedsNobodyInTheDatabase();
    void restartKeepsCatalogueAndReusesLowestDbid();
    void shrinkLogBatch_data();
    void shrinkLogBatch();
    void shrinkTargetsAndNames_data();
    void shrinkTargetsAndNames();
    void checkPrimaryFile_data();
    void checkPrimaryFile();
    void checkPrimaryFileRefusals_data();
    void checkPrimaryFileRefusals();
    void recoveryModel();
    void backupLog_data();
    void backupLog();
    void failedCatalogueWrite_data();
    void failedCatalogueWrite();
    void readOnlyFilesAttach_data();
    void readOnlyFilesAttach();
    void alterReadOnly_data();
    void alterReadOnly();
    void rebuildLog_data();
    void rebuildLog();
    void cleanShutdownMark();
    void differentialBackup_data();
    void differentialBackup();
    void mirroringRefusals_data();
    void mirroringRefusals();
    void checkPrimaryFileBatch_data();
    void checkPrimaryFileBatch();
    void serverServices_data();
    void serverServices();
};

void EngineFilesTest::createWritesFilesInOwnFormat()
{
    Harness h(10);
    QVERIFY(h.create(QStringLiteral("Books")));
    const QString mdf = h.files() + QStringLiteral("/Books.mdf");
    const QString ldf = h.files() + QStringLiteral("/Books_log.ldf");
    QFile data(mdf);
    QVERIFY(data.open(QIODevice::ReadOnly));
    const QByteArray head = data.read(8192);
    QCOMPARE(head.left(8), QByteArray("TPDBFILE"));
    QCOMPARE(quint8(head.at(12)), quint8(1)); // primary data file
    QVERIFY(head.contains("\"database\":\"Books\""));
    QVERIFY(head.contains("\"version\":655"));
    QCOMPARE(data.size() % 8192, qint64(0));
    QFile log(ldf);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray logHead = log.read(8192);
    QCOMPARE(logHead.left(8), QByteArray("TPDBFILE"));
    QCOMPARE(quint8(logHead.at(12)), quint8(3)); // log file
    QVERIFY(logHead.contains("\"database\":\"Books\""));
    // The new database shows up with the lowest free dbid after the system databases.
    const auto rs = results(h.run(QStringLiteral("select dbid, filename from sysdatabases where name = 'books'")));
    QCOMPARE(integer(rs[0].rows[0][0]), qint64(5));
    QCOMPARE(text(rs[0].rows[0][1]), mdf);
}

void EngineFilesTest::createDefaultsToDataFolder()
{
    Harness h;
    const Reply r = h.run(QStringLiteral("CREATE DATABASE Plain"));
    QVERIFY2(errors(r).isEmpty(), qPrintable(describe(r).join('\n')));
    QVERIFY(QFileInfo::exists(h.dataDir() + QStringLiteral("/DATA/Plain.mdf")));
    QVERIFY(QFileInfo::exists(h.dataDir() + QStringLiteral("/DATA/Plain_log.ldf")));
    const int s = h.connect(QStringLiteral("Plain"));
    const auto rs = results(h.run(s, QStringLiteral("select fileid, name from sysfiles")));
    QCOMPARE(text(rs[0].rows[0][1]), QStringLiteral("Plain"));
    QCOMPARE(text(rs[0].rows[1][1]), QStringLiteral("Plain_log"));
    // A relative path lands in the default data folder too.
    QCOMPARE(numbers(h.run(QStringLiteral("CREATE DATABASE Rel ON (NAME = r, FILENAME = 'sub\\rel.mdf')"))),
        (QList<int> { 5133, 1802 }));
    QDir().mkpath(h.dataDir() + QStringLiteral("/DATA/sub"));
    QVERIFY(errors(h.run(QStringLiteral("CREATE DATABASE Rel ON (NAME = r, FILENAME = 'sub\\rel.mdf')"))).isEmpty());
    QVERIFY(QFileInfo::exists(h.dataDir() + QStringLiteral("/DATA/sub/rel.mdf")));
    QVERIFY(QFileInfo::exists(h.dataDir() + QStringLiteral("/DATA/sub/Rel_log.ldf")));
}

void EngineFilesTest::createRefusals_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("sql"); // %1 = the files folder
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("name taken, other case and trailing blank")
        << 16 << "CREATE DATABASE [BOOKS ] ON (NAME = b2, FILENAME = '%1/b2.mdf')"
        << QStringList { "1801/16/3 '' line 1: Database 'BOOKS ' already exists. Choose a different database name." };
    QTest::newRow("name taken 2000") << 8 << "CREATE DATABASE books"
                                     << QStringList { "1801/16/1 '' line 1: Database 'books' already exists." };
    QTest::newRow("file exists")
        << 16 << "CREATE DATABASE Other ON (NAME = o, FILENAME = '%1/Books.mdf')"
        << QStringList { "5170/16/1 '' line 1: Cannot create file '%1/Books.mdf' because it already exists. Change the "
                         "file path or the file name, and retry the operation.",
               "1802/16/4 '' line 1: CREATE DATABASE failed. Some file names listed could not be created. "
               "Check related errors." };
    // 1802's state says what came before it: 1 after 5133.
    QTest::newRow("folder missing")
        << 16 << "CREATE DATABASE Other ON (NAME = o, FILENAME = '%1/none/o.mdf')"
        << QStringList {
               "5133/16/1 '' line 1: Directory lookup for the file \"%1/none/o.mdf\" failed with the operating "
               "system error 3(The system cannot find the path specified.).",
               "1802/16/1 '' line 1: CREATE DATABASE failed. Some file names listed could not be created. "
               "Check related errors."
           };
    QTest::newRow("drive letter does not exist here")
        << 16 << "CREATE DATABASE Other ON (NAME = o, FILENAME = 'D:\\Data\\o.mdf')"
        << QStringList { "5133/16/1 '' line 1: Directory lookup for the file \"D:\\Data\\o.mdf\" failed with the "
                         "operating system error 3(The system cannot find the path specified.).",
               "1802/16/1 '' line 1: CREATE DATABASE failed. Some file names listed could not be created. "
               "Check related errors." };
    // SQL Server 2000 has no 5133; its 1802 is severity 11 and points to "previous errors".
    QTest::newRow("folder missing 2000")
        << 8 << "CREATE DATABASE Other ON (NAME = o, FILENAME = '%1/none/o.mdf')"
        << QStringList { "5123/16/1 '' line 1: CREATE FILE encountered operating system error 3(The system cannot "
                         "find the path specified.) while attempting to open or create the physical file "
                         "'%1/none/o.mdf'.",
               "1802/11/1 '' line 1: CREATE DATABASE failed. Some file names listed could not be created. "
               "Check previous errors." };
    QTest::newRow("file exists 2000")
        << 8 << "CREATE DATABASE Other ON (NAME = o, FILENAME = '%1/Books.mdf')"
        << QStringList { "5170/16/1 '' line 1: Cannot create file '%1/Books.mdf' because it already exists.",
               "1802/11/4 '' line 1: CREATE DATABASE failed. Some file names listed could not be created. "
               "Check previous errors." };
    QTest::newRow("same logical name twice 2000")
        << 8 << "CREATE DATABASE Other ON (NAME = x, FILENAME = '%1/x1.mdf') LOG ON (NAME = X, FILENAME = '%1/x2.ldf')"
        << QStringList { "1828/16/3 '' line 1: The file named 'X' is already in use. Choose another name." };
    QTest::newRow("primary smaller than model")
        << 16 << "CREATE DATABASE Other ON (NAME = o, FILENAME = '%1/o.mdf', SIZE = 64KB)"
        << QStringList { "1803/17/1 '' line 1: The CREATE DATABASE statement failed. The primary file must be at "
                         "least 3 MB to accommodate a copy of the model database." };
    QTest::newRow("primary smaller than model 2000")
        << 8 << "CREATE DATABASE Other ON (NAME = o, FILENAME = '%1/o.mdf', SIZE = 64KB)"
        << QStringList { "1803/17/1 '' line 1: CREATE DATABASE failed. Could not allocate enough disk space for a new "
                         "database on the named disks. Total space allocated must be at least 1 MB to accommodate a "
                         "copy of the model database." };
    QTest::newRow("same logical name twice")
        << 16 << "CREATE DATABASE Other ON (NAME = x, FILENAME = '%1/x1.mdf') LOG ON (NAME = X, FILENAME = '%1/x2.ldf')"
        << QStringList {
               "1828/16/3 '' line 1: The logical file name \"X\" is already in use. Choose a different name."
           };
}

void EngineFilesTest::createRefusals()
{
    QFETCH(int, version);
    QFETCH(QString, sql);
    QFETCH(QStringList, expected);
    Harness h(version);
    QVERIFY(h.create(QStringLiteral("Books")));
    QVERIFY(errors(h.run(QStringLiteral("CREATE DATABASE books2"))).isEmpty());
    const QStringList before = h.databaseNames();
    const Reply r = h.run(withFolder(sql, h.files()));
    for (QString& e : expected)
        e = withFolder(e, h.files());
    QCOMPARE(messageLines(r), expected);
    QCOMPARE(h.databaseNames(), before);
    QVERIFY(!QFileInfo::exists(h.files() + QStringLiteral("/x1.mdf")));
}

void EngineFilesTest::detachAttachRoundTrip_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("2000") << 8;
    QTest::newRow("2005") << 9;
    QTest::newRow("2022") << 16;
}

void EngineFilesTest::detachAttachRoundTrip()
{
    QFETCH(int, version);
    Harness h(version);
    QVERIFY(h.create(QStringLiteral("UFDATA_001_2007")));
    const QString mdf = h.files() + QStringLiteral("/UFDATA_001_2007.mdf");
    const QString ldf = h.files() + QStringLiteral("/UFDATA_001_2007_log.ldf");
    // An attached database's primary file says it is open; the log is never written.
    QVERIFY(readDatabaseFile(mdf).ok());
    QCOMPARE(readDatabaseFile(mdf).header.cleanShutdown, false);
    const QByteArray ldfHash = fileHash(ldf);

    const Reply detach = h.run(detachStatement(QStringLiteral("UFDATA_001_2007")));
    QCOMPARE(describe(detach), (QStringList { "RETURNSTATUS 0", "DONEPROC status 0 rows 0", "DONE status 0 rows 0" }));
    QVERIFY(!h.databaseNames().contains(QStringLiteral("UFDATA_001_2007")));
    // A detach shuts the database down cleanly: that mark is the only change.
    QCOMPARE(readDatabaseFile(mdf).header.cleanShutdown, true);
    QCOMPARE(fileHash(ldf), ldfHash);
    const QByteArray mdfHash = fileHash(mdf);

    // The application's statement, with Windows separators and the blank padding a 2000 grid leaves.
    QString winMdf = mdf;
    winMdf.replace('/', '\\');
    const Reply attach
        = h.run(attachStatement(QStringLiteral("UFDATA_001_2007"), winMdf + QStringLiteral("     "), ldf));
    QCOMPARE(describe(attach),
        (QStringList {
            "DONEINPROC status 0 rows 0", "RETURNSTATUS 0", "DONEPROC status 0 rows 0", "DONE status 0 rows 0" }));
    QVERIFY(h.databaseNames().contains(QStringLiteral("UFDATA_001_2007")));
    QCOMPARE(readDatabaseFile(mdf).header.cleanShutdown, false);
    QCOMPARE(fileHash(ldf), ldfHash);
    // sysdatabases reports the path as given, without the padding.
    const auto rs = results(h.run(QStringLiteral("select filename from sysdatabases where name = N'UFDATA_001_2007'")));
    QCOMPARE(text(rs[0].rows[0][0]), winMdf);

    // A second attach of the same name: 1801 from the inner CREATE DATABASE, status 1.
    const Reply again = h.run(attachStatement(QStringLiteral("ufdata_001_2007"), mdf, ldf));
    const QString exists = version <= 8
        ? QStringLiteral("1801/16/1 '' line 1: Database 'ufdata_001_2007' already exists.")
        : QStringLiteral("1801/16/3 '' line 1: Database 'ufdata_001_2007' already exists. "
                         "Choose a different database name.");
    QCOMPARE(messageLines(again), QStringList { exists });
    QCOMPARE(describe(again).mid(1),
        (QStringList {
            "DONEINPROC status 2 rows 0", "RETURNSTATUS 1", "DONEPROC status 2 rows 0", "DONE status 2 rows 0" }));
    // Positional arguments work the same. Detached again, the files are byte for byte as after the
    // first detach.
    QVERIFY(h.run(detachStatement(QStringLiteral("UFDATA_001_2007"))).events.size() == 3);
    QCOMPARE(fileHash(mdf), mdfHash);
    QCOMPARE(fileHash(ldf), ldfHash);
    const Reply positional = h.run(QStringLiteral("exec sp_attach_db N'Again', N'%1', N'%2'").arg(mdf, ldf));
    QVERIFY2(errors(positional).isEmpty(), qPrintable(describe(positional).join('\n')));
    QVERIFY(h.databaseNames().contains(QStringLiteral("Again")));
}

void EngineFilesTest::attachRefusals_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("mdf"); // relative to the files folder; "=" prefix: as written
    QTest::addColumn<QString>("ldf");
    QTest::addColumn<QStringList>("expected"); // %1 = files folder

    const QString done1802 = QStringLiteral("1802/16/4 '' line 1: CREATE DATABASE failed. Some file names listed could "
                                            "not be created. Check related errors.");
    QTest::newRow("log missing")
        << 16 << "X"
        << "A.mdf"
        << "gone.ldf"
        << QStringList {
               "5120/16/101 '' line 1: Unable to open the physical file \"%1/gone.ldf\". Operating system error "
               "2: \"2(The system cannot find the file specified.)\".",
               done1802
           };
    QTest::newRow("folder missing")
        << 16 << "X"
        << "nofolder/A.mdf"
        << "A_log.ldf"
        << QStringList {
               "5120/16/101 '' line 1: Unable to open the physical file \"%1/nofolder/A.mdf\". Operating system "
               "error 3: \"3(The system cannot find the path specified.)\".",
               done1802
           };
    QTest::newRow("file of an attached database")
        << 16 << "X"
        << "B.mdf"
        << "B_log.ldf"
        << QStringList { "5120/16/101 '' line 1: Unable to open the physical file \"%1/B.mdf\". Operating system error "
                         "32: \"32(The process cannot access the file because it is being used by another process.)\".",
               done1802 };
    QTest::newRow("2000 file missing")
        << 8 << "X"
        << "A.mdf"
        << "gone.ldf"
        << QStringList { "5105/16/2 '' line 1: Device activation error. The physical file name '%1/gone.ldf' may be "
                         "incorrect.",
               "1813/16/2 '' line 1: Could not open new database 'X'. CREATE DATABASE is aborted." };
    QTest::newRow("log given first") << 16 << "X"
                                     << "A_log.ldf"
                                     << "A.mdf"
                                     << QStringList {
                                            "5171/16/1 '' line 1: %1/A_log.ldf is not a primary database file."
                                        };
    QTest::newRow("not a database file")
        << 16 << "X"
        << "junk.mdf"
        << "A_log.ldf"
        << QStringList { "5172/16/15 '' line 1: The header for file '%1/junk.mdf' is not a valid database file header. "
                         "The FILE SIZE property is incorrect.",
               "1802/16/7 '' line 1: CREATE DATABASE failed. Some file names listed could not be created. Check "
               "related "
               "errors." };
    QTest::newRow("log of another database")
        << 16 << "X"
        << "A.mdf"
        << "C_log.ldf"
        << QStringList { "5173/16/1 '' line 1: One or more files do not match the primary file of the database. If you "
                         "are attempting to attach a database, retry the operation with the correct files. If this is "
                         "an existing database, the file may be corrupted and should be restored from a backup.",
               done1802 };
    QTest::newRow("log of another database 2000")
        << 8 << "X"
        << "A.mdf"
        << "C_log.ldf"
        << QStringList { "5173/16/1 '' line 1: Cannot associate files with different databases.",
               "1813/16/2 '' line 1: Could not open new database 'X'. CREATE DATABASE is aborted." };
    QTest::newRow("not a database file 2000")
        << 8 << "X"
        << "junk.mdf"
        << "A_log.ldf"
        << QStringList { "5172/16/15 '' line 1: The header for file '%1/junk.mdf' is not a valid database file header. "
                         "The FILE SIZE property is incorrect.",
               "1802/11/7 '' line 1: CREATE DATABASE failed. Some file names listed could not be created. Check "
               "previous errors." };
    QTest::newRow("name empty") << 16 << ""
                                << "A.mdf"
                                << "A_log.ldf"
                                << QStringList { "15004/16/1 'sp_attach_db' line 1: Name cannot be NULL." };
    QTest::newRow("first file empty") << 16 << "X"
                                      << "="
                                      << "A_log.ldf"
                                      << QStringList { "15004/16/1 'sp_attach_db' line 1: Name cannot be NULL." };
    QTest::newRow("name of an attached database")
        << 16 << "b"
        << "A.mdf"
        << "A_log.ldf"
        << QStringList { "1801/16/3 '' line 1: Database 'b' already exists. Choose a different database name." };
}

void EngineFilesTest::attachRefusals()
{
    QFETCH(int, version);
    QFETCH(QString, name);
    QFETCH(QString, mdf);
    QFETCH(QString, ldf);
    QFETCH(QStringList, expected);
    Harness h(version);
    // A and C detached, B attached.
    QVERIFY(h.create(QStringLiteral("A")));
    QVERIFY(h.create(QStringLiteral("B")));
    QVERIFY(h.create(QStringLiteral("C")));
    QVERIFY(errors(h.run(detachStatement("A") + "\n" + detachStatement("C"))).isEmpty());
    writeJunk(h.files() + QStringLiteral("/junk.mdf"), 100);
    const QStringList before = h.databaseNames();
    auto path = [&](const QString& p) { return p.startsWith('=') ? p.mid(1) : h.files() + '/' + p; };
    const Reply r = h.run(attachStatement(name, path(mdf), path(ldf)));
    for (QString& e : expected)
        e = withFolder(e, h.files());
    QCOMPARE(messageLines(r), expected);
    QVERIFY(describe(r).contains(QStringLiteral("RETURNSTATUS 1")));
    QCOMPARE(h.databaseNames(), before);
}

void EngineFilesTest::attachFromNewerOrTooOldServer_data()
{
    QTest::addColumn<int>("writer");
    QTest::addColumn<int>("reader");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("2022 file on 2008")
        << 16 << 10
        << QStringList { "1813/16/2 '' line 1: Could not open new database 'Moved'. CREATE DATABASE is aborted.",
               "948/20/1 '' line 1: The database 'Moved' cannot be opened because it is version 957. This "
               "server supports version 655 and earlier. A downgrade path is not supported." };
    // On 2000, 948 has severity 14 and another text: the connection stays.
    QTest::newRow("2005 file on 2000")
        << 9 << 8
        << QStringList { "1813/16/2 '' line 1: Could not open new database 'Moved'. CREATE DATABASE is aborted.",
               "948/14/1 '' line 1: Database 'Moved' cannot be upgraded. Database is version 611 and this server "
               "supports version 539." };
    QTest::newRow("2000 file on 2022")
        << 8 << 16
        << QStringList { "1813/16/2 '' line 1: Could not open new database 'Moved'. CREATE DATABASE is aborted.",
               "950/20/1 '' line 1: Database 'Moved' cannot be upgraded because its non-release version (539) "
               "is not supported by this version of SQL Server. You cannot open a database that is "
               "incompatible with this version of sqlservr.exe. You must re-create the database." };
    QTest::newRow("2000 file on 2005") << 8 << 9 << QStringList();
    QTest::newRow("2005 file on 2008")
        << 9 << 10
        << QStringList {
               "944/10/1 '' line 1: Converting database 'Moved' from version 611 to the current version 655."
           };
}

void EngineFilesTest::attachFromNewerOrTooOldServer()
{
    QFETCH(int, writer);
    QFETCH(int, reader);
    QFETCH(QStringList, expected);
    QTemporaryDir shared;
    QString mdf, ldf;
    {
        Harness old(writer);
        QVERIFY(old.create(QStringLiteral("Moved"), shared.path()));
        QVERIFY(errors(old.run(detachStatement(QStringLiteral("Moved")))).isEmpty());
        mdf = shared.path() + QStringLiteral("/Moved.mdf");
        ldf = shared.path() + QStringLiteral("/Moved_log.ldf");
    }
    Harness h(reader);
    const Reply r = h.run(attachStatement(QStringLiteral("Moved"), mdf, ldf));
    QCOMPARE(messageLines(r), expected);
    const bool refused = !expected.isEmpty() && expected.first().startsWith(QStringLiteral("1813"));
    QCOMPARE(r.closeConnection, refused && reader >= 9); // severity 20 from 2005 on
    QCOMPARE(h.databaseNames().contains(QStringLiteral("Moved")), !refused);
    if (!refused) {
        // Attached databases show this server's version; the level is raised to what it supports.
        const auto rs = results(
            h.run(QStringLiteral("select version, cmptlevel, status from sysdatabases where name = 'Moved'")));
        QCOMPARE(integer(rs[0].rows[0][0]), qint64(reader == 9 ? 611 : 655));
        QCOMPARE(integer(rs[0].rows[0][1]), qint64(writer == 8 ? 80 : 90));
        QCOMPARE(integer(rs[0].rows[0][2]), qint64(writer == 8 ? 16 : 65536)); // a 2000 file keeps torn-page checks
    }
}

void EngineFilesTest::attachRebuildsMissingUnlistedLog()
{
    Harness h;
    QVERIFY(h.create(QStringLiteral("Solo")));
    QVERIFY(errors(h.run(detachStatement(QStringLiteral("Solo")))).isEmpty());
    QVERIFY(QFile::rename(h.files() + QStringLiteral("/Solo_log.ldf"), h.files() + QStringLiteral("/kept.ldf")));
    const QString mdf = h.files() + QStringLiteral("/Solo.mdf");
    const Reply r = h.run(QStringLiteral("CREATE DATABASE Solo ON (FILENAME = N'%1') FOR ATTACH").arg(mdf));
    QCOMPARE(messageLines(r),
        (QStringList { QStringLiteral("5111/10/1 '' line 1: File activation failure. The physical file name "
                                      "\"%1/Solo_log.ldf\" may be incorrect.")
                           .arg(h.files()),
            QStringLiteral("5182/10/1 '' line 1: New log file '%1\\Solo_log.LDF' was created.").arg(h.files()) }));
    QVERIFY(QFileInfo::exists(h.files() + QStringLiteral("/Solo_log.LDF")));
    QVERIFY(h.databaseNames().contains(QStringLiteral("Solo")));
}

void EngineFilesTest::createDatabaseForAttach()
{
    Harness h;
    QVERIFY(h.create(QStringLiteral("Direct")));
    QVERIFY(errors(h.run(detachStatement(QStringLiteral("Direct")))).isEmpty());
    const Reply r = h.run(QStringLiteral("create database [Direct]]One] on (filename = '%1/Direct.mdf'), "
                                         "(filename = '%1/Direct_log.ldf') for attach")
                              .arg(h.files()));
    QCOMPARE(describe(r), QStringList { "DONE status 0 rows 0" });
    QVERIFY(h.databaseNames().contains(QStringLiteral("Direct]One")));
    // Only a primary file listed, log found where the primary recorded it.
    QVERIFY(errors(h.run(detachStatement(QStringLiteral("Direct]One")))).isEmpty());
    const Reply single
        = h.run(QStringLiteral("CREATE DATABASE D2 ON (FILENAME = '%1/Direct.mdf') FOR ATTACH").arg(h.files()));
    QCOMPARE(describe(single), QStringList { "DONE status 0 rows 0" });
    const Reply none = h.run(QStringLiteral("CREATE DATABASE D3 FOR ATTACH"));
    QCOMPARE(numbers(none), QList<int> { 1829 });
}

void EngineFilesTest::detachRefusals_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("unknown")
        << 16 << "Nope"
        << QStringList {
               "15010/16/1 'sp_detach_db' line 1: The database 'Nope' does not exist. Supply a valid database "
               "name. To see available databases, use sys.databases."
           };
    QTest::newRow("leading blank") << 16 << " Acct"
                                   << QStringList {
                                          "15010/16/1 'sp_detach_db' line 1: The database ' Acct' does not "
                                          "exist. Supply a valid database name. To see available databases, use "
                                          "sys.databases."
                                      };
    QTest::newRow("unknown 2000")
        << 8 << "Nope"
        << QStringList { "15010/16/1 'sp_detach_db' line 1: The database 'Nope' does not exist. Use sp_helpdb to show "
                         "available databases." };
    QTest::newRow("system database")
        << 16 << "MSDB"
        << QStringList { "7940/16/1 'sp_detach_db' line 1: System databases master, model, msdb, and tempdb "
                         "cannot be detached." };
    QTest::newRow("characters outside the code page")
        << 16 << QString::fromUtf8("账套")
        << QStringList { "15010/16/1 'sp_detach_db' line 1: The database '??' does not "
                         "exist. Supply a valid database name. To see available "
                         "databases, use sys.databases." };
    QTest::newRow("trailing blanks ignored") << 16 << "acct  " << QStringList();
}

void EngineFilesTest::detachRefusals()
{
    QFETCH(int, version);
    QFETCH(QString, name);
    QFETCH(QStringList, expected);
    Harness h(version);
    QVERIFY(h.create(QStringLiteral("Acct")));
    QVERIFY(h.create(QString::fromUtf8("账套")));
    const Reply r = h.run(detachStatement(name));
    QCOMPARE(messageLines(r), expected);
    QCOMPARE(h.databaseNames().contains(QStringLiteral("Acct")), !expected.isEmpty());
}

void EngineFilesTest::detachNeedsNobodyInTheDatabase()
{
    Harness h;
    QVERIFY(h.create(QStringLiteral("Busy")));
    const int other = h.connect(QStringLiteral("Busy"));
    QVERIFY(other > 0);
    const Reply r = h.run(detachStatement(QStringLiteral("busy")));
    QCOMPARE(messageLines(r),
        QStringList {
            "3703/16/2 'sp_detach_db' line 1: Cannot detach the database 'Busy' because it is currently in use." });
    // Once the other session moves away (or closes), the detach goes through.
    QCOMPARE(numbers(h.run(other, QStringLiteral("use master"))), QList<int> { 5701 });
    QVERIFY(messages(h.run(detachStatement(QStringLiteral("busy")))).isEmpty());
    QVERIFY(h.create(QStringLiteral("Busy2")));
    const int third = h.connect(QStringLiteral("Busy2"));
    h.engine().closeSession(third);
    QVERIFY(messages(h.run(detachStatement(QStringLiteral("Busy2")))).isEmpty());
}

void EngineFilesTest::restartKeepsCatalogueAndReusesLowestDbid()
{
    Harness h;
    QVERIFY(h.create(QStringLiteral("One")));
    QVERIFY(h.create(QStringLiteral("Two")));
    QVERIFY(h.create(QStringLiteral("Three")));
    QVERIFY(errors(h.run(QStringLiteral("ALTER DATABASE Two SET RECOVERY SIMPLE"))).isEmpty());
    QVERIFY(errors(h.run(detachStatement(QStringLiteral("One")))).isEmpty());
    h.restart();
    QCOMPARE(h.databaseNames(), (QStringList { "master", "model", "msdb", "tempdb", "Three", "Two" }));
    const auto rs = results(h.run(QStringLiteral("select dbid from sysdatabases where name = 'Three'")));
    QCOMPARE(integer(rs[0].rows[0][0]), qint64(7));
    const auto rec
        = results(h.run(QStringLiteral("SELECT CAST(DATABASEPROPERTYEX('Two','Recovery') AS nvarchar(128))")));
    QCOMPARE(text(rec[0].rows[0][0]), QStringLiteral("SIMPLE"));
    // dbid 5 is free again: the next database takes it.
    QVERIFY(errors(h.run(attachStatement(QStringLiteral("One"), h.files() + "/One.mdf", h.files() + "/One_log.ldf")))
                .isEmpty());
    const auto again = results(h.run(QStringLiteral("select dbid from sysdatabases where name = 'One'")));
    QCOMPARE(integer(again[0].rows[0][0]), qint64(5));
    // The files of a database that survived the restart are still in use by it.
    QCOMPARE(
        numbers(h.run(attachStatement(QStringLiteral("Copy"), h.files() + "/Two.mdf", h.files() + "/Two_log.ldf"))),
        (QList<int> { 5120, 1802 }));
}

void EngineFilesTest::shrinkLogBatch_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("fileid");
    QTest::newRow("2000 log") << 8 << 2;
    QTest::newRow("2000 data") << 8 << 1;
    QTest::newRow("2005 log") << 9 << 2;
    QTest::newRow("2008 log") << 10 << 2;
    QTest::newRow("2022 data") << 16 << 1;
}

void EngineFilesTest::shrinkLogBatch()
{
    QFETCH(int, version);
    QFETCH(int, fileid);
    Harness h(version);
    QVERIFY(h.create(QStringLiteral("UFDATA_001_2007")));
    const QString path = h.files()
        + (fileid == 1 ? QStringLiteral("/UFDATA_001_2007.mdf") : QStringLiteral("/UFDATA_001_2007_log.ldf"));
    const qint64 before = QFileInfo(path).size();
    // As the application does it: look the logical name up, paste it into the batch verbatim.
    const int s = h.connect(QStringLiteral("UFDATA_001_2007"));
    const auto name = results(h.run(s, QStringLiteral("SELECT name FROM sysfiles WHERE(fileid= %1)").arg(fileid)));
    const QString logical = text(name[0].rows[0][0]);
    const Reply r = h.run(s,
        QStringLiteral("BACKUP LOG UFDATA_001_2007 WITH TRUNCATE_ONLY DBCC SHRINKFILE (") + logical
            + QStringLiteral(")"));
    if (version >= 10) {
        QCOMPARE(
            messageLines(r), QStringList { "155/15/1 '' line 1: 'TRUNCATE_ONLY' is not a recognized BACKUP option." });
        QCOMPARE(QFileInfo(path).size(), before); // nothing of the batch ran
        return;
    }
    QCOMPARE(describe(r),
        (QStringList { "DONE status 0 rows 0", "ROWS 1 x 6",
            "MSG 2528 sev 10 state 1 line 1 proc '': DBCC execution completed. If DBCC printed error "
            "messages, contact your system administrator.",
            "DONE status 16 rows 1" }));
    const ResultSet rs = results(r).first();
    const QStringList names { "DbId", "FileId", "CurrentSize", "MinimumSize", "UsedPages", "EstimatedPages" };
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(rs.columns[i].name, names[i]);
        QCOMPARE(rs.columns[i].type, i == 0 ? ColumnType::SmallInt : ColumnType::Int);
    }
    QCOMPARE(integer(rs.rows[0][0]), qint64(5));
    QCOMPARE(integer(rs.rows[0][1]), qint64(fileid));
    const qint64 current = integer(rs.rows[0][2]);
    QCOMPARE(integer(rs.rows[0][4]), current);
    // The file really is shorter now, and sysfiles agrees.
    QVERIFY(QFileInfo(path).size() < before);
    QCOMPARE(QFileInfo(path).size(), current * 8192);
    const auto sizes = results(h.run(s, QStringLiteral("select size from sysfiles where fileid = %1").arg(fileid)));
    QCOMPARE(integer(sizes[0].rows[0][0]), current);
    // A second shrink has nothing left to cut; the database still detaches and attaches.
    const Reply second = h.run(s, QStringLiteral("DBCC SHRINKFILE (") + logical + QStringLiteral(")"));
    QCOMPARE(integer(results(second)[0].rows[0][2]), current);
    QCOMPARE(numbers(h.run(s, QStringLiteral("use master"))), QList<int> { 5701 });
    QVERIFY(messages(h.run(detachStatement(QStringLiteral("UFDATA_001_2007")))).isEmpty());
    const Reply attach = h.run(attachStatement(
        QStringLiteral("UFDATA_001_2007"), h.files() + "/UFDATA_001_2007.mdf", h.files() + "/UFDATA_001_2007_log.ldf"));
    QVERIFY2(errors(attach).isEmpty(), qPrintable(describe(attach).join('\n')));
}

void EngineFilesTest::shrinkTargetsAndNames_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<int>("error"); // 0: shrinks
    QTest::newRow("bracketed") << "DBCC SHRINKFILE ([Acct_Log])" << 0;
    QTest::newRow("padded in brackets") << "dbcc shrinkfile ([Acct_Log      ])" << 0;
    QTest::newRow("string") << "DBCC SHRINKFILE ('acct_log')" << 0;
    QTest::newRow("file id") << "DBCC SHRINKFILE (2)" << 0;
    QTest::newRow("target size") << "DBCC SHRINKFILE (Acct_Log, 1)" << 0;
    QTest::newRow("unknown name") << "DBCC SHRINKFILE (Acct_Logg)" << 8985;
    QTest::newRow("name of another database's file") << "DBCC SHRINKFILE (mastlog)" << 8985;
}

void EngineFilesTest::shrinkTargetsAndNames()
{
    QFETCH(QString, statement);
    QFETCH(int, error);
    Harness h;
    QVERIFY(h.create(QStringLiteral("Acct")));
    const int s = h.connect(QStringLiteral("Acct"));
    const QString log = h.files() + QStringLiteral("/Acct_log.ldf");
    const qint64 before = QFileInfo(log).size();
    const Reply r = h.run(s, statement);
    if (error) {
        QCOMPARE(numbers(r), QList<int> { error });
        QCOMPARE(errors(r)[0].text,
            QStringLiteral("Could not locate file '%1' for database 'Acct' in sys.database_files. "
                           "The file either does not exist, or was dropped.")
                .arg(statement.section('(', 1).chopped(1)));
        QCOMPARE(QFileInfo(log).size(), before);
        return;
    }
    QVERIFY2(errors(r).isEmpty(), qPrintable(describe(r).join('\n')));
    const qint64 current = integer(results(r)[0].rows[0][2]);
    QCOMPARE(QFileInfo(log).size(), current * 8192);
    if (statement.contains(QStringLiteral(", 1)")))
        QCOMPARE(current, qint64(128)); // 1 MB target, above what is in use
    else
        QCOMPARE(current, integer(results(r)[0].rows[0][4]));
}

void EngineFilesTest::checkPrimaryFile_data()
{
    QTest::addColumn<int>("option");
    QTest::newRow("0") << 0;
    QTest::newRow("1") << 1;
    QTest::newRow("2") << 2;
    QTest::newRow("3") << 3;
}

void EngineFilesTest::checkPrimaryFile()
{
    QFETCH(int, option);
    Harness h(9);
    QVERIFY(h.create(QStringLiteral("Picked")));
    QVERIFY(messages(h.run(detachStatement(QStringLiteral("Picked")))).isEmpty());
    const QString mdf = h.files() + QStringLiteral("/Picked.mdf");
    const QString ldf = h.files() + QStringLiteral("/Picked_log.ldf");
    const Reply r = h.run(QStringLiteral("dbcc checkprimaryfile (N'%1',%2) ").arg(mdf).arg(option));
    QVERIFY2(errors(r).isEmpty(), qPrintable(describe(r).join('\n')));
    QCOMPARE(numbers(r), QList<int> { 2528 });
    const ResultSet rs = results(r).first();
    switch (option) {
    case 0:
        QCOMPARE(rs.columns[0].name, QStringLiteral("IsMDF"));
        QCOMPARE(integer(rs.rows[0][0]), qint64(1));
        break;
    case 1:
        QCOMPARE(rs.columns.size(), 9);
        QCOMPARE(rs.columns[0].type, ColumnType::SmallInt);
        QCOMPARE(rs.columns[7].type, ColumnType::NChar);
        QCOMPARE(rs.columns[8].type, ColumnType::NChar);
        QCOMPARE(rs.columns[8].maxLength, 260);
        QCOMPARE(rs.rows.size(), 2);
        QCOMPARE(text(rs.rows[0][8]), mdf.leftJustified(260, ' '));
        QCOMPARE(text(rs.rows[1][8]), ldf.leftJustified(260, ' '));
        QCOMPARE(text(rs.rows[1][7]), QStringLiteral("Picked_Log").leftJustified(128, ' '));
        break;
    case 2:
        QCOMPARE(rs.columns[0].type, ColumnType::NVarChar);
        QCOMPARE(rs.columns[1].type, ColumnType::Variant);
        QCOMPARE(text(rs.rows[0][0]), QStringLiteral("Database name"));
        QCOMPARE(text(rs.rows[0][1]), QStringLiteral("Picked"));
        QCOMPARE(text(rs.rows[1][0]), QStringLiteral("Database version"));
        QCOMPARE(integer(rs.rows[1][1]), qint64(611));
        QCOMPARE(integer(rs.rows[2][1]), qint64(872468488));
        break;
    case 3:
        QCOMPARE(rs.columns.size(), 4);
        QCOMPARE(rs.columns[1].type, ColumnType::Int);
        QVERIFY(integer(rs.rows[1][0]) & 0x40);
        QCOMPARE(text(rs.rows[1][3]).trimmed(), ldf);
        break;
    }
    // The padded path from option 1 attaches as it is.
    const Reply attach
        = h.run(attachStatement(QStringLiteral("Picked"), mdf.leftJustified(260, ' '), ldf.leftJustified(260, ' ')));
    QVERIFY2(errors(attach).isEmpty(), qPrintable(describe(attach).join('\n')));
}

void EngineFilesTest::checkPrimaryFileRefusals_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("option");
    QTest::addColumn<QString>("expected"); // %1 = files folder
    QTest::newRow("missing") << "none.mdf" << 1
                             << "5120/16/101 '' line 1: Unable to open the physical file \"%1/none.mdf\". Operating "
                                "system error 2: \"2(The system cannot find the file specified.)\".";
    QTest::newRow("in use") << "Live.mdf" << 2
                            << "5120/16/101 '' line 1: Unable to open the physical file \"%1/Live.mdf\". Operating "
                               "system error 32: \"32(The process cannot access the file because it is being used by "
                               "another process.)\".";
    QTest::newRow("log file") << "Old_log.ldf" << 1
                              << "5171/16/1 '' line 1: %1/Old_log.ldf is not a primary database file.";
    QTest::newRow("log file option 0") << "Old_log.ldf" << 0 << "";
    QTest::newRow("not a database file")
        << "junk.mdf" << 2
        << "5172/16/15 '' line 1: The header for file '%1/junk.mdf' is not a valid database file header. The PageAudit "
           "property is incorrect.";
}

void EngineFilesTest::checkPrimaryFileRefusals()
{
    QFETCH(QString, file);
    QFETCH(int, option);
    QFETCH(QString, expected);
    Harness h;
    QVERIFY(h.create(QStringLiteral("Live")));
    QVERIFY(h.create(QStringLiteral("Old")));
    QVERIFY(messages(h.run(detachStatement(QStringLiteral("Old")))).isEmpty());
    writeJunk(h.files() + QStringLiteral("/junk.mdf"), 16384);
    const Reply r = h.run(QStringLiteral("DBCC CHECKPRIMARYFILE (N'%1/%2', %3)").arg(h.files(), file).arg(option));
    const QString done
        = QStringLiteral("2528/10/1 '' line 1: DBCC execution completed. If DBCC printed error messages, "
                         "contact your system administrator.");
    if (expected.isEmpty()) {
        QCOMPARE(messageLines(r), QStringList { done });
        QCOMPARE(integer(results(r)[0].rows[0][0]), qint64(0));
        return;
    }
    QCOMPARE(messageLines(r), (QStringList { withFolder(expected, h.files()), done }));
    QVERIFY(results(r).isEmpty());
}

void EngineFilesTest::recoveryModel()
{
    Harness h;
    QVERIFY(h.create(QStringLiteral("Full")));
    const QString ask = QStringLiteral("SELECT DATABASEPROPERTYEX('%1','Recovery')");
    const auto variant = results(h.run(ask.arg(QStringLiteral("Full"))));
    QCOMPARE(variant[0].columns[0].type, ColumnType::Variant);
    QCOMPARE(text(variant[0].rows[0][0]), QStringLiteral("FULL"));
    QVERIFY(std::holds_alternative<std::monostate>(results(h.run(ask.arg(QStringLiteral("Nope"))))[0].rows[0][0]));
    // New databases take model's recovery model.
    QVERIFY(errors(h.run(QStringLiteral("ALTER DATABASE model SET RECOVERY SIMPLE"))).isEmpty());
    QVERIFY(h.create(QStringLiteral("Simple")));
    QCOMPARE(text(results(h.run(ask.arg(QStringLiteral("Simple"))))[0].rows[0][0]), QStringLiteral("SIMPLE"));
    const auto status = results(h.run(QStringLiteral("select status from sysdatabases where name = 'Simple'")));
    QCOMPARE(integer(status[0].rows[0][0]), qint64(65544));
    QVERIFY(errors(h.run(QStringLiteral("ALTER DATABASE [Simple] SET RECOVERY BULK_LOGGED WITH NO_WAIT"))).isEmpty());
    QCOMPARE(text(results(h.run(ask.arg(QStringLiteral("Simple"))))[0].rows[0][0]), QStringLiteral("BULK_LOGGED"));
    QCOMPARE(numbers(h.run(QStringLiteral("ALTER DATABASE Nope SET RECOVERY FULL"))), (QList<int> { 5011, 5069 }));
    QCOMPARE(numbers(h.run(QStringLiteral("ALTER DATABASE tempdb SET RECOVERY FULL"))), (QList<int> { 5058, 5069 }));
    // Mirroring needs FULL recovery and keeps the database there.
    const auto alter = [&](const char* sql) { return numbers(h.run(QString::fromLatin1(sql))); };
    QCOMPARE(alter("ALTER DATABASE [Simple] SET PARTNER = 'TCP://m:5022'"), (QList<int> { 1465, 5069 }));
    QCOMPARE(alter("ALTER DATABASE [Full] SET PARTNER OFF"), (QList<int> { 1416, 5069 }));
    QCOMPARE(alter("ALTER DATABASE [Full] SET PARTNER = 'TCP://m:5022'"), QList<int> {});
    QCOMPARE(alter("ALTER DATABASE [Full] SET RECOVERY BULK_LOGGED"), (QList<int> { 1468, 5069 }));
    h.restart();
    QCOMPARE(alter("ALTER DATABASE [Full] SET RECOVERY SIMPLE"), (QList<int> { 1468, 5069 }));
    QCOMPARE(alter("ALTER DATABASE [Full] SET PARTNER OFF"), QList<int> {});
    QCOMPARE(alter("ALTER DATABASE [Full] SET RECOVERY SIMPLE"), QList<int> {});
    QCOMPARE(numbers(Harness(8).run("ALTER DATABASE master SET PARTNER OFF")), QList<int> { 170 });
}

void EngineFilesTest::backupLog_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("batch");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("unknown database 2005") << 9 << "BACKUP LOG Nope WITH TRUNCATE_ONLY" << QList<int> { 911, 3013 };
    QTest::newRow("truncate_only 2005") << 9 << "BACKUP LOG Acct WITH TRUNCATE_ONLY" << QList<int> {};
    QTest::newRow("no_log 2000") << 8 << "BACKUP LOG Acct WITH NO_LOG" << QList<int> {};
    QTest::newRow("simple refuses log backups")
        << 16 << "BACKUP LOG Simple TO DISK = N'NUL'" << QList<int> { 4208, 3013 };
    QTest::newRow("no database backup yet") << 16 << "BACKUP LOG Acct TO DISK = 'NUL'" << QList<int> { 4214, 3013 };
    QTest::newRow("after a database backup")
        << 16 << "BACKUP DATABASE Acct TO DISK = 'NUL' BACKUP LOG Acct TO DISK = 'NUL'"
        << QList<int> { 4035, 4035, 3014, 4035, 3014 };
    QTest::newRow("truncate breaks the chain")
        << 9
        << "BACKUP DATABASE Acct TO DISK = 'NUL' BACKUP LOG Acct WITH TRUNCATE_ONLY BACKUP LOG Acct TO DISK = 'NUL'"
        << QList<int> { 4035, 4035, 3014, 4214, 3013 };
    QTest::newRow("backup folder missing")
        << 16 << "BACKUP DATABASE Acct TO DISK = 'C:\\b.bak'" << QList<int> { 3201, 3013 };
    QTest::newRow("unknown option") << 16 << "BACKUP LOG Acct TO DISK = 'NUL' WITH FASTER" << QList<int> { 155 };
    QTest::newRow("tempdb") << 16 << "BACKUP DATABASE tempdb TO DISK = 'NUL'" << QList<int> { 3147, 3013 };
    QTest::newRow("file of a database") << 16 << "BACKUP DATABASE Acct TO DISK = '../DATA/master.mdf'"
                                        << QList<int> { 3201, 3013 };
    QTest::newRow("not a backup file") << 16 << "BACKUP DATABASE Acct TO DISK = '../catalogue.json'"
                                       << QList<int> { 3241, 3013 };
    QTest::newRow("a file made, then added to")
        << 16 << "BACKUP DATABASE Acct TO DISK = 'a.bak' WITH INIT BACKUP LOG Acct TO DISK = 'a.bak'"
        << QList<int> { 4035, 4035, 3014, 4035, 3014 };
}

void EngineFilesTest::backupLog()
{
    QFETCH(int, version);
    QFETCH(QString, batch);
    QFETCH(QList<int>, expected);
    Harness h(version);
    QVERIFY(h.create(QStringLiteral("Acct")));
    QVERIFY(h.create(QStringLiteral("Simple")));
    QVERIFY(errors(h.run(QStringLiteral("ALTER DATABASE Simple SET RECOVERY SIMPLE"))).isEmpty());
    const Reply r = h.run(batch);
    QCOMPARE(numbers(r), expected);
    if (expected.contains(911)) {
        QCOMPARE(errors(r)[0].text,
            QStringLiteral("Could not locate entry in sysdatabases for database 'Nope'. No entry "
                           "found with that name. Make sure that the name is entered correctly."));
        QCOMPARE(errors(r)[1].text, QStringLiteral("BACKUP LOG is terminating abnormally."));
    }
    if (expected.contains(4208))
        QCOMPARE(errors(r)[0].text,
            QStringLiteral("The statement BACKUP LOG is not allowed while the recovery model is "
                           "SIMPLE. Use BACKUP DATABASE or change the recovery model using ALTER "
                           "DATABASE."));
    if (!expected.isEmpty() && expected.last() == 3014) {
        QVERIFY(messages(r).last().text.startsWith(QStringLiteral("BACKUP LOG successfully processed ")));
        if (batch.contains(QLatin1String("a.bak")))
            QVERIFY(messages(r).at(messages(r).size() - 2).text.endsWith(QStringLiteral("on file 2.")));
        QCOMPARE(messages(r).last().severity, quint8(10));
    }
}

void EngineFilesTest::failedCatalogueWrite_data()
{
    QTest::addColumn<QString>("statement"); // %1: the files folder
    QTest::addColumn<bool>("refused"); // the folder refuses the file; otherwise the disk fills up
    QTest::addColumn<QList<int>>("expected");
    const QString attach = attachStatement(QStringLiteral("Old"), "%1/Old.mdf", "%1/Old_log.ldf");
    QTest::newRow("attach, disk full") << attach << false << QList<int> { 1105 };
    QTest::newRow("attach, folder refuses") << attach << true << QList<int> { 823 };
    QTest::newRow("detach") << detachStatement(QStringLiteral("Kept")) << false << QList<int> { 1105 };
    QTest::newRow("create") << "CREATE DATABASE New ON (NAME = n, FILENAME = '%1/n.mdf')" << false
                            << QList<int> { 1105 };
    QTest::newRow("recovery") << "ALTER DATABASE Kept SET RECOVERY SIMPLE" << false << QList<int> { 1105, 5069 };
    QTest::newRow("database backup") << "BACKUP DATABASE Kept TO DISK = 'NUL' BACKUP LOG Kept TO DISK = 'NUL'" << false
                                     << QList<int> { 4035, 4035, 1105, 3013, 4214, 3013 };
}

// A change the catalogue could not keep is refused, undone, and the old catalogue stays whole.
void EngineFilesTest::failedCatalogueWrite()
{
    QFETCH(QString, statement);
    QFETCH(bool, refused);
    QFETCH(QList<int>, expected);
    Harness h;
    QVERIFY(h.create(QStringLiteral("Kept")));
    QVERIFY(h.create(QStringLiteral("Old")));
    QVERIFY(errors(h.run(detachStatement(QStringLiteral("Old")))).isEmpty());
    const QString catalogue = h.dataDir() + QStringLiteral("/catalogue.json");
    const QByteArray before = fileHash(catalogue);
    const QStringList names { "Kept", "master", "model", "msdb", "tempdb" };

    CatalogueFault fault;
    fault.refused = refused;
    fault.spaceLeft = refused ? -1 : 100;
    h.engine().setCatalogueFault(fault);
    const Reply r = h.run(withFolder(statement, h.files()));
    QCOMPARE(numbers(r), expected);
    if (expected.contains(1105)) {
        // From 2005 on the object comes with its index part.
        const QVector<Message> errs = errors(r);
        const auto m = std::find_if(errs.begin(), errs.end(), [](const Message& e) { return e.number == 1105; });
        QCOMPARE(m->text,
            QStringLiteral(
                "Could not allocate space for object 'sys.sysdbreg'.'clst' in database 'master' because the "
                "'PRIMARY' filegroup is full. Create disk space by deleting unneeded files, dropping objects "
                "in the filegroup, adding additional files to the filegroup, or setting autogrowth on for "
                "existing files in the filegroup."));
        QCOMPARE(int(m->severity), 17);
    }
    QCOMPARE(fileHash(catalogue), before);
    QVERIFY(!QFile::exists(catalogue + QStringLiteral(".new")));

    h.engine().setCatalogueFault({});
    const int s = h.connect(QStringLiteral("master"));
    QCOMPARE(h.databaseNames(), names);
    QCOMPARE(text(results(h.run(s, "SELECT DATABASEPROPERTYEX('Kept','Recovery')"))[0].rows[0][0]), "FULL");
    QCOMPARE(numbers(h.run(s, "BACKUP LOG Kept TO DISK = 'NUL'")), (QList<int> { 4214, 3013 }));
    h.restart();
    QCOMPARE(h.databaseNames(), names);
}

namespace {

// Makes the files of a detached database in `folder` with a server of `version`; `killed`: the
// server dies while the database is attached (its primary file stays marked open).
bool makeFiles(int version, const QString& folder, const QString& name, bool killed)
{
    Harness old(version);
    if (!old.create(name, folder))
        return false;
    if (killed) {
        old.engine().endLikeKilledServer();
        return true;
    }
    return errors(old.run(detachStatement(name))).isEmpty();
}

void removeWriteBits(const QString& path)
{
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
}

} // namespace

void EngineFilesTest::readOnlyFilesAttach_data()
{
    QTest::addColumn<int>("writer");
    QTest::addColumn<int>("reader");
    QTest::addColumn<QStringList>("expected"); // empty: attached read-only
    QTest::newRow("2022 files on 2022") << 16 << 16 << QStringList {};
    QTest::newRow("2005 files on 2005") << 9 << 9 << QStringList {};
    QTest::newRow("2000 files on 2000") << 8 << 8 << QStringList {};
    QTest::newRow("2008 files on 2022: an upgrade is needed")
        << 10 << 16
        << QStringList {
               "3415/16/2 '' line 1: Database 'Ro' cannot be upgraded because it is read-only, has read-only "
               "files or the user does not have permissions to modify some of the files. Make the database or "
               "files writeable, and rerun recovery."
           };
    QTest::newRow("2005 files on 2008: an upgrade is needed")
        << 9 << 10
        << QStringList { "3415/16/2 '' line 1: Database 'Ro' cannot be upgraded because it is read-only or has "
                         "read-only files. Make the database or files writeable, and rerun recovery." };
}

// Files the server may not write (here: no write bits, which binds root too) attach as a read-only
// database when no upgrade is needed, and are refused with 3415 when one is.
void EngineFilesTest::readOnlyFilesAttach()
{
    QFETCH(int, writer);
    QFETCH(int, reader);
    QFETCH(QStringList, expected);
    QTemporaryDir shared;
    QVERIFY(makeFiles(writer, shared.path(), QStringLiteral("Ro"), false));
    const QString mdf = shared.path() + QStringLiteral("/Ro.mdf");
    const QString ldf = shared.path() + QStringLiteral("/Ro_log.ldf");
    removeWriteBits(mdf);
    removeWriteBits(ldf);
    const QByteArray mdfHash = fileHash(mdf);
    Harness h(reader);
    const Reply r = h.run(attachStatement(QStringLiteral("Ro"), mdf, ldf));
    QCOMPARE(messageLines(r), expected);
    QCOMPARE(h.databaseNames().contains(QStringLiteral("Ro")), expected.isEmpty());
    if (!expected.isEmpty())
        return;
    const auto rs = results(h.run(QStringLiteral("select status from sysdatabases where name = 'Ro'")));
    QVERIFY(integer(rs[0].rows[0][0]) & 1024);
    QCOMPARE(text(results(h.run(QStringLiteral("SELECT DATABASEPROPERTYEX('Ro', 'Updateability')")))[0].rows[0][0]),
        QStringLiteral("READ_ONLY"));
    // No option changes, no shrink: nothing is written to the files.
    const QStringList refusal = reader <= 8
        ? QStringList { "5004/16/1 '' line 1: To use ALTER DATABASE, the database must be in a writable state in which "
                        "a "
                        "checkpoint can be executed." }
        : QStringList {
              "5004/16/1 '' line 1: To use ALTER DATABASE, the database must be in a writable state in which a "
              "checkpoint can be executed.",
              "5069/16/1 '' line 1: ALTER DATABASE statement failed."
          };
    QCOMPARE(messageLines(h.run(QStringLiteral("ALTER DATABASE Ro SET RECOVERY SIMPLE"))), refusal);
    const int s = h.connect(QStringLiteral("Ro"));
    const QString shrinkRefusal = reader <= 8
        ? QStringLiteral(
            "3906/16/1 '' line 1: Could not run BEGIN TRANSACTION in database 'Ro' because the database is "
            "read-only.")
        : QStringLiteral("3906/16/1 '' line 1: Failed to update database \"Ro\" because the database is read-only.");
    QCOMPARE(messageLines(h.run(s, QStringLiteral("DBCC SHRINKFILE (Ro_Log)"))), QStringList { shrinkRefusal });
    h.engine().closeSession(s);
    QVERIFY(messages(h.run(detachStatement(QStringLiteral("Ro")))).isEmpty());
    QCOMPARE(fileHash(mdf), mdfHash);
    QVERIFY(readDatabaseFile(mdf).header.cleanShutdown);
}

void EngineFilesTest::alterReadOnly_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("2000") << 8;
    QTest::newRow("2022") << 16;
}

// ALTER DATABASE .. SET READ_ONLY | READ_WRITE, as tests make a read-only database.
void EngineFilesTest::alterReadOnly()
{
    QFETCH(int, version);
    Harness h(version);
    QVERIFY(h.create(QStringLiteral("Acct")));
    const auto lines = [&](const char* sql) { return messageLines(h.run(QString::fromLatin1(sql))); };
    const auto status = [&]() {
        return integer(
            results(h.run(QStringLiteral("select status from sysdatabases where name = 'Acct'")))[0].rows[0][0]);
    };
    QCOMPARE(lines("ALTER DATABASE Acct SET READ_ONLY"), QStringList {});
    QVERIFY(status() & 1024);
    QCOMPARE(lines("ALTER DATABASE Acct SET READ_ONLY WITH ROLLBACK IMMEDIATE"), QStringList {});
    QCOMPARE(numbers(h.run(QStringLiteral("ALTER DATABASE Acct SET RECOVERY BULK_LOGGED"))),
        version <= 8 ? QList<int> { 5004 } : (QList<int> { 5004, 5069 }));
    h.restart(); // the state is kept
    QVERIFY(status() & 1024);
    // Writable again only when the files are.
    removeWriteBits(h.files() + QStringLiteral("/Acct_log.ldf"));
    const QStringList refused = version <= 8
        ? QStringList { "3510/16/1 '' line 1: Database 'Acct' cannot be changed from read-only because the primary "
                        "and/or log file(s) are not writable." }
        : QStringList { QStringLiteral("5120/16/101 '' line 1: Unable to open the physical file \"%1/Acct_log.ldf\". "
                                       "Operating system error 5: \"5(Access is denied.)\".")
                            .arg(h.files()),
              "5069/16/1 '' line 1: ALTER DATABASE statement failed." };
    QCOMPARE(lines("ALTER DATABASE Acct SET READ_WRITE"), refused);
    QVERIFY(QFile::setPermissions(
        h.files() + QStringLiteral("/Acct_log.ldf"), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QCOMPARE(lines("ALTER DATABASE Acct SET READ_WRITE"), QStringList {});
    QVERIFY(!(status() & 1024));
    QCOMPARE(text(results(h.run(QStringLiteral("SELECT DATABASEPROPERTYEX('Acct', 'Updateability')")))[0].rows[0][0]),
        QStringLiteral("READ_WRITE"));
    QCOMPARE(lines("ALTER DATABASE Acct SET RECOVERY SIMPLE"), QStringList {});
    QCOMPARE(numbers(h.run(QStringLiteral("ALTER DATABASE master SET READ_ONLY"))),
        version <= 8 ? QList<int> { 5058 } : (QList<int> { 5058, 5069 }));
}

void EngineFilesTest::rebuildLog_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("killed"); // the files come from a server killed with the database attached
    QTest::addColumn<bool>("logMissing");
    QTest::addColumn<QString>("statement"); // %1: the files folder
    QTest::addColumn<QStringList>("expected"); // %1: the files folder, %2: the default data folder
    const QString rebuild
        = QStringLiteral("CREATE DATABASE Solo ON (FILENAME = N'%1/Solo.mdf') FOR ATTACH_REBUILD_LOG");
    const QString single = QStringLiteral("EXEC sp_attach_db @dbname = N'Solo', @filename1 = N'%1/Solo.mdf'");
    const QString activation = QStringLiteral(
        "5111/10/1 '' line 1: File activation failure. The physical file name \"%1/Solo_log.ldf\" may be "
        "incorrect.");
    const QString notRebuilt = QStringLiteral(
        "5113/10/1 '' line 1: The log cannot be rebuilt because there were open transactions/users when "
        "the database was shutdown, no checkpoint occurred to the database, or the database was "
        "read-only. This error could occur if the transaction log file was manually deleted or lost "
        "due to a hardware or environment failure.");
    const QString aborted
        = QStringLiteral("1813/16/2 '' line 1: Could not open new database 'Solo'. CREATE DATABASE is "
                         "aborted.");
    QTest::newRow("clean, log there: REBUILD_LOG uses it") << 16 << false << false << rebuild << QStringList {};
    QTest::newRow("clean, log missing: built in the default log folder")
        << 16 << false << true << rebuild
        << QStringList { activation, "5182/10/1 '' line 1: New log file '%2/Solo_log.ldf' was created." };
    QTest::newRow("killed, log there: recovery uses it") << 16 << true << false << rebuild << QStringList {};
    QTest::newRow("killed, log missing: REBUILD_LOG refused")
        << 16 << true << true << rebuild << QStringList { activation, notRebuilt, aborted };
    QTest::newRow("killed, log missing: single-file attach refused 2005")
        << 9 << true << true << single << QStringList { activation, notRebuilt, aborted };
    QTest::newRow("killed, log missing: single-file attach refused 2000")
        << 8 << true << true << single
        << QStringList {
               "5105/10/2 '' line 1: Device activation error. The physical file name '%1/Solo_log.ldf' may be "
               "incorrect.",
               "1818/16/1 '' line 1: Primary log file '%1/Solo_log.ldf' is missing and the database was not cleanly "
               "shut "
               "down so it cannot be rebuilt.",
               aborted
           };
    QTest::newRow("clean, log missing: single-file attach rebuilds beside the primary 2005")
        << 9 << false << true << single
        << QStringList { activation, "5182/10/1 '' line 1: New log file '%1\\Solo_log.LDF' was created." };
}

// A log is rebuilt only when it is missing, and only for a database that was shut down cleanly.
void EngineFilesTest::rebuildLog()
{
    QFETCH(int, version);
    QFETCH(bool, killed);
    QFETCH(bool, logMissing);
    QFETCH(QString, statement);
    QFETCH(QStringList, expected);
    QTemporaryDir shared;
    QVERIFY(makeFiles(version, shared.path(), QStringLiteral("Solo"), killed));
    const QString ldf = shared.path() + QStringLiteral("/Solo_log.ldf");
    QCOMPARE(readDatabaseFile(shared.path() + QStringLiteral("/Solo.mdf")).header.cleanShutdown, !killed);
    if (logMissing)
        QVERIFY(QFile::rename(ldf, shared.path() + QStringLiteral("/kept.ldf")));
    const QByteArray ldfHash = logMissing ? QByteArray() : fileHash(ldf);
    Harness h(version);
    const Reply r = h.run(withFolder(statement, shared.path()));
    for (QString& e : expected)
        e = withFolder(e, shared.path()).replace(QStringLiteral("%2"), h.dataDir() + QStringLiteral("/DATA"));
    QCOMPARE(messageLines(r), expected);
    const bool refused = !expected.isEmpty() && expected.last().startsWith(QStringLiteral("1813"));
    QCOMPARE(h.databaseNames().contains(QStringLiteral("Solo")), !refused);
    if (refused) {
        QVERIFY(!QFileInfo::exists(h.dataDir() + QStringLiteral("/DATA/Solo_log.ldf")));
        return;
    }
    const int s = h.connect(QStringLiteral("Solo"));
    const QString logPath
        = text(results(h.run(s, QStringLiteral("select filename from sysfiles where fileid = 2")))[0].rows[0][0]);
    if (!logMissing) {
        QCOMPARE(logPath, ldf);
        QCOMPARE(fileHash(ldf), ldfHash);
    } else if (statement.contains(QLatin1String("REBUILD_LOG"))) {
        QCOMPARE(logPath, h.dataDir() + QStringLiteral("/DATA/Solo_log.ldf"));
        QCOMPARE(QFileInfo(logPath).size(), qint64(128) * 8192); // 1 MB
        // The primary file's list of files names the new log: detached, it is found there.
        QVERIFY(errors(h.run(s, QStringLiteral("USE master"))).isEmpty());
        QVERIFY(errors(h.run(detachStatement(QStringLiteral("Solo")))).isEmpty());
        const auto list
            = results(h.run(QStringLiteral("dbcc checkprimaryfile (N'%1/Solo.mdf',3)").arg(shared.path())));
        QVERIFY(!list.isEmpty() && list.first().rows.size() == 2);
        QCOMPARE(text(list.first().rows[1][3]).trimmed(), logPath);
        QCOMPARE(integer(list.first().rows[1][0]) & 0x40, qint64(0x40));
    }
}

// The primary file says whether the database was shut down cleanly: open while attached (also
// after a restart), clean after a detach or a clean stop, open after a kill.
void EngineFilesTest::cleanShutdownMark()
{
    QTemporaryDir keep;
    const QString data = keep.path() + QStringLiteral("/standin");
    const QString mdf = keep.path() + QStringLiteral("/Mark.mdf");
    auto clean = [&]() { return readDatabaseFile(mdf).header.cleanShutdown; };
    {
        Harness h(16, data);
        QVERIFY(h.create(QStringLiteral("Mark"), keep.path()));
        QCOMPARE(clean(), false);
    }
    QCOMPARE(clean(), true); // the engine stopped cleanly
    {
        Harness h(16, data);
        QCOMPARE(clean(), false); // attached again
        h.engine().endLikeKilledServer();
    }
    QCOMPARE(clean(), false);
    Harness h(16, data);
    QVERIFY(errors(h.run(detachStatement(QStringLiteral("Mark")))).isEmpty());
    QCOMPARE(clean(), true);
}

void EngineFilesTest::differentialBackup_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("batch");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("no base") << 16 << "BACKUP DATABASE Acct TO DISK = 'NUL' WITH DIFFERENTIAL"
                             << QList<int> { 3035, 3013 };
    QTest::newRow("no base 2000") << 8 << "BACKUP DATABASE Acct TO DISK = 'NUL' WITH DIFFERENTIAL"
                                  << QList<int> { 3035, 3013 };
    QTest::newRow("after a database backup")
        << 16 << "BACKUP DATABASE Acct TO DISK = 'NUL' BACKUP DATABASE Acct TO DISK = 'NUL' WITH DIFFERENTIAL"
        << QList<int> { 4035, 4035, 3014, 4035, 4035, 3014 };
    // A switch through SIMPLE breaks the log chain; a differential keeps its base but does not mend the chain.
    QTest::newRow("differential does not end the 4214 state")
        << 16
        << "BACKUP DATABASE Acct TO DISK = 'NUL' ALTER DATABASE Acct SET RECOVERY SIMPLE ALTER DATABASE Acct SET "
           "RECOVERY "
           "FULL BACKUP DATABASE Acct TO DISK = 'NUL' WITH DIFFERENTIAL BACKUP LOG Acct TO DISK = 'NUL'"
        << QList<int> { 4035, 4035, 3014, 4035, 4035, 3014, 4214, 3013 };
    QTest::newRow("a refused differential does not either")
        << 16 << "BACKUP DATABASE Acct TO DISK = 'NUL' WITH DIFFERENTIAL BACKUP LOG Acct TO DISK = 'NUL'"
        << QList<int> { 3035, 3013, 4214, 3013 };
    // On 2000 a log backup with no database backup only warns.
    QTest::newRow("log backup without database backup 2000")
        << 8 << "BACKUP LOG Acct TO DISK = 'NUL'" << QList<int> { 4214, 4035, 3014 };
}

void EngineFilesTest::differentialBackup()
{
    QFETCH(int, version);
    QFETCH(QString, batch);
    QFETCH(QList<int>, expected);
    Harness h(version);
    QVERIFY(h.create(QStringLiteral("Acct")));
    const Reply r = h.run(batch);
    QCOMPARE(numbers(r), expected);
    const QVector<Message> all = messages(r);
    for (qsizetype i = 0; i < all.size(); ++i) {
        const Message& m = all[i];
        if (m.number == 3035) {
            QCOMPARE(all.value(i + 1).text, QStringLiteral("BACKUP DATABASE is terminating abnormally."));
            QCOMPARE(int(m.severity), 16);
            QCOMPARE(m.text,
                version <= 8
                    ? QStringLiteral("Cannot perform a differential backup for database 'Acct', because a current "
                                     "database backup does not exist. Perform a full database backup by reissuing "
                                     "BACKUP DATABASE, omitting the WITH DIFFERENTIAL option.")
                    : QStringLiteral("Cannot perform a differential backup for database \"Acct\", because a "
                                     "current database backup does not exist. Perform a full database backup by "
                                     "reissuing BACKUP DATABASE, omitting the WITH DIFFERENTIAL option."));
        }
        if (m.number == 4214 && version <= 8) {
            QCOMPARE(int(m.severity), 10);
            QCOMPARE(m.text,
                QStringLiteral("There is no current database backup. This log backup cannot be used to roll forward a "
                               "preceding database backup."));
        }
    }
}

void EngineFilesTest::mirroringRefusals_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("not FULL, 2008")
        << 10 << "ALTER DATABASE Simple SET PARTNER = 'TCP://m:5022'"
        << QStringList {
               "1465/16/1 '' line 1: Database mirroring cannot be enabled because the \"Simple\" database is not "
               "in full recovery mode on both partners.",
               "5069/16/1 '' line 1: ALTER DATABASE statement failed."
           };
    QTest::newRow("not FULL, 2012")
        << 11 << "ALTER DATABASE Simple SET PARTNER = 'TCP://m:5022'"
        << QStringList {
               "1465/16/1 '' line 1: Database \"Simple\" database is not in full recovery mode on each of the "
               "server instances. The full recovery model is required for a database to participate in "
               "database mirroring or in an availability group.",
               "5069/16/1 '' line 1: ALTER DATABASE statement failed."
           };
    // No made-up number for a system database: master is SIMPLE, so 1465 is what it gets.
    QTest::newRow("master")
        << 16 << "ALTER DATABASE master SET PARTNER = 'TCP://m:5022'"
        << QStringList {
               "1465/16/1 '' line 1: Database \"master\" database is not in full recovery mode on each of the "
               "server instances. The full recovery model is required for a database to participate in "
               "database mirroring or in an availability group.",
               "5069/16/1 '' line 1: ALTER DATABASE statement failed."
           };
}

void EngineFilesTest::mirroringRefusals()
{
    QFETCH(int, version);
    QFETCH(QString, statement);
    QFETCH(QStringList, expected);
    Harness h(version);
    QVERIFY(h.create(QStringLiteral("Simple")));
    QVERIFY(errors(h.run(QStringLiteral("ALTER DATABASE Simple SET RECOVERY SIMPLE"))).isEmpty());
    QCOMPARE(messageLines(h.run(statement)), expected);
}

void EngineFilesTest::checkPrimaryFileBatch_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("2000") << 8;
    QTest::newRow("2005") << 9;
    QTest::newRow("2022") << 16;
}

// The scan's one batch: many checkprimaryfile (.., 2) with markers between them. A refusal stops
// only its own statement; each success gives its three rows; newer and older files are read.
void EngineFilesTest::checkPrimaryFileBatch()
{
    QFETCH(int, version);
    QTemporaryDir shared;
    const int older = version == 8 ? 8 : version - 1;
    const int newer = version == 16 ? 17 : version + 1;
    QVERIFY(makeFiles(older, shared.path(), QStringLiteral("Older"), false));
    QVERIFY(makeFiles(newer, shared.path(), QStringLiteral("Newer"), false));
    Harness h(version);
    QVERIFY(h.create(QStringLiteral("Live")));
    QVERIFY(h.create(QStringLiteral("Gone")));
    QVERIFY(errors(h.run(detachStatement(QStringLiteral("Gone")))).isEmpty());
    writeJunk(h.files() + QStringLiteral("/junk.mdf"), 16384);
    const QStringList files { shared.path() + QStringLiteral("/Older.mdf"), h.files() + QStringLiteral("/none.mdf"),
        h.files() + QStringLiteral("/Live.mdf"), h.files() + QStringLiteral("/junk.mdf"),
        h.files() + QStringLiteral("/Gone_log.ldf"), h.files() + QStringLiteral("/nofolder/x.mdf"),
        shared.path() + QStringLiteral("/Newer.mdf"), h.files() + QStringLiteral("/Gone.mdf") };
    QString batch;
    for (qsizetype i = 0; i < files.size(); ++i)
        batch += QStringLiteral("SELECT N'file %1'\ndbcc checkprimaryfile (N'%2',2)\n").arg(i).arg(files[i]);
    const Reply r = h.run(batch);
    QVERIFY(!r.closeConnection);
    const auto rs = results(r);
    // Markers and the successful files' property rows, in order.
    QStringList seen;
    for (const ResultSet& set : rs) {
        if (set.columns.size() == 1)
            seen << text(set.rows[0][0]);
        else
            seen << QStringLiteral("%1 v%2").arg(text(set.rows[0][1])).arg(integer(set.rows[1][1]));
    }
    QCOMPARE(seen,
        (QStringList { "file 0", QStringLiteral("Older v%1").arg(internalVersionOf(older)), "file 1", "file 2",
            "file 3", "file 4", "file 5", "file 6", QStringLiteral("Newer v%1").arg(internalVersionOf(newer)), "file 7",
            QStringLiteral("Gone v%1").arg(internalVersionOf(version)) }));
    QStringList refusals;
    for (const Message& m : errors(r))
        refusals << messageLine(m).replace(h.files(), QStringLiteral("F"));
    if (version <= 8) {
        QCOMPARE(refusals,
            (QStringList { "5105/16/2 '' line 4: Device activation error. The physical file name 'F/none.mdf' may be "
                           "incorrect.",
                "5105/16/2 '' line 6: Device activation error. The physical file name 'F/Live.mdf' may be incorrect.",
                "5172/16/15 '' line 8: The header for file 'F/junk.mdf' is not a valid database file header. The "
                "PageAudit property is incorrect.",
                "5171/16/1 '' line 10: F/Gone_log.ldf is not a primary database file.",
                "5105/16/2 '' line 12: Device activation error. The physical file name 'F/nofolder/x.mdf' may be "
                "incorrect." }));
    } else {
        QCOMPARE(refusals,
            (QStringList {
                "5120/16/101 '' line 4: Unable to open the physical file \"F/none.mdf\". Operating system error 2: "
                "\"2(The system cannot find the file specified.)\".",
                "5120/16/101 '' line 6: Unable to open the physical file \"F/Live.mdf\". Operating system error 32: "
                "\"32(The process cannot access the file because it is being used by another process.)\".",
                "5172/16/15 '' line 8: The header for file 'F/junk.mdf' is not a valid database file header. The "
                "PageAudit property is incorrect.",
                "5171/16/1 '' line 10: F/Gone_log.ldf is not a primary database file.",
                "5120/16/101 '' line 12: Unable to open the physical file \"F/nofolder/x.mdf\". Operating system error "
                "3: \"3(The system cannot find the path specified.)\"." }));
    }
    // Every DBCC ends with 2528; every statement has its DONE, the failed ones with the error bit.
    QCOMPARE(numbers(r).count(2528), int(files.size()));
    int failedDone = 0;
    int dones = 0;
    for (const Event& e : r.events) {
        if (const auto* d = std::get_if<Done>(&e)) {
            ++dones;
            failedDone += (d->status & Done::Error) ? 1 : 0;
        }
    }
    QCOMPARE(dones, int(2 * files.size()));
    QCOMPARE(failedDone, 5);
}

void EngineFilesTest::serverServices_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("columns"); // 0: no such view
    QTest::newRow("2008: 208") << 10 << 0;
    QTest::newRow("2012 SP4") << 11 << 12;
    QTest::newRow("2014") << 12 << 11;
    QTest::newRow("2022") << 16 << 12;
}

void EngineFilesTest::serverServices()
{
    QFETCH(int, version);
    QFETCH(int, columns);
    Harness h(version);
    const Reply r = h.run(QStringLiteral("SELECT * FROM sys.dm_server_services"));
    if (columns == 0) {
        QCOMPARE(messageLines(r), QStringList { "208/16/1 '' line 1: Invalid object name 'sys.dm_server_services'." });
        return;
    }
    QCOMPARE(numbers(h.run(QStringLiteral("SELECT * FROM dm_server_services"))), QList<int> { 208 });
    const ResultSet rs = results(r).first();
    QStringList names;
    for (const Column& c : rs.columns)
        names << c.name;
    QStringList wanted { "servicename", "startup_type", "startup_type_desc", "status", "status_desc", "process_id",
        "last_startup_time", "service_account", "filename", "is_clustered", "cluster_nodename" };
    if (columns == 12)
        wanted << "instant_file_initialization_enabled";
    QCOMPARE(names, wanted);
    QCOMPARE(rs.columns[6].type, ColumnType::DateTimeOffset);
    QCOMPARE(rs.rows.size(), 2);
    QCOMPARE(text(rs.rows[0][0]), QStringLiteral("SQL Server (MSSQLSERVER)"));
    QCOMPARE(text(rs.rows[0][4]), QStringLiteral("Running"));
    QCOMPARE(integer(rs.rows[0][5]), qint64(QCoreApplication::applicationPid()));
    QCOMPARE(text(rs.rows[1][0]), QStringLiteral("SQL Server Agent (MSSQLSERVER)"));
    QVERIFY(!text(rs.rows[0][7]).isEmpty());
    QVERIFY(text(rs.rows[0][8]).contains(QStringLiteral("MSSQL%1.MSSQLSERVER").arg(version)));
}

QTEST_GUILESS_MAIN(EngineFilesTest)
#include "engine_files_test.moc"
