#pragma once
// The shrink sequence of a database's log file or primary data file, without windows: the
// look-up of the file's logical name and the truncation with file shrink that fits the
// server's version and the database's recovery model.

#include "Statements.h"

#include <QString>
#include <functional>
#include <memory>

namespace tp {

class Connection;

// The logical name of file `fileId` (2: the first log file, 1: the primary data file) of the
// database `connection` is in (open): the first row's "name" of logicalNameQuery(fileId), as a
// grid cell shows it (SQL Server 2000 pads it with blanks); empty when there is no such file.
// Throws DbError.
QString readLogicalName(const std::shared_ptr<Connection>& connection, int fileId);

// What the shrink of file `fileId` of `database` sends once the logical name is known.
struct ShrinkPlan
{
    int serverMajorVersion = 0;
    QString recoveryModel; // as ALTER DATABASE takes it; empty when not read (see below)
    LogTruncation truncation = LogTruncation::TruncateOnly;
    QString batch; // shrinkBatch(serverMajorVersion, fileId, recoveryModel, ...)
};

// Asks through `ask` what the batch depends on and builds it: productVersionQuery(), then, when
// shrinkReadsRecoveryModel, recoveryModelQuery(database). `ask` sends one query and returns the
// first value of its first row (empty for no row); it may throw. The command line's --what-if
// prints what this asks and the batch, so both stay exactly what a shrink sends.
ShrinkPlan planShrink(const std::function<QString(const QString&)>& ask, const QString& database,
    const QString& logicalName, int fileId);

// Over `command` (open, in `database`) sends the shrink of file `fileId` (2: the log, 1: the
// primary data file) with the logical name `logicalName`: planShrink's queries, then the batch:
//   up to 9:       BACKUP LOG <db> WITH TRUNCATE_ONLY DBCC SHRINKFILE (<logical>)
//   10 on, SIMPLE, and the data file in any model: CHECKPOINT DBCC SHRINKFILE (<logical>)
//   10 on, the log in FULL or BULK_LOGGED: recoveryRoundTripBatch, one batch that the server
//                  completes and sets the model back by itself, also when the client is gone.
// The command connection waits for the batch as long as it takes (command time-out 0, kept so
// afterwards). After a failed round trip the database's state is read (databaseStateQuery; over
// a new connection when the link broke, which then also sets the model back if it is not).
// Throws OperationError (operation Shrink) with the server's own error number (a version 10
// batch's re-raised 50000 is taken apart again) and, after a round trip, recoveryModel set and
// recoverySwitch: Back when the model is not the one the database had or could not be read,
// ToSimple when the switch to SIMPLE was refused (readOnly when the database is read-only),
// None when the checkpoint or shrink failed and the model is set back. Returns the plan it
// carried out: after a SimpleRoundTrip the log backup chain is broken until the next full backup.
ShrinkPlan shrinkFile(
    const std::shared_ptr<Connection>& command, const QString& database, const QString& logicalName, int fileId = 2);

} // namespace tp
