#pragma once
// Second names for files and folders, for the tests of path comparison.

#include <QString>

namespace tp::test {

// Makes `link` a hard link of the file `existing` (a second name of the same file, in any
// folder of the same volume). False when the file system refuses.
bool makeHardLink(const QString& existing, const QString& link);

} // namespace tp::test
