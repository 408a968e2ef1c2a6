#include "GuiFixture.h"

#include "Ado.h"
#include "Application.h"
#include "ConnectionStrings.h"
#include "FormWindow.h"
#include "Startup.h"
#include "Windows.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTest>

namespace tp::test {

namespace {
bool g_installed = false;
} // namespace

QString describe(const ShownMessage& m)
{
    QString d = QStringLiteral("{text \"%1\", style %2, title \"%3\"").arg(m.text).arg(m.style).arg(m.title);
    if (!m.informative.isEmpty())
        d += QStringLiteral(", informative \"%1\"").arg(m.informative);
    return d + QLatin1Char('}');
}

GuiFixture::GuiFixture()
{
    QApplication::setQuitOnLastWindowClosed(false);
    if (!g_installed) {
        g_installed = true;
        installAll();
    }
    MessageService::setRecorder([this](const ShownMessage& m) {
        m_messages.append(m);
        if (m_hook)
            m_hook(m);
    });
    FileDialogService::setChooser([this](const QString& title, const QString& filter) {
        m_fileRequests.append({title, filter});
        return m_fileChoices.isEmpty() ? QString() : m_fileChoices.takeFirst();
    });
    setEndApplicationHandler([this] { ++m_endCount; });
}

GuiFixture::~GuiFixture()
{
    Windows::unloadAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    MessageService::setRecorder(nullptr);
    FileDialogService::setChooser(nullptr);
    setEndApplicationHandler(nullptr);
}

bool GuiFixture::startServer(int version, const QString& password)
{
    if (!m_server.start(version, password)) {
        m_lastError = QStringLiteral("the stand-in did not start: ") + m_server.lastError();
        return false;
    }
    return true;
}

bool GuiFixture::execute(const QString& statement)
{
    try {
        Connection c;
        c.setConnectionString(buildMasterConnectionString(m_server.serverName(), m_server.password()));
        c.open();
        c.execute(statement);
        c.close();
        return true;
    } catch (const DbError& e) {
        m_lastError = QStringLiteral("%1 failed: %2 %3").arg(statement).arg(e.number()).arg(e.description());
        return false;
    }
}

void GuiFixture::typeSignIn(const QString& server, const QString& password)
{
    QWidget& form1 = Windows::form1();
    if (!form1.isVisible())
        form1.show();
    form1.activateWindow();
    (void)QTest::qWaitForWindowActive(&form1);
    auto* fwq = control<QLineEdit>(form1, QStringLiteral("fwq"));
    auto* mm = control<QLineEdit>(form1, QStringLiteral("mm"));
    // Focus arriving in a box (by a click, or at the window's start) selects its whole
    // text, so what is typed replaces it; an empty text is typed as Delete on that
    // selection. A box that has the focus already is typed into as it is.
    if (QApplication::focusWidget() != fwq)
        QTest::mouseClick(fwq, Qt::LeftButton);
    if (server.isEmpty())
        QTest::keyClick(fwq, Qt::Key_Delete);
    else
        QTest::keyClicks(fwq, server);
    if (QApplication::focusWidget() != mm)
        QTest::mouseClick(mm, Qt::LeftButton);
    if (password.isEmpty())
        QTest::keyClick(mm, Qt::Key_Delete);
    else
        QTest::keyClicks(mm, password);
    QTest::mouseClick(control<QAbstractButton>(form1, QStringLiteral("Command1")), Qt::LeftButton);
}

bool GuiFixture::signIn(const QString& probeDatabase)
{
    if (!m_server.isRunning()) {
        m_lastError = QStringLiteral("signIn: the stand-in is not running (call startServer first)");
        return false;
    }
    if (!probeDatabase.isEmpty() && !execute(QStringLiteral("CREATE DATABASE ") + probeDatabase))
        return false;
    typeSignIn(m_server.serverName(), m_server.password());
    QWidget& form1 = Windows::form1();
    const QString typed = control<QLineEdit>(form1, QStringLiteral("fwq"))->text();
    if (typed != m_server.serverName()) {
        m_lastError = QStringLiteral("signIn: fwq holds \"%1\" after typing \"%2\"").arg(typed, m_server.serverName());
        return false;
    }
    if (!m_messages.isEmpty()) {
        m_lastError = QStringLiteral("signIn: a message was shown: ") + describe(m_messages.first());
        return false;
    }
    if (form1.isVisible() || !Windows::isLoaded(WindowId::form2) || !Windows::form2().isVisible()) {
        m_lastError = QStringLiteral("signIn: the main window did not open");
        return false;
    }
    return true;
}

QList<ShownMessage> GuiFixture::takeMessages()
{
    QList<ShownMessage> taken;
    taken.swap(m_messages);
    return taken;
}

bool GuiFixture::expectMessage(const ShownMessage& expected)
{
    const QList<ShownMessage> shown = takeMessages();
    if (shown.size() != 1) {
        QStringList all;
        for (const auto& m : shown)
            all << describe(m);
        m_lastError = QStringLiteral("expected one message %1, %2 shown: %3")
                          .arg(describe(expected))
                          .arg(shown.size())
                          .arg(all.join(QStringLiteral(", ")));
        return false;
    }
    const ShownMessage& m = shown.first();
    if (m.text != expected.text || m.style != expected.style || m.title != expected.title
        || m.informative != expected.informative) {
        m_lastError = QStringLiteral("expected message %1, shown %2").arg(describe(expected), describe(m));
        return false;
    }
    return true;
}

bool GuiFixture::expectNoMessage()
{
    const QList<ShownMessage> shown = takeMessages();
    if (!shown.isEmpty()) {
        m_lastError = QStringLiteral("expected no message, shown: ") + describe(shown.first());
        return false;
    }
    return true;
}

void GuiFixture::onMessage(std::function<void(const ShownMessage&)> hook)
{
    m_hook = std::move(hook);
}

void GuiFixture::chooseFile(const QString& path)
{
    m_fileChoices.append(path);
}

bool GuiFixture::cleanup()
{
    QStringList problems;
    for (const auto& m : takeMessages())
        problems << QStringLiteral("message nobody expected: ") + describe(m);
    Windows::unloadAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const auto tops = QApplication::topLevelWidgets();
    for (QWidget* w : tops) {
        if (qobject_cast<FormWindow*>(w))
            problems << QStringLiteral("window %1 survived").arg(w->objectName());
        else if (w->isVisible())
            problems << QStringLiteral("a top-level %1 \"%2\" is still shown")
                            .arg(QString::fromLatin1(w->metaObject()->className()), w->windowTitle());
    }
    m_server.stop();
    m_hook = nullptr;
    m_fileChoices.clear();
    m_fileRequests.clear();
    m_endCount = 0;
    if (!problems.isEmpty()) {
        m_lastError = problems.join(QStringLiteral("; "));
        return false;
    }
    return true;
}

} // namespace tp::test
