// The drive list and the folder list on their own: what they list, how they navigate, and
// when they raise their change.

#include "DriveList.h"
#include "FolderList.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using tp::DriveList;
using tp::FolderList;

namespace {

QString native(const QString& p)
{
    return QDir::toNativeSeparators(QDir::cleanPath(p));
}

// a tree of folders (and one file) under a temporary folder
void makeTree(const QString& root)
{
    QDir d(root);
    for (const char* f : { "data/ZT001/2005", "data/ZT001/2006", "data/beta", "data/Alpha", "data/charlie", "other" })
        QVERIFY(d.mkpath(QLatin1String(f)));
    QFile file(root + QStringLiteral("/data/notes.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
}

QStringList captions(const FolderList& list, int fromRow)
{
    QStringList out;
    for (int r = fromRow; r < list.count(); ++r)
        out << list.item(r)->text();
    return out;
}

} // namespace

class MainwinPlatformTest : public QObject
{
    Q_OBJECT

private slots:
    void listedVolume_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<bool>("listed");
        QTest::newRow("root on overlay") << "/" << QByteArray("overlay") << true;
        QTest::newRow("data disk") << "/srv/data" << QByteArray("ext4") << true;
        QTest::newRow("network share") << "/mnt/books" << QByteArray("cifs") << true;
        QTest::newRow("proc") << "/proc" << QByteArray("proc") << false;
        QTest::newRow("cgroup under sys") << "/sys/fs/cgroup" << QByteArray("cgroup2") << false;
        QTest::newRow("shared memory") << "/dev/shm" << QByteArray("tmpfs") << false;
        QTest::newRow("tmpfs elsewhere") << "/mnt/scratch" << QByteArray("tmpfs") << false;
        QTest::newRow("user runtime fuse") << "/run/user/1000/doc" << QByteArray("fuse.portal") << false;
        QTest::newRow("dev not a prefix of devices") << "/devices" << QByteArray("ext4") << true;
    }
    void listedVolume()
    {
        QFETCH(QString, root);
        QFETCH(QByteArray, type);
        QFETCH(bool, listed);
        QCOMPARE(tp::isListedVolume(root, type), listed);
    }

    void driveOf_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("roots");
        QTest::addColumn<QString>("drive");
        const QStringList mounts { "/", "/srv", "/srv/data" };
        QTest::newRow("deepest mount wins") << "/srv/data/ZT001" << mounts << "/srv/data";
        QTest::newRow("mount itself") << "/srv" << mounts << "/srv";
        QTest::newRow("name prefix is no mount") << "/srvx/a" << mounts << "/";
        QTest::newRow("root") << "/" << mounts << "/";
#ifdef Q_OS_WIN
        QTest::newRow("drive letter") << "C:/Data/ZT001" << QStringList { "C:\\", "D:\\" } << "C:\\";
        QTest::newRow("native separators") << "D:\\Data" << QStringList { "C:\\", "D:\\" } << "D:\\";
        QTest::newRow("no drive holds it") << "E:/x" << QStringList { "C:\\", "D:\\" } << "";
        QTest::newRow("letters without case") << "c:/data" << QStringList { "C:\\" } << "C:\\";
#endif
    }
    void driveOf()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, roots);
        QFETCH(QString, drive);
        QCOMPARE(tp::driveOf(path, roots), drive);
    }

    void driveRootsAreFolders()
    {
        const QStringList roots = tp::driveRoots();
        QVERIFY(!roots.isEmpty());
#ifndef Q_OS_WIN
        QCOMPARE(roots.first(), QStringLiteral("/"));
        QCOMPARE(roots.count(QStringLiteral("/")), 1);
#endif
        for (const QString& r : roots)
            QVERIFY2(QDir(r).exists(), qPrintable(r));
    }

    void driveListStartsOnCurrentDrive()
    {
        DriveList list;
        QCOMPARE(list.drive(), tp::driveOf(QDir::currentPath(), tp::driveRoots()));
        QCOMPARE(list.count(), tp::driveRoots().size());
#ifdef Q_OS_WIN
        // Each drive is its root "C:\" and shows as "c:", its label after it in brackets.
        for (int i = 0; i < list.count(); ++i) {
            const QString root = list.itemData(i).toString();
            QVERIFY2(root.size() == 3 && root.at(0).isUpper() && root.endsWith(QStringLiteral(":\\")), qPrintable(root));
            const QString shown = list.itemText(i);
            QVERIFY2(shown == root.left(2).toLower() || shown.startsWith(root.left(2).toLower() + QStringLiteral(" [")),
                qPrintable(shown));
        }
#endif
    }

    void driveListChangeRaisedOnce()
    {
        DriveList list;
        QSignalSpy spy(&list, &DriveList::changed);
        list.setDrive(list.drive());
        QCOMPARE(spy.count(), 0);

        QTemporaryDir fake; // a root the machine does not list: added, selected, raised once
        QVERIFY(fake.isValid());
        const QString root = native(fake.path());
        list.setDrive(root);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(list.drive(), root);

        // the user picking another row raises it too
        list.setCurrentIndex(0);
        QCOMPARE(spy.count(), 2);
    }

    void folderListStartsAtCurrentFolder()
    {
        FolderList list;
        QCOMPARE(list.path(), native(QDir::currentPath()));
    }

    void folderListRows()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        makeTree(tmp.path());
        FolderList list;
        QSignalSpy spy(&list, &FolderList::changed);
        const QString data = native(tmp.path() + "/data");
        list.setPath(data);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(list.path(), data);

        // ancestors from the root down, each one level further in; the current folder last
        const int here = list.currentFolderRow();
        QCOMPARE(list.rowPath(here), data);
        QCOMPARE(list.item(here)->text(), QStringLiteral("data"));
        QCOMPARE(list.rowLevel(0), 0);
        QCOMPARE(list.item(0)->text(), list.rowPath(0)); // the root shows its full name
        QVERIFY(QDir(list.rowPath(0)).isRoot());
        for (int r = 0; r <= here; ++r)
            QCOMPARE(list.rowLevel(r), r);
        QCOMPARE(list.rowPath(here - 1), native(tmp.path()));
        QCOMPARE(list.currentRow(), here);

        // then the subfolders, without case, no files
        QCOMPARE(captions(list, here + 1), (QStringList { "Alpha", "beta", "charlie", "ZT001" }));
        for (int r = here + 1; r < list.count(); ++r)
            QCOMPARE(list.rowLevel(r), here + 1);
        QCOMPARE(list.rowPath(list.count() - 1), native(tmp.path() + "/data/ZT001"));

        list.setPath(data + QDir::separator());
        QCOMPARE(spy.count(), 1); // the same folder: nothing raised
    }

    void singleClickSelectsEnterOpens()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        makeTree(tmp.path());
        FolderList list;
        list.resize(400, 2000);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.setPath(tmp.path());
        QSignalSpy spy(&list, &FolderList::changed);

        const int other = list.count() - 1;
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(other)).center());
        QCOMPARE(list.path(), native(tmp.path()));
        QCOMPARE(spy.count(), 0);

        QTest::keyClick(&list, Qt::Key_Return);
        QCOMPARE(list.path(), native(tmp.path() + "/other"));
        QCOMPARE(spy.count(), 1);

        // the current folder's own row changes nothing
        const QPoint here = list.visualItemRect(list.item(list.currentFolderRow())).center();
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, here);
        QCOMPARE(spy.count(), 1);
    }

    void rootKeepsItsSeparator()
    {
        FolderList list;
        const QString root = native(QDir::rootPath());
        list.setPath(root);
        QCOMPARE(list.path(), root);
        QCOMPARE(list.count() > 1, true);
        QCOMPARE(list.currentFolderRow(), 0);
    }

    void missingPathOpensNearestAncestor()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        makeTree(tmp.path());
        FolderList list;
        QSignalSpy spy(&list, &FolderList::changed);
        list.setPath(tmp.path() + "/data/ZT001/2099/deeper");
        QCOMPARE(list.path(), native(tmp.path() + "/data/ZT001"));
        QCOMPARE(spy.count(), 1);

        // a folder that went away after it was shown: its parent, without it
        list.setPath(tmp.path() + "/data/beta");
        QVERIFY(QDir(tmp.path() + "/data/beta").removeRecursively());
        list.setPath(tmp.path() + "/data/beta");
        QCOMPARE(list.path(), native(tmp.path() + "/data"));
        QVERIFY(!captions(list, list.currentFolderRow() + 1).contains("beta"));
    }
};

QTEST_MAIN(MainwinPlatformTest)
#include "mainwin_platform_test.moc"
