#pragma once
// File paths as the server sees them. Clients write Windows paths; this machine has no drive
// letters, and the stand-in does not invent a mapping for them:
// - "\" and "/" both separate folders ("\" is read as "/");
// - trailing blanks are ignored, as Windows ignores them;
// - a path with a drive letter ("D:\Data\x.mdf") or a UNC path ("\\host\share\x") names a
//   place that does not exist here: its folder is reported missing (unless STANDIN_DOS_DEVICES
//   names a wine dosdevices folder: the drive letter is then looked up there);
// - a relative path is taken relative to the default data folder.

#include <QString>

namespace standin {

struct ServerPath
{
    QString shown; // the path as the server reports it: as given, trailing blanks removed
    QString local; // where it is on this machine; empty when it cannot exist here
    bool reachable() const { return !local.isEmpty(); }
};

ServerPath resolveServerPath(const QString& given, const QString& defaultDataFolder);

// What opening the file would give on the server: 0 when it exists as a file, 2 when the
// folder exists but not the file, 3 when the folder is missing, 5 when it is a folder or the
// server's account may not reach it (the file system's permissions apply).
int openError(const ServerPath& path);

// An identity for "the same file" checks: the device and inode of the file when it exists (links
// and hard links name the same file), the cleaned path otherwise.
QString fileIdentity(const ServerPath& path);

// The folder part and the file part of a server path, split at the last "\" or "/".
QString serverFolderOf(const QString& shown);
QString serverFileNameOf(const QString& shown);

} // namespace standin
