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

void reportDbError(const DbError& e)
{
    MessageService::show(scrubbed(errorReportText(e)), vbCritical, QStringLiteral("错误："));
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
