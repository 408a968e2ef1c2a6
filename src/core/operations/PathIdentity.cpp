#include "PathIdentity.h"

#include <QDir>
#include <QStringList>

namespace tp {

namespace {

    bool isSeparator(QChar c)
    {
        return c == QLatin1Char('\\') || c == QLatin1Char('/');
    }

    bool hasDrive(const QString& p)
    {
        const QChar d = p.size() >= 2 ? p.at(0) : QChar();
        return p.size() >= 2 && p.at(1) == QLatin1Char(':')
            && ((d >= QLatin1Char('a') && d <= QLatin1Char('z')) || (d >= QLatin1Char('A') && d <= QLatin1Char('Z')));
    }

    bool isUnc(const QString& p)
    {
        return p.size() >= 2 && isSeparator(p.at(0)) && isSeparator(p.at(1));
    }

    QString withoutTrailingBlanks(const QString& s)
    {
        int end = s.size();
        while (end > 0 && s.at(end - 1) == QLatin1Char(' '))
            --end;
        return s.left(end);
    }

    // An absolute path with its root ("C:", "\\host\share" or nothing before the first
    // separator) kept, "." dropped, ".." taking off the name before it (never the root), and
    // every run of separators written as one `separator`.
    QString cleaned(const QString& path, QChar separator)
    {
        QString prefix;
        int at = 0;
        const QStringList parts = QString(path).replace(QLatin1Char('/'), QLatin1Char('\\')).split(QLatin1Char('\\'));
        QStringList names;
        int fixed = 0; // names that belong to the root (the host and share of a UNC name)
        if (isUnc(path)) {
            prefix = QString(2, separator);
            at = 2;
            fixed = 2;
        } else if (hasDrive(path)) {
            prefix = path.left(2);
            names.append(parts.first().mid(2)); // "C:x": the name right after the drive
            at = 1;
        }
        for (int i = at; i < parts.size(); ++i)
            names.append(parts.at(i));
        QStringList kept;
        for (const QString& n : names) {
            if (n.isEmpty() || n == QLatin1String("."))
                continue;
            if (n == QLatin1String("..")) {
                if (kept.size() > fixed)
                    kept.removeLast();
                continue;
            }
            kept.append(n);
        }
        if (isUnc(path))
            return prefix + kept.join(separator);
        return prefix + separator + kept.join(separator);
    }

} // namespace

bool isAbsolutePath(const QString& path)
{
    return hasDrive(path) || (!path.isEmpty() && isSeparator(path.at(0)));
}

QString absolutePath(const QString& path, const QString& currentFolder, QChar separator)
{
    if (path.isEmpty() || hasDrive(path) || isUnc(path))
        return path;
    if (isSeparator(path.at(0)))
        return hasDrive(currentFolder) ? currentFolder.left(2) + path : path;
    return cleaned(currentFolder + separator + path, separator);
}

QString absoluteLocalPath(const QString& path)
{
    return absolutePath(path, QDir::toNativeSeparators(QDir::currentPath()), QDir::separator());
}

QString normalizedPath(const QString& path, const QString& currentFolder)
{
    const QString p = withoutTrailingBlanks(path);
    if (p.isEmpty())
        return p;
    return cleaned(absolutePath(p, currentFolder, QLatin1Char('\\')), QLatin1Char('\\'));
}

QString normalizedPath(const QString& path)
{
    // The current folder is asked for only where it counts: most paths carry their drive.
    if (hasDrive(path) || isUnc(path))
        return normalizedPath(path, QString());
    return normalizedPath(path, QDir::currentPath());
}

QString pathKey(const QString& path)
{
    const QString normal = normalizedPath(path);
    // A drive or a UNC name is a Windows path, whose file systems ignore case; any other
    // absolute path ("/srv/data") is a POSIX one, where ZT001 and zt001 are two folders.
    return hasDrive(normal) || isUnc(normal) ? normal.toCaseFolded() : normal;
}

QString fileNameKey(const QString& path)
{
    const QString p = withoutTrailingBlanks(path);
    int end = p.size();
    while (end > 0 && isSeparator(p.at(end - 1)))
        --end;
    int start = end;
    while (start > 0 && !isSeparator(p.at(start - 1)) && !(start == 2 && hasDrive(p)))
        --start;
    return p.mid(start, end - start).toCaseFolded();
}

LocalFile::LocalFile(const QString& path)
    : m_path(withoutTrailingBlanks(path))
    , m_key(pathKey(path))
    , m_nameKey(fileNameKey(path))
{
}

const FileIdentity& LocalFile::identity() const
{
    if (!m_identityRead) {
        m_identity = fileIdentity(m_path);
        m_identityRead = true;
    }
    return m_identity;
}

bool LocalFile::isSameAs(const QString& serverPath) const
{
    if (pathKey(serverPath) == m_key)
        return true;
    if (m_nameKey.isEmpty() || fileNameKey(serverPath) != m_nameKey || !isLocalName(serverPath))
        return false;
    const FileIdentity mine = identity();
    return mine.valid && fileIdentity(withoutTrailingBlanks(serverPath)) == mine;
}

bool sameFile(const QString& serverPath, const QString& localPath)
{
    return LocalFile(localPath).isSameAs(serverPath);
}

} // namespace tp
