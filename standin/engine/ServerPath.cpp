#include "ServerPath.h"

#include "DatabaseFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sys/stat.h>

namespace standin {

ServerPath resolveServerPath(const QString& given, const QString& defaultDataFolder)
{
    ServerPath p;
    qsizetype n = given.size();
    while (n > 0 && given.at(n - 1) == QLatin1Char(' '))
        --n;
    p.shown = given.left(n);
    if (p.shown.isEmpty())
        return p;
    QString slashed = p.shown;
    slashed.replace(QLatin1Char('\\'), QLatin1Char('/'));
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:"));
    if (drive.match(slashed).hasMatch()) {
        // Clients under wine: STANDIN_DOS_DEVICES names wine's dosdevices folder, where "c:"
        // and "z:" are links to the folders behind those drive letters.
        const QString devices = qEnvironmentVariable("STANDIN_DOS_DEVICES");
        if (!devices.isEmpty())
            p.local = QDir::cleanPath(devices + QLatin1Char('/') + slashed.left(2).toLower() + slashed.mid(2));
        return p;
    }
    if (slashed.startsWith(QLatin1String("//")))
        return p;
    if (slashed.startsWith(QLatin1Char('/')))
        p.local = QDir::cleanPath(slashed);
    else
        p.local = QDir::cleanPath(defaultDataFolder + QLatin1Char('/') + slashed);
    return p;
}

int openError(const ServerPath& path)
{
    if (!path.reachable())
        return 3;
    return openPathError(path.local);
}

QString fileIdentity(const ServerPath& path)
{
    if (!path.reachable())
        return QString();
    // The file itself (device and inode, through links of either kind), as the operating
    // system's share check sees it; one stat instead of resolving every folder of the path.
    struct stat st {};
    if (::stat(QFile::encodeName(path.local).constData(), &st) == 0)
        return QStringLiteral("inode:%1:%2").arg(quint64(st.st_dev)).arg(quint64(st.st_ino));
    return path.local;
}

QString serverFolderOf(const QString& shown)
{
    const qsizetype cut = qMax(shown.lastIndexOf(QLatin1Char('\\')), shown.lastIndexOf(QLatin1Char('/')));
    return cut < 0 ? QString() : shown.left(cut);
}

QString serverFileNameOf(const QString& shown)
{
    const qsizetype cut = qMax(shown.lastIndexOf(QLatin1Char('\\')), shown.lastIndexOf(QLatin1Char('/')));
    return shown.mid(cut + 1);
}

} // namespace standin
