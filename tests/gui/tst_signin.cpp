// Sign-in through the login window against the stand-in, the main window's load sequence,
// the database grid and its click, and the error report of a failing operation.

#include "Busy.h"
#include "BusyCursor.h"
#include "DataGrid.h"
#include "DatabaseGrid.h"
#include "ErrorBoundary.h"
#include "FolderList.h"
#include "GuiFixture.h"
#include "SignIn.h"
#include "Windows.h"

#include <QApplication>
#include <QDate>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

using namespace tp;
using tp::test::GuiFixture;

namespace {
const ShownMessage signInFailed{QStringLiteral("数据库连接失败，请检查登陆信息！"), vbCritical, QStringLiteral("错误提示:")};
const QString probeSql = QStringLiteral("SELECT * FROM sysdatabases WHERE (name >= N'u')");

QLineEdit* box(QWidget& w, const char* name)
{
    return control<QLineEdit>(w, QString::fromLatin1(name));
}

QStringList visibleTopLevels()
{
    QStringList names;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            names << w->objectName();
    return names;
}

// Counts the paint events of a window (any widget in it) while the wait cursor is up.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* window) : m_window(window) { qApp->installEventFilter(this); }
    int paintsWhileBusy = 0;
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Paint && o->isWidgetType() && static_cast<QWidget*>(o)->window() == m_window
            && QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor)
            ++paintsWhileBusy;
        return false;
    }

private:
    QWidget* m_window;
};

QStringList gridRows(DataGrid* grid)
{
    QStringList rows;
    for (int r = 0; r < grid->rowCountShown(); ++r)
        rows << grid->cellText(r, 0);
    return rows;
}
} // namespace

class TestSignIn : public QObject {
    Q_OBJECT
    GuiFixture fx;

    void showLogin()
    {
        QWidget& f1 = Windows::form1();
        f1.show();
        f1.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f1));
    }

private slots:
    void init() { QVERIFY2(fx.startServer(), qPrintable(fx.lastError())); }
    void cleanup() { QVERIFY2(fx.cleanup(), qPrintable(fx.lastError())); }

    void startsWithFocusInServerBox()
    {
        showLogin();
        QCOMPARE(visibleTopLevels(), QStringList{"Form1"});
        QWidget& f1 = Windows::form1();
        QCOMPARE(QApplication::focusWidget(), box(f1, "fwq"));
        QCOMPARE(box(f1, "fwq")->selectedText(), QStringLiteral("(local)"));
        QTest::keyClicks(box(f1, "fwq"), "db1");
        QCOMPARE(box(f1, "fwq")->text(), QStringLiteral("db1"));
    }

    void clickOrTabSelectsWholeText_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("byMouse");
        QTest::newRow("click fwq") << "fwq" << true;
        QTest::newRow("click mm") << "mm" << true;
        QTest::newRow("tab to mm") << "mm" << false;
    }

    void clickOrTabSelectsWholeText()
    {
        QFETCH(QString, target);
        QFETCH(bool, byMouse);
        showLogin();
        QWidget& f1 = Windows::form1();
        box(f1, "mm")->setText(QStringLiteral("old password"));
        auto* other = target == QLatin1String("fwq") ? box(f1, "mm") : box(f1, "fwq");
        other->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), other);
        auto* t = control<QLineEdit>(f1, target);
        if (byMouse)
            QTest::mouseClick(t, Qt::LeftButton, {}, QPoint(t->width() / 2, t->height() / 2));
        else
            QTest::keyClick(other, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), t);
        QCOMPARE(t->selectedText(), t->text());
        QTest::keyClicks(t, "n");
        QCOMPARE(t->text(), QStringLiteral("n"));
    }

    void signInOpensMainWindow()
    {
        QVERIFY2(fx.signIn(QStringLiteral("UFDATA_001_2007")), qPrintable(fx.lastError()));
        QVERIFY(!Windows::form1().isVisible());
        QVERIFY(Windows::isLoaded(WindowId::Form1));
        QWidget& f2 = Windows::form2();
        QCOMPARE(visibleTopLevels(), QStringList{"form2"});
        QVERIFY(fx.server().sqlTexts().contains(probeSql));
        QVERIFY(fx.server().sqlTexts().contains(QStringLiteral("select name  from sysdatabases ORDER BY name")));
        // The grid lists the server's databases in the server's order.
        auto* grid = control<DataGrid>(f2, QStringLiteral("DataGrid1"));
        QCOMPARE(gridRows(grid), (QStringList{"master", "model", "msdb", "tempdb", "UFDATA_001_2007"}));
        // The load sequence.
        QCOMPARE(box(f2, "Text3")->text(), QDate::currentDate().toString(QStringLiteral("yyyy")));
        QCOMPARE(box(f2, "Text1")->text(), control<FolderList>(f2, QStringLiteral("Dir1"))->path());
        QCOMPARE(box(f2, "Text2")->text(), QStringLiteral("001"));
        // The probe's recordset stays bound to the hidden login window's grid.
        auto* probeGrid = control<DataGrid>(Windows::form1(), QStringLiteral("DataGrid1"));
        QVERIFY(probeGrid->recordset());
        QVERIFY(probeGrid->recordset()->activeConnection()->isOpen());
        // Later connection strings read the hidden login window's boxes.
        QVERIFY(masterConnectionString().contains(fx.server().serverName()));
        QVERIFY(masterConnectionString().endsWith(QStringLiteral("Password=") + fx.server().password())
            || masterConnectionString().contains(fx.server().password()));
    }

    void wrongPasswordShowsOneMessage()
    {
        QVERIFY2(fx.execute(QStringLiteral("CREATE DATABASE UFDATA_001_2007")), qPrintable(fx.lastError()));
        fx.typeSignIn(fx.server().serverName(), QStringLiteral("wrong"));
        QVERIFY2(fx.expectMessage(signInFailed), qPrintable(fx.lastError()));
        QWidget& f1 = Windows::form1();
        QVERIFY(f1.isVisible());
        QVERIFY(!Windows::isLoaded(WindowId::form2));
        QCOMPARE(box(f1, "fwq")->text(), fx.server().serverName());
        QCOMPARE(box(f1, "mm")->text(), QStringLiteral("wrong"));
        // Pressing OK again gives the message again; nothing accumulates.
        QTest::mouseClick(control<QPushButton>(f1, QStringLiteral("Command1")), Qt::LeftButton);
        QVERIFY2(fx.expectMessage(signInFailed), qPrintable(fx.lastError()));
        QCOMPARE(fx.endApplicationCount(), 0);
    }

    void freshServerOpensMainWindow()
    {
        // The fresh stand-in has only master, model, msdb and tempdb: none at or after "u".
        fx.typeSignIn(fx.server().serverName(), fx.server().password());
        QVERIFY2(fx.expectNoMessage(), qPrintable(fx.lastError()));
        QVERIFY(fx.server().sqlTexts().contains(probeSql));
        QTRY_COMPARE(visibleTopLevels(), QStringList{"form2"});
        auto* grid = control<DataGrid>(Windows::form2(), QStringLiteral("DataGrid1"));
        QCOMPARE(gridRows(grid), (QStringList{"master", "model", "msdb", "tempdb"}));
    }

    void signInSendsOnlyItsOwnStatements()
    {
        // The whole request log of a sign-in: the probe, then the main window's grid; no
        // set-up statement of any layer below (a cursor, SET options, type look-ups).
        fx.server().clearRequests();
        QVERIFY2(fx.signIn(QString()), qPrintable(fx.lastError()));
        QStringList log;
        for (const QJsonObject& r : fx.server().requests())
            log << r.value(QStringLiteral("kind")).toString() + QLatin1Char(' ') + r.value(QStringLiteral("proc")).toString()
                    + QLatin1Char(':') + r.value(QStringLiteral("sql")).toString();
        QCOMPARE(log, (QStringList { QStringLiteral("batch :") + probeSql,
                          QStringLiteral("batch :select name  from sysdatabases ORDER BY name") }));
    }

    void silentServerKeepsLoginWindowPainted()
    {
        // A server that takes the connection and never answers (as a named instance without its
        // browser service): the sign-in waits the whole login time-out, and meanwhile the login
        // window goes on being painted under the wait cursor; then the one message.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        installBusyCursor();
        const auto restore = qScopeGuard([] { setBusyCallback(nullptr); });
        showLogin();
        QWidget& f1 = Windows::form1();
        PaintCounter paints(&f1);
        int busyTicks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            if (QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor) {
                ++busyTicks;
                for (QWidget* w : f1.findChildren<QWidget*>())
                    w->update();
            }
        });
        ticker.start(100);
        fx.typeSignIn(QStringLiteral("127.0.0.1,%1").arg(silent.serverPort()), QStringLiteral("whatever"));
        ticker.stop();
        QVERIFY2(fx.expectMessage(signInFailed), qPrintable(fx.lastError()));
        QVERIFY2(busyTicks >= 20, qPrintable(QStringLiteral("%1 timer ticks during the wait").arg(busyTicks)));
        QVERIFY2(paints.paintsWhileBusy >= 10, qPrintable(QStringLiteral("%1 paints during the wait").arg(paints.paintsWhileBusy)));
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(f1.isVisible());
    }

    void waitCursorWhileSigningIn()
    {
        // The wait cursor is up while the sign-in waits on the server, and down before its message.
        installBusyCursor();
        const BusyCallback showCursor = setBusyCallback(nullptr);
        QList<int> shapes;
        bool cursorAtMessage = true;
        const auto restore = qScopeGuard([this] {
            setBusyCallback(nullptr);
            fx.onMessage(nullptr);
        });
        setBusyCallback([&](bool busy) {
            showCursor(busy);
            shapes << (QApplication::overrideCursor() ? int(QApplication::overrideCursor()->shape()) : -1);
        });
        fx.onMessage([&](const ShownMessage&) { cursorAtMessage = QApplication::overrideCursor() != nullptr; });
        fx.typeSignIn(fx.server().serverName(), QStringLiteral("wrong"));
        QVERIFY2(fx.expectMessage(signInFailed), qPrintable(fx.lastError()));
        QCOMPARE(shapes, (QList<int>{Qt::WaitCursor, -1}));
        QVERIFY(!cursorAtMessage);
    }

    void valueTheDriverCannotSend_data()
    {
        QTest::addColumn<bool>("inPassword");
        QTest::newRow("password") << true;
        QTest::newRow("server name") << false;
    }

    void valueTheDriverCannotSend()
    {
        // FreeTDS takes no "};" inside a connection string value: the user learns why and what to do.
        QFETCH(bool, inPassword);
        const QString name = fx.server().serverName();
        fx.typeSignIn(inPassword ? name : name + QStringLiteral("};x"),
            inPassword ? QStringLiteral("a};b") : fx.server().password());
        const QList<ShownMessage> shown = fx.takeMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, signInFailed.title);
        QVERIFY2(shown[0].text.contains(inPassword ? QStringLiteral("“};”的SA密码") : QStringLiteral("“};”的服务器名称"))
                && shown[0].text.contains(QStringLiteral("ODBC Driver for SQL Server")),
            qPrintable(shown[0].text));
        QVERIFY(!Windows::isLoaded(WindowId::form2));
    }

    void serverDownShowsOneMessage()
    {
        const QString name = fx.server().serverName();
        fx.server().stop();
        fx.typeSignIn(name, QStringLiteral("whatever"));
        QVERIFY2(fx.expectMessage(signInFailed), qPrintable(fx.lastError()));
        QVERIFY(Windows::form1().isVisible());
        QVERIFY(!Windows::isLoaded(WindowId::form2));
    }

    void closingLoginWindowEndsApplication()
    {
        showLogin();
        Windows::form1().close();
        QCOMPARE(fx.endApplicationCount(), 1);
        QVERIFY(!Windows::isLoaded(WindowId::Form1));
    }

    void exitButtonEndsApplication()
    {
        showLogin();
        QTest::mouseClick(control<QPushButton>(Windows::form1(), QStringLiteral("Command2")), Qt::LeftButton);
        QCOMPARE(fx.endApplicationCount(), 1);
    }

    void gridClickFillsSelectedName()
    {
        QVERIFY2(fx.signIn(), qPrintable(fx.lastError()));
        QWidget& f2 = Windows::form2();
        auto* grid = control<DataGrid>(f2, QStringLiteral("DataGrid1"));
        QCOMPARE(grid->cellText(2, 0), QStringLiteral("msdb"));
        const QRect cell = grid->visualRect(grid->model()->index(2, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(box(f2, "Text5")->text(), QStringLiteral("msdb"));
        // Clicking again writes the same name again; another row replaces it.
        box(f2, "Text5")->clear();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(box(f2, "Text5")->text(), QStringLiteral("msdb"));
        const QRect first = grid->visualRect(grid->model()->index(0, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, first.center());
        QCOMPARE(box(f2, "Text5")->text(), QStringLiteral("master"));
    }

    void refreshListsNewDatabase()
    {
        QVERIFY2(fx.signIn(), qPrintable(fx.lastError()));
        QVERIFY2(fx.execute(QStringLiteral("CREATE DATABASE abc")), qPrintable(fx.lastError()));
        fx.server().clearRequests();
        QVERIFY(runGuarded([] { refreshDatabaseGrid(); }));
        QVERIFY(fx.server().sqlTexts().contains(QStringLiteral("select name from sysdatabases ORDER BY name")));
        auto* grid = control<DataGrid>(Windows::form2(), QStringLiteral("DataGrid1"));
        QCOMPARE(gridRows(grid), (QStringList{"abc", "master", "model", "msdb", "tempdb", "utp_signin"}));
    }

    void operationErrorIsReportedAndRunGoesOn()
    {
        QVERIFY2(fx.signIn(), qPrintable(fx.lastError()));
        fx.server().stop();
        QVERIFY(!runGuarded([] { refreshDatabaseGrid(); }));
        const QList<ShownMessage> shown = fx.takeMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().style, vbCritical);
        QCOMPARE(shown.first().title, QStringLiteral("错误："));
        QVERIFY2(shown.first().text.contains(QStringLiteral("错误号：")), qPrintable(shown.first().text));
        QVERIFY2(shown.first().text.contains(QStringLiteral("无法连接到服务器")), qPrintable(shown.first().text));
        QVERIFY(!shown.first().text.contains(fx.server().password()));
        QCOMPARE(fx.endApplicationCount(), 0);
        QVERIFY(Windows::form2().isVisible());
        // The grid is empty after the failed refresh, and the next one works again.
        QVERIFY2(fx.server().restart(), qPrintable(fx.server().lastError()));
    }
};

QTEST_MAIN(TestSignIn)
#include "tst_signin.moc"
