#pragma once
// The look-up of one file by its exact name, as the data file test does it.

#include <QString>

namespace tp {

// The name as the local file system reads it: where the separator is "/", every "\" is
// read as a separator ("/srv/data\ZT001\2005\ufdata.MDF" -> "/srv/data/ZT001/2005/ufdata.MDF");
// on Windows the name is unchanged. Doubled separators are left to the file system.
QString localFileName(const QString& name);

// Whether `name` (exact, no wildcards) is a regular file with normal attributes. False for
// an empty name, a folder, or something that does not exist. On Windows a file carrying
// the hidden or system attribute counts as absent. Elsewhere there are no such attributes:
// any regular file counts (a name starting with a dot is not "hidden" here), and a link to
// a regular file counts as the file.
bool normalFileExists(const QString& name);

} // namespace tp
