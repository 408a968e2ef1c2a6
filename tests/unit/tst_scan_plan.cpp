#include "ScanPlan.h"
#include "Statements.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tp;

namespace {

QString stateKey(YearState s)
{
    static const char* keys[] = { "attached", "taken", "ready", "nolog", "unreadable", "gone", "inuse" };
    return QString::fromLatin1(keys[int(s)]);
}

// Makes the tree: "ZT001/2005/ufdata.MDF" gets 100 bytes (an .LDF 10), a path ending in "/"
// becomes a folder.
bool makeTree(const QString& root, const QStringList& entries)
{
    for (const QString& e : entries) {
        const QString path = root + QLatin1Char('/') + e;
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
        f.write(QByteArray(e.toLower().endsWith(QLatin1String(".ldf")) ? 10 : 100, 'x'));
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
    void rebuildLogStatement_data();
    void rebuildLogStatement();
};

// Each row: the root below the temporary folder, the files on disk, the server's databases
// ("name|primary file", <root> standing for the data root), and the plan as
// "set year name state dataFile dataSize logSize [otherFile]" lines.
void TestScanPlan::plan_data()
{
    QTest::addColumn<QString>("rootName");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("server");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("gaps across sets") << "data"
                                      << QStringList { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF",
                                             "ZT001/2007/ufdata.MDF", "ZT001/2007/ufdata.LDF", "ZT002/2010/ufdata.MDF",
                                             "ZT002/2010/ufdata.LDF", "ZT002/2008/" }
                                      << QStringList {}
                                      << QStringList {
                                             "001 2005 UFDATA_001_2005 ready <root>\\ZT001\\2005\\ufdata.MDF 100 10",
                                             "001 2007 UFDATA_001_2007 ready <root>\\ZT001\\2007\\ufdata.MDF 100 10",
                                             "002 2010 UFDATA_002_2010 ready <root>\\ZT002\\2010\\ufdata.MDF 100 10"
                                         };
    QTest::newRow("attached, however the server writes the path")
        << "data"
        << QStringList { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF", "ZT001/2006/ufdata.MDF",
               "ZT001/2006/ufdata.LDF" }
        << QStringList { "UFDATA_001_2005|<root>\\ZT001\\2005\\ufdata.MDF",
               "ufdata_001_2006    |<root>/zt001/2006/UFDATA.mdf   " }
        << QStringList { "001 2005 UFDATA_001_2005 attached <root>\\ZT001\\2005\\ufdata.MDF 100 10",
               "001 2006 UFDATA_001_2006 attached <root>\\ZT001\\2006\\ufdata.MDF 100 10" };
    QTest::newRow("name taken by other files")
        << "data" << QStringList { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF" }
        << QStringList { "UFDATA_001_2005|D:\\Old\\ZT001\\2005\\ufdata.MDF" }
        << QStringList {
               "001 2005 UFDATA_001_2005 taken <root>\\ZT001\\2005\\ufdata.MDF 100 10 D:\\Old\\ZT001\\2005\\ufdata.MDF"
           };
    QTest::newRow("data file attached under another name")
        << "data" << QStringList { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF" }
        << QStringList { "Books2005   |<root>/zt001/2005/UFDATA.mdf " }
        << QStringList { "001 2005 UFDATA_001_2005 inuse <root>\\ZT001\\2005\\ufdata.MDF 100 10 Books2005" };
    QTest::newRow("log missing, and an attached year needs no log")
        << "data" << QStringList { "ZT001/2005/ufdata.MDF", "ZT001/2006/ufdata.MDF" }
        << QStringList { "UFDATA_001_2006|<root>\\ZT001\\2006\\ufdata.MDF" }
        << QStringList { "001 2005 UFDATA_001_2005 nolog <root>\\ZT001\\2005\\ufdata.MDF 100 -1",
               "001 2006 UFDATA_001_2006 attached <root>\\ZT001\\2006\\ufdata.MDF 100 -1" };
    QTest::newRow("any case, names as found")
        << "data" << QStringList { "zt001/2005/UFDATA.mdf", "zt001/2005/Ufdata.Ldf" } << QStringList {}
        << QStringList { "001 2005 UFDATA_001_2005 ready <root>\\zt001\\2005\\UFDATA.mdf 100 10" };
    QTest::newRow("blanks and Chinese in the root")
        << "账套 数据 2024" << QStringList { "ZT001/2005/ufdata.MDF", "ZT001/2005/ufdata.LDF" }
        << QStringList { "UFDATA_001_2005|<root>\\ZT001\\2005\\ufdata.MDF" }
        << QStringList { "001 2005 UFDATA_001_2005 attached <root>\\ZT001\\2005\\ufdata.MDF 100 10" };
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
               "001 2005 UFDATA_001_2005 ready <root>\\ZT001\\2005\\ufdata.MDF 100 10",
               "001 2009 UFDATA_001_2009 gone <root>\\ZT001\\2009\\ufdata.MDF -1 -1" };
    QTest::newRow("sets by number") << "data"
                                    << QStringList { "ZT010/2005/ufdata.MDF", "ZT2/2005/ufdata.MDF",
                                           "ZT001/2006/ufdata.MDF", "ZT001/2005/ufdata.MDF" }
                                    << QStringList {}
                                    << QStringList {
                                           "001 2005 UFDATA_001_2005 nolog <root>\\ZT001\\2005\\ufdata.MDF 100 -1",
                                           "001 2006 UFDATA_001_2006 nolog <root>\\ZT001\\2006\\ufdata.MDF 100 -1",
                                           "2 2005 UFDATA_2_2005 nolog <root>\\ZT2\\2005\\ufdata.MDF 100 -1",
                                           "010 2005 UFDATA_010_2005 nolog <root>\\ZT010\\2005\\ufdata.MDF 100 -1"
                                       };
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
    for (const QString& s : server) {
        QString file = s.section(QLatin1Char('|'), 1);
        dbs.append({ s.section(QLatin1Char('|'), 0, 0), file.replace(QLatin1String("<root>"), root) });
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
