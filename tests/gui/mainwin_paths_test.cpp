// The data file path on display in the main window, the data file test, and the selected
// database name across refreshes of the database grid.

#include "DataFileTest.h"
#include "DataGrid.h"
#include "DatabaseGrid.h"
#include "FolderList.h"
#include "GuiFixture.h"
#include "TextArea.h"
#include "Windows.h"
#include "mainwin_support.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTimer>

using tp::control;
using tp::Windows;

using namespace tp::test::mainwin;

namespace {

tp::TextArea* text4()
{
    return control<tp::TextArea>(Windows::form2(), QStringLiteral("Text4"));
}

QTimer* timer1()
{
    return tp::findTimer(Windows::form2(), QStringLiteral("Timer1"));
}

bool touch(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}

// A data root with account set 001: 2005 holds its data file only (no log file), 2006's
// "ufdata.MDF" is a folder, 2007 does not exist.
bool makeDataRoot(const QString& root)
{
    QDir d(root);
    return d.mkpath("ZT001/2005") && touch(root + "/ZT001/2005/ufdata.MDF") && d.mkpath("ZT001/2006/ufdata.MDF");
}

int gridRowOf(tp::DataGrid* grid, const QString& name)
{
    for (int r = 0; r < grid->rowCountShown(); ++r)
        if (grid->cellText(r, 0) == name)
            return r;
    return -1;
}

QStringList gridNames(tp::DataGrid* grid)
{
    QStringList names;
    for (int r = 0; r < grid->rowCountShown(); ++r)
        names << grid->cellText(r, 0);
    return names;
}

} // namespace

class MainwinPathsTest : public QObject
{
    Q_OBJECT
    tp::test::GuiFixture fx;

private slots:
    void init()
    {
        QVERIFY2(fx.startServer(), qPrintable(fx.lastError()));
        QVERIFY2(fx.signIn(), qPrintable(fx.lastError()));
    }
    void cleanup() { QVERIFY2(fx.cleanup(), qPrintable(fx.lastError())); }

    void showsPathAtLoad()
    {
        const QString year = QString::number(QDate::currentDate().year());
        QTRY_COMPARE(text4()->text(), native(QDir::currentPath()) + "\\ZT001\\" + year + "\\ufdata.MDF");
        QTRY_VERIFY2(!timer1()->isActive(), "the path timer keeps running with nothing to show");
    }

    void followsChangesMadeByCode()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString root = native(tmp.path());
        control<tp::FolderList>(Windows::form2(), "Dir1")->setPath(tmp.path());
        QTRY_COMPARE(text4()->text().left(root.size() + 3), root + "\\ZT");
        QTRY_VERIFY(!timer1()->isActive());

        // the year advanced by code, as an attach does
        box("Text3")->setText("2031");
        QTRY_COMPARE(text4()->text(), root + "\\ZT001\\2031\\ufdata.MDF");
        box("Text2")->setText("1");
        QTRY_COMPARE(text4()->text(), root + "\\ZT1\\2031\\ufdata.MDF");
        QTRY_VERIFY(!timer1()->isActive());

        // the year emptied by the user
        QTest::mouseClick(box("Text3"), Qt::LeftButton);
        QTest::keyClick(box("Text3"), Qt::Key_Backspace);
        QCOMPARE(box("Text3")->text(), QString());
        QTRY_COMPARE(text4()->text(), root + "\\ZT1\\\\ufdata.MDF");

        // the drive root keeps its separator, and the path its doubled one
        control<tp::FolderList>(Windows::form2(), "Dir1")->setPath(QDir::rootPath());
        box("Text3")->setText("2007");
        QTRY_COMPARE(text4()->text(), native(QDir::rootPath()) + "\\ZT1\\2007\\ufdata.MDF");
    }

    void idleDisplayKeepsSelection()
    {
        QTRY_VERIFY(!timer1()->isActive());
        tp::TextArea* t4 = text4();
        QTextCursor c = t4->textCursor();
        c.setPosition(2);
        c.setPosition(9, QTextCursor::KeepAnchor);
        t4->setTextCursor(c);
        const QString selected = t4->textCursor().selectedText();
        QVERIFY(!selected.isEmpty());

        // nothing changes: no tick, the text and the selection stay
        QSignalSpy ticks(timer1(), &QTimer::timeout);
        QSignalSpy rewrites(t4, &QPlainTextEdit::textChanged);
        QVERIFY(!ticks.wait(100));
        QCOMPARE(rewrites.count(), 0);
        QCOMPARE(t4->textCursor().selectedText(), selected);

        // a box set to the text it holds changes nothing either
        box("Text2")->setText(box("Text2")->text());
        QVERIFY(!ticks.wait(50));
        QCOMPARE(t4->textCursor().selectedText(), selected);
    }

    void dataFileTest_data()
    {
        QTest::addColumn<QString>("year");
        QTest::addColumn<bool>("present");
        QTest::newRow("data file present, log file missing") << "2005" << true;
        QTest::newRow("a folder named like the data file") << "2006" << false;
        QTest::newRow("year missing") << "2007" << false;
        QTest::newRow("year box empty") << "" << false;
    }
    void dataFileTest()
    {
        QFETCH(QString, year);
        QFETCH(bool, present);
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        QVERIFY(makeDataRoot(tmp.path()));
        control<tp::FolderList>(Windows::form2(), "Dir1")->setPath(tmp.path());
        box("Text2")->setText("001");
        box("Text3")->setText(year);
        // on every platform the path on display joins its pieces with backslashes
        QTRY_COMPARE(text4()->text(), native(tmp.path()) + "\\ZT001\\" + year + "\\ufdata.MDF");

        QCOMPARE(tp::dataFileTest(), present);
        if (present)
            QVERIFY2(fx.expectNoMessage(), qPrintable(fx.lastError()));
        else
            QVERIFY2(fx.expectMessage({ "附加的文件不存在，请检查数据源路径是否正确！", tp::vbCritical, "错误：" }),
                qPrintable(fx.lastError()));
    }

    void selectedNameKeptAcrossRefresh()
    {
        auto* grid = control<tp::DataGrid>(Windows::form2(), "DataGrid1");
        QVERIFY2(fx.execute("CREATE DATABASE utp_alpha"), qPrintable(fx.lastError()));
        tp::refreshDatabaseGrid();
        const int row = gridRowOf(grid, "utp_alpha");
        QVERIFY2(row >= 0, qPrintable(gridNames(grid).join(", ")));

        // picked in the grid by a click
        grid->scrollTo(grid->model()->index(row, 0));
        QTest::mouseClick(
            grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(row, 0)).center());
        QCOMPARE(box("Text5")->text(), QStringLiteral("utp_alpha"));

        // a refresh with the database still there
        tp::refreshDatabaseGrid();
        QCOMPARE(box("Text5")->text(), QStringLiteral("utp_alpha"));

        // detached, and another one attached, behind the window's back
        QVERIFY2(fx.execute("EXEC sp_detach_db 'utp_alpha'"), qPrintable(fx.lastError()));
        QVERIFY2(fx.execute("CREATE DATABASE utp_beta"), qPrintable(fx.lastError()));
        QVERIFY(gridRowOf(grid, "utp_beta") < 0); // not before the refresh
        tp::refreshDatabaseGrid();
        const QStringList names = gridNames(grid);
        QVERIFY2(names.contains("utp_beta"), qPrintable(names.join(", ")));
        QVERIFY2(!names.contains("utp_alpha"), qPrintable(names.join(", ")));
        QCOMPARE(box("Text5")->text(), QStringLiteral("utp_alpha"));
        QVERIFY2(fx.expectNoMessage(), qPrintable(fx.lastError()));
    }
};

QTEST_MAIN(MainwinPathsTest)
#include "mainwin_paths_test.moc"
