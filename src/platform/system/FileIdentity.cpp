#include "FileIdentity.h"

#include "FileLookup.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <QFile>
#include <sys/stat.h>
#endif

namespace tp {

#ifdef Q_OS_WIN
FileIdentity fileIdentity(const QString& name)
{
    FileIdentity id;
    if (name.isEmpty())
        return id;
    // No access asked for: attributes only, which a file held open without sharing allows.
    // Backup semantics let a folder be opened as well.
    const HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(name.utf16()), 0,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
        nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return id;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(h, &info)) {
        id.volume = info.dwVolumeSerialNumber;
        id.file = (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        id.valid = true;
    }
    CloseHandle(h);
    return id;
}

bool isLocalName(const QString& name)
{
    const QString n = QString(name).replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (n.startsWith(QLatin1String("\\\\")))
        return false;
    if (n.size() >= 2 && n.at(1) == QLatin1Char(':') && n.at(0).isLetter()) {
        const QString drive = n.left(2) + QLatin1Char('\\');
        return GetDriveTypeW(reinterpret_cast<const wchar_t*>(drive.utf16())) != DRIVE_REMOTE;
    }
    return true;
}
#else
FileIdentity fileIdentity(const QString& name)
{
    FileIdentity id;
    if (name.isEmpty())
        return id;
    struct stat st;
    if (::stat(QFile::encodeName(localFileName(name)).constData(), &st) != 0)
        return id;
    id.volume = quint64(st.st_dev);
    id.file = quint64(st.st_ino);
    id.valid = true;
    return id;
}

bool isLocalName(const QString&)
{
    return true;
}
#endif

} // namespace tp
