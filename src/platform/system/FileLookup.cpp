#include "FileLookup.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace tp {

QString localFileName(const QString& name)
{
    if (QDir::separator() == QLatin1Char('/')) {
        QString local = name;
        local.replace(QLatin1Char('\\'), QLatin1Char('/'));
        return local;
    }
    return name;
}

#ifdef Q_OS_WIN
bool normalFileExists(const QString& name)
{
    if (name.isEmpty())
        return false;
    const DWORD a = GetFileAttributesW(reinterpret_cast<const wchar_t*>(name.utf16()));
    if (a == INVALID_FILE_ATTRIBUTES)
        return false;
    return (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}
#else
bool normalFileExists(const QString& name)
{
    if (name.isEmpty())
        return false;
    return QFileInfo(localFileName(name)).isFile();
}
#endif

} // namespace tp
