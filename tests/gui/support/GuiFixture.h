#pragma once
// The fixture of the GUI tests: a stand-in server, the application's handlers installed
// once, sign-in through the login window like a user, and recorders in place of message
// boxes, file dialogs and the end of the application.
//
// Use (one fixture member per test class; a fresh stand-in per test case):
//
//   class TestDetach : public QObject {
//       Q_OBJECT
//       tp::test::GuiFixture fx;
//   private slots:
//       void init() { QVERIFY2(fx.startServer(), qPrintable(fx.lastError())); }
//       void cleanup() { QVERIFY2(fx.cleanup(), qPrintable(fx.lastError())); }
//       void detaches()
//       {
//           QVERIFY2(fx.signIn(), qPrintable(fx.lastError()));   // form2 is now shown
//           QWidget& form2 = tp::Windows::form2();
//           ... click form2's buttons with QTest ...
//           QVERIFY2(fx.expectMessage({"数据库分离成功！", tp::vbInformation, "提示："}),
//                    qPrintable(fx.lastError()));
//       }
//   };
//
// Messages: every MessageService::show goes to the fixture's list. expectMessage() takes the
// one message shown since the last take and compares it; cleanup() fails when any message was
// left that no test took (an unexpected box). onMessage() lets a test act while a box is "up".
// File dialogs: queue answers with chooseFile(); without one the dialog is cancelled ("").
// endApplication(): counted, the application goes on (endApplicationCount()).
// cleanup(): unloads every window, deletes them, stops the server, and fails when a
// top-level window survives or a message was not taken.

#include "Services.h"
#include "StandinProcess.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>

namespace tp::test {

class GuiFixture {
public:
    GuiFixture(); // installs the recorders and, once per process, every handler (installAll)
    ~GuiFixture();
    GuiFixture(const GuiFixture&) = delete;
    GuiFixture& operator=(const GuiFixture&) = delete;

    // Starts a fresh stand-in (lastError() says why not).
    bool startServer(int version = 16, const QString& password = QStringLiteral("Stand1n#Pw"));
    StandinProcess& server() { return m_server; }

    // Runs one statement on the stand-in as sa over the master connection string, outside
    // the windows (e.g. "CREATE DATABASE x"). False with lastError() on failure.
    bool execute(const QString& statement);
    // Signs in through Form1 like a user: shows it, clicks into fwq and types the server
    // name, clicks into mm and types the password, clicks Command1. Creates the database
    // probeDatabase first (empty: none) so that the probe finds a name at or after "u".
    // True when Form1 is hidden and form2 is shown.
    bool signIn(const QString& probeDatabase = QStringLiteral("utp_signin"));
    // Types the two texts into Form1 and clicks OK, without any check.
    void typeSignIn(const QString& server, const QString& password);

    // Messages shown since the last take, oldest first; taking clears them.
    QList<ShownMessage> takeMessages();
    // True when exactly one message was shown since the last take and it equals `expected`.
    bool expectMessage(const ShownMessage& expected);
    bool expectNoMessage();
    void onMessage(std::function<void(const ShownMessage&)> hook); // called as each one is shown

    // File dialog answers, used in order; every request is kept as {title, filter}.
    void chooseFile(const QString& path);
    QList<QPair<QString, QString>> fileDialogRequests() const { return m_fileRequests; }

    int endApplicationCount() const { return m_endCount; }

    // Between test cases. False with lastError() when something was left behind.
    bool cleanup();
    QString lastError() const { return m_lastError; }

private:
    StandinProcess m_server;
    QList<ShownMessage> m_messages;
    std::function<void(const ShownMessage&)> m_hook;
    QStringList m_fileChoices;
    QList<QPair<QString, QString>> m_fileRequests;
    int m_endCount = 0;
    QString m_lastError;
};

QString describe(const ShownMessage& m);

} // namespace tp::test
