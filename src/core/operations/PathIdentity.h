#pragma once
// Whether two paths name the same file.
//
// As text, paths are compared in one normal form: trailing blanks removed (SQL Server 2000 pads
// file names to 260 characters), "/" read as "\", a relative path made absolute against the
// current folder, "." and ".." resolved, repeated separators collapsed (a leading "\\" of a
// UNC name kept), no separator at the end but at a drive root. Letters compare in either case
// in a Windows path (a drive or a UNC name: its file systems ignore case), as written in any
// other ("/srv/data\ZT001" and "/srv/data\zt001" are two folders on a POSIX file system).
// "C:\\ZT001\2005\ufdata.MDF" (a drive root in the account-year scheme) and
// "c:\zt001\2005\ufdata.MDF" are then one path.
//
// Where the files are on this machine, the file a path reaches decides as well (FileIdentity):
// a root reached through a link or a mapped drive names the same files as the folder itself.
// Identity only ever adds a match to the text comparison, never takes one away; where it
// cannot be read the text decides.

#include "FileIdentity.h"

#include <QString>

namespace tp {

// A drive ("C:\", "c:/", also "C:x"), a UNC name ("\\host\share") or a separator first
// ("/srv", "\Data").
bool isAbsolutePath(const QString& path);

// `path` made absolute against `currentFolder`, for sending: unchanged when it has a drive or
// is a UNC name; a separator first gets the drive of `currentFolder` when that has one; a
// relative path is joined onto `currentFolder` with `separator`, "." and ".." resolved and
// repeated separators collapsed. An empty path stays empty.
QString absolutePath(const QString& path, const QString& currentFolder, QChar separator);
// The same against this process's current folder, in this machine's separators.
QString absoluteLocalPath(const QString& path);

// The normal form described above, with "\" as the separator and the case kept.
QString normalizedPath(const QString& path, const QString& currentFolder);
QString normalizedPath(const QString& path); // against this process's current folder
// The normal form, in case-folded letters for a Windows path: equal keys, same path as text.
QString pathKey(const QString& path);
// The last name of the path ("ufdata.MDF"), case-folded; "" for a root.
QString fileNameKey(const QString& path);

// A file of this machine (found by walking a data root, or named by the windows' boxes) held
// against paths the server reports. Its key is computed once, its identity when first needed.
class LocalFile
{
public:
    explicit LocalFile(const QString& path);

    // True when `serverPath` names this file: the same key; or, when `serverPath` is local
    // (isLocalName) and ends in the same file name (case aside), the same file identity. A
    // link under another file name is not looked for; that bounds the files read.
    bool isSameAs(const QString& serverPath) const;

    const QString& key() const { return m_key; }
    const QString& nameKey() const { return m_nameKey; }
    const FileIdentity& identity() const; // invalid when the file cannot be reached

private:
    QString m_path;
    QString m_key;
    QString m_nameKey;
    mutable FileIdentity m_identity;
    mutable bool m_identityRead = false;
};

// LocalFile(localPath).isSameAs(serverPath).
bool sameFile(const QString& serverPath, const QString& localPath);

} // namespace tp
