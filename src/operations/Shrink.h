#pragma once
// Shrink log (form2's Command3, "收缩日志") and shrink data file (Command9, "收缩数据库").
//
// One sequence that differs in the file looked up, the hidden box that receives its logical
// name and the success message:
//   1. an empty selected database name (Text5): "请选择数据库名称！" (title "提示:"), stop;
//   2. look-up of the logical name in the selected database (bound query, field "name") into
//      Text7 (file 2, the log) or Text8 (file 1, the primary data file);
//   3. over a command connection to the same database: the server's version, for version 10
//      and later the database's recovery model, then the shrink batch that fits them; when a
//      logged database has never had a database backup (4214 from BACKUP LOG), its log is
//      truncated at checkpoints, so the SIMPLE form of the batch follows;
//   4. "日志文件收缩成功！" or "数据库收缩成功！" (title "提示："). The grid is not refreshed.
// Throws DbError when the server refuses a step; the operation ends there with no message, and
// every connection it opened is closed.

#include <QString>
#include <memory>

namespace tp {

class Connection;

struct ShrinkTarget
{
    int fileId; // 2: the first log file, 1: the primary data file
    QString box; // hidden text box of form2 that receives the logical name
    QString successMessage;
};

ShrinkTarget logShrinkTarget(); // fileId 2, Text7, "日志文件收缩成功！"
ShrinkTarget dataFileShrinkTarget(); // fileId 1, Text8, "数据库收缩成功！"

void shrinkSelectedDatabase(const ShrinkTarget& target);

// Step 3 without any window: over `command`, an open connection to `database`, the server's
// version, from version 10 on the recovery model, then the shrink batch for the logical file
// name (the 4214 fallback included). Throws DbError when the server refuses.
void shrinkFile(const std::shared_ptr<Connection>& command, const QString& database, const QString& logicalName);

} // namespace tp
