// The scan window: opened by the folder list's context menu, the plan as a table, the state
// filter, attach of everything missing with its summary and the main window's grid refreshed,
// and cancel.

#include "FolderList.h"
#include "GuiFixture.h"
#include "ScanWindow.h"
#include "TestScreens.h"
#include "Windows.h"
#include "operations_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QPointer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using tp::ScanWindow;
using tp::Windows;
using namespace tp::test;

namespace {

QStringList tableRows(ScanWindow* w, bool visibleOnly = false)
{
    auto* t = w->findChild<QTableWidget*>(QStringLiteral("planTable"));
    QStringList rows;
    for (int r = 0; r < t->rowCount(); ++r) {
        if (visibleOnly && t->isRowHidden(r))
            continue;
        rows << t->item(r, 2)->text() + QLatin1Char(' ') + t->item(r, 3)->text();
    }
    return rows;
}

void click(ScanWindow* w, const char* button)
{
    QTest::mouseClick(w->findChild<QAbstractButton*>(QString::fromLatin1(button)), Qt::LeftButton);
}

} // namespace

class TestScanWindow : public QObject
{
    Q_OBJECT
    GuiFixture fx;
    QTemporaryDir tmp;
    QString root;

    // Signs in, makes 001/2005 and 001/2006 (no log) on disk, and opens the scan window from
    // the folder list's context menu on the data root's row.
    ScanWindow* openFromFolderList()
    {
        if (!fx.signIn() || !makeAccountYearFiles(fx, root, "001", 2005)
            || !makeAccountYearFiles(fx, root, "001", 2006))
            return nullptr;
        QFile::remove(accountYearDir(root, "001", 2006) + "/ufdata.LDF");
        auto* dir1 = tp::control<tp::FolderList>(Windows::form2(), "Dir1");
        dir1->setPath(tmp.path());
        int row = -1;
        for (int i = 0; i < dir1->count(); ++i) {
            if (dir1->rowPath(i) == QDir::toNativeSeparators(root))
                row = i;
        }
        if (row < 0)
            return nullptr;
        const QPoint pos = dir1->visualItemRect(dir1->item(row)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, dir1->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(dir1->viewport(), &event);
        auto* menu = dir1->findChild<QMenu*>(QStringLiteral("ScanMenu"));
        if (!menu || menu->actions().size() != 1 || menu->actions().first()->text() != QStringLiteral("扫描账套…"))
            return nullptr;
        menu->actions().first()->trigger();
        menu->close();
        return ScanWindow::instance();
    }

private slots:
    void init()
    {
        QVERIFY2(fx.startServer(), qPrintable(fx.lastError()));
        root = tmp.filePath(QStringLiteral("scan root")); // the test helper sends plain literals: no Chinese here
        QVERIFY(QDir().mkpath(root));
    }
    void cleanup()
    {
        if (ScanWindow::instance())
            ScanWindow::instance()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QDir(root).removeRecursively();
        QVERIFY2(fx.cleanup(), qPrintable(fx.lastError()));
    }

    void planFilterAndAttachAll()
    {
        ScanWindow* w = openFromFolderList();
        QVERIFY2(w, qPrintable("the scan window did not open from Dir1's menu " + fx.lastError()));
        QCOMPARE(w->root(), QDir::toNativeSeparators(root));
        auto* t = w->findChild<QTableWidget*>(QStringLiteral("planTable"));
        QStringList headers;
        for (int c = 0; c < t->columnCount(); ++c)
            headers << t->horizontalHeaderItem(c)->text();
        QCOMPARE(headers,
            QStringList({ "账套号", "年度", "数据库名", "状态", "文件版本", "数据文件", "日志文件", "大小", "说明" }));
        QCOMPARE(tableRows(w), QStringList({ "UFDATA_001_2005 可附加", "UFDATA_001_2006 缺少日志文件" }));

        auto* filter = w->findChild<QComboBox*>(QStringLiteral("stateFilter"));
        filter->setCurrentIndex(filter->findText(QStringLiteral("缺少日志文件")));
        QCOMPARE(tableRows(w, true), QStringList({ "UFDATA_001_2006 缺少日志文件" }));

        click(w, "attachAllButton");
        QVERIFY2(fx.expectMessage({ QStringLiteral("附加 1 个，已存在 0 个，跳过 1 个，失败 0 个"), tp::vbInformation,
                     QStringLiteral("提示：") }),
            qPrintable(fx.lastError()));
        filter->setCurrentIndex(0);
        QCOMPARE(tableRows(w), QStringList({ "UFDATA_001_2005 已附加", "UFDATA_001_2006 缺少日志文件" }));
        QVERIFY2(gridNames().contains(QStringLiteral("UFDATA_001_2005")), qPrintable(gridNames().join(", ")));
        QVERIFY(Windows::form2().isEnabled());
    }

    void columnsFitTheScreen_data()
    {
        QTest::addColumn<QRect>("screen");
        QTest::newRow("1280x1024") << tp::test::bigScreen();
        QTest::newRow("1024x768") << tp::test::smallScreen();
    }

    // Long paths and a name the server has from other files, opened over the main window on
    // either screen: the window grows within that screen, the last column ends inside the
    // table, a path loses only its start (the year's folder and the file name stay), the state
    // keeps its words and names the other file, every other text is whole.
    void columnsFitTheScreen()
    {
        QFETCH(QRect, screen);
        const QString deep = root + "/restored from the old server/account sets of the branch office";
        QDir(tmp.filePath("old server")).removeRecursively(); // the files of the previous row
        QVERIFY2(fx.signIn() && makeAccountYearFiles(fx, deep, "001", 2005) && makeAccountYearFiles(fx, deep, "001", 2006)
                && createDatabase(fx, "UFDATA_001_2006", tmp.filePath("old server"), "ufdata", "ufdata_Log"),
            qPrintable(fx.lastError()));
        QWidget& form2 = Windows::form2();
        QRect mainFrame = form2.frameGeometry();
        mainFrame.moveCenter(screen.center());
        form2.move(form2.pos() + (mainFrame.topLeft() - form2.frameGeometry().topLeft()));
        ScanWindow* w = ScanWindow::open(QDir::toNativeSeparators(deep));
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QRect available = QGuiApplication::screenAt(screen.center())->availableGeometry();
        QVERIFY2(available.contains(w->frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(
            w->frameGeometry().x()).arg(w->frameGeometry().y()).arg(w->frameGeometry().width()).arg(w->frameGeometry().height())));
        QVERIFY2(w->width() > 760, "the window did not grow for its columns");

        auto* t = w->findChild<QTableWidget*>(QStringLiteral("planTable"));
        QCOMPARE(tableRows(w), QStringList({ "UFDATA_001_2005 可附加", "UFDATA_001_2006 名称已被占用（"
            + tmp.filePath("old server/d.mdf") + "）" }));
        const int last = t->columnCount() - 1;
        QVERIFY2(t->columnViewportPosition(last) + t->columnWidth(last) <= t->viewport()->width(),
            qPrintable(QStringLiteral("the last column ends at %1, the table at %2")
                           .arg(t->columnViewportPosition(last) + t->columnWidth(last))
                           .arg(t->viewport()->width())));
        const QFontMetrics fm = t->fontMetrics();
        for (int r = 0; r < t->rowCount(); ++r) {
            for (int c = 0; c < t->columnCount(); ++c) {
                const QString text = t->item(r, c)->text();
                const QString shown = w->shownCellText(r, c);
                const QString where = QStringLiteral("row %1 column %2: \"%3\" shows \"%4\"").arg(r).arg(c).arg(text, shown);
                QVERIFY2(fm.horizontalAdvance(shown) < t->columnWidth(c), qPrintable(where));
                if (shown == text)
                    continue;
                const QString year = t->item(r, 1)->text();
                if (c == 5 || c == 6) {
                    QVERIFY2(shown.startsWith(QChar(0x2026)) && text.endsWith(shown.mid(1))
                            && shown.contains("\\" + year + "\\"), qPrintable(where));
                } else {
                    QVERIFY2(c == 3 && screen == tp::test::smallScreen(), qPrintable(where));
                    QVERIFY2(shown.startsWith(QStringLiteral("名称已被占用（") + QChar(0x2026))
                            && text.endsWith(shown.mid(8)), qPrintable(where));
                }
            }
        }
    }

    // A year the server's verdict refuses shows its sentence and is not sent; the summary
    // names it.
    void refusedYearIsNotSent()
    {
        ScanWindow* w = openFromFolderList();
        QVERIFY2(w, "the scan window did not open");
        const QString junk = accountYearDir(root, "002", 2005);
        QVERIFY(QDir().mkpath(junk));
        for (const char* name : { "/ufdata.MDF", "/ufdata.LDF" }) {
            QFile f(junk + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(20000, 'x'));
        }
        click(w, "rescanButton");
        QCOMPARE(tableRows(w).last(), QStringLiteral("UFDATA_002_2005 不是数据库文件"));
        auto* t = w->findChild<QTableWidget*>(QStringLiteral("planTable"));
        QVERIFY2(t->item(t->rowCount() - 1, 8)->text().contains(QStringLiteral("不是有效的数据库文件")),
            qPrintable(t->item(t->rowCount() - 1, 8)->text()));
        fx.server().clearRequests();
        click(w, "attachAllButton");
        const QList<tp::ShownMessage> shown = fx.takeMessages();
        QVERIFY(shown.size() == 1 && shown[0].style == tp::vbCritical);
        QVERIFY2(shown[0].text.contains(QStringLiteral("不能附加 1 个\nUFDATA_002_2005 不是数据库文件：")),
            qPrintable(shown[0].text));
        for (const QString& sql : fx.server().sqlTexts())
            QVERIFY2(!sql.contains(QStringLiteral("sp_attach_db @dbname = N'UFDATA_002_2005'")), qPrintable(sql));
    }

    void cancelStopsBeforeTheNextYear()
    {
        ScanWindow* w = openFromFolderList();
        QVERIFY2(w, "the scan window did not open");
        fx.server().clearRequests();
        QTimer::singleShot(0, w, [w] { click(w, "cancelButton"); });
        click(w, "attachAllButton");
        // Every row is counted: the year the cancel left among the skipped.
        QVERIFY2(fx.expectMessage({ QStringLiteral("已取消，其余年度未附加。\n附加 0 个，已存在 0 个，跳过 2 个（其中 1 "
                                                   "个因取消而未附加），失败 0 个"),
                     tp::vbInformation, QStringLiteral("提示：") }),
            qPrintable(fx.lastError()));
        QCOMPARE(tableRows(w), QStringList({ "UFDATA_001_2005 可附加", "UFDATA_001_2006 缺少日志文件" }));
    }

    void closingDuringAttach_data()
    {
        QTest::addColumn<bool>("mainWindow");
        QTest::addColumn<QString>("summary"); // empty: no message
        QTest::newRow("the main window: the application ends") << true << QString();
        QTest::newRow("the scan window") << false
                                         << QStringLiteral("已取消，其余年度未附加。\n附加 1 个，已存在 0 个，跳过 1 "
                                                           "个（其中 1 个因取消而未附加），失败 0 个");
    }

    // Closed while the second of two years is about to be attached: it is not attached.
    void closingDuringAttach()
    {
        QFETCH(bool, mainWindow);
        QFETCH(QString, summary);
        QPointer<ScanWindow> w = openFromFolderList();
        QVERIFY2(w, "the scan window did not open");
        w->findChild<QCheckBox*>(QStringLiteral("rebuildLogCheck"))->setChecked(true);
        const int ends = fx.endApplicationCount();
        fx.server().clearRequests();
        bool mainTookInput = true;
        QTimer watch;
        watch.setInterval(0);
        connect(&watch, &QTimer::timeout, this, [&] {
            if (!w || w->findChild<QLabel*>(QStringLiteral("currentDatabaseLabel"))->text()
                    != QStringLiteral("正在附加 UFDATA_001_2006"))
                return;
            watch.stop();
            mainTookInput = Windows::form2().isEnabled();
            if (mainWindow)
                Windows::form2().close();
            else
                w->close();
        });
        watch.start();
        click(w, "attachAllButton");
        watch.stop();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        QVERIFY2(!mainTookInput, "the main window took input during the attach");
        QVERIFY2(!w, "the scan window stayed open");
        const QStringList sent = sentSql(fx);
        QVERIFY2(!sent.join(QLatin1Char('\n')).contains(QStringLiteral("UFDATA_001_2006")), qPrintable(sent.join("\n")));
        if (mainWindow) {
            QCOMPARE(fx.endApplicationCount(), ends + 1);
            // Nothing after the attach of the first year: no summary, no new scan, no list.
            QVERIFY2(!sent.isEmpty() && sent.last().startsWith(QStringLiteral("EXEC sp_attach_db @dbname = N'UFDATA_001_2005'")),
                qPrintable(sent.join("\n")));
            QVERIFY2(fx.expectNoMessage(), qPrintable(fx.lastError()));
            return;
        }
        QVERIFY2(fx.expectMessage({ summary, tp::vbInformation, QStringLiteral("提示：") }), qPrintable(fx.lastError()));
        QVERIFY(Windows::form2().isEnabled());
        QVERIFY2(gridNames().contains(QStringLiteral("UFDATA_001_2005")), qPrintable(gridNames().join(", ")));
    }
};

TP_TEST_MAIN_WITH_SCREENS(TestScanWindow)
#include "tst_scan_window.moc"
