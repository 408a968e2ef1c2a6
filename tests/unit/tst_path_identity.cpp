// Paths compared as the same file: the normal form, absolute roots, and the files reached.

#include "FileLinks.h"
#include "PathIdentity.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tp;

class TestPathIdentity : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

private slots:
    void initTestCase();
    void normalized_data();
    void normalized();
    void absolute_data();
    void absolute();
    void sameFile_data();
    void sameFile();
};

void TestPathIdentity::initTestCase()
{
    QVERIFY(tmp.isValid());
    for (const char* folder : { "a", "b", "c" })
        QVERIFY(QDir(tmp.path()).mkdir(QLatin1String(folder)));
    for (const char* file : { "a/ufdata.MDF", "c/ufdata.MDF" }) {
        QFile f(tmp.filePath(QLatin1String(file)));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("same bytes") == 10);
    }
    QVERIFY(test::makeHardLink(tmp.filePath("a/ufdata.MDF"), tmp.filePath("b/ufdata.MDF")));
#ifndef Q_OS_WIN
    QVERIFY(QFile::link(tmp.filePath("a"), tmp.filePath("link")));
#endif
}

void TestPathIdentity::normalized_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("normal");
    QTest::newRow("a drive root in the account-year scheme") << "C:\\\\ZT001\\2005\\ufdata.MDF"
                                                             << "/work"
                                                             << "C:\\ZT001\\2005\\ufdata.MDF";
    QTest::newRow("UNC keeps its leading pair") << "\\\\server\\share\\\\x\\\\\\ufdata.MDF"
                                                << "/work"
                                                << "\\\\server\\share\\x\\ufdata.MDF";
    QTest::newRow("/ as \\, no separator at the end") << "//server/share/x/" << "/work" << "\\\\server\\share\\x";
    QTest::newRow("a drive root stays a root") << "C:/" << "/work" << "C:\\";
    QTest::newRow("trailing blanks, case kept") << "d:\\Data\\a.MDF   " << "/work" << "d:\\Data\\a.MDF";
    QTest::newRow("dots") << "D:\\Data\\.\\ZT001\\..\\ZT002" << "/work" << "D:\\Data\\ZT002";
    QTest::newRow(".. stops at the drive") << "C:\\..\\..\\x" << "/work" << "C:\\x";
    QTest::newRow(".. stops at the share") << "\\\\h\\s\\..\\x" << "/work" << "\\\\h\\s\\x";
    QTest::newRow("relative, against the current folder") << "data\\ZT001" << "/work/tp" << "\\work\\tp\\data\\ZT001";
    QTest::newRow("relative, current folder on a drive") << "..\\data" << "C:/work/tp" << "C:\\work\\data";
    QTest::newRow("separator first takes the current drive") << "\\Data" << "C:/work" << "C:\\Data";
    QTest::newRow("separator first, no drive") << "/srv//data" << "/work" << "\\srv\\data";
    QTest::newRow("a leading blank is part of a name") << " D:\\a" << "/w" << "\\w\\ D:\\a";
}

void TestPathIdentity::normalized()
{
    QFETCH(QString, path);
    QFETCH(QString, current);
    QFETCH(QString, normal);
    QCOMPARE(normalizedPath(path, current), normal);
}

void TestPathIdentity::absolute_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("absolute");
    QTest::newRow("relative") << "data" << "/srv/u8" << "/" << "/srv/u8/data";
    QTest::newRow("relative with dots") << ".\\账套 数据\\..\\data\\" << "C:\\u8" << "\\" << "C:\\u8\\data";
    QTest::newRow("a drive: as typed") << "D:/Data//" << "C:\\u8" << "\\" << "D:/Data//";
    QTest::newRow("UNC: as typed") << "\\\\fs\\u8" << "C:\\u8" << "\\" << "\\\\fs\\u8";
    QTest::newRow("separator first, on a drive") << "\\Data" << "C:\\u8" << "\\" << "C:\\Data";
    QTest::newRow("separator first, no drive") << "/srv/data" << "/home" << "/" << "/srv/data";
    QTest::newRow("empty stays empty") << "" << "/home" << "/" << "";
}

void TestPathIdentity::absolute()
{
    QFETCH(QString, path);
    QFETCH(QString, current);
    QFETCH(QString, separator);
    QFETCH(QString, absolute);
    QCOMPARE(absolutePath(path, current, separator.at(0)), absolute);
}

// Server paths written with "\" after the temporary folder, local ones with "/".
void TestPathIdentity::sameFile_data()
{
    QTest::addColumn<QString>("serverPath");
    QTest::addColumn<QString>("localPath");
    QTest::addColumn<bool>("same");
    QTest::newRow("a second name of the file") << "b\\ufdata.MDF" << "a/ufdata.MDF" << true;
#ifndef Q_OS_WIN
    QTest::newRow("through a link to the folder") << "link\\\\ufdata.MDF  " << "a/ufdata.MDF" << true;
#endif
    QTest::newRow("a copy is another file") << "c\\ufdata.MDF" << "a/ufdata.MDF" << false;
    QTest::newRow("gone: the text decides") << "gone\\\\ufdata.MDF" << "gone/ufdata.MDF" << true;
#ifdef Q_OS_WIN
    QTest::newRow("gone, in another case") << "gone\\UFDATA.mdf" << "gone/ufdata.MDF" << true;
#else
    QTest::newRow("gone, in another case: case counts here") << "gone\\UFDATA.mdf" << "gone/ufdata.MDF" << false;
#endif
    QTest::newRow("gone, other text") << "gone\\ufdata.MDF" << "a/ufdata.MDF" << false;
}

void TestPathIdentity::sameFile()
{
    QFETCH(QString, serverPath);
    QFETCH(QString, localPath);
    QFETCH(bool, same);
    QCOMPARE(tp::sameFile(tmp.path() + QLatin1Char('\\') + serverPath, tmp.filePath(localPath)), same);
}

QTEST_GUILESS_MAIN(TestPathIdentity)
#include "tst_path_identity.moc"
