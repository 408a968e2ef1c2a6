#pragma once
// The shrink sequence of a database's log file or primary data file, without windows: the
// look-up of the file's logical name and the truncation with file shrink that fits the
// server's version and the database's recovery model.

#include <QString>
#include <memory>

namespace tp {

class Connection;

// The logical name of file `fileId` (2: the first log file, 1: the primary data file) of the
// database `connection` is in (open): the first row's "name" of logicalNameQuery(fileId), as a
// grid cell shows it (SQL Server 2000 pads it with blanks); empty when there is no such file.
// Throws DbError.
QString readLogicalName(const std::shared_ptr<Connection>& connection, int fileId);

// Over `command` (open, in `database`) asks the server's version and, from version 10 on, the
// recovery model, then sends the shrink batch for `logicalName`:
//   up to 9:       BACKUP LOG <db> WITH TRUNCATE_ONLY DBCC SHRINKFILE (<logical>)
//   SIMPLE:        CHECKPOINT DBCC SHRINKFILE (<logical>)
//   FULL, BULK_LOGGED: ALTER DATABASE <db> SET RECOVERY SIMPLE, then CHECKPOINT DBCC SHRINKFILE
//                  (<logical>), then ALTER DATABASE <db> SET RECOVERY <the model it had>, sent
//                  also when the shrink failed. A refused switch to SIMPLE ends it there.
// Throws OperationError (operation Shrink); after a failed switch its context says which.
void shrinkFile(const std::shared_ptr<Connection>& command, const QString& database, const QString& logicalName);

} // namespace tp
