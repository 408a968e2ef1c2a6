// The four windows against their layout tables: every control's kind, text, place and size
// (pixels at 96 DPI, i.e. twips / 15, relative to its container) and visibility; the
// windows' captions, client sizes and title-bar buttons; tab order; colours; the password
// mask. The expected numbers are typed here from the tables, not read from the product.

#include "DataGrid.h"
#include "FormWindow.h"
#include "StatusBar.h"
#include "TextArea.h"
#include "Windows.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>

using namespace tp;

class TestLayout : public QObject {
    Q_OBJECT

    void addRow(const char* window, const char* name, const char* kind, const QString& text, int x, int y, int w, int h,
        bool visible = true)
    {
        QTest::addRow("%s.%s", window, name) << QString::fromLatin1(window) << QString::fromLatin1(name)
                                             << QString::fromLatin1(kind) << text << QRect(x, y, w, h) << visible;
    }

    static QWidget& windowNamed(const QString& name)
    {
        if (name == QLatin1String("Form1"))
            return Windows::form1();
        if (name == QLatin1String("form2"))
            return Windows::form2();
        if (name == QLatin1String("Form3"))
            return Windows::form3();
        return Windows::form4();
    }

    static QString textOf(QWidget* c)
    {
        if (auto* e = qobject_cast<QLineEdit*>(c))
            return e->text();
        if (auto* a = qobject_cast<TextArea*>(c))
            return a->text();
        if (auto* l = qobject_cast<QLabel*>(c))
            return l->text();
        if (auto* b = qobject_cast<QPushButton*>(c))
            return b->text();
        if (auto* g = qobject_cast<QGroupBox*>(c))
            return g->title();
        if (auto* d = qobject_cast<DataControl*>(c))
            return d->caption();
        return {};
    }

    // The width of the columns in which a pixel differs from the same place of another image
    // (the text's ink against the same control without it), or from a colour (its ground).
    static int inkWidth(const QImage& a, const QImage& b, QRgb ground = 0)
    {
        int left = a.width(), right = -1;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                if (a.pixel(x, y) != (b.isNull() ? ground : b.pixel(x, y))) {
                    left = qMin(left, x);
                    right = qMax(right, x);
                }
            }
        return right < left ? 0 : right - left + 1;
    }

    // The ink of a text drawn in a font on its own.
    static int inkWidth(const QString& text, const QFont& font)
    {
        QImage image(QFontMetrics(font).horizontalAdvance(text) + 20, 40, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(10, 30, text);
        p.end();
        return inkWidth(image, {}, QColor(Qt::white).rgb());
    }

    static QList<QWidget*> tabChain(QWidget& window)
    {
        QList<QWidget*> chain;
        QWidget* w = &window;
        for (int i = 0; i < 100; ++i) {
            w = w->nextInFocusChain();
            if (w == &window)
                break;
            if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&window) && w->isEnabled())
                chain << w;
        }
        return chain;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(qFuzzyCompare(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 96.0),
            "these expectations are pixels at 96 DPI");
    }

    // The first window made asks the font database for its own font only: the application's
    // default font, which none of its controls shows, is not looked up (nor loaded) on the way
    // to the first paint. Runs first, before any font is cached.
    void loginWindowLooksUpItsFontOnly()
    {
        static QStringList requests;
        QLoggingCategory::setFilterRules(QStringLiteral("qt.text.font.match.debug=true"));
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext& context, const QString& text) {
                if (qstrcmp(context.category, "qt.text.font.match") == 0)
                    requests << text;
            });
        Windows::form1().grab();
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QStringLiteral("qt.text.font.match.debug=false"));
        const QString asked = requests.join(QLatin1Char('\n'));
        const QString windowFamily = Windows::form1().font().families().value(0);
        QVERIFY2(asked.contains(QStringLiteral("family: ") + windowFamily + QStringLiteral(" [")), qPrintable(asked));
        QVERIFY2(!asked.contains(QStringLiteral("family: ") + QApplication::font().family() + QStringLiteral(" [")),
            qPrintable(asked));
    }

    void cleanup()
    {
        Windows::unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!qobject_cast<FormWindow*>(w), qPrintable(w->objectName() + " survived"));
    }

    void controls_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<bool>("visible");

        // Login window; places inside Picture1.
        addRow("Form1", "Picture1", "tp::PictureBox", {}, 0, -8, 433, 273);
        addRow("Form1", "Label1", "QLabel", "服务器：", 160, 58, 48, 12);
        addRow("Form1", "fwq", "QLineEdit", "(local)", 208, 56, 129, 18);
        addRow("Form1", "Label3", "QLabel", "SA密码：", 160, 98, 48, 12);
        addRow("Form1", "mm", "QLineEdit", "", 208, 96, 129, 18);
        addRow("Form1", "Command1", "QPushButton", "确定", 176, 152, 65, 25);
        addRow("Form1", "Command2", "QPushButton", "退出", 264, 152, 65, 25);
        addRow("Form1", "Label2", "QLabel", "V1.0", 328, 16, 24, 12);
        addRow("Form1", "DataGrid1", "tp::DataGrid", {}, 40, 184, 9, 9, false);

        // Main window, top level.
        addRow("form2", "DataGrid1", "tp::DataGrid", {}, 8, 8, 161, 417);
        addRow("form2", "Drive1", "tp::DriveList", {}, 176, 8, 377, 20);
        addRow("form2", "Dir1", "tp::FolderList", {}, 176, 27, 377, 160);
        addRow("form2", "Frame1", "QGroupBox", "", 176, 192, 377, 145);
        addRow("form2", "Frame3", "QGroupBox", "", 176, 344, 377, 81);
        addRow("form2", "StatusBar1", "tp::StatusBar", {}, 0, 428, 559, 25);
        addRow("form2", "Adodc1", "tp::DataControl", "Adodc1", 88, 480, 80, 22, false);
        addRow("form2", "Text7", "QLineEdit", "", 248, 488, 73, 18, false);
        addRow("form2", "Text8", "QLineEdit", "Text8", 248, 512, 73, 18, false);
        // inside Frame1
        addRow("form2", "Label2", "QLabel", "账 套 号", 8, 18, 57, 17);
        addRow("form2", "Text2", "QLineEdit", "001", 64, 16, 97, 18);
        addRow("form2", "Label3", "QLabel", "开始年度", 8, 42, 48, 12);
        addRow("form2", "Text3", "QLineEdit", "", 64, 40, 97, 18);
        addRow("form2", "Label6", "QLabel", "年度个数", 8, 66, 48, 12);
        addRow("form2", "Text6", "QLineEdit", "", 64, 64, 97, 18);
        addRow("form2", "Label7", "QLabel", "数据源路径", 8, 88, 65, 17);
        addRow("form2", "Text4", "tp::TextArea", "", 8, 104, 361, 33);
        addRow("form2", "Command7", "QPushButton", "自动附加数据库", 200, 16, 113, 25);
        addRow("form2", "Command10", "QPushButton", "手动附加数据库", 200, 56, 113, 25);
        addRow("form2", "Command8", "QPushButton", "Command8", 240, 64, 17, 17, false);
        addRow("form2", "Text1", "QLineEdit", "", 72, 16, 57, 18, false);
        // inside Frame3
        addRow("form2", "Label5", "QLabel", "数据库", 8, 18, 57, 17);
        addRow("form2", "Text5", "QLineEdit", "", 48, 16, 313, 18);
        addRow("form2", "Command2", "QPushButton", "分离数据库", 24, 48, 89, 25);
        addRow("form2", "Command3", "QPushButton", "收缩日志", 120, 48, 65, 25);
        addRow("form2", "Command9", "QPushButton", "收缩数据库", 192, 48, 73, 25);
        addRow("form2", "Command6", "QPushButton", "退出", 272, 48, 81, 25);

        // Progress window.
        addRow("Form3", "Frame1", "QGroupBox", "", 5, 0, 417, 41);
        addRow("Form3", "Label1", "QLabel", "", 16, 16, 387, 12);

        // File window; the last five lie below the client area.
        addRow("Form4", "Label1", "QLabel", "数据路径", 8, 11, 48, 12);
        addRow("Form4", "Text1", "QLineEdit", "", 60, 8, 329, 18);
        addRow("Form4", "Label3", "QLabel", "日志路径", 8, 40, 49, 17);
        addRow("Form4", "Text2", "QLineEdit", "", 60, 40, 329, 18);
        addRow("Form4", "Label2", "QLabel", "数据名称", 8, 72, 48, 12);
        addRow("Form4", "Text3", "QLineEdit", "", 60, 72, 329, 18);
        addRow("Form4", "Command1", "QPushButton", "查找文件", 48, 104, 97, 25);
        addRow("Form4", "Command2", "QPushButton", "附加数据库", 160, 104, 97, 25);
        addRow("Form4", "Command3", "QPushButton", "退出", 272, 104, 89, 25);
        addRow("Form4", "Text4", "QLineEdit", "Text4", 136, 168, 185, 18);
        addRow("Form4", "Adodc1", "tp::DataControl", "Adodc1", 40, 208, 80, 25);
        addRow("Form4", "DataGrid1", "tp::DataGrid", {}, 128, 200, 153, 41);
        addRow("Form4", "Adodc2", "tp::DataControl", "Adodc2", 40, 232, 80, 22);
        addRow("Form4", "DataGrid2", "tp::DataGrid", {}, 128, 256, 153, 41);
    }

    void controls()
    {
        QFETCH(QString, window);
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(QRect, geometry);
        QFETCH(bool, visible);

        QWidget& w = windowNamed(window);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* c = w.findChild<QWidget*>(name);
        QVERIFY2(c, qPrintable(name + " missing"));
        QVERIFY2(c->inherits(kind.toLatin1()), c->metaObject()->className());
        QCOMPARE(c->geometry(), geometry);
        QCOMPARE(c->isVisibleTo(&w), visible);
        if (!kind.startsWith(QLatin1String("tp::DataGrid")) && kind != QLatin1String("tp::PictureBox")
            && kind != QLatin1String("tp::DriveList") && kind != QLatin1String("tp::FolderList")
            && kind != QLatin1String("tp::StatusBar"))
            QCOMPARE(textOf(c), text);
        // One font everywhere: 9 point.
        QCOMPARE(c->font().pointSize(), 9);
    }

    void windows_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QSize>("client");
        QTest::addColumn<bool>("minimize");
        QTest::newRow("Form1") << "Form1" << QStringLiteral("登陆") << QSize(364, 215) << true;
        QTest::newRow("form2") << "form2" << QStringLiteral("Tallyport  V1.0           www.tallyport.example")
                               << QSize(559, 453) << true;
        QTest::newRow("Form3") << "Form3" << QStringLiteral("附加数据库") << QSize(426, 46) << false;
        QTest::newRow("Form4") << "Form4" << QStringLiteral("附加数据库") << QSize(403, 142) << false;
    }

    void windows()
    {
        QFETCH(QString, window);
        QFETCH(QString, caption);
        QFETCH(QSize, client);
        QFETCH(bool, minimize);
        QWidget& w = windowNamed(window);
        QCOMPARE(w.objectName(), window);
        QCOMPARE(w.windowTitle(), caption);
        QCOMPARE(w.size(), client);
        QCOMPARE(w.minimumSize(), client);
        QCOMPARE(w.maximumSize(), client);
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w.windowFlags() & Qt::WindowCloseButtonHint);
        QCOMPARE(bool(w.windowFlags() & Qt::WindowMinimizeButtonHint), minimize);
        QVERIFY(!w.windowIcon().isNull());
        QVERIFY(w.font().families().contains(QStringLiteral("宋体")));
    }

    void tabOrder_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("Form1") << "Form1" << QStringList{"fwq", "mm", "Command1", "Command2", "Picture1"};
        QTest::newRow("form2") << "form2"
                               << QStringList{"Text2", "Text3", "Text6", "Command7", "Command10", "Command2",
                                      "Command3", "Command9", "Command6", "Text5", "DataGrid1", "Drive1", "Dir1",
                                      "Text4"};
        QTest::newRow("Form4") << "Form4"
                               << QStringList{"Text1", "Text2", "Text3", "Command1", "Command2", "Command3"};
    }

    void tabOrder()
    {
        QFETCH(QString, window);
        QFETCH(QStringList, order);
        QWidget& w = windowNamed(window);
        QStringList names;
        for (QWidget* c : tabChain(w))
            names << c->objectName();
        // The chain is a ring: start it at the first control of the table's order.
        const int start = names.indexOf(order.first());
        QVERIFY2(start >= 0, qPrintable(names.join(',')));
        names = names.mid(start) + names.mid(0, start);
        QCOMPARE(names, order);
    }

    void firstFocus_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("first");
        QTest::newRow("Form1") << "Form1" << "fwq";
        QTest::newRow("form2") << "form2" << "Text2";
        QTest::newRow("Form4") << "Form4" << "Text1";
    }

    void firstFocus()
    {
        QFETCH(QString, window);
        QFETCH(QString, first);
        QWidget& w = windowNamed(window);
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QVERIFY(QApplication::focusWidget());
        QCOMPARE(QApplication::focusWidget()->objectName(), first);
    }

    void colours_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QColor>("base");
        const QColor lightBlue(192, 192, 255), grey(192, 192, 192), teal(0, 192, 192);
        QTest::newRow("Form1.fwq") << "Form1" << "fwq" << QColor(Qt::white);
        QTest::newRow("Form1.mm") << "Form1" << "mm" << QColor(Qt::white);
        QTest::newRow("form2.Text2") << "form2" << "Text2" << lightBlue;
        QTest::newRow("form2.Text3") << "form2" << "Text3" << lightBlue;
        QTest::newRow("form2.Text6") << "form2" << "Text6" << lightBlue;
        QTest::newRow("form2.Text4") << "form2" << "Text4" << grey;
        QTest::newRow("form2.Text5") << "form2" << "Text5" << grey;
        QTest::newRow("form2.DataGrid1") << "form2" << "DataGrid1" << teal;
        QTest::newRow("form2.Drive1") << "form2" << "Drive1" << teal;
        QTest::newRow("form2.Dir1") << "form2" << "Dir1" << teal;
        QTest::newRow("Form4.Text1") << "Form4" << "Text1" << lightBlue;
        QTest::newRow("Form4.Text2") << "Form4" << "Text2" << lightBlue;
        QTest::newRow("Form4.Text3") << "Form4" << "Text3" << lightBlue;
    }

    void colours()
    {
        QFETCH(QString, window);
        QFETCH(QString, name);
        QFETCH(QColor, base);
        QWidget* c = windowNamed(window).findChild<QWidget*>(name);
        QVERIFY(c);
        QCOMPARE(c->palette().color(QPalette::Base), base);
    }

    void readOnlyBoxes()
    {
        QWidget& w = Windows::form2();
        auto* text5 = w.findChild<QLineEdit*>("Text5");
        auto* text4 = w.findChild<TextArea*>("Text4");
        QVERIFY(text5->isReadOnly());
        QVERIFY(text4->isReadOnly());
        QVERIFY(text4->textInteractionFlags() & Qt::TextSelectableByMouse);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // A long path wraps onto a second line.
        text4->setText(QStringLiteral("D:\\accounting data\\ZT001\\2007\\") + QString(60, QLatin1Char('x'))
            + QStringLiteral("\\ufdata.MDF"));
        QTRY_VERIFY(text4->document()->firstBlock().layout()->lineCount() > 1);
        QCOMPARE(text4->document()->blockCount(), 1);
        // Typing changes nothing.
        text4->setFocus();
        QTest::keyClicks(text4, "abc");
        QVERIFY(!text4->text().contains("abc"));
        QTest::keyClicks(text5, "abc");
        QCOMPARE(text5->text(), QString());
    }

    void passwordShowsStars()
    {
        QWidget& w = Windows::form1();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* mm = w.findChild<QLineEdit*>("mm");
        QCOMPARE(mm->echoMode(), QLineEdit::Password);
        QCOMPARE(mm->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, mm), int('*'));
        QVERIFY(!mm->testAttribute(Qt::WA_InputMethodEnabled));
        QTest::keyClicks(mm, "s3cret;x");
        QCOMPARE(mm->text(), QStringLiteral("s3cret;x"));
        QCOMPARE(mm->displayText(), QStringLiteral("********"));
    }

    void defaultButtonTakesEnter()
    {
        QWidget& w = Windows::form1();
        auto* ok = w.findChild<QPushButton*>("Command1");
        auto* exit = w.findChild<QPushButton*>("Command2");
        QVERIFY(ok->isDefault());
        QVERIFY(!exit->isDefault());
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QSignalSpy clicked(ok, &QPushButton::clicked);
        QTest::keyClick(w.findChild<QLineEdit*>("mm"), Qt::Key_Return);
        QCOMPARE(clicked.count(), 1);
    }

    void mainGrid()
    {
        auto* grid = Windows::form2().findChild<DataGrid*>("DataGrid1");
        QCOMPARE(grid->model()->columnCount(), 2);
        QCOMPARE(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("数据库名称"));
        QCOMPARE(grid->model()->headerData(1, Qt::Horizontal).toString(), QString());
        QCOMPARE(grid->columns().first().dataField, QStringLiteral("name"));
        QCOMPARE(grid->verticalHeader()->defaultSectionSize(), 21); // 16 points
        QVERIFY(grid->horizontalHeader()->height() >= 2 * grid->fontMetrics().height());
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    }

    void statusBar()
    {
        auto* bar = Windows::form2().findChild<StatusBar*>("StatusBar1");
        QCOMPARE(bar->panelCount(), 4);
        QCOMPARE(bar->panelWidth(0), 200);
        QCOMPARE(bar->panelWidth(1), 133);
        QCOMPARE(bar->panelWidth(2), 120);
        QCOMPARE(bar->panelWidth(3), 96);
        QVERIFY(bar->panelText(3).startsWith('[') && bar->panelText(3).endsWith(']'));
    }

    void textDrawnWhole_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("panel"); // status bar panel, -1 for a label
        for (const char* name : {"Label1", "Label3", "Label2"})
            QTest::addRow("Form1.%s", name) << "Form1" << name << -1;
        for (const char* name : {"Label2", "Label3", "Label6", "Label7", "Label5"})
            QTest::addRow("form2.%s", name) << "form2" << name << -1;
        for (int panel = 0; panel < 4; ++panel)
            QTest::addRow("form2.StatusBar1.%d", panel) << "form2" << "StatusBar1" << panel;
        for (const char* name : {"Label1", "Label3", "Label2"})
            QTest::addRow("Form4.%s", name) << "Form4" << name << -1;
    }

    void textDrawnWhole()
    {
        // Every text in the windows' one size, 9 points: it fits its box, and its ink is as
        // wide as that font's ink of the text (not drawn smaller, not cut off).
        QFETCH(QString, window);
        QFETCH(QString, name);
        QFETCH(int, panel);
        QWidget& w = windowNamed(window);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QWidget* c = w.findChild<QWidget*>(name);
        QVERIFY(c);
        QString text;
        int room = 0, ink = 0;
        if (panel < 0) {
            auto* label = qobject_cast<QLabel*>(c);
            text = label->text();
            room = label->width();
            const QImage with = label->grab().toImage();
            label->setText(QString());
            ink = inkWidth(with, label->grab().toImage());
            label->setText(text);
        } else {
            auto* bar = qobject_cast<StatusBar*>(c);
            text = bar->panelText(panel);
            int x = 0;
            for (int i = 0; i < panel; ++i)
                x += bar->panelWidth(i);
            // Inside the panel's sunken frame.
            const QRect inside(x + 2, 3, bar->panelWidth(panel) - 4, bar->height() - 6);
            room = inside.width() - 4;
            ink = inkWidth(bar->grab().toImage().copy(inside), {}, bar->palette().color(QPalette::Window).rgb());
        }
        const QFontMetrics fm(w.font());
        const int advance = fm.horizontalAdvance(text);
        const int expectedInk = inkWidth(text, w.font());
        QVERIFY2(advance <= room,
            qPrintable(QStringLiteral("\"%1\" needs %2 pixels, has %3").arg(text).arg(advance).arg(room)));
        QVERIFY2(qAbs(ink - expectedInk) <= 1,
            qPrintable(QStringLiteral("\"%1\": ink %2 pixels wide, %3 in 9 points").arg(text).arg(ink).arg(expectedInk)));
    }

    void timers_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("active");
        QTest::newRow("form2.Timer1") << "form2" << "Timer1" << 1 << true;
        QTest::newRow("form2.Timer2") << "form2" << "Timer2" << 500 << false;
        QTest::newRow("Form3.Timer1") << "Form3" << "Timer1" << 10 << true;
    }

    void timers()
    {
        QFETCH(QString, window);
        QFETCH(QString, name);
        QFETCH(int, interval);
        QFETCH(bool, active);
        QTimer* t = findTimer(windowNamed(window), name);
        QCOMPARE(t->interval(), interval);
        QCOMPARE(t->isActive(), active);
    }
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
