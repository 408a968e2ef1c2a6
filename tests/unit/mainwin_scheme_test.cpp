// Pure pieces of the main window: the account-year scheme, the digit filter of the number
// boxes and the exact-name file look-up behind the data file test.

#include "AccountYear.h"
#include "DigitFilter.h"
#include "FileLookup.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// inputs: data root, account set, year; expected: folder, name, data file, log file
void schemeRow(const char* tag, const QStringList& in, const QStringList& out)
{
    QTest::newRow(tag) << in[0] << in[1] << in[2] << out[0] << out[1] << out[2] << out[3];
}

} // namespace

class MainwinSchemeTest : public QObject
{
    Q_OBJECT

private slots:
    void scheme_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("year");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("log");

        schemeRow("data root D:\\Data", { "D:\\Data", "001", "2007" },
            { "D:\\Data\\ZT001\\2007", "UFDATA_001_2007", "D:\\Data\\ZT001\\2007\\ufdata.MDF",
                "D:\\Data\\ZT001\\2007\\ufdata.LDF" });
        schemeRow("drive root keeps the doubled backslash", { "C:\\", "001", "2007" },
            { "C:\\\\ZT001\\2007", "UFDATA_001_2007", "C:\\\\ZT001\\2007\\ufdata.MDF",
                "C:\\\\ZT001\\2007\\ufdata.LDF" });
        schemeRow("account set 1 gets no zeros", { "D:\\Data", "1", "2007" },
            { "D:\\Data\\ZT1\\2007", "UFDATA_1_2007", "D:\\Data\\ZT1\\2007\\ufdata.MDF",
                "D:\\Data\\ZT1\\2007\\ufdata.LDF" });
        schemeRow("empty year", { "D:\\Data", "001", "" },
            { "D:\\Data\\ZT001\\", "UFDATA_001_", "D:\\Data\\ZT001\\\\ufdata.MDF", "D:\\Data\\ZT001\\\\ufdata.LDF" });
        schemeRow("root with blanks", { "D:\\Book keeping data", "002", "2005" },
            { "D:\\Book keeping data\\ZT002\\2005", "UFDATA_002_2005", "D:\\Book keeping data\\ZT002\\2005\\ufdata.MDF",
                "D:\\Book keeping data\\ZT002\\2005\\ufdata.LDF" });
        schemeRow("blanks around texts are kept", { "D:\\Data ", " 001", "2005 " },
            { "D:\\Data \\ZT 001\\2005 ", "UFDATA_ 001_2005 ", "D:\\Data \\ZT 001\\2005 \\ufdata.MDF",
                "D:\\Data \\ZT 001\\2005 \\ufdata.LDF" });
        schemeRow("all empty", { "", "", "" }, { "\\ZT\\", "UFDATA__", "\\ZT\\\\ufdata.MDF", "\\ZT\\\\ufdata.LDF" });
        schemeRow("posix data root joins with backslashes", { "/srv/data", "001", "2005" },
            { "/srv/data\\ZT001\\2005", "UFDATA_001_2005", "/srv/data\\ZT001\\2005\\ufdata.MDF",
                "/srv/data\\ZT001\\2005\\ufdata.LDF" });
        schemeRow("posix root", { "/", "001", "2005" },
            { "/\\ZT001\\2005", "UFDATA_001_2005", "/\\ZT001\\2005\\ufdata.MDF", "/\\ZT001\\2005\\ufdata.LDF" });
        schemeRow("non-ascii folder", { "D:\\账套数据", "001", "2008" },
            { "D:\\账套数据\\ZT001\\2008", "UFDATA_001_2008", "D:\\账套数据\\ZT001\\2008\\ufdata.MDF",
                "D:\\账套数据\\ZT001\\2008\\ufdata.LDF" });
    }

    void scheme()
    {
        QFETCH(QString, root);
        QFETCH(QString, set);
        QFETCH(QString, year);
        const tp::AccountYearPaths p = tp::accountYear(root, set, year);
        QTEST(p.folder, "folder");
        QTEST(p.databaseName, "name");
        QTEST(p.dataFilePath, "data");
        QTEST(p.logFilePath, "log");
    }

    void digitFilter_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("0") << 48 << 48;
        QTest::newRow("5") << 53 << 53;
        QTest::newRow("9") << 57 << 57;
        QTest::newRow("backspace") << 8 << 8;
        QTest::newRow("slash, just below 0") << 47 << 0;
        QTest::newRow("colon, just above 9") << 58 << 0;
        QTest::newRow("Enter") << 13 << 0;
        QTest::newRow("tab") << 9 << 0;
        QTest::newRow("escape") << 27 << 0;
        QTest::newRow("blank") << 32 << 0;
        QTest::newRow("minus") << 45 << 0;
        QTest::newRow("decimal point") << 46 << 0;
        QTest::newRow("plus") << 43 << 0;
        QTest::newRow("letter a") << 97 << 0;
        QTest::newRow("letter Z") << 90 << 0;
        QTest::newRow("delete character") << 127 << 0;
        QTest::newRow("already discarded") << 0 << 0;
        QTest::newRow("full-width digit one") << 0xFF11 << 0; // reads as a negative code
        QTest::newRow("han character") << 0x4E2D << 0;
        QTest::newRow("input method, negative") << -12345 << 0;
        QTest::newRow("minus one") << -1 << 0;
        QTest::newRow("lowest 16-bit") << -32768 << 0;
    }
    void digitFilter()
    {
        QFETCH(int, key);
        QTEST(tp::digitFilter(key), "result");
    }

    void localFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("local");
#ifdef Q_OS_WIN
        QTest::newRow("unchanged") << "D:\\Data\\ZT001\\2005\\ufdata.MDF"
                                   << "D:\\Data\\ZT001\\2005\\ufdata.MDF";
#else
        QTest::newRow("backslashes read as separators") << "/srv/data\\ZT001\\2005\\ufdata.MDF"
                                                        << "/srv/data/ZT001/2005/ufdata.MDF";
        QTest::newRow("doubled kept for the file system") << "/\\ZT001\\2005\\ufdata.MDF"
                                                          << "//ZT001/2005/ufdata.MDF";
        QTest::newRow("plain posix") << "/srv/data/x.MDF"
                                     << "/srv/data/x.MDF";
#endif
        QTest::newRow("empty") << ""
                               << "";
    }
    void localFileName()
    {
        QFETCH(QString, name);
        QTEST(tp::localFileName(name), "local");
    }

    void normalFileEdgeCases()
    {
        QVERIFY(!tp::normalFileExists(QString()));
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString root = QDir::toNativeSeparators(tmp.path());
        QVERIFY(!tp::normalFileExists(root));
        QFile f(tmp.path() + "/a.MDF");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(tp::normalFileExists(root + "\\a.MDF"));
        QVERIFY(tp::normalFileExists(root + "\\\\a.MDF")); // a drive root's doubled separator
        QVERIFY(!tp::normalFileExists(root + "\\a.MD?")); // exact name, no wildcards
        QVERIFY(!tp::normalFileExists(root + "\\*.MDF"));
#ifndef Q_OS_WIN
        QVERIFY(!tp::normalFileExists(root + "\\A.MDF")); // the exact name, case included
#endif
#ifdef Q_OS_WIN
        const auto wname = reinterpret_cast<const wchar_t*>(QString(root + "\\a.MDF").utf16());
        QVERIFY(SetFileAttributesW(wname, FILE_ATTRIBUTE_HIDDEN));
        QVERIFY(!tp::normalFileExists(root + "\\a.MDF"));
        QVERIFY(SetFileAttributesW(wname, FILE_ATTRIBUTE_SYSTEM));
        QVERIFY(!tp::normalFileExists(root + "\\a.MDF"));
        QVERIFY(SetFileAttributesW(wname, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
        QVERIFY(tp::normalFileExists(root + "\\a.MDF"));
        QVERIFY(SetFileAttributesW(wname, FILE_ATTRIBUTE_NORMAL));
#else
        // no hidden attribute here: a dot-file is an ordinary file, a link to a file counts
        QFile dot(tmp.path() + "/.ufdata.MDF");
        QVERIFY(dot.open(QIODevice::WriteOnly));
        dot.close();
        QVERIFY(tp::normalFileExists(root + "\\.ufdata.MDF"));
        QVERIFY(QFile::link(tmp.path() + "/a.MDF", tmp.path() + "/link.MDF"));
        QVERIFY(tp::normalFileExists(root + "\\link.MDF"));
        QVERIFY(QFile::link(tmp.path() + "/gone.MDF", tmp.path() + "/dangling.MDF"));
        QVERIFY(!tp::normalFileExists(root + "\\dangling.MDF"));
#endif
    }
};

QTEST_GUILESS_MAIN(MainwinSchemeTest)
#include "mainwin_scheme_test.moc"
