#pragma once
// Every SQL text that the account-year operations (attach, detach, shrink) and the file
// window send. Each text is built here and only here; the handlers never assemble SQL.
//
// Values that go inside a string literal have their apostrophes doubled (sqlQuote), so a name
// or path with an apostrophe reaches the server as typed instead of breaking the statement.
// Identifiers (the database name and the logical file name of the shrink batch) are written
// bare when SQL Server takes them bare and bracketed otherwise (sqlIdentifier). For values
// that need no quoting every text is exactly the fixed form the server has always been sent.

#include <QString>

namespace tp {

// The login probe: "SELECT * FROM sysdatabases WHERE (name >= N'u')".
QString loginProbeQuery();

// The database grid's record source: at setup "select name  from sysdatabases ORDER BY name"
// (two blanks before "from"), at every refresh the same with one blank. Both texts are fixed.
QString databaseListSetupSource();
QString databaseListRefreshSource();

// The value with every apostrophe doubled, for use between '...' or N'...'.
QString sqlQuote(const QString& value);

// True when SQL Server accepts `name` as a regular (undelimited) identifier in a statement:
// non-empty; first character a letter (any script, CJK included) or _; the rest letters,
// decimal digits, _, @, # or $; not a reserved word. A leading @ or # is refused here: it
// would make a variable or a temporary object out of the name.
bool isRegularIdentifier(const QString& name);

// The name as it must appear in a statement: bare when it is a regular identifier, else in
// brackets with every ] doubled. Trailing blanks are not removed here (see logicalFileName).
QString sqlIdentifier(const QString& name);

// A logical file name as read from sysfiles: SQL Server 2000 pads it with blanks to 128
// characters (nchar). Returns the name without the trailing blanks.
QString logicalFileName(const QString& sysfilesName);

// EXEC sp_attach_db @dbname = N'<name>',@filename1 = N'<dataFile>',@filename2 = N'<logFile>'
QString attachDatabaseStatement(const QString& name, const QString& dataFile, const QString& logFile);

// SELECT filename FROM master..sysdatabases WHERE name = N'<name>': the primary data file of
// the database `name` as the server reports it (no row when there is no such database).
QString primaryFileQuery(const QString& name);

// SELECT name, filename FROM master..sysdatabases: every database with its primary data file.
QString primaryFilesQuery();

// SELECT name, filename, dbid FROM master..sysdatabases: the same with each database's id.
QString databaseIdsQuery();

// SELECT dbid, filename, groupid FROM master..sysaltfiles: every file of every database, data
// and log files alike, by database id, groupid 0 for a log (SQL Server 2000 pads filename to
// 260 characters).
QString databaseFilesQuery();

// True when two paths are the same path as text, in the normal form of PathIdentity (letters
// in either case in a Windows path, \ and / alike, trailing blanks ignored, repeated
// separators collapsed, a relative path taken against the current folder). sameFile also
// compares the files reached.
bool samePath(const QString& a, const QString& b);

// EXEC sp_detach_db @dbname = '<name>'   (a plain, non-Unicode literal, as the main window
// has always sent it: the server reads it in its own code page)
QString detachDatabaseStatement(const QString& name);

// EXEC sp_detach_db @dbname = N'<name>'   (the command line: every character of the name
// reaches the server, Chinese ones included)
QString detachDatabaseUnicodeStatement(const QString& name);

// The logical-name look-ups, run in the selected database. fileId 1 = primary data file,
// 2 = first log file: "SELECT name FROM sysfiles WHERE(fileid= 2)".
QString logicalNameQuery(int fileId);

// The server's version as text, e.g. "16.0.1000.6".
QString productVersionQuery();

// The major version at the start of a ProductVersion text ("10.50.1600.1" -> 10); 0 when the
// text does not start with a number.
int majorVersion(const QString& productVersion);

// The recovery model of the database `name` as text: FULL, BULK_LOGGED or SIMPLE.
QString recoveryModelQuery(const QString& name);

// How the inactive log is thrown away before the shrink.
enum class LogTruncation {
    TruncateOnly, // servers up to version 9: BACKUP LOG ... WITH TRUNCATE_ONLY
    Checkpoint, // version 10 and later, SIMPLE recovery: CHECKPOINT
    // Version 10 and later, FULL or BULK_LOGGED recovery: the database goes to SIMPLE for the
    // checkpoint and the shrink and back to its model afterwards. Unlike a log backup to NUL
    // the server then knows that the log chain is broken and refuses log backups (4214)
    // until the next database backup, as it did after TRUNCATE_ONLY.
    SimpleRoundTrip,
};

// Picks the truncation for a server major version and a recovery model text (case and
// trailing blanks ignored). A model that is neither FULL nor BULK_LOGGED (SIMPLE, or nothing
// read) takes the checkpoint.
LogTruncation logTruncationFor(int serverMajorVersion, const QString& recoveryModel);
// The same for the file `fileId` (2: the log, 1: the primary data file). From version 10 on a
// data file takes the checkpoint whatever the model: shrinking it gains nothing from a broken
// log chain, so the recovery model is neither read nor switched.
LogTruncation logTruncationFor(int serverMajorVersion, const QString& recoveryModel, int fileId);

// Whether the shrink of file `fileId` reads the recovery model first: the log file from version 10 on.
bool shrinkReadsRecoveryModel(int serverMajorVersion, int fileId);

// The recovery model text as ALTER DATABASE takes it: FULL, BULK_LOGGED or SIMPLE in upper
// case without blanks; empty for any other text.
QString recoveryModelName(const QString& recoveryModel);

// ALTER DATABASE <db> SET RECOVERY <model>; <db> through sqlIdentifier, <model> one of
// FULL, BULK_LOGGED, SIMPLE.
QString setRecoveryStatement(const QString& database, const QString& model);

// The shrink batch, its two statements separated by one blank, sent in the selected database:
//   TruncateOnly:                BACKUP LOG <db> WITH TRUNCATE_ONLY DBCC SHRINKFILE (<logical>)
//   Checkpoint, SimpleRoundTrip: CHECKPOINT DBCC SHRINKFILE (<logical>)
// <db> and <logical> go through sqlIdentifier; <logical> loses its trailing blanks first.
QString shrinkBatch(LogTruncation truncation, const QString& database, const QString& logicalName);

// The batch of a SimpleRoundTrip, which the server completes by itself whatever becomes of the
// client: the switch to SIMPLE, the checkpoint and shrink and the switch back to `model` in a
// TRY block; the CATCH block sets `model` again unless the database already has it, then
// re-raises the error. From version 11 (2012):
//   BEGIN TRY ALTER DATABASE <db> SET RECOVERY SIMPLE CHECKPOINT DBCC SHRINKFILE (<logical>)
//   ALTER DATABASE <db> SET RECOVERY <model> END TRY BEGIN CATCH IF CAST(DATABASEPROPERTYEX(
//   N'<name>','Recovery') AS nvarchar(128)) <> N'<model>' ALTER DATABASE <db> SET RECOVERY
//   <model>; THROW; END CATCH
// (one line, single blanks). THROW re-raises every message of the failure with its own number.
// Version 10 (2008, 2008 R2) has no THROW: the CATCH block keeps ERROR_NUMBER() and
// ERROR_MESSAGE() in @number and @message before the IF and ends with
//   RAISERROR (N'%d: %s', 16, 1, @number, @message)
// which reaches the client as error 50000 with the text "<number>: <message>". <model> is FULL or BULK_LOGGED, <name> goes through sqlQuote.
QString recoveryRoundTripBatch(
    int serverMajorVersion, const QString& database, const QString& logicalName, const QString& model);

// Every shrink batch: recoveryRoundTripBatch for a SimpleRoundTrip, else shrinkBatch, for the
// truncation logTruncationFor(serverMajorVersion, recoveryModel, fileId) picks.
QString shrinkBatch(int serverMajorVersion, int fileId, const QString& recoveryModel, const QString& database,
    const QString& logicalName);

// After a failed round trip: the recovery model and the updateability (READ_ONLY or
// READ_WRITE) of the database `name`, as two columns of one row:
// SELECT CAST(DATABASEPROPERTYEX(N'<name>','Recovery') AS nvarchar(128)),
// CAST(DATABASEPROPERTYEX(N'<name>','Updateability') AS nvarchar(128))
QString databaseStateQuery(const QString& name);

} // namespace tp

namespace tp {

// Attaches a primary data file whose log file is gone, letting the server build a new log:
//   from version 9 (2005): CREATE DATABASE <name> ON (FILENAME = N'<dataFile>') FOR ATTACH_REBUILD_LOG
//   version 8 (2000):      EXEC sp_attach_db @dbname = N'<name>',@filename1 = N'<dataFile>'
// <name> goes through sqlIdentifier, the path through sqlQuote.
QString attachRebuildLogStatement(int serverMajorVersion, const QString& name, const QString& dataFile);

} // namespace tp
