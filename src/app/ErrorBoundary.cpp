#include "ErrorBoundary.h"

#include "Application.h"
#include "Services.h"
#include "Windows.h"

#include <QLineEdit>

namespace tp {

namespace {

// The description as the user may see it: the sa password never appears in it, even if a
// driver put the connection string into its text. The access layer scrubs it already;
// this is the second guard.
QString scrubbed(QString text)
{
    if (!Windows::isLoaded(WindowId::Form1))
        return text;
    auto* mm = Windows::form1().findChild<QLineEdit*>(QStringLiteral("mm"));
    if (!mm || mm->text().isEmpty())
        return text;
    return text.replace(mm->text(), QStringLiteral("****"));
}

void reportInternalFailure(const QString& what)
{
    MessageService::show(QStringLiteral("程序内部错误，程序将退出。\n") + what, vbCritical, QStringLiteral("错误："));
}

} // namespace

QString errorHint(int number)
{
    switch (number) {
    case 1801:
        return QStringLiteral("服务器上已有同名的数据库，请换一个数据库名称。");
    case 5120:
        return QStringLiteral("数据文件不存在，或正被其他程序使用。请检查文件路径。");
    case 3703:
        return QStringLiteral("数据库正在使用中，请先关闭使用它的程序。");
    case 15010:
        return QStringLiteral("服务器上没有这个数据库。");
    case 948:
        return QStringLiteral("该数据文件来自更高版本的服务器，不能附加到这台服务器上。");
    case 18456:
        return QStringLiteral("服务器拒绝了登录，请检查SA密码。");
    case 4060:
        return QStringLiteral("无法打开这个数据库。");
    case 5171:
        return QStringLiteral("所选文件不是主数据文件（.MDF）。");
    case 5172:
        return QStringLiteral("所选文件不是有效的数据库文件。");
    case 8985:
        return QStringLiteral("在数据库中找不到指定的逻辑文件。");
    case 155:
        return QStringLiteral("这台服务器的版本已不支持该选项。");
    case 0:
    case -1:
    // The ODBC driver's own numbers when the server cannot be reached or the link broke.
    case 20003:
    case 20004:
    case 20006:
    case 20009:
    case 20017:
        return QStringLiteral("无法连接到服务器，请检查服务器是否在运行、网络是否畅通。");
    default:
        return {};
    }
}

QString errorReportText(const DbError& e)
{
    QString text = QStringLiteral("错误号：%1\n%2").arg(e.number()).arg(scrubbed(e.description()));
    const QString hint = errorHint(e.number());
    if (!hint.isEmpty())
        text += QStringLiteral("\n\n") + hint;
    return text;
}

void reportDbError(const DbError& e)
{
    MessageService::show(errorReportText(e), vbCritical, QStringLiteral("错误："));
}

bool runGuarded(const std::function<void()>& h)
{
    if (applicationEnding())
        return false;
    try {
        h();
        return true;
    } catch (const DbError& e) {
        reportDbError(e);
    } catch (const std::exception& e) {
        reportInternalFailure(QString::fromLocal8Bit(e.what()));
        endApplication();
    } catch (...) {
        reportInternalFailure(QStringLiteral("未知错误"));
        endApplication();
    }
    return false;
}

} // namespace tp
