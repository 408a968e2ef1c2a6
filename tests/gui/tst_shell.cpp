// The application shell: window instances, modal showing, the event wrappers, the message
// service's real box, and the error boundary with its report.

#include "Application.h"
#include "ErrorBoundary.h"
#include "Events.h"
#include "FormWindow.h"
#include "QtTranslation.h"
#include "Services.h"
#include "Windows.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace tp;

class TestShell : public QObject {
    Q_OBJECT
    QList<ShownMessage> m_messages;
    int m_ends = 0;

private slots:
    void initTestCase() { QVERIFY(installQtTranslation()); }

    void init()
    {
        m_messages.clear();
        m_ends = 0;
        MessageService::setRecorder([this](const ShownMessage& m) { m_messages << m; });
        setEndApplicationHandler([this] { ++m_ends; });
    }

    void cleanup()
    {
        Windows::clearHooks();
        Windows::unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (QWidget* w : QApplication::topLevelWidgets()) {
            QVERIFY2(!qobject_cast<FormWindow*>(w), qPrintable(w->objectName() + " survived"));
            QVERIFY2(!w->isVisible(), w->metaObject()->className());
        }
        MessageService::setRecorder(nullptr);
        setEndApplicationHandler(nullptr);
    }

    void realMessageBox_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("title");
        QTest::newRow("stop") << vbCritical << int(QMessageBox::Critical) << QStringLiteral("错误提示:");
        QTest::newRow("information") << vbInformation << int(QMessageBox::Information) << QStringLiteral("提示：");
    }

    void realMessageBox()
    {
        QFETCH(int, style);
        QFETCH(int, icon);
        QFETCH(QString, title);
        MessageService::setRecorder(nullptr);
        QString seenTitle, seenText;
        int seenIcon = -1;
        int buttons = 0;
        QString okText;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seenTitle = box->windowTitle();
            seenText = box->text();
            seenIcon = box->icon();
            buttons = box->buttons().size();
            okText = box->button(QMessageBox::Ok)->text();
            box->button(QMessageBox::Ok)->click();
        });
        MessageService::show(QStringLiteral("附加数据库完成！"), style, title);
        QCOMPARE(seenIcon, icon);
        QCOMPARE(seenTitle, title);
        QCOMPARE(seenText, QStringLiteral("附加数据库完成！"));
        QCOMPARE(buttons, 1);
        QCOMPARE(okText, QStringLiteral("确定"));
    }

    void qtDialogAndMenuInChinese()
    {
        // Qt's file dialog (where the system has none of its own) and a text box's context menu.
        QStringList texts;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            for (const char* label : {"lookInLabel", "fileNameLabel", "fileTypeLabel"})
                texts << dialog->findChild<QLabel*>(QLatin1String(label))->text();
            for (QAbstractButton* b : dialog->findChild<QDialogButtonBox*>()->buttons())
                texts << b->text();
            dialog->reject();
        });
        QFileDialog dialog(nullptr, QStringLiteral("打开"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.exec();
        QMenu* menu = control<QLineEdit>(Windows::form1(), QStringLiteral("fwq"))->createStandardContextMenu();
        for (QAction* a : menu->actions())
            texts << a->text().section(QLatin1Char('\t'), 0, 0);
        delete menu;
        texts << QCoreApplication::translate("QAbstractFileIconProvider", "Folder", "All other platforms");
        texts.removeAll(QString());
        QVERIFY2(texts.size() >= 10, qPrintable(texts.join(u'|')));
        for (const QString& t : texts)
            QVERIFY2(!t.contains(QRegularExpression(QStringLiteral("[A-Za-z]{2}"))), qPrintable(t));
    }

    void textBoxHoldsNoNul_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("expected");
        const QChar nul(u'\0');
        QTest::newRow("server name") << QString() << 0 << QStringLiteral("127.0.0.1,1433") + nul + "x"
                                     << QStringLiteral("127.0.0.1,1433");
        QTest::newRow("into the middle") << QStringLiteral("12345") << 2 << QStringLiteral("X") + nul + "Y"
                                         << QStringLiteral("12X345");
        QTest::newRow("NUL first") << QStringLiteral("ab") << 1 << nul + QStringLiteral("zz") << QStringLiteral("ab");
    }

    void textBoxHoldsNoNul()
    {
        QFETCH(QString, before);
        QFETCH(int, cursor);
        QFETCH(QString, pasted);
        QFETCH(QString, expected);
        for (const char* name : {"fwq", "mm"}) {
            auto* box = control<QLineEdit>(Windows::form1(), QLatin1String(name));
            box->setText(before);
            box->setCursorPosition(cursor);
            QGuiApplication::clipboard()->setText(pasted);
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(box->text(), expected);
            box->setText(before + pasted);
            QCOMPARE(box->text(), before + pasted.section(QChar(u'\0'), 0, 0));
        }
    }

    void errorReport_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("hintPart");
        QTest::newRow("1801 name taken") << 1801 << QStringLiteral("同名");
        QTest::newRow("5120 file missing or in use") << 5120 << QStringLiteral("不存在");
        QTest::newRow("3703 in use") << 3703 << QStringLiteral("使用中");
        QTest::newRow("15010 no such database") << 15010 << QStringLiteral("没有这个数据库");
        QTest::newRow("948 newer server") << 948 << QStringLiteral("更高版本");
        QTest::newRow("18456 login refused") << 18456 << QStringLiteral("拒绝");
        QTest::newRow("4060 cannot open") << 4060 << QStringLiteral("无法打开");
        QTest::newRow("5171 not primary") << 5171 << QStringLiteral("主数据文件");
        QTest::newRow("5172 not a database file") << 5172 << QStringLiteral("不是有效的数据库文件");
        QTest::newRow("8985 logical file") << 8985 << QStringLiteral("逻辑文件");
        QTest::newRow("155 option removed") << 155 << QStringLiteral("不支持");
        QTest::newRow("0 no connection") << 0 << QStringLiteral("无法连接到服务器");
        QTest::newRow("-1 no connection") << -1 << QStringLiteral("无法连接到服务器");
        QTest::newRow("20009 driver: unreachable") << 20009 << QStringLiteral("无法连接到服务器");
        QTest::newRow("50000 no hint") << 50000 << QString();
    }

    void errorReport()
    {
        QFETCH(int, number);
        QFETCH(QString, hintPart);
        const DbError e(number, QStringLiteral("[FreeTDS][SQL Server]something failed"));
        QVERIFY(runGuarded([&] { throw e; }) == false);
        QCOMPARE(m_messages.size(), 1);
        const ShownMessage m = m_messages.first();
        QCOMPARE(m.style, vbCritical);
        QCOMPARE(m.title, QStringLiteral("错误："));
        // The hint first; the number and the driver's words, without its prefix, below it.
        const QString detail = QStringLiteral("错误号：%1\nsomething failed").arg(number);
        if (hintPart.isEmpty())
            QCOMPARE(m.text, detail);
        else
            QVERIFY2(
                m.text.contains(hintPart) && m.text.endsWith(QStringLiteral("\n\n") + detail), qPrintable(m.text));
        QCOMPARE(m_ends, 0); // the application goes on
    }

    void reportNeverShowsPassword()
    {
        control<QLineEdit>(Windows::form1(), QStringLiteral("mm"))->setText(QStringLiteral("Pw;9x"));
        runGuarded([] { throw DbError(18456, QStringLiteral("Login failed; PWD=Pw;9x;")); });
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(!m_messages.first().text.contains(QStringLiteral("Pw;9x")), qPrintable(m_messages.first().text));
    }

    void reportNeitherGarblesNorReveals_data()
    {
        QTest::addColumn<QString>("password");
        for (const char* pw : { "e", "ab", "Pw;9", "data" })
            QTest::newRow(pw) << QString::fromLatin1(pw);
    }

    void reportNeitherGarblesNorReveals()
    {
        QFETCH(QString, password);
        control<QLineEdit>(Windows::form1(), QStringLiteral("mm"))->setText(password);
        const QString words = QStringLiteral("Cannot open database \"data\" requested by the login; ");
        const QString description = QStringLiteral("[FreeTDS][SQL Server]") + words + "PWD=" + password + ";";
        runGuarded([&] { throw DbError(4060, description); });
        QCOMPARE(m_messages.size(), 1);
        const QString shown = m_messages.first().text;
        QVERIFY2(
            shown.endsWith(QStringLiteral("错误号：4060\n") + words + QStringLiteral("PWD=***;")), qPrintable(shown));
    }

    void internalFailureEndsApplication()
    {
        QVERIFY(!runGuarded([] { throw std::runtime_error("broken invariant"); }));
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages.first().style, vbCritical);
        QVERIFY(m_messages.first().text.contains(QStringLiteral("broken invariant")));
        QCOMPARE(m_ends, 1);
        // A missing control is such a failure, too.
        m_messages.clear();
        QVERIFY(!runGuarded([] { control<QLineEdit>(Windows::form2(), QStringLiteral("NoSuchBox")); }));
        QCOMPARE(m_ends, 2);
    }

    void clickHandlerErrorStaysInsideBoundary()
    {
        Windows::onLoad(WindowId::Form4, [](QWidget& w) {
            onClick(w, QStringLiteral("Command2"), [] { throw DbError(1801, QStringLiteral("exists")); });
        });
        QWidget& f4 = Windows::form4();
        QTest::mouseClick(control<QPushButton>(f4, QStringLiteral("Command2")), Qt::LeftButton);
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(Windows::isLoaded(WindowId::Form4));
        QCOMPARE(m_ends, 0);
    }

    void instanceLifecycle()
    {
        int loads = 0, unloads = 0;
        Windows::onLoad(WindowId::Form3, [&](QWidget&) { ++loads; });
        Windows::onUnload(WindowId::Form3, [&](QWidget&) { ++unloads; });
        QVERIFY(!Windows::isLoaded(WindowId::Form3));
        // Reading a control loads the window, once.
        QCOMPARE(control<QLabel>(Windows::form3(), QStringLiteral("Label1"))->text(), QString());
        control<QLabel>(Windows::form3(), QStringLiteral("Label1"))->setText(QStringLiteral("x"));
        QCOMPARE(loads, 1);
        QVERIFY(Windows::isLoaded(WindowId::Form3));
        QVERIFY(!Windows::form3().isVisible());
        // The close box unloads it; the next reference is a fresh window.
        Windows::form3().show();
        Windows::form3().close();
        QCOMPARE(unloads, 1);
        QVERIFY(!Windows::isLoaded(WindowId::Form3));
        QCOMPARE(control<QLabel>(Windows::form3(), QStringLiteral("Label1"))->text(), QString());
        QCOMPARE(loads, 2);
        QCOMPARE(m_ends, 0);
    }

    void unloadedWindowsTimersStop()
    {
        // A tick handler that names its own window must not bring an unloaded window back.
        int ticks = 0;
        Windows::onLoad(WindowId::Form3, [&](QWidget& w) {
            tp::onTimer(w, QStringLiteral("Timer1"), [&] {
                ++ticks;
                control<QLabel>(Windows::form3(), QStringLiteral("Label1"))->setText(QString::number(ticks));
            });
        });
        Windows::form3().show();
        QTRY_VERIFY(ticks > 0);
        // Unloaded from inside a handler that then waits in a nested loop, as a message box
        // shown after the unload does: the deferred deletion has not happened yet.
        int atUnload = -1;
        bool reloaded = true;
        QTimer::singleShot(0, [&] {
            Windows::unload(WindowId::Form3);
            atUnload = ticks;
            QEventLoop nested;
            QTimer::singleShot(100, &nested, &QEventLoop::quit); // ten of the window's 10 ms ticks
            nested.exec();
            reloaded = Windows::isLoaded(WindowId::Form3);
        });
        QTRY_VERIFY(atUnload >= 0);
        QTRY_VERIFY(!reloaded);
        QCOMPARE(ticks, atUnload);
    }

    void showModalReturnsAfterHideAndTimersTick()
    {
        QWidget& f2 = Windows::form2();
        f2.show();
        QTimer other;
        other.setInterval(5);
        int ticks = 0;
        connect(&other, &QTimer::timeout, this, [&] {
            ++ticks;
            if (ticks == 5)
                Windows::form4().hide();
        });
        other.start();
        bool modalSeen = false;
        QTimer::singleShot(0, this, [&] { modalSeen = QApplication::activeModalWidget() == &Windows::form4(); });
        Windows::showModal(WindowId::Form4);
        QVERIFY(ticks >= 5);
        QVERIFY(modalSeen);
        QVERIFY(!Windows::form4().isVisible());
    }

    void showModalReturnsAfterUnload()
    {
        QTimer::singleShot(0, this, [] { Windows::unload(WindowId::Form3); });
        Windows::showModal(WindowId::Form3);
        QVERIFY(!Windows::isLoaded(WindowId::Form3));
    }

    void timerTickDoesNotReenter()
    {
        int depth = 0, maxDepth = 0, ticks = 0;
        Windows::onLoad(WindowId::Form3, [&](QWidget& w) {
            onTimer(w, QStringLiteral("Timer1"), [&] {
                ++ticks;
                maxDepth = qMax(maxDepth, ++depth);
                if (ticks == 1) {
                    // Wait as a message box would, long enough for several 10 ms ticks.
                    QEventLoop loop;
                    QTimer::singleShot(100, &loop, &QEventLoop::quit);
                    loop.exec();
                }
                --depth;
            });
        });
        Windows::form3();
        QTRY_VERIFY(ticks >= 3);
        QCOMPARE(maxDepth, 1);
    }

    void keyPressReplacesOrDiscards_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("letters discarded") << "a1b2-3." << "123";
        QTest::newRow("x typed as X") << "x9" << "X9";
        QTest::newRow("backspace passes") << "12\b" << "1";
    }

    void keyPressReplacesOrDiscards()
    {
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QList<int> codes;
        Windows::onLoad(WindowId::Form4, [&](QWidget& w) {
            onKeyPress(w, QStringLiteral("Text3"), [&](int& k) {
                codes << k;
                if (k == 'x')
                    k = 'X';
                else if ((k < '0' || k > '9') && k != 8 && k != 'X')
                    k = 0;
            });
        });
        auto* box = control<QLineEdit>(Windows::form4(), QStringLiteral("Text3"));
        for (QChar c : typed) {
            if (c == QLatin1Char('\b'))
                QTest::keyClick(box, Qt::Key_Backspace);
            else
                QTest::keyClicks(box, QString(c));
        }
        QCOMPARE(box->text(), expected);
        QVERIFY(codes.contains(typed.contains('\b') ? 8 : int(typed.at(0).unicode())));
    }

    void inputMethodTextGoesThroughHandler()
    {
        QList<int> codes;
        Windows::onLoad(WindowId::Form4, [&](QWidget& w) {
            onKeyPress(w, QStringLiteral("Text3"), [&](int& k) {
                codes << k;
                if (k < '0' || k > '9')
                    k = 0;
            });
        });
        auto* box = control<QLineEdit>(Windows::form4(), QStringLiteral("Text3"));
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("中1文2"));
        QCoreApplication::sendEvent(box, &commit);
        QCOMPARE(box->text(), QStringLiteral("12"));
        QCOMPARE(codes.size(), 4);
        QCOMPARE(codes.first(), int(QChar(u'中').unicode()));
    }

    void fileDialogFilterForQt_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("expected");
#ifdef Q_OS_WIN
        // The system's dialog matches without case: the patterns stay as given.
        QTest::newRow("database files") << QStringLiteral("数据库文件 (*.MDF)|*.MDF")
                                        << QStringLiteral("数据库文件 (*.MDF)");
        QTest::newRow("two entries, two patterns") << QStringLiteral("Data|*.mdf;*.ndf|All|*.*")
                                                   << QStringLiteral("Data (*.mdf *.ndf);;All (*.*)");
#else
        QTest::newRow("database files") << QStringLiteral("数据库文件 (*.MDF)|*.MDF")
                                        << QStringLiteral("数据库文件 (*.MDF *.mdf)");
        QTest::newRow("two entries, two patterns") << QStringLiteral("Data|*.mdf;*.ndf|All|*.*")
                                                   << QStringLiteral("Data (*.mdf *.MDF *.ndf *.NDF);;All (*.*)");
#endif
        QTest::newRow("already Qt's form") << QStringLiteral("Files (*.txt)") << QStringLiteral("Files (*.txt)");
    }
    void fileDialogFilterForQt()
    {
        QFETCH(QString, filter);
        QFETCH(QString, expected);
        QCOMPARE(tp::FileDialogService::qtFileDialogFilter(filter), expected);
    }

    void enterIsNotSwallowedWithoutHandler()
    {
        QWidget& f1 = Windows::form1();
        QSignalSpy ok(control<QPushButton>(f1, QStringLiteral("Command1")), &QPushButton::clicked);
        QTest::keyClick(control<QLineEdit>(f1, QStringLiteral("fwq")), Qt::Key_Return);
        QCOMPARE(ok.count(), 1);
    }
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
