#include "FileAccess.h"

#include "FileLookup.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QVarLengthArray>
#endif

namespace tp {

#ifdef Q_OS_WIN
FileAccess fileAccessFor(const QString& name, const QString& account)
{
    Q_UNUSED(account)
    FileAccess access;
    const QString local = localFileName(name);
    const DWORD a = GetFileAttributesW(reinterpret_cast<const wchar_t*>(local.utf16()));
    if (a != INVALID_FILE_ATTRIBUTES)
        access.readOnly = (a & FILE_ATTRIBUTE_READONLY) != 0;
    return access;
}
#else
namespace {

    // The groups of a user: its own and the supplementary ones.
    bool inGroup(const passwd& user, gid_t group)
    {
        if (user.pw_gid == group)
            return true;
        int count = 32;
        QVarLengthArray<gid_t, 32> groups(count);
        if (getgrouplist(user.pw_name, user.pw_gid, groups.data(), &count) < 0) {
            groups.resize(count);
            if (getgrouplist(user.pw_name, user.pw_gid, groups.data(), &count) < 0)
                return false;
        }
        for (int i = 0; i < count; ++i) {
            if (groups[i] == group)
                return true;
        }
        return false;
    }

} // namespace

FileAccess fileAccessFor(const QString& name, const QString& account)
{
    FileAccess access;
    struct stat st = {};
    if (stat(localFileName(name).toLocal8Bit().constData(), &st) != 0)
        return access;
    const mode_t mode = st.st_mode;
    QString user = account;
    const qsizetype slash = qMax(user.lastIndexOf(QLatin1Char('\\')), user.lastIndexOf(QLatin1Char('/')));
    if (slash >= 0)
        user = user.mid(slash + 1);
    const QByteArray userName = user.toLocal8Bit();
    passwd entry = {};
    passwd* found = nullptr;
    QVarLengthArray<char, 4096> buffer(4096);
    if (!userName.isEmpty())
        getpwnam_r(userName.constData(), &entry, buffer.data(), size_t(buffer.size()), &found);
    if (!found) {
        access.readOnly = (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
        return access;
    }
    if (found->pw_uid == 0)
        return access;
    mode_t read = S_IROTH;
    mode_t write = S_IWOTH;
    if (found->pw_uid == st.st_uid) {
        read = S_IRUSR;
        write = S_IWUSR;
    } else if (inGroup(*found, st.st_gid)) {
        read = S_IRGRP;
        write = S_IWGRP;
    }
    access.unreadable = (mode & read) == 0;
    access.readOnly = (mode & write) == 0;
    return access;
}
#endif

} // namespace tp
