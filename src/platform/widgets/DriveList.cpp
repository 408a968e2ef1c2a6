#include "DriveList.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

namespace tp {

namespace {

    constexpr Qt::CaseSensitivity pathCase =
#ifdef Q_OS_WIN
        Qt::CaseInsensitive;
#else
        Qt::CaseSensitive;
#endif

    // Qt form ("/" separators, no trailing separator except at a root), for comparisons.
    QString qtForm(const QString& path)
    {
        return QDir::cleanPath(QDir::fromNativeSeparators(path));
    }

    bool sameRoot(const QString& a, const QString& b)
    {
        return qtForm(a).compare(qtForm(b), pathCase) == 0;
    }

    // What the list shows for a root: "c: [label]" on Windows, the mount point elsewhere.
    QString caption(const QString& root)
    {
        const QStorageInfo volume(root);
        QString text;
#ifdef Q_OS_WIN
        text = root.left(2).toLower();
#else
        text = root;
#endif
        const QString name = volume.isValid() ? volume.name() : QString();
        if (!name.isEmpty())
            text += QStringLiteral(" [") + name + QLatin1Char(']');
        return text;
    }

} // namespace

bool isListedVolume(const QString& rootPath, const QByteArray& fileSystemType)
{
    const QString root = qtForm(rootPath);
    if (root == QLatin1String("/"))
        return true;
    static const QByteArray pseudo[] = {
        "proc",
        "sysfs",
        "devtmpfs",
        "devpts",
        "tmpfs",
        "ramfs",
        "cgroup",
        "cgroup2",
        "mqueue",
        "debugfs",
        "tracefs",
        "securityfs",
        "pstore",
        "bpf",
        "autofs",
        "binfmt_misc",
        "hugetlbfs",
        "configfs",
        "fusectl",
        "nsfs",
        "efivarfs",
        "rpc_pipefs",
        "squashfs",
        "selinuxfs",
        "devfs",
        "fdescfs",
        "nullfs",
        "overlay",
    };
    for (const QByteArray& t : pseudo)
        if (fileSystemType == t)
            return false;
    static const char* const systemTrees[] = { "/proc", "/sys", "/dev", "/run", "/snap" };
    for (const char* tree : systemTrees) {
        const QString t = QLatin1String(tree);
        if (root == t || root.startsWith(t + QLatin1Char('/')))
            return false;
    }
    return true;
}

QStringList driveRoots()
{
    QStringList roots;
#ifdef Q_OS_WIN
    for (const QFileInfo& d : QDir::drives())
        roots << QDir::toNativeSeparators(d.absolutePath());
#else
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
        const QString root = qtForm(v.rootPath());
        // Bind-mounted single files (a container's /etc/hosts) are not drives.
        if (!v.isValid() || !QFileInfo(root).isDir() || !isListedVolume(root, v.fileSystemType()))
            continue;
        if (!roots.contains(root))
            roots << root;
    }
    std::sort(roots.begin(), roots.end(), [](const QString& a, const QString& b) {
        if (a == QLatin1String("/") || b == QLatin1String("/"))
            return a == QLatin1String("/") && b != QLatin1String("/");
        return a < b;
    });
    if (!roots.contains(QLatin1String("/")))
        roots.prepend(QStringLiteral("/"));
#endif
    return roots;
}

QString driveOf(const QString& path, const QStringList& roots)
{
    const QString p = qtForm(path);
    QString best;
    int bestLength = -1;
    for (const QString& r : roots) {
        const QString root = qtForm(r);
        const bool holds = p.compare(root, pathCase) == 0
            || (p.startsWith(root, pathCase)
                && (root.endsWith(QLatin1Char('/')) || p.at(root.size()) == QLatin1Char('/')));
        if (holds && root.size() > bestLength) {
            best = r;
            bestLength = root.size();
        }
    }
    return best;
}

QString driveCurrentFolder(const QString& drive)
{
    const QString current = QDir::currentPath();
    QStringList roots = driveRoots();
    if (!roots.contains(drive))
        roots << drive;
    const QString holder = driveOf(current, roots);
    if (!holder.isEmpty() && sameRoot(holder, drive))
        return QDir::toNativeSeparators(qtForm(current));
    return QDir::toNativeSeparators(qtForm(drive));
}

DriveList::DriveList(QWidget* parent)
    : QComboBox(parent)
{
    const QStringList roots = driveRoots();
    for (const QString& root : roots)
        addItem(caption(root), root);
    const QString current = driveOf(QDir::currentPath(), roots);
    setCurrentIndex(current.isEmpty() ? 0 : roots.indexOf(current));
    connect(this, &QComboBox::currentIndexChanged, this, [this](int) { emit changed(); });
}

QString DriveList::drive() const
{
    return currentData().toString();
}

void DriveList::setDrive(const QString& drive)
{
    int index = -1;
    for (int i = 0; i < count(); ++i) {
        if (sameRoot(itemData(i).toString(), drive)) {
            index = i;
            break;
        }
    }
    if (index < 0) {
        const QString root = QDir::toNativeSeparators(qtForm(drive));
        addItem(caption(root), root);
        index = count() - 1;
    }
    setCurrentIndex(index); // emits changed() through currentIndexChanged when it moves
}

} // namespace tp
