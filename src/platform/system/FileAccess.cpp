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
#include <QVector>
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

    // An account as the system knows it: its user and groups.
    struct Account
    {
        bool known = false;
        uid_t uid = 0;
        QVector<gid_t> groups;
    };

    Account lookUp(const QString& name)
    {
        Account a;
        QString user = name;
        const qsizetype slash = qMax(user.lastIndexOf(QLatin1Char('\\')), user.lastIndexOf(QLatin1Char('/')));
        if (slash >= 0)
            user = user.mid(slash + 1); // "DOMAIN\user"
        const QByteArray userName = user.toLocal8Bit();
        if (userName.isEmpty())
            return a;
        passwd entry = {};
        passwd* found = nullptr;
        QVarLengthArray<char, 4096> buffer(4096);
        if (getpwnam_r(userName.constData(), &entry, buffer.data(), size_t(buffer.size()), &found) != 0 || !found)
            return a;
        a.known = true;
        a.uid = found->pw_uid;
        int count = 32;
        QVarLengthArray<gid_t, 32> groups(count);
        if (getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
            groups.resize(count);
            if (getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0)
                count = 0;
        }
        a.groups.append(found->pw_gid);
        for (int i = 0; i < count; ++i)
            a.groups.append(groups[i]);
        return a;
    }

    // A scan asks about thousands of files for one account: it is looked up once.
    const Account& account(const QString& name)
    {
        thread_local QString lastName;
        thread_local Account last;
        thread_local bool looked = false;
        if (!looked || name != lastName) {
            last = lookUp(name);
            lastName = name;
            looked = true;
        }
        return last;
    }

} // namespace

FileAccess fileAccessFor(const QString& name, const QString& accountName)
{
    FileAccess access;
    struct stat st = {};
    if (stat(localFileName(name).toLocal8Bit().constData(), &st) != 0)
        return access;
    const mode_t mode = st.st_mode;
    const Account& a = account(accountName);
    if (!a.known) {
        access.readOnly = (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
        return access;
    }
    if (a.uid == 0)
        return access;
    mode_t read = S_IROTH;
    mode_t write = S_IWOTH;
    if (a.uid == st.st_uid) {
        read = S_IRUSR;
        write = S_IWUSR;
    } else if (a.groups.contains(st.st_gid)) {
        read = S_IRGRP;
        write = S_IWGRP;
    }
    access.unreadable = (mode & read) == 0;
    access.readOnly = (mode & write) == 0;
    return access;
}
#endif

} // namespace tp
