#pragma once
// Detach: the click action of form2's Command2 ("分离数据库").

namespace tp {

// Detaches the database named by form2's Text5 (the selected database name). An empty name
// gets "请选择数据库名称！" (title "提示:", stop icon) and nothing is sent. Otherwise sends the
// detach statement over a command connection with the master connection string, shows
// "分离数据库 <name> 成功！" and refreshes the database grid; Text5 keeps the name. Throws
// DbError when the server refuses: no message, no refresh, the connection closed.
void detachSelectedDatabase();

} // namespace tp
