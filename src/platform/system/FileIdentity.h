#pragma once
// Which file a name reaches on this machine, whatever way it is written: through a link, a
// mapped drive, another case or doubled separators, one file has one identity.

#include <QHashFunctions>
#include <QString>
#include <QtGlobal>

namespace tp {

struct FileIdentity
{
    quint64 volume = 0; // the device (elsewhere) or the volume serial number (Windows)
    quint64 file = 0; // the inode (elsewhere) or the file index (Windows)
    bool valid = false; // false when the name reaches nothing or the identity cannot be read

    friend bool operator==(const FileIdentity& a, const FileIdentity& b)
    {
        return a.valid && b.valid && a.volume == b.volume && a.file == b.file;
    }
    friend bool operator!=(const FileIdentity& a, const FileIdentity& b) { return !(a == b); }
};

inline size_t qHash(const FileIdentity& id, size_t seed = 0) noexcept
{
    return qHashMulti(seed, id.volume, id.file);
}

// The identity of the file or folder `name` reaches, read as localFileName reads a name (a
// link is followed). Never throws; invalid for an empty name or one that reaches nothing.
// Opens nothing for reading: a file another program holds open without sharing (a database
// file in use) still has its identity read.
FileIdentity fileIdentity(const QString& name);

// False when reading `name` would go off this machine: on Windows a UNC name (\\host\share)
// or a drive that is mapped to a network share. True for every other name, also one that
// reaches nothing.
bool isLocalName(const QString& name);

} // namespace tp
