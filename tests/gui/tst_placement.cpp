// Windows and dialogs open on the screen of the window they are opened from and stay inside its
// available geometry, also when that window sits in the screen's corner (the small screen of
// TestScreens.h, 1024 x 768); their sizes stay as laid out.

#include "Services.h"
#include "TestScreens.h"
#include "Windows.h"

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <QTimer>

using namespace tp;

namespace {

QWidget& windowNamed(const QString& name)
{
    if (name == QLatin1String("Form1"))
        return Windows::form1();
    if (name == QLatin1String("form2"))
        return Windows::form2();
    if (name == QLatin1String("Form3"))
        return Windows::form3();
    return Windows::form4();
}

QString describe(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

class TestPlacement : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        Windows::unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void keptOnTheOpenersScreen_data()
    {
        QTest::addColumn<QString>("opener");
        QTest::addColumn<QString>("shown");
        QTest::newRow("main window from the login window") << "Form1" << "form2";
        QTest::newRow("progress window from the main window") << "form2" << "Form3";
        QTest::newRow("file window from the main window") << "form2" << "Form4";
        QTest::newRow("message box from the file window") << "Form4" << "message box";
        QTest::newRow("file dialog from the file window") << "Form4" << "file dialog";
    }

    void keptOnTheOpenersScreen()
    {
        QFETCH(QString, opener);
        QFETCH(QString, shown);
        const QScreen* screen = QGuiApplication::screenAt(test::smallScreen().center());
        QVERIFY2(screen, "no second screen: the offscreen platform did not take its configuration");
        const QRect available = screen->availableGeometry();

        // The opener with its frame in the screen's bottom-right corner, active.
        QWidget& from = windowNamed(opener);
        from.show();
        QVERIFY(QTest::qWaitForWindowExposed(&from));
        QRect corner = from.frameGeometry();
        corner.moveBottomRight(available.bottomRight());
        from.move(from.pos() + (corner.topLeft() - from.frameGeometry().topLeft()));
        from.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&from));
        QCOMPARE(from.frameGeometry(), corner);

        QRect frame;
        QSize size;
        if (shown == QLatin1String("message box") || shown == QLatin1String("file dialog")) {
            // Qt's own dialog, modal: looked at once it is up, then closed.
            QTimer poll;
            poll.setInterval(10);
            connect(&poll, &QTimer::timeout, this, [&] {
                QWidget* modal = QApplication::activeModalWidget();
                if (!modal || modal == &from || !modal->isVisible())
                    return;
                poll.stop();
                frame = modal->frameGeometry();
                modal->close();
            });
            poll.start();
            if (shown == QLatin1String("message box"))
                MessageService::show(QStringLiteral("附加数据库完成！"), vbInformation, QStringLiteral("提示："));
            else
                FileDialogService::getOpenFileName(QStringLiteral("打开"), QStringLiteral("数据库文件 (*.MDF)|*.MDF"));
            QVERIFY2(frame.isValid(), "the dialog was not seen");
        } else {
            QWidget& w = windowNamed(shown);
            size = w.size();
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            frame = w.frameGeometry();
            QCOMPARE(w.size(), size);
        }
        QVERIFY2(available.contains(frame),
            qPrintable(QStringLiteral("%1 at %2, the screen %3").arg(shown, describe(frame), describe(available))));
    }
};

TP_TEST_MAIN_WITH_SCREENS(TestPlacement)
#include "tst_placement.moc"
