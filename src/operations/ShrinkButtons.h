#pragma once
// Shrink log (form2's Command3, "收缩日志") and shrink data file (Command9, "收缩数据库").
//
// One sequence that differs in the file looked up, the hidden box that receives its logical
// name and the success message:
//   1. an empty selected database name (Text5): "请选择数据库名称！" (title "提示:"), stop;
//   2. look-up of the logical name in the selected database (bound query, field "name") into
//      Text7 (file 2, the log) or Text8 (file 1, the primary data file);
//   3. over a command connection to the same database, the shrink sequence (shrinkFile);
//   4. "日志文件收缩成功！" or "数据库收缩成功！" (title "提示："). The grid is not refreshed.
//      After a log shrink that went through SIMPLE and back, a line under that text (the box's
//      informative text) says that the log backup chain is broken until a full backup.
// Throws OperationError when the server refuses a step; the operation ends there with no
// message, and every connection it opened is closed.

#include <QString>

namespace tp {

struct ShrinkTarget
{
    int fileId; // 2: the first log file, 1: the primary data file
    QString box; // hidden text box of form2 that receives the logical name
    QString successMessage;
};

ShrinkTarget logShrinkTarget(); // fileId 2, Text7, "日志文件收缩成功！"
ShrinkTarget dataFileShrinkTarget(); // fileId 1, Text8, "数据库收缩成功！"

void shrinkSelectedDatabase(const ShrinkTarget& target);

} // namespace tp
