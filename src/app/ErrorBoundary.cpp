#include "ErrorBoundary.h"

#include "Application.h"
#include "Services.h"
#include "Windows.h"

#include <QLineEdit>

namespace tp {

namespace {

// The sa password as typed in the hidden login window: the access layer keeps it out of its
// error texts already; the report applies the same scrub once more as a second guard.
QString signInPassword()
{
    if (!Windows::isLoaded(WindowId::Form1))
        return QString();
    auto* mm = Windows::form1().findChild<QLineEdit*>(QStringLiteral("mm"));
    return mm ? mm->text() : QString();
}

void reportInternalFailure(const QString& what)
{
    MessageService::show(QStringLiteral("程序内部错误，程序将退出。\n") + what, vbCritical, QStringLiteral("错误："));
}

} // namespace

void reportDbError(const DbError& e)
{
    MessageService::show(errorReportText(e, signInPassword()), vbCritical, QStringLiteral("错误："));
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
