#pragma once
// The stand-in's own database file format (described in standin/README.md).
//
// A file is a run of 8-KB pages. Page 0 is the header: the magic "TPDBFILE", a format
// revision, the file's kind (primary data, secondary data, log) and a JSON document saying
// which database the file belongs to and, in the primary file, every file of the database.
// Pages 1 .. used-1 carry a small stamp; pages used .. size-1 are free (zeros) and are what a
// shrink cuts off. The file's length is always size * 8192.
//
// The engine writes a file when it creates it, when it shrinks it, and (page 0 of the primary
// file only) when it marks the database open or cleanly shut down. It never deletes one.

#include <QDateTime>
#include <QString>
#include <QVector>

namespace standin {

inline constexpr qint64 PageSize = 8192;

enum class FileKind { PrimaryData = 1, SecondaryData = 2, Log = 3 };

// sysfiles status bits.
inline constexpr qint32 FileStatusDisk = 0x2;
inline constexpr qint32 FileStatusLog = 0x40;
inline constexpr qint32 FileStatusPercentGrowth = 0x100000;
inline constexpr qint32 FileStatusCreatedWithDatabase = 0x8000;

// One file of a database as its header (and the primary's file list) records it.
struct FileRecord
{
    int fileId = 1;
    int groupId = 1; // 0 for a log file
    QString logicalName;
    QString physicalName; // the path the file was created or last attached at
    qint32 sizePages = 0;
    qint32 maxSize = -1;
    qint32 growth = 0;
    qint32 status = FileStatusDisk;
    qint32 usedPages = 1;
    bool isLog() const { return groupId == 0; }
};

struct DatabaseHeader
{
    FileKind kind = FileKind::PrimaryData;
    QString databaseName;
    QString databaseGuid; // ties the files of one database together
    int version = 957; // internal database version of the server that wrote the file
    int compatibilityLevel = 160;
    QString recovery = QStringLiteral("FULL"); // FULL, SIMPLE or BULK_LOGGED at creation
    QString pageVerify = QStringLiteral("CHECKSUM"); // CHECKSUM or TORN_PAGE_DETECTION
    QDateTime created;
    // Primary file only: false while the database is attached (open), true once it was detached or the
    // server stopped cleanly. A database killed with the server keeps false: its log cannot be rebuilt.
    bool cleanShutdown = true;
    // PrimaryData: every file of the database in fileid order. Otherwise: the file itself only.
    QVector<FileRecord> files;

    const FileRecord* file(int fileId) const;
    FileRecord* file(int fileId);
    // The record of the file the header sits in.
    const FileRecord* own() const { return files.isEmpty() ? nullptr : &files.first(); }
};

struct FileReadResult
{
    int osError = 0; // Windows error when the file cannot be opened: 2, 3, 5 (access denied, a folder) ...
    QString badProperty; // set when the file is not a database file: the property that is wrong
    DatabaseHeader header;
    bool ok() const { return osError == 0 && badProperty.isEmpty(); }
};

// Reads the header page of a file (nothing else).
FileReadResult readDatabaseFile(const QString& localPath);

// 0 when the server's account may write the file; otherwise the Windows error SQL Server would get
// opening it for writing: 5 when the account has no write permission or the file has no write bits
// at all (a read-only file, even for root), 19 on a read-only file system.
int writeAccessError(const QString& localPath);

// What opening a path for reading gives: 0, or the Windows error (2 file missing, 3 folder missing,
// 5 access denied or a folder).
int openPathError(const QString& localPath);

// Creates `localPath` (which must not exist) with `header` in page 0, `own` giving size and used
// pages. Returns false with a reason when the file cannot be created.
// `osError` (optional) receives the Windows error of a failure (5, 112 ...).
bool createDatabaseFile(const QString& localPath, const DatabaseHeader& header, const FileRecord& own, QString* error,
    int* osError = nullptr);

// Rewrites page 0 of an existing file in place.
bool rewriteHeader(const QString& localPath, const DatabaseHeader& header, QString* error, int* osError = nullptr);

// Cuts the file to `pages` pages (never grows it).
bool truncatePages(const QString& localPath, qint32 pages, QString* error, int* osError = nullptr);

} // namespace standin
