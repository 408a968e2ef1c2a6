#include "FileLinks.h"
#include "ScanPlan.h"
#include "PathIdentity.h"
#include "Statements.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

using namespace tp;

namespace {

QString stateKey(YearState s)
{
    static const char* keys[] = { "attached", "taken", "ready", "nolog", "unreadable", "gone", "inuse", "noaccess",
        "tooold", "toonew", "readonly", "notdb", "cannotopen", "unlisted", "toolong" };
    return QString::fromLatin1(keys[int(s)]);
}

// Makes the tree: "ZT001/2005/ufdata.MDF" gets one 8-KB page (an .LDF 10 bytes, "name#N" N
// bytes), a path ending in "/" becomes a folder, "A=B" makes A a second name (hard link) of the
// file B made before.
bool makeTree(const QString& root, const QStringList& entries)
{
    for (const QString& e : entries) {
        const QString name = e.section(QLatin1Char('='), 0, 0).section(QLatin1Char('#'), 0, 0);
        const QString path = root + QLatin1Char('/') + name;
        if (e.contains(QLatin1Char('='))) {
            if (!QDir().mkpath(QFileInfo(path).path())
                || !test::makeHardLink(root + QLatin1Char('/') + e.section(QLatin1Char('='), 1), path))
                return false;
            continue;
        }
        if (e.endsWith(QLatin1Char('/'))) {
            if (!QDir().mkpath(path))
                return false;
            continue;
        }
        if (!QDir().mkpath(QFileInfo(path).path()))
            return false;
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        const int size = e.contains(QLatin1Char('#')) ? e.section(QLatin1Char('#'), 1).toInt()
            : e.toLower().endsWith(QLatin1String(".ldf"))  ? 10
                                                            : 8192;
        f.write(QByteArray(size, 'x'));
    }
    return true;
}

} // namespace

class TestScanPlan : public QObject
{
    Q_OBJECT
private slots:
    void plan_data();
    void plan();
    void rootWrittenAnotherWay_data();
    void rootWrittenAnotherWay();
    void unlistableFolders();
    void rebuildLogStatement_data();
    void rebuildLogStatement();
};

// Each row: the root below the temporary folder, the files on disk, the server's databases
// ("name|primary file[|every file]", <root> standing for the data root), and the plan as
// "set year name state dataFile dataSize logSize [otherFile]" lines.
void TestScanPlan::plan_data()
{
    QTest::addColumn<QString>("rootName");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("server");
    QTest::addColumn<QStringList>("expected");
#ifdef Q_OS_WIN
    const QString zt001 = "zt001", mdf = "UFDATA.mdf", ldf = "UFDATA.ldf"; // the file system ignores case
#else
    const QString zt001 = "ZT001", mdf = "ufdata.MDF", ldf = "ufdata.LDF"; // case counts
#endif

    QTest::newRow("gaps across sets") << "data"
                                      << QStringList { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF",
                                             "ZT001/2007/ufdata.MDF", "ZT001/2007/ufdata.LDF", "ZT002/2010/ufdata.MDF",
                                             "ZT002/2010/ufdata.LDF", "ZT002/2008/" }
                                      << QStringList {}
                                      << QStringList {
                                             "001 2005 UFDATA_001_2005 ready <root>\\ZT001\\2005\\ufdata.MDF 8192 10",
                                             "001 2007 UFDATA_001_2007 ready <root>\\ZT001\\2007\\ufdata.MDF 8192 10",
                                             "002 2010 UFDATA_002_2010 ready <root>\\ZT002\\2010\\ufdata.MDF 8192 10"
                                         };
    QTest::newRow("attached, however the server writes the path")
        << "data"
        << QStringList { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF", "ZT001/2006/ufdata.MDF",
               "ZT001/2006/ufdata.LDF" }
        << QStringList { "UFDATA_001_2005|<root>\\ZT001\\2005\\ufdata.MDF",
               "ufdata_001_2006    |<root>/" + zt001 + "/2006/" + mdf + "   " }
        << QStringList { "001 2005 UFDATA_001_2005 attached <root>\\ZT001\\2005\\ufdata.MDF 8192 10",
               "001 2006 UFDATA_001_2006 attached <root>\\ZT001\\2006\\ufdata.MDF 8192 10" };
    QTest::newRow("name taken by other files")
        << "data" << QStringList { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF" }
        << QStringList { "UFDATA_001_2005|D:\\Old\\ZT001\\2005\\ufdata.MDF" }
        << QStringList {
               "001 2005 UFDATA_001_2005 taken <root>\\ZT001\\2005\\ufdata.MDF 8192 10 D:\\Old\\ZT001\\2005\\ufdata.MDF"
           };
    QTest::newRow("data file attached under another name")
        << "data" << QStringList { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF" }
        << QStringList { "Books2005   |<root>/" + zt001 + "/2005/" + mdf + " " }
        << QStringList { "001 2005 UFDATA_001_2005 inuse <root>\\ZT001\\2005\\ufdata.MDF 8192 10 Books2005" };
    QTest::newRow("log missing, and an attached year needs no log")
        << "data" << QStringList { "ZT001/2005/ufdata.MDF", "ZT001/2006/ufdata.MDF" }
        << QStringList { "UFDATA_001_2006|<root>\\ZT001\\2006\\ufdata.MDF" }
        << QStringList { "001 2005 UFDATA_001_2005 nolog <root>\\ZT001\\2005\\ufdata.MDF 8192 -1",
               "001 2006 UFDATA_001_2006 attached <root>\\ZT001\\2006\\ufdata.MDF 8192 -1" };
    QTest::newRow("any case, names as found")
        << "data" << QStringList { "zt001/2005/UFDATA.mdf", "zt001/2005/Ufdata.Ldf" } << QStringList {}
        << QStringList { "001 2005 UFDATA_001_2005 ready <root>\\zt001\\2005\\UFDATA.mdf 8192 10" };
    QTest::newRow("blanks and Chinese in the root")
        << "账套 数据 2024" << QStringList { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF" }
        << QStringList { "UFDATA_001_2005|<root>\\ZT001\\2005\\ufdata.MDF" }
        << QStringList { "001 2005 UFDATA_001_2005 attached <root>\\ZT001\\2005\\ufdata.MDF 8192 10" };
    QTest::newRow("folders that are not account-years")
        << "data"
        << QStringList { "ZT001/05/ufdata.MDF", "ZT001/20055/ufdata.MDF", "ZTabc/2005/ufdata.MDF", "ZT/2005/ufdata.MDF",
               "XZT001/2005/ufdata.MDF", "ZT001/2005/other.MDF", "ZT001/2006/" }
        << QStringList {} << QStringList {};
    QTest::newRow("unreadable data file")
        << "data" << QStringList { "ZT001/2005/ufdata.MDF/", "ZT001/2005/ufdata.LDF" } << QStringList {}
        << QStringList { "001 2005 UFDATA_001_2005 unreadable <root>\\ZT001\\2005\\ufdata.MDF -1 10" };
    QTest::newRow("gone under the root, others left alone")
        << "data" << QStringList { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF", "ZT001/2009/" }
        << QStringList { "UFDATA_001_2009|<root>\\ZT001\\2009\\ufdata.MDF",
               "UFDATA_001_2001|<root>/ZT001/2001/ufdata.MDF", "UFDATA_001_2002|D:\\Elsewhere\\ufdata.MDF",
               "Sales|<root>\\Sales.mdf", "UFDATA_007_2003|<root>x\\ZT007\\2003\\ufdata.MDF" }
        << QStringList { "001 2001 UFDATA_001_2001 gone <root>/ZT001/2001/ufdata.MDF -1 -1",
               "001 2005 UFDATA_001_2005 ready <root>\\ZT001\\2005\\ufdata.MDF 8192 10",
               "001 2009 UFDATA_001_2009 gone <root>\\ZT001\\2009\\ufdata.MDF -1 -1" };
    QTest::newRow("log file used by another database")
        << "data" << QStringList { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF" }
        << QStringList { "Books|D:\\Books.mdf|D:\\Books.mdf|<root>\\\\ZT001/2005\\" + ldf + "     " }
        << QStringList { "001 2005 UFDATA_001_2005 inuse <root>\\ZT001\\2005\\ufdata.MDF 8192 10 Books" };
    QTest::newRow("the name taken by files that are gone: listed once")
        << "data" << QStringList { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF" }
        << QStringList { "UFDATA_001_2005|<root>\\ZT001\\2005\\old\\ufdata.MDF" }
        << QStringList { "001 2005 UFDATA_001_2005 taken <root>\\ZT001\\2005\\ufdata.MDF 8192 10 "
                         "<root>\\ZT001\\2005\\old\\ufdata.MDF" };
    const QStringList sharedFiles { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF",
        "ZT002/2005/ufdata.MDF=ZT001/2005/ufdata.MDF", "ZT002/2005/ufdata.LDF=ZT001/2005/ufdata.LDF",
        "ZT003/2005/ufdata.MDF", "ZT003/2005/ufdata.LDF=ZT001/2005/ufdata.LDF" };
    QTest::newRow("account sets that reach the same files")
        << "data" << sharedFiles << QStringList {}
        << QStringList { "001 2005 UFDATA_001_2005 ready <root>\\ZT001\\2005\\ufdata.MDF 8192 10",
               "002 2005 UFDATA_002_2005 inuse <root>\\ZT002\\2005\\ufdata.MDF 8192 10 UFDATA_001_2005",
               "003 2005 UFDATA_003_2005 inuse <root>\\ZT003\\2005\\ufdata.MDF 8192 10 UFDATA_001_2005" };
    QTest::newRow("account sets that reach the files of an attached one")
        << "data" << sharedFiles
        << QStringList { "UFDATA_001_2005|<root>/ZT001/2005/ufdata.MDF|<root>/ZT001/2005/ufdata.MDF|"
                         "<root>/ZT001/2005/ufdata.LDF" }
        << QStringList { "001 2005 UFDATA_001_2005 attached <root>\\ZT001\\2005\\ufdata.MDF 8192 10",
               "002 2005 UFDATA_002_2005 inuse <root>\\ZT002\\2005\\ufdata.MDF 8192 10 UFDATA_001_2005",
               "003 2005 UFDATA_003_2005 inuse <root>\\ZT003\\2005\\ufdata.MDF 8192 10 UFDATA_001_2005" };
    QTest::newRow("sets by number") << "data"
                                    << QStringList { "ZT010/2005/ufdata.MDF", "ZT2/2005/ufdata.MDF",
                                           "ZT001/2006/ufdata.MDF", "ZT001/2005/ufdata.MDF" }
                                    << QStringList {}
                                    << QStringList {
                                           "001 2005 UFDATA_001_2005 nolog <root>\\ZT001\\2005\\ufdata.MDF 8192 -1",
                                           "001 2006 UFDATA_001_2006 nolog <root>\\ZT001\\2006\\ufdata.MDF 8192 -1",
                                           "2 2005 UFDATA_2_2005 nolog <root>\\ZT2\\2005\\ufdata.MDF 8192 -1",
                                           "010 2005 UFDATA_010_2005 nolog <root>\\ZT010\\2005\\ufdata.MDF 8192 -1"
                                       };
    QTest::newRow("no page, or not even one: not a database file")
        << "data" << QStringList { "ZT001/2005/ufdata.MDF#0", "ZT001/2005/ufdata.LDF", "ZT001/2006/ufdata.MDF#8191" }
        << QStringList {}
        << QStringList { "001 2005 UFDATA_001_2005 notdb <root>\\ZT001\\2005\\ufdata.MDF 0 10",
               "001 2006 UFDATA_001_2006 notdb <root>\\ZT001\\2006\\ufdata.MDF 8191 -1" };
    QTest::newRow("a path longer than the server takes")
        << QString(240, QLatin1Char('d')) << QStringList { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF" }
        << QStringList {} << QStringList { "001 2005 UFDATA_001_2005 toolong <root>\\ZT001\\2005\\ufdata.MDF 8192 10" };
#ifndef Q_OS_WIN
    // Where case counts, ZT001 and zt001 are two copies of one account set: one name for both.
    const QStringList twoCopies { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF", "zt001/2005/ufdata.MDF",
        "zt001/2005/ufdata.LDF" };
    QTest::newRow("two copies side by side, the first attached")
        << "data" << twoCopies << QStringList { "UFDATA_001_2005|<root>\\ZT001\\2005\\ufdata.MDF" }
        << QStringList { "001 2005 UFDATA_001_2005 attached <root>\\ZT001\\2005\\ufdata.MDF 8192 10",
               "001 2005 UFDATA_001_2005 taken <root>\\zt001\\2005\\ufdata.MDF 8192 10 "
               "<root>\\ZT001\\2005\\ufdata.MDF" };
    QTest::newRow("two copies side by side, the second attached")
        << "data" << twoCopies << QStringList { "UFDATA_001_2005|<root>/zt001/2005/ufdata.MDF" }
        << QStringList { "001 2005 UFDATA_001_2005 taken <root>\\ZT001\\2005\\ufdata.MDF 8192 10 "
                         "<root>/zt001/2005/ufdata.MDF",
               "001 2005 UFDATA_001_2005 attached <root>\\zt001\\2005\\ufdata.MDF 8192 10" };
    QTest::newRow("two copies side by side, neither attached")
        << "data" << twoCopies << QStringList {}
        << QStringList { "001 2005 UFDATA_001_2005 ready <root>\\ZT001\\2005\\ufdata.MDF 8192 10",
               "001 2005 UFDATA_001_2005 taken <root>\\zt001\\2005\\ufdata.MDF 8192 10 "
               "<root>\\ZT001\\2005\\ufdata.MDF" };
#endif
}

void TestScanPlan::plan()
{
    QFETCH(QString, rootName);
    QFETCH(QStringList, files);
    QFETCH(QStringList, server);
    QFETCH(QStringList, expected);

    QTemporaryDir tmp;
    QVERIFY2(tmp.isValid(), qPrintable(tmp.errorString()));
    const QString root = QDir::toNativeSeparators(tmp.filePath(rootName));
    QVERIFY(QDir().mkpath(root));
    QVERIFY2(makeTree(root, files), "the folder tree could not be made");

    QList<ServerDatabase> dbs;
    for (QString s : server) {
        QStringList parts = s.replace(QLatin1String("<root>"), root).split(QLatin1Char('|'));
        const QString name = parts.takeFirst();
        const QString primary = parts.takeFirst();
        dbs.append({ name, primary, parts });
    }
    QStringList actual;
    for (const PlanRow& r : buildPlan(root, walkDataRoot(root), dbs, &serverFileExists)) {
        QString line = QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                           .arg(r.accountSet, r.year, r.databaseName, stateKey(r.state), r.dataFile)
                           .arg(r.dataSize)
                           .arg(r.logSize);
        if (!r.otherFile.isEmpty())
            line += QLatin1Char(' ') + r.otherFile;
        if (!r.otherDatabase.isEmpty())
            line += QLatin1Char(' ') + r.otherDatabase;
        actual << line.replace(root, QLatin1String("<root>"));
    }
    QCOMPARE(actual, expected);
}

// The same account-years however the root is written: 2005 attached from <tmp>/data\ZT001\2005
// (written the server's way), 2006 ready, 2001 attached from files under the root that are gone.
void TestScanPlan::rootWrittenAnotherWay_data()
{
    QTest::addColumn<QString>("root"); // below the temporary folder, which is the current folder
    QTest::addColumn<QString>("attachedFrom");
    QTest::newRow("as found") << "<tmp>/data"
                              << "<tmp>/data\\ZT001\\2005\\ufdata.MDF";
    QTest::newRow("the run's form for a drive root") << "<tmp>/data"
                                                     << "<tmp>/data\\\\ZT001\\2005\\ufdata.MDF";
    QTest::newRow("dots in the root") << "<tmp>/data/../data/."
                                      << "<tmp>/data\\ZT001\\2005\\ufdata.MDF";
    QTest::newRow("relative root") << "data"
                                   << "<tmp>/data\\ZT001\\2005\\ufdata.MDF";
    QTest::newRow("the root is the account set's folder") << "<tmp>/data/ZT001/"
                                                          << "<tmp>/data\\ZT001\\2005\\ufdata.MDF";
#ifndef Q_OS_WIN
    QTest::newRow("the root through a link") << "<tmp>/link"
                                             << "<tmp>/data\\ZT001\\2005\\ufdata.MDF";
#endif
}

void TestScanPlan::rootWrittenAnotherWay()
{
    QFETCH(QString, root);
    QFETCH(QString, attachedFrom);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QVERIFY(makeTree(tmp.path() + QStringLiteral("/data"),
        { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF", "ZT001/2006/ufdata.MDF", "ZT001/2006/ufdata.LDF" }));
#ifndef Q_OS_WIN
    QVERIFY(QFile::link(tmp.filePath("data"), tmp.filePath("link")));
#endif
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(tmp.path()));
    root.replace(QLatin1String("<tmp>"), tmp.path());
    const QList<ServerDatabase> server { { "UFDATA_001_2005", attachedFrom.replace(QLatin1String("<tmp>"), tmp.path()), {} },
        { "UFDATA_001_2001", tmp.path() + QStringLiteral("/data\\ZT001\\2001\\ufdata.MDF"), {} } };
    const QList<PlanRow> plan = buildPlan(root, walkDataRoot(root), server, &serverFileExists);
    const QString absoluteRoot = absoluteLocalPath(root);
    QVERIFY(QDir::setCurrent(before));

    QStringList actual;
    for (const PlanRow& r : plan) {
        actual << r.databaseName + QLatin1Char(' ') + stateKey(r.state);
        // The paths to be sent are absolute, on the root as given.
        QVERIFY2(r.state == YearState::Gone || (isAbsolutePath(r.dataFile) && r.dataFile.startsWith(absoluteRoot)),
            qPrintable(r.dataFile));
    }
    QCOMPARE(actual, QStringList({ "UFDATA_001_2001 gone", "UFDATA_001_2005 attached", "UFDATA_001_2006 ready" }));
}

// Folders this program may not list are rows of their own, and what lies under them is not
// taken for gone. Root reads every folder: the walk then runs as nobody.
void TestScanPlan::unlistableFolders()
{
#ifdef Q_OS_UNIX
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString root = tmp.filePath(QStringLiteral("data"));
    QVERIFY(makeTree(
        root, { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF", "ZT001/2006/ufdata.MDF", "ZT002/2003/" }));
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(tmp.path(), open));
    for (QDirIterator it(tmp.path(), QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
         it.hasNext();)
        QVERIFY(QFile::setPermissions(it.next(), open));
    for (const char* folder : { "/ZT001/2006", "/ZT002" })
        QVERIFY(QFile::setPermissions(root + QLatin1String(folder), QFile::WriteOwner));
    const QList<ServerDatabase> server { { "UFDATA_002_2003", root + "\\ZT002\\2003\\ufdata.MDF", {}, {} } };
    const passwd* nobody = ::getpwnam("nobody");
    const bool asRoot = ::geteuid() == 0;
    QVERIFY(!asRoot || (nobody && ::setegid(nobody->pw_gid) == 0 && ::seteuid(nobody->pw_uid) == 0));
    const QList<PlanRow> plan = buildPlan(root, walkDataRoot(root), server, &serverFileExists);
    QVERIFY(!asRoot || (::seteuid(0) == 0 && ::setegid(0) == 0));
    QStringList actual;
    for (const PlanRow& r : plan)
        actual << QStringLiteral("%1 %2 %3 %4")
                      .arg(r.accountSet, r.databaseName, stateKey(r.state), r.dataFile)
                      .replace(root, "<root>");
    QCOMPARE(actual,
        QStringList({ "001 UFDATA_001_2005 ready <root>\\ZT001\\2005\\ufdata.MDF",
            "001 UFDATA_001_2006 unlisted <root>\\ZT001\\2006", "002  unlisted <root>\\ZT002" }));
    for (const char* folder : { "/ZT001/2006", "/ZT002" })
        QFile::setPermissions(root + QLatin1String(folder), open);
#else
    QSKIP("folder permissions are a POSIX test");
#endif
}

void TestScanPlan::rebuildLogStatement_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("statement");
    QTest::newRow("2005 on") << 9 << "UFDATA_001_2005"
                             << "D:\\Data\\ZT001\\2005\\ufdata.MDF"
                             << "CREATE DATABASE UFDATA_001_2005 ON (FILENAME = N'D:\\Data\\ZT001\\2005\\ufdata.MDF') "
                                "FOR ATTACH_REBUILD_LOG";
    QTest::newRow("2022, apostrophe and blank")
        << 16 << "UFDATA 1"
        << "D:\\Bob's\\ufdata.MDF"
        << "CREATE DATABASE [UFDATA 1] ON (FILENAME = N'D:\\Bob''s\\ufdata.MDF') "
           "FOR ATTACH_REBUILD_LOG";
    QTest::newRow("2000: the single-file attach") << 8 << "UFDATA_001_2005"
                                                  << "D:\\账套\\ufdata.MDF"
                                                  << "EXEC sp_attach_db @dbname = N'UFDATA_001_2005',@filename1 = "
                                                     "N'D:\\账套\\ufdata.MDF'";
}

void TestScanPlan::rebuildLogStatement()
{
    QFETCH(int, version);
    QFETCH(QString, name);
    QFETCH(QString, file);
    QFETCH(QString, statement);
    QCOMPARE(attachRebuildLogStatement(version, name, file), statement);
}

QTEST_GUILESS_MAIN(TestScanPlan)
#include "tst_scan_plan.moc"
