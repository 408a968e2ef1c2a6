// The file window against a stand-in: find file, what the file records, attach, the boxes.

#include "DataControl.h"
#include "DataGrid.h"
#include "GuiFixture.h"
#include "Windows.h"
#include "fileattach_dbfiles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace tp;
using tp::test::GuiFixture;

namespace {

const QString dialogTitle = QStringLiteral("打开");
const QString dialogFilter = QStringLiteral("数据库文件 (*.MDF)|*.MDF");

QLineEdit* box(QWidget& form4, const char* name)
{
    return control<QLineEdit>(form4, QString::fromLatin1(name));
}

QStringList boxTexts(QWidget& form4)
{
    return { box(form4, "Text1")->text(), box(form4, "Text2")->text(), box(form4, "Text3")->text(),
        box(form4, "Text4")->text() };
}

void click(QWidget& window, const char* button)
{
    QTest::mouseClick(control<QAbstractButton>(window, QString::fromLatin1(button)), Qt::LeftButton);
}

// A double-click as the mouse makes it: press, release, then the second press as a
// double-click, and its release.
void doubleClick(QWidget* w)
{
    QTest::mousePress(w, Qt::LeftButton);
    QTest::mouseRelease(w, Qt::LeftButton);
    QTest::mouseDClick(w, Qt::LeftButton);
    QTest::mouseRelease(w, Qt::LeftButton);
}

QStringList startingWith(const QStringList& texts, const QString& prefix)
{
    QStringList out;
    for (const QString& t : texts) {
        if (t.startsWith(prefix, Qt::CaseInsensitive))
            out << t;
    }
    return out;
}

QString dbcc(const QString& path, int option)
{
    return QStringLiteral("dbcc checkprimaryfile (N'%1',%2) ").arg(path).arg(option);
}

bool gridLists(const QString& name)
{
    auto* grid = control<DataGrid>(Windows::form2(), QStringLiteral("DataGrid1"));
    for (int row = 0; row < grid->rowCountShown(); ++row) {
        if (grid->cellText(row, 0) == name)
            return true;
    }
    return false;
}

} // namespace

class FileAttachWindowTest : public QObject
{
    Q_OBJECT
    GuiFixture fx;
    QTemporaryDir tmp;

    // Opens Form4 with form2's button, runs body while the modal window is up, and closes the
    // window if body left it open (also after a failed check), so the click always returns.
    void withForm4(const std::function<void(QWidget&)>& body);
    // Detached database files in the temporary folder; paths relative to it.
    QString makeFiles(const QString& name, const QStringList& dataFiles, const QString& logFile);
    // With the system's separators, as the file window shows paths.
    QString path(const QString& relative) const { return QDir::toNativeSeparators(tmp.filePath(relative)); }

private slots:
    void init();
    void cleanup();

    void opensModallyAndExitGivesTheMainWindowBack();
    void cancelledDialogChangesNothing_data();
    void cancelledDialogChangesNothing();
    void chosenFileFillsTheBoxesWithWhatItRecords();
    void recordedPaths_data();
    void recordedPaths();
    void failedLookupLeavesTheWindowAsItWas();
    void nameBoxTypesCapitals_data();
    void nameBoxTypesCapitals();
    void attachRefusedWhenAllBoxesEmpty();
    void attachWithOnlyANameIsSentAndRefused();
    void attachAddsTheDatabaseAndEmptiesTheBoxes();
    void secondFileOverwritesAllFourBoxes();
    void focusSelectsTheWholeText_data();
    void focusSelectsTheWholeText();
};

void FileAttachWindowTest::init()
{
    QVERIFY2(tmp.isValid(), qPrintable(tmp.errorString()));
    QVERIFY2(fx.startServer(), qPrintable(fx.lastError()));
    QVERIFY2(fx.signIn(), qPrintable(fx.lastError()));
}

void FileAttachWindowTest::cleanup()
{
    QVERIFY2(fx.cleanup(), qPrintable(fx.lastError()));
}

void FileAttachWindowTest::withForm4(const std::function<void(QWidget&)>& body)
{
    bool ran = false;
    QTimer::singleShot(0, [&] {
        ran = true;
        if (Windows::isLoaded(WindowId::Form4) && Windows::form4().isVisible()) {
            QWidget& form4 = Windows::form4();
            if (QTest::qWaitForWindowActive(&form4))
                body(form4);
            else
                QTest::qFail("Form4 did not become the active window", __FILE__, __LINE__);
        } else {
            QTest::qFail("form2.Command10 did not show Form4", __FILE__, __LINE__);
        }
        if (Windows::isLoaded(WindowId::Form4))
            Windows::unload(WindowId::Form4);
    });
    click(Windows::form2(), "Command10");
    QVERIFY2(ran, "the modal window's event loop never ran");
}

QString FileAttachWindowTest::makeFiles(const QString& name, const QStringList& dataFiles, const QString& logFile)
{
    QStringList data;
    for (const QString& f : dataFiles)
        data << path(f);
    for (const QString& f : data + QStringList { path(logFile) }) {
        if (!QDir().mkpath(QFileInfo(f).absolutePath()))
            return QStringLiteral("cannot make the folder of ") + f;
    }
    return tp::test::createDetachedDatabase(
        tp::test::standinMasterConnectionString(fx.server().serverName(), fx.server().password()), name, data,
        path(logFile));
}

void FileAttachWindowTest::opensModallyAndExitGivesTheMainWindowBack()
{
    withForm4([&](QWidget& form4) {
        QCOMPARE(QApplication::activeModalWidget(), &form4);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box(form4, "Text1")));
        QCOMPARE(boxTexts(form4), (QStringList { "", "", "", "Text4" }));
        QTest::keyClicks(box(form4, "Text2"), "typed");
        click(form4, "Command3");
        QVERIFY(!Windows::isLoaded(WindowId::Form4));
    });
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!Windows::isLoaded(WindowId::Form4));
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QVERIFY(Windows::form2().isVisible());

    // The main window's button works again and brings up a fresh window.
    withForm4([&](QWidget& form4) { QCOMPARE(boxTexts(form4), (QStringList { "", "", "", "Text4" })); });
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(fx.expectNoMessage(), qPrintable(fx.lastError()));
}

void FileAttachWindowTest::cancelledDialogChangesNothing_data()
{
    QTest::addColumn<bool>("byDoubleClick");
    QTest::newRow("查找文件") << false;
    QTest::newRow("double-click on the data path") << true;
}

void FileAttachWindowTest::cancelledDialogChangesNothing()
{
    QFETCH(bool, byDoubleClick);
    fx.server().clearRequests();
    withForm4([&](QWidget& form4) {
        box(form4, "Text1")->setText("C:\\hand\\a.mdf");
        box(form4, "Text2")->setText("C:\\hand\\a.ldf");
        box(form4, "Text3")->setText("HAND");
        if (byDoubleClick)
            doubleClick(box(form4, "Text1"));
        else
            click(form4, "Command1");
        QCOMPARE(fx.fileDialogRequests().size(), 1);
        QCOMPARE(fx.fileDialogRequests().first().first, dialogTitle);
        QCOMPARE(fx.fileDialogRequests().first().second, dialogFilter);
        QCOMPARE(boxTexts(form4), (QStringList { "C:\\hand\\a.mdf", "C:\\hand\\a.ldf", "HAND", "Text4" }));
        QVERIFY(form4.isVisible());
    });
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(fx.expectNoMessage(), qPrintable(fx.lastError()));
    QCOMPARE(startingWith(fx.server().sqlTexts(), "dbcc"), QStringList());
}

void FileAttachWindowTest::chosenFileFillsTheBoxesWithWhatItRecords()
{
    // Made in one folder, then moved: the boxes show where the file says its files are.
    QVERIFY2(makeFiles("Books_MixedCase", { "made/books.mdf" }, "made/books_log.ldf").isEmpty(),
        qPrintable(makeFiles("Books_MixedCase", { "made/books.mdf" }, "made/books_log.ldf")));
    QVERIFY(QDir().mkpath(path("moved")));
    QVERIFY(QFile::rename(path("made/books.mdf"), path("moved/books.mdf")));
    QVERIFY(QFile::rename(path("made/books_log.ldf"), path("moved/books_log.ldf")));

    fx.chooseFile(QDir::fromNativeSeparators(path("moved/books.mdf"))); // as Qt's dialog gives it
    fx.server().clearRequests();
    withForm4([&](QWidget& form4) {
        click(form4, "Command1");
        QCOMPARE(boxTexts(form4),
            (QStringList {
                path("made/books.mdf"), path("made/books_log.ldf"), "Books_MixedCase", path("moved/books.mdf") }));
    });
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(fx.expectNoMessage(), qPrintable(fx.lastError()));
    QCOMPARE(startingWith(fx.server().sqlTexts(), "dbcc"),
        (QStringList { dbcc(path("moved/books.mdf"), 1), dbcc(path("moved/books.mdf"), 2) }));
}

void FileAttachWindowTest::recordedPaths_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("dataFiles");
    QTest::addColumn<QString>("logFile");

    QTest::newRow("blank in a folder name") << "RECORDED" << QStringList { "sql data/ufdata.MDF" }
                                            << "sql data/ufdata.LDF";
    QTest::newRow("apostrophe in a folder name") << "RECORDED" << QStringList { "O'Brien books/x.mdf" }
                                                 << "O'Brien books/x.ldf";
    QTest::newRow("second data file before the log")
        << "RECORDED" << QStringList { "multi/main.mdf", "multi/more.ndf" } << "multi/main_log.ldf";
    QTest::newRow("log in another folder") << "RECORDED" << QStringList { "d/a.mdf" } << "logs here/a.ldf";
    // Chinese text both ways: in the statement sent, and read back from the file's record,
    // the server's messages and the grid.
    QTest::newRow("chinese name and folders") << "账套数据" << QStringList { "中文 账套/账套数据.MDF" }
                                              << "中文 账套/账套数据_日志.LDF";
}

void FileAttachWindowTest::recordedPaths()
{
    QFETCH(QString, name);
    QFETCH(QStringList, dataFiles);
    QFETCH(QString, logFile);
    const QString made = makeFiles(name, dataFiles, logFile);
    QVERIFY2(made.isEmpty(), qPrintable(made));

    const QString mdf = path(dataFiles.first());
    const QString quotedMdf = QString(mdf).replace("'", "''");
    fx.chooseFile(mdf);
    fx.server().clearRequests();
    withForm4([&](QWidget& form4) {
        click(form4, "Command1");
        QCOMPARE(boxTexts(form4), (QStringList { mdf, path(logFile), name, mdf }));

        // The paths go into the attach statement as they stand, and the server finds the files.
        click(form4, "Command2");
        QVERIFY2(fx.expectMessage({ QStringLiteral("附加 %1 完成！").arg(name), vbInformation, QStringLiteral("提示：") }),
            qPrintable(fx.lastError()));
    });
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(fx.expectNoMessage(), qPrintable(fx.lastError()));
    const QString quotedLog = path(logFile).replace("'", "''");
    QCOMPARE(startingWith(fx.server().sqlTexts(), "dbcc"), (QStringList { dbcc(quotedMdf, 1), dbcc(quotedMdf, 2) }));
    QCOMPARE(startingWith(fx.server().sqlTexts(), "EXEC sp_attach_db"),
        QStringList { QStringLiteral("EXEC sp_attach_db @dbname = N'%3',@filename1 = N'%1',@filename2 = N'%2'")
                          .arg(quotedMdf, quotedLog, name) });
    QVERIFY(gridLists(name));
}

void FileAttachWindowTest::failedLookupLeavesTheWindowAsItWas()
{
    // A log file is no primary data file: the look-up fails at its first step.
    QVERIFY2(makeFiles("NOTPRIMARY", { "np/a.mdf" }, "np/a.ldf").isEmpty(), "could not make the files");
    QVERIFY(QFile::copy(path("np/a.ldf"), path("np/looks_like.MDF")));
    fx.chooseFile(path("np/looks_like.MDF"));
    withForm4([&](QWidget& form4) {
        box(form4, "Text1")->setText("kept 1");
        box(form4, "Text2")->setText("kept 2");
        box(form4, "Text3")->setText("KEPT3");
        click(form4, "Command1");
        const QList<ShownMessage> shown = fx.takeMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().style, vbCritical);
        QCOMPARE(shown.first().title, QStringLiteral("错误："));
        QVERIFY2(shown.first().text.contains(QStringLiteral("错误号：5171")), qPrintable(shown.first().text));
        QCOMPARE(boxTexts(form4), (QStringList { "kept 1", "kept 2", "KEPT3", path("np/looks_like.MDF") }));
        QVERIFY(form4.isVisible());
    });
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(fx.endApplicationCount(), 0);
}

void FileAttachWindowTest::nameBoxTypesCapitals_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("account-year name") << "ufdata_001_2007"
                                       << "UFDATA_001_2007";
    QTest::newRow("capitals, digits and signs pass") << "Ab-9 z$#"
                                                     << "AB-9 Z$#";
}

void FileAttachWindowTest::nameBoxTypesCapitals()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    withForm4([&](QWidget& form4) {
        QLineEdit* text3 = box(form4, "Text3");
        QTest::mouseClick(text3, Qt::LeftButton);
        QTest::keyClicks(text3, typed);
        QCOMPARE(text3->text(), shown);
        // The other boxes take what is typed as it is.
        QTest::keyClicks(box(form4, "Text2"), "abc");
        QCOMPARE(box(form4, "Text2")->text(), QStringLiteral("abc"));
    });
}

void FileAttachWindowTest::attachRefusedWhenAllBoxesEmpty()
{
    fx.server().clearRequests();
    withForm4([&](QWidget& form4) {
        click(form4, "Command2");
        QVERIFY2(fx.expectMessage({ QStringLiteral("请输入相关信息！"), vbCritical, QStringLiteral("提示:") }),
            qPrintable(fx.lastError()));
        QCOMPARE(boxTexts(form4), (QStringList { "", "", "", "Text4" }));
        QVERIFY(form4.isVisible());
    });
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(startingWith(fx.server().sqlTexts(), "EXEC sp_attach_db"), QStringList());
}

void FileAttachWindowTest::attachWithOnlyANameIsSentAndRefused()
{
    fx.server().clearRequests();
    withForm4([&](QWidget& form4) {
        QTest::keyClicks(box(form4, "Text3"), "onlyname");
        click(form4, "Command2");
        const QList<ShownMessage> shown = fx.takeMessages();
        QCOMPARE(shown.size(), 1); // the error report, no completion message
        QCOMPARE(shown.first().style, vbCritical);
        QCOMPARE(shown.first().title, QStringLiteral("错误："));
        QVERIFY2(!shown.first().text.contains(QStringLiteral("错误号：0")), qPrintable(shown.first().text));
        QCOMPARE(boxTexts(form4), (QStringList { "", "", "ONLYNAME", "Text4" }));
        QVERIFY(form4.isVisible());
    });
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(fx.endApplicationCount(), 0);
    QCOMPARE(startingWith(fx.server().sqlTexts(), "EXEC sp_attach_db"),
        QStringList { "EXEC sp_attach_db @dbname = N'ONLYNAME',@filename1 = N'',@filename2 = N''" });
    QVERIFY(!gridLists("ONLYNAME"));
}

void FileAttachWindowTest::attachAddsTheDatabaseAndEmptiesTheBoxes()
{
    QVERIFY2(makeFiles("ORIGINAL", { "s/o.mdf" }, "s/o.ldf").isEmpty(), "could not make the files");
    fx.chooseFile(path("s/o.mdf"));
    withForm4([&](QWidget& form4) {
        click(form4, "Command1");
        QCOMPARE(box(form4, "Text3")->text(), QStringLiteral("ORIGINAL"));
        // Attached under a name typed by hand.
        QTest::mouseClick(box(form4, "Text3"), Qt::LeftButton);
        QTest::keyClicks(box(form4, "Text3"), "copy_2009");
        fx.server().clearRequests();
        click(form4, "Command2");
        QVERIFY2(fx.expectMessage({ QStringLiteral("附加 COPY_2009 完成！"), vbInformation, QStringLiteral("提示：") }),
            qPrintable(fx.lastError()));
        QCOMPARE(boxTexts(form4), (QStringList { "", "", "", "" }));
        QVERIFY(form4.isVisible());
        QVERIFY(gridLists("COPY_2009"));
        for (const char* name : { "Adodc1", "Adodc2" }) {
            const auto rs = control<DataControl>(form4, QString::fromLatin1(name))->recordset();
            QVERIFY2(!rs || !rs->isOpen(), name);
        }
    });
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(startingWith(fx.server().sqlTexts(), "EXEC sp_attach_db"),
        QStringList { QStringLiteral("EXEC sp_attach_db @dbname = N'COPY_2009',@filename1 = N'%1',@filename2 = N'%2'")
                          .arg(path("s/o.mdf"), path("s/o.ldf")) });
}

void FileAttachWindowTest::secondFileOverwritesAllFourBoxes()
{
    QVERIFY2(makeFiles("FIRSTDB", { "1/f.mdf" }, "1/f.ldf").isEmpty(), "could not make the first files");
    QVERIFY2(makeFiles("SecondDb", { "2/s.mdf" }, "2/s.ldf").isEmpty(), "could not make the second files");
    fx.chooseFile(path("1/f.mdf"));
    fx.chooseFile(path("2/s.mdf"));
    withForm4([&](QWidget& form4) {
        click(form4, "Command1");
        QCOMPARE(box(form4, "Text3")->text(), QStringLiteral("FIRSTDB"));
        box(form4, "Text1")->setText("edited 1");
        box(form4, "Text2")->setText("edited 2");
        box(form4, "Text3")->setText("EDITED3");
        doubleClick(box(form4, "Text1"));
        QCOMPARE(fx.fileDialogRequests().size(), 2);
        QCOMPARE(boxTexts(form4), (QStringList { path("2/s.mdf"), path("2/s.ldf"), "SecondDb", path("2/s.mdf") }));
    });
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(fx.expectNoMessage(), qPrintable(fx.lastError()));
}

void FileAttachWindowTest::focusSelectsTheWholeText_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("Text1") << "Text1";
    QTest::newRow("Text2") << "Text2";
    QTest::newRow("Text3") << "Text3";
}

void FileAttachWindowTest::focusSelectsTheWholeText()
{
    QFETCH(QString, name);
    withForm4([&](QWidget& form4) {
        auto* target = control<QLineEdit>(form4, name);
        auto* other = control<QLineEdit>(form4, name == "Text2" ? QStringLiteral("Text3") : QStringLiteral("Text2"));
        target->setText("C:\\old path\\x.mdf");
        QTest::mouseClick(other, Qt::LeftButton);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(other));
        QTest::mouseClick(target, Qt::LeftButton);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(target));
        QCOMPARE(target->selectedText(), QStringLiteral("C:\\old path\\x.mdf"));
        QTest::keyClicks(target, "7");
        QCOMPARE(target->text(), QStringLiteral("7"));
    });
}

QTEST_MAIN(FileAttachWindowTest)
#include "fileattach_window_test.moc"
