#pragma once
// Everything that differs between the server versions the stand-in can claim, in one table.
// Facts that are not confirmed are marked in VersionTable.cpp.

#include <QString>

namespace standin {

struct VersionFacts
{
    int major = 16; // 8 = 2000, 9 = 2005, 10 = 2008, 11 = 2012 ... 16 = 2022, 17 = 2025
    int minor = 0;
    int build = 1000;
    QString productVersion; // SERVERPROPERTY('ProductVersion')
    QString versionBanner; // @@VERSION
    int internalVersion = 957; // on-disk database version written into new files
    int compatibilityLevel = 160; // cmptlevel of a database created on this server
    int lowestCompatibilityLevel = 100; // an attached database below this is raised to it
    int oldestAttachable = 655; // a file of an older internal version is refused (950)
    // model's files, in 8-KB pages: what a new database starts with.
    int modelDataPages = 1024;
    int modelLogPages = 1024;
    int modelDataUsedPages = 296;
    int modelLogUsedPages = 64;
    bool percentGrowth = false; // 10 % growth (status 0x100000) instead of a page count
    int growthPages = 8192;
};

// The facts for a claimed major version; versions outside 8..17 are clamped.
const VersionFacts& versionFacts(int major);

// The internal database version a server of that major version writes (8 -> 539 ... 16 -> 957).
int internalVersionOf(int major);

} // namespace standin
