#pragma once
// The server's list of databases (what master's sysdatabases holds), kept in
// <data dir>/catalogue.json and rewritten after every change, so that a restarted stand-in
// knows what was attached. The new catalogue is written beside the old one and flushed to disk;
// only then does it replace the old one, so a failed write leaves the old catalogue whole. State that real SQL Server
// keeps inside the database files but the stand-in must not write there (recovery model changes, backup history) lives
// here.

#include <QDateTime>
#include <QString>
#include <QVector>

namespace standin {

struct CatalogueFile
{
    int fileId = 1;
    int groupId = 1; // 0 for a log file
    QString logicalName;
    QString path; // the server path the database uses for the file (as given at attach / create)
};

struct CatalogueDatabase
{
    QString name;
    int dbid = 0;
    QDateTime created; // creation or attach time
    QString guid; // the database GUID recorded in its files
    QString recovery = QStringLiteral("FULL"); // FULL, SIMPLE, BULK_LOGGED
    QString pageVerify = QStringLiteral("CHECKSUM");
    int compatibilityLevel = 160;
    int fileVersion = 957; // internal version found in the primary file
    bool fullBackupTaken = false; // the log chain is whole: a log backup needs a database backup first
    // A database backup exists that a differential backup can be based on (a switch to SIMPLE or
    // TRUNCATE_ONLY breaks the log chain but keeps the base).
    bool differentialBase = false;
    // Attached (or set) READ_ONLY: sysdatabases status 1024, DATABASEPROPERTYEX Updateability
    // READ_ONLY; nothing is written to its files.
    bool readOnly = false;
    // The address of the mirroring partner: a mirrored database cannot leave FULL recovery.
    QString mirroringPartner;
    QVector<CatalogueFile> files; // in fileid order

    bool isSystem() const { return dbid >= 1 && dbid <= 4; }
    const CatalogueFile* primary() const;
};

// A test seam: makes catalogue writes fail the way a disk or a folder can.
struct CatalogueFault
{
    qint64 spaceLeft = -1; // bytes the disk still takes before it is full; -1 = no limit
    bool refused = false; // the folder refuses the new file (read-only, access denied)
};

// Why a catalogue write failed.
enum class CatalogueWriteError { None, DiskFull, Other };

class Catalogue
{
public:
    // Reads `path`; a missing file gives an empty catalogue. Returns false with a reason when the
    // file exists but cannot be read.
    bool load(const QString& path, QString* error);
    // Writes `path`.new, flushes it to disk and renames it over `path`. On failure returns the
    // kind of failure with a reason in `error`; `path` is then as it was and `path`.new is gone.
    CatalogueWriteError save(const QString& path, QString* error, const CatalogueFault& fault = {}) const;

    CatalogueDatabase* find(const QString& name); // by collation
    const CatalogueDatabase* find(const QString& name) const;
    CatalogueDatabase* findById(int dbid);
    int lowestFreeDbid() const; // 5 and up
    void add(const CatalogueDatabase& db); // keeps dbid order
    bool remove(const QString& name);

    QVector<CatalogueDatabase> databases; // in dbid order
};

} // namespace standin
