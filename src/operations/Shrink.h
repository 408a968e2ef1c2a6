#pragma once
// Shrink log (form2's Command3, "收缩日志") and shrink data file (Command9, "收缩数据库").
//
// One sequence that differs in the file looked up, the hidden box that receives its logical
// name and the success message:
//   1. an empty selected database name (Text5): "请选择数据库名称！" (title "提示:"), stop;
//   2. look-up of the logical name in the selected database (bound query, field "name") into
//      Text7 (file 2, the log) or Text8 (file 1, the primary data file);
//   3. over a command connection to the same database: the server's version, for version 10
//      and later the database's recovery model, then the shrink batch that fits them (see
//      LogTruncation); a database in FULL or BULK_LOGGED recovery goes to SIMPLE for the batch
//      and back to its model afterwards, also when the batch fails; when the server refuses
//      the switch to SIMPLE nothing is shrunk and the model stays as it was;
//   4. "日志文件收缩成功！" or "数据库收缩成功！" (title "提示："). The grid is not refreshed.
// Throws OperationError when the server refuses a step; the operation ends there with no
// message, and every connection it opened is closed.

#include <QString>
#include <memory>

namespace tp {

struct ShrinkTarget
{
    int fileId; // 2: the first log file, 1: the primary data file
    QString box; // hidden text box of form2 that receives the logical name
    QString successMessage;
};

class Connection;

// Step 3 without the windows: over `command` (open, in `database`) asks the server's version
// and, from version 10 on, the recovery model, then sends the shrink batch for `logicalName`:
//   up to 9:       BACKUP LOG <db> WITH TRUNCATE_ONLY DBCC SHRINKFILE (<logical>)
//   SIMPLE:        CHECKPOINT DBCC SHRINKFILE (<logical>)
//   FULL, BULK_LOGGED: ALTER DATABASE <db> SET RECOVERY SIMPLE, then CHECKPOINT DBCC SHRINKFILE
//                  (<logical>), then ALTER DATABASE <db> SET RECOVERY <the model it had>, sent
//                  also when the shrink failed. A refused switch to SIMPLE ends it there.
// Throws OperationError (operation Shrink); after a failed switch its context says which.
void shrinkFile(const std::shared_ptr<Connection>& command, const QString& database, const QString& logicalName);

ShrinkTarget logShrinkTarget(); // fileId 2, Text7, "日志文件收缩成功！"
ShrinkTarget dataFileShrinkTarget(); // fileId 1, Text8, "数据库收缩成功！"

void shrinkSelectedDatabase(const ShrinkTarget& target);

} // namespace tp
