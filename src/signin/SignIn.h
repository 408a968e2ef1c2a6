#pragma once
// Sign-in: the login window's probe, and the three connection strings as the rest of the
// system gets them. The strings are built at call time from the current texts of the login
// window's boxes fwq (server) and mm (sa password), read through the window instance.

#include <QString>

namespace tp {

QString loginConnectionString();
QString masterConnectionString();
QString databaseConnectionString(const QString& database);

// The login probe (Form1.Command1). Opens a connection with the login string, runs
// "SELECT * FROM sysdatabases WHERE (name >= N'u')" and binds the recordset to Form1's
// hidden DataGrid1, which keeps it and its connection open until the application ends.
// When the probe is answered, with rows or without, Form1 is hidden, then form2 is shown. Any failure: the one
// message "数据库连接失败，请检查登陆信息！" (title "错误提示:", style 16); never throws.
void loginProbe();

} // namespace tp
