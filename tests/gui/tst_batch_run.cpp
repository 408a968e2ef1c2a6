// The multi-year attach driven by form2's Timer2, with the progress window Form3, against the
// stand-in. Every statement is compared with the stand-in's request log.

#include "GuiFixture.h"
#include "Windows.h"
#include "operations_support.h"

#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

using tp::ShownMessage;
using tp::WindowId;
using tp::Windows;
using namespace tp::test;

namespace {

const QString refresh = QStringLiteral("select name from sysdatabases ORDER BY name");

QString attach(const QString& root, int year)
{
    const QString folder = root + QStringLiteral("\\ZT001\\") + QString::number(year);
    return QStringLiteral("EXEC sp_attach_db @dbname = N'UFDATA_001_%1',@filename1 = N'%2\\ufdata.MDF',"
                          "@filename2 = N'%2\\ufdata.LDF'")
        .arg(year)
        .arg(folder);
}

QString caption(int year, int left)
{
    return QStringLiteral("正在附加数据库 UFDATA_001_%1，还剩下 %2 个，请稍后．．．．．．").arg(year).arg(left);
}

const ShownMessage done { QStringLiteral("附加数据库完成！"), tp::vbInformation, QStringLiteral("提示：") };

QTimer* timer2()
{
    return Windows::form2().findChild<QTimer*>(QStringLiteral("Timer2"));
}

} // namespace

class TestBatchRun : public QObject
{
    Q_OBJECT
    GuiFixture fx;
    std::unique_ptr<QTemporaryDir> root;
    QString dataRootPath() const { return root->path(); }

    // Signs in, points the main window at the data root (written as `text1`, by default as
    // found), account set 001 from `startYear`.
    void prepare(int startYear, const QString& count, QString text1 = QString())
    {
        if (text1.isEmpty())
            text1 = dataRootPath();
        QVERIFY2(fx.signIn(), qPrintable(fx.lastError()));
        setBox(QStringLiteral("Text1"), text1);
        setBox(QStringLiteral("Text2"), QStringLiteral("001"));
        setBox(QStringLiteral("Text3"), QString::number(startYear));
        setBox(QStringLiteral("Text6"), count);
        const QString dataFile
            = text1 + QStringLiteral("\\ZT001\\") + QString::number(startYear) + QStringLiteral("\\ufdata.MDF");
        // The path display follows within a tick; the start action tests what it shows.
        QTRY_COMPARE_WITH_TIMEOUT(box(QStringLiteral("Text4")), dataFile, 5000);
        fx.server().clearRequests();
    }

private slots:
    void init()
    {
        root = std::make_unique<QTemporaryDir>();
        QVERIFY(root->isValid());
        QVERIFY2(fx.startServer(), qPrintable(fx.lastError()));
    }
    void cleanup() { QVERIFY2(fx.cleanup(), qPrintable(fx.lastError())); }

    void runOfThree();
    void count_data();
    void count();
    void emptyCount();
    void startYearMissing_data();
    void startYearMissing();
    void failingStepThenResume();
    void serverGoneBetweenSteps();
    void yearAlreadyThere_data();
    void yearAlreadyThere();
    void closingProgressWindowCancels_data();
    void closingProgressWindowCancels();
};

void TestBatchRun::runOfThree()
{
    for (int year : { 2005, 2006, 2007 })
        QVERIFY2(makeAccountYearFiles(fx, dataRootPath(), QStringLiteral("001"), year), qPrintable(fx.lastError()));
    prepare(2005, QStringLiteral("3"));
    if (QTest::currentTestFailed())
        return;
    RunObserver run(fx);

    QVERIFY2(clickMayRun(QStringLiteral("Command7")), "the run did not finish");

    const QString dataRoot = dataRootPath();
    QVERIFY2(sameSql(fx,
                 { attach(dataRoot, 2005), refresh, attach(dataRoot, 2006), refresh, attach(dataRoot, 2007), refresh }),
        qPrintable(sqlMismatch));
    QVERIFY2(fx.expectMessage(done), qPrintable(fx.lastError()));

    QCOMPARE(run.after.size(), 4);
    // Text6 counts down on every tick; Text3 moves on after each attach.
    const QStringList text6 { "2", "1", "0", "0" };
    const QStringList text3 { "2006", "2007", "2008", "2008" };
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(run.after[i].text6, text6[i]);
        QCOMPARE(run.after[i].text3, text3[i]);
    }
    // The grid follows every year, not only the end: one attach and one refresh per tick.
    QVERIFY(run.after[0].grid.contains("UFDATA_001_2005"));
    QVERIFY(!run.after[0].grid.contains("UFDATA_001_2006"));
    QVERIFY(run.after[1].grid.contains("UFDATA_001_2006"));
    QVERIFY(!run.after[1].grid.contains("UFDATA_001_2007"));
    QVERIFY(run.after[2].grid.contains("UFDATA_001_2007"));
    QCOMPARE(run.after[0].requestCount, 2);
    QCOMPARE(run.after[1].requestCount, 4);
    QCOMPARE(run.after[2].requestCount, 6);
    QCOMPARE(run.after[3].requestCount, 6);

    // The progress line before each tick: the year the tick attaches and what remains after it;
    // after the last step it keeps its text and its timer stops.
    QCOMPARE(run.before.size(), 4);
    QCOMPARE(run.before[0].caption, caption(2005, 2));
    QCOMPARE(run.before[1].caption, caption(2006, 1));
    QCOMPARE(run.before[2].caption, caption(2007, 0));
    QVERIFY(run.before[2].progressTimerActive);
    QCOMPARE(run.before[3].caption, caption(2007, 0));
    QVERIFY(!run.before[3].progressTimerActive);
    // Right after a step the line still shows the step just done, until the window's own tick.
    QCOMPARE(run.after[0].caption, caption(2005, 2));

    // The finishing tick: timer off and the progress window gone before the message.
    QVERIFY(!run.after[3].stepTimerActive);
    QVERIFY(!run.after[3].progressLoaded);
    QVERIFY(!Windows::isLoaded(WindowId::Form3));
    QCOMPARE(box(QStringLiteral("Text3")), QStringLiteral("2008"));
    QCOMPARE(box(QStringLiteral("Text6")), QStringLiteral("0"));
    QCOMPARE(box(QStringLiteral("Text2")), QStringLiteral("001"));
}

void TestBatchRun::count_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<int>("years");
    QTest::addColumn<QStringList>("text6");
    QTest::newRow("0") << "0" << 0 << QStringList { "0" };
    QTest::newRow("03 counts as 3") << "03" << 3 << QStringList { "2", "1", "0", "0" };
    QTest::newRow("pasted non-number reads as 0") << "x7" << 0 << QStringList { "0" };
}

void TestBatchRun::count()
{
    QFETCH(QString, count);
    QFETCH(int, years);
    QFETCH(QStringList, text6);
    for (int year : { 2005, 2006, 2007 })
        QVERIFY2(makeAccountYearFiles(fx, dataRootPath(), QStringLiteral("001"), year), qPrintable(fx.lastError()));
    prepare(2005, count);
    if (QTest::currentTestFailed())
        return;
    RunObserver run(fx);

    QVERIFY2(clickMayRun(QStringLiteral("Command7")), "the run did not finish");

    QStringList expected;
    for (int i = 0; i < years; ++i)
        expected << attach(dataRootPath(), 2005 + i) << refresh;
    QVERIFY2(sameSql(fx, expected), qPrintable(sqlMismatch));
    QVERIFY2(fx.expectMessage(done), qPrintable(fx.lastError()));
    QStringList shown;
    for (const TickSnapshot& s : run.after)
        shown << s.text6;
    QCOMPARE(shown, text6);
    QCOMPARE(box(QStringLiteral("Text3")), QString::number(2005 + years));
    if (years == 0) {
        // The progress window was up for one tick and never had a year to show.
        QCOMPARE(run.before.size(), 1);
        QVERIFY(run.before[0].progressLoaded);
        QCOMPARE(run.before[0].caption, QString());
        QVERIFY(!run.before[0].progressTimerActive);
    }
}

void TestBatchRun::emptyCount()
{
    QVERIFY2(makeAccountYearFiles(fx, dataRootPath(), QStringLiteral("001"), 2005), qPrintable(fx.lastError()));
    prepare(2005, QString());
    if (QTest::currentTestFailed())
        return;

    QVERIFY2(clickMayRun(QStringLiteral("Command7")), "a run started");

    QVERIFY2(fx.expectMessage({ QStringLiteral("请输入年度个数！"), tp::vbCritical, QStringLiteral("错误：") }),
        qPrintable(fx.lastError()));
    QVERIFY2(sameSql(fx, QStringList()), qPrintable(sqlMismatch));
    QVERIFY(!timer2()->isActive());
    QVERIFY(!Windows::isLoaded(WindowId::Form3));
    QCOMPARE(box(QStringLiteral("Text3")), QStringLiteral("2005"));
}

void TestBatchRun::startYearMissing_data()
{
    QTest::addColumn<QString>("count");
    QTest::newRow("3") << "3";
    QTest::newRow("0") << "0";
    QTest::newRow("empty: the file test comes first") << "";
}

void TestBatchRun::startYearMissing()
{
    QFETCH(QString, count);
    // 2006 is there, the start year 2005 is not.
    QVERIFY2(makeAccountYearFiles(fx, dataRootPath(), QStringLiteral("001"), 2006), qPrintable(fx.lastError()));
    prepare(2005, count);
    if (QTest::currentTestFailed())
        return;

    QVERIFY2(clickMayRun(QStringLiteral("Command7")), "a run started");

    QVERIFY2(fx.expectMessage({ QStringLiteral("附加的文件不存在，请检查数据源路径是否正确！"), tp::vbCritical,
                 QStringLiteral("错误：") }),
        qPrintable(fx.lastError()));
    QVERIFY2(sameSql(fx, QStringList()), qPrintable(sqlMismatch));
    QVERIFY(!timer2()->isActive());
    QCOMPARE(box(QStringLiteral("Text6")), count);
}

void TestBatchRun::failingStepThenResume()
{
    // 2007's folder is missing: the run attaches 2005 and 2006, then the server refuses 2007.
    for (int year : { 2005, 2006 })
        QVERIFY2(makeAccountYearFiles(fx, dataRootPath(), QStringLiteral("001"), year), qPrintable(fx.lastError()));
    prepare(2005, QStringLiteral("3"));
    if (QTest::currentTestFailed())
        return;
    RunObserver run(fx);

    QVERIFY2(clickMayRun(QStringLiteral("Command7")), "the run did not end");

    const QString dataRoot = dataRootPath();
    // After 5120 the step looks for an attached database that uses the file, for the hint.
    QVERIFY2(sameSql(fx,
                 { attach(dataRoot, 2005), refresh, attach(dataRoot, 2006), refresh, attach(dataRoot, 2007),
                     QStringLiteral("SELECT name, filename FROM master..sysdatabases") }),
        qPrintable(sqlMismatch));
    const QList<ShownMessage> shown = fx.takeMessages();
    QCOMPARE(shown.size(), 1); // the error report, and no completion message
    QCOMPARE(shown[0].title, QStringLiteral("错误："));
    QCOMPARE(shown[0].style, tp::vbCritical);
    QVERIFY2(shown[0].text.contains(QStringLiteral("错误号：5120\n")), qPrintable(describe(shown[0])));
    // The operating system's error tells the missing folder apart from a missing file.
    QVERIFY2(
        shown[0].text.startsWith(QStringLiteral("服务器上不存在文件夹“") + dataRoot + QStringLiteral("\\ZT001\\2007”")),
        qPrintable(describe(shown[0])));
    QCOMPARE(run.after.size(), 3);
    // The run stopped at the failing year: nothing more ticks, the window is gone.
    QVERIFY(!timer2()->isActive());
    QVERIFY(!Windows::isLoaded(WindowId::Form3));
    QCOMPARE(box(QStringLiteral("Text3")), QStringLiteral("2007"));
    QCOMPARE(box(QStringLiteral("Text6")), QStringLiteral("1"));
    QVERIFY(gridNames().contains("UFDATA_001_2006"));
    QVERIFY(!gridNames().contains("UFDATA_001_2007"));

    // The files turn up; pressing the button again attaches exactly the year that failed.
    QVERIFY2(makeAccountYearFiles(fx, dataRoot, QStringLiteral("001"), 2007), qPrintable(fx.lastError()));
    QTRY_COMPARE_WITH_TIMEOUT(
        box(QStringLiteral("Text4")), dataRoot + QStringLiteral("\\ZT001\\2007\\ufdata.MDF"), 5000);
    fx.server().clearRequests();
    QVERIFY2(clickMayRun(QStringLiteral("Command7")), "the resumed run did not finish");
    QVERIFY2(sameSql(fx, QStringList({ attach(dataRoot, 2007), refresh })), qPrintable(sqlMismatch));
    QVERIFY2(fx.expectMessage(done), qPrintable(fx.lastError()));
    QCOMPARE(box(QStringLiteral("Text3")), QStringLiteral("2008"));
    QCOMPARE(box(QStringLiteral("Text6")), QStringLiteral("0"));
    QVERIFY(gridNames().contains("UFDATA_001_2007"));
}

void TestBatchRun::serverGoneBetweenSteps()
{
    for (int year : { 2005, 2006 })
        QVERIFY2(makeAccountYearFiles(fx, dataRootPath(), QStringLiteral("001"), year), qPrintable(fx.lastError()));
    prepare(2005, QStringLiteral("2"));
    if (QTest::currentTestFailed())
        return;
    RunObserver run(fx);
    run.afterTick = [this](int tick) {
        if (tick == 1)
            fx.server().stop();
    };

    QVERIFY2(clickMayRun(QStringLiteral("Command7")), "the run did not end");

    const QList<ShownMessage> shown = fx.takeMessages();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("错误："));
    QVERIFY(!timer2()->isActive());
    QVERIFY(!Windows::isLoaded(WindowId::Form3));
    QCOMPARE(box(QStringLiteral("Text3")), QStringLiteral("2006"));
    QCOMPARE(box(QStringLiteral("Text6")), QStringLiteral("1"));
    QCOMPARE(run.after.size(), 2);
    QVERIFY(run.after[1].grid.contains("UFDATA_001_2005")); // as the last good step left it

    // The server is back (on a new port, which the hidden login box is told): the run resumes
    // with 2006 and nothing is skipped.
    QVERIFY2(fx.server().restart(), qPrintable(fx.server().lastError()));
    tp::control<QLineEdit>(Windows::form1(), QStringLiteral("fwq"))->setText(fx.server().serverName());
    fx.server().clearRequests();
    QVERIFY2(clickMayRun(QStringLiteral("Command7")), "the resumed run did not finish");
    QVERIFY2(sameSql(fx, QStringList({ attach(dataRootPath(), 2006), refresh })), qPrintable(sqlMismatch));
    QVERIFY2(fx.expectMessage(done), qPrintable(fx.lastError()));
    QCOMPARE(box(QStringLiteral("Text3")), QStringLiteral("2007"));
    QVERIFY(gridNames().contains("UFDATA_001_2005"));
    QVERIFY(gridNames().contains("UFDATA_001_2006"));
}

void TestBatchRun::yearAlreadyThere_data()
{
    QTest::addColumn<bool>("sameFiles");
    QTest::addColumn<QString>("text1"); // the data root as the main window has it
    QTest::newRow("attached from these files: the reply was lost") << true << "<root>";
    QTest::newRow("the name belongs to other files") << false << "<root>";
    // A drive root ("C:\") gives the scheme's "C:\\ZT001\..." where the scan window sent "C:\ZT001\...".
    QTest::newRow("the root ends with a separator") << true << "<root>\\";
#ifndef Q_OS_WIN
    QTest::newRow("the root through a link") << true << "<link>";
#endif
}

void TestBatchRun::yearAlreadyThere()
{
    QFETCH(bool, sameFiles);
    QFETCH(QString, text1);
    QTemporaryDir links;
    const QString link = links.filePath(QStringLiteral("root"));
#ifndef Q_OS_WIN
    QVERIFY(QFile::link(dataRootPath(), link));
#endif
    text1.replace(QLatin1String("<root>"), dataRootPath()).replace(QLatin1String("<link>"), link);
    for (int year : { 2005, 2006 })
        QVERIFY2(makeAccountYearFiles(fx, dataRootPath(), QStringLiteral("001"), year), qPrintable(fx.lastError()));
    // The server reports the path as it was given: here with / where the step sends \.
    const QString dir = accountYearDir(dataRootPath(), QStringLiteral("001"), 2005);
    const QString otherDir = dataRootPath() + QStringLiteral("/other");
    if (sameFiles)
        QVERIFY2(fx.execute(QStringLiteral("EXEC sp_attach_db @dbname = N'UFDATA_001_2005',@filename1 = "
                                           "N'%1/ufdata.MDF',@filename2 = N'%1/ufdata.LDF'")
                                .arg(dir)),
            qPrintable(fx.lastError()));
    else
        QVERIFY2(
            createDatabase(fx, QStringLiteral("UFDATA_001_2005"), otherDir, QStringLiteral("d"), QStringLiteral("l")),
            qPrintable(fx.lastError()));
    prepare(2005, QStringLiteral("2"), text1);
    if (QTest::currentTestFailed())
        return;

    QVERIFY2(clickMayRun(QStringLiteral("Command7")), "the run did not end");

    const QString dataRoot = text1;
    const QString lookup = QStringLiteral("SELECT filename FROM master..sysdatabases WHERE name = N'UFDATA_001_2005'");
    if (sameFiles) {
        QVERIFY2(sameSql(fx, { attach(dataRoot, 2005), lookup, refresh, attach(dataRoot, 2006), refresh }),
            qPrintable(sqlMismatch));
        QVERIFY2(fx.expectMessage(done), qPrintable(fx.lastError()));
        QCOMPARE(box(QStringLiteral("Text3")), QStringLiteral("2007"));
        return;
    }
    QVERIFY2(sameSql(fx, { attach(dataRoot, 2005), lookup }), qPrintable(sqlMismatch));
    const QList<ShownMessage> shown = fx.takeMessages();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0].text.contains(QStringLiteral("另外的文件：") + otherDir + QStringLiteral("/d.mdf")),
        qPrintable(describe(shown[0])));
    QVERIFY(!timer2()->isActive());
    QCOMPARE(box(QStringLiteral("Text3")), QStringLiteral("2005"));
    QCOMPARE(box(QStringLiteral("Text6")), QStringLiteral("2"));
}

void TestBatchRun::closingProgressWindowCancels_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("close box") << false;
    QTest::newRow("Esc") << true;
}

void TestBatchRun::closingProgressWindowCancels()
{
    QFETCH(bool, escape);
    for (int year : { 2005, 2006, 2007 })
        QVERIFY2(makeAccountYearFiles(fx, dataRootPath(), QStringLiteral("001"), year), qPrintable(fx.lastError()));
    prepare(2005, QStringLiteral("3"));
    if (QTest::currentTestFailed())
        return;
    RunObserver run(fx);
    run.afterTick = [escape](int tick) {
        if (tick != 1 || !Windows::isLoaded(WindowId::Form3))
            return;
        if (escape)
            QTest::keyClick(&Windows::form3(), Qt::Key_Escape);
        else
            Windows::form3().close();
    };

    QVERIFY2(clickMayRun(QStringLiteral("Command7")), "closing the progress window did not end the run");

    QVERIFY2(sameSql(fx, QStringList({ attach(dataRootPath(), 2005), refresh })), qPrintable(sqlMismatch));
    QVERIFY2(fx.expectNoMessage(), qPrintable(fx.lastError()));
    QVERIFY(!timer2()->isActive());
    QVERIFY(!Windows::isLoaded(WindowId::Form3));
    QCOMPARE(run.after.size(), 1);
    // What remains: two years from 2006; a new start goes on from there.
    QCOMPARE(box(QStringLiteral("Text3")), QStringLiteral("2006"));
    QCOMPARE(box(QStringLiteral("Text6")), QStringLiteral("2"));
}

QTEST_MAIN(TestBatchRun)
#include "tst_batch_run.moc"
