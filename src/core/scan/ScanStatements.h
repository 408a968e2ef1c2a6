#pragma once
// The statements of the server's verdict, built here and only here. One batch asks about up
// to verdictBatchSize data files: before each file a marker SELECT with its position, then
// the look-ups of the file, one statement a line:
//
//   SELECT 0 AS verdict_item
//   dbcc checkprimaryfile (N'D:\Data\ZT001\2007\ufdata.MDF',2) WITH NO_INFOMSGS
//   SELECT 1 AS verdict_item
//   dbcc checkprimaryfile (N'D:\Data\Books.mdf',2) WITH NO_INFOMSGS
//   dbcc checkprimaryfile (N'D:\Data\Books.mdf',3) WITH NO_INFOMSGS
//
// A refused look-up is a run-time error: the server goes on with the next statement, and the
// markers tell whose answer is whose.

#include <QList>
#include <QString>
#include <QStringList>

namespace tp {

struct VerdictRequest
{
    QString dataFile; // the primary data file, as the server sees it
    bool fileList = false; // also its list of files (option 3): for an .MDF outside the layout
                           // and for a year without its log file
};

constexpr int verdictBatchSize = 100; // files asked about in one batch
inline const char verdictMarkerColumn[] = "verdict_item";

// "SELECT <position> AS verdict_item"
QString verdictMarker(int position);

// "dbcc checkprimaryfile (N'<path>',<option>) WITH NO_INFOMSGS", apostrophes doubled.
QString verdictLookup(const QString& dataFile, int option);

// The batch for requests [first, first + count): markers numbered from `first`.
QString verdictBatch(const QList<VerdictRequest>& requests, int first, int count);

// Every batch for the requests, in order, verdictBatchSize files each.
QStringList verdictBatches(const QList<VerdictRequest>& requests);

// The server's services and their accounts (from SQL Server 2008 R2 SP1):
// "SELECT servicename, service_account FROM sys.dm_server_services".
QString serviceAccountQuery();

// Whether a server of this ProductVersion has sys.dm_server_services (10.50.2500 on).
bool hasServerServices(const QString& productVersion);

} // namespace tp
