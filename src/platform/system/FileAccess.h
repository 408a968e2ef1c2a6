#pragma once
// What the server's service account may do with a file, as far as this machine can tell
// without asking the server: the read-only attribute on Windows, the permission bits for the
// account elsewhere. The server's own answer (it cannot open the file) comes from the server.

#include <QString>

namespace tp {

struct FileAccess
{
    bool readOnly = false; // the account may not write the file
    bool unreadable = false; // the account may not read the file (known only where it can be looked up)
};

// `name` is a path as the server writes it (localFileName reads it here). `account` is the
// service account as the server names it, empty when unknown.
// Windows: readOnly when the file has the read-only attribute; the account's rights in the
// file's security descriptor are not looked at (the server's refusal tells those).
// Elsewhere: with an account this machine knows (by user name, "DOMAIN\user" read as "user"),
// its rights from the owner, group and other bits (the superuser may do anything); with an
// unknown account, readOnly when nobody may write the file. A file that cannot be looked at
// gives neither.
FileAccess fileAccessFor(const QString& name, const QString& account);

} // namespace tp
