#include "SignIn.h"

#include "Ado.h"
#include "BusyCursor.h"
#include "ConnectionStrings.h"
#include "DataGrid.h"
#include "Services.h"
#include "Statements.h"
#include "Windows.h"

#include <QLineEdit>

namespace tp {

namespace {
QString server()
{
    return control<QLineEdit>(Windows::form1(), QStringLiteral("fwq"))->text();
}
QString password()
{
    return control<QLineEdit>(Windows::form1(), QStringLiteral("mm"))->text();
}
// What to do when the installed driver (FreeTDS) cannot send the password or the server name
// because it holds "};".
QString unsendableValueMessage()
{
    if (password().contains(QLatin1String("};")))
        return QStringLiteral("本机安装的 FreeTDS ODBC 驱动程序无法传送含有“};”的SA密码，所以没有连接服务器。"
                              "请安装微软的 ODBC Driver for SQL Server（它能接受这样的密码）后再登录，"
                              "或在服务器上把SA密码改成不含“};”的密码。");
    return QStringLiteral("本机安装的 FreeTDS ODBC 驱动程序无法传送含有“};”的服务器名称，所以没有连接服务器。"
                          "请检查服务器名称，或安装微软的 ODBC Driver for SQL Server 后再登录。");
}
} // namespace

QString loginConnectionString()
{
    return buildLoginConnectionString(server(), password());
}

QString masterConnectionString()
{
    return buildMasterConnectionString(server(), password());
}

QString databaseConnectionString(const QString& database)
{
    return buildDatabaseConnectionString(database, server(), password());
}

void loginProbe()
{
    try {
        const QString connectionString = loginConnectionString();
        auto connection = std::make_shared<Connection>();
        // A server that does not answer (a named instance without its browser service) takes
        // the whole login time-out: the login window stays painted under the wait cursor.
        connection->setOpenWait(waitKeepingWindowsPainted);
        connection->open(connectionString, QString(), QString(), adConnectUnspecified);
        auto recordset = std::make_shared<Recordset>();
        recordset->open(loginProbeQuery(), connection, adOpenStatic,
            adLockOptimistic, adCmdUnspecified);
        control<DataGrid>(Windows::form1(), QStringLiteral("DataGrid1"))->setDataSource(recordset);
        // The probe answering at all is the sign-in; a freshly installed server has no
        // database at or after "u" and still opens the main window.
        Windows::form1().hide();
        Windows::form2().show();
    } catch (const UnsendableValueError&) {
        MessageService::show(unsendableValueMessage(), vbCritical, QStringLiteral("错误提示:"));
    } catch (...) {
        MessageService::show(QStringLiteral("数据库连接失败，请检查登陆信息！"), vbCritical, QStringLiteral("错误提示:"));
    }
}

} // namespace tp
