// The main window's own inputs, used as a person would: the drive and folder lists feeding
// the data root, the number boxes' key filter, select-on-focus, the exit paths and the
// button that opens the file window.

#include "DriveList.h"
#include "FolderList.h"
#include "GuiFixture.h"
#include "Windows.h"
#include "mainwin_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using tp::control;
using tp::DriveList;
using tp::FolderList;
using tp::Windows;

using namespace tp::test::mainwin;

namespace {

QString text1()
{
    return box("Text1")->text();
}

bool makeTree(const QString& root)
{
    QDir d(root);
    return d.mkpath("books/ZT001/2005") && d.mkpath("books/ZT001/2006") && d.mkpath("books/ZT002") && d.mkpath("old");
}

// Double-clicks a row of the folder list as a person does: a click, then a double-click.
void doubleClickRow(FolderList* list, int row)
{
    QListWidgetItem* it = list->item(row);
    QVERIFY(it);
    list->scrollToItem(it);
    const QPoint at = list->visualItemRect(it).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

int rowNamed(FolderList* list, const QString& caption)
{
    for (int r = list->currentFolderRow() + 1; r < list->count(); ++r)
        if (list->item(r)->text() == caption)
            return r;
    return -1;
}

} // namespace

class MainwinInputsTest : public QObject
{
    Q_OBJECT
    tp::test::GuiFixture fx;

private slots:
    void init()
    {
        QVERIFY2(fx.startServer(), qPrintable(fx.lastError()));
        QVERIFY2(fx.signIn(), qPrintable(fx.lastError()));
        QVERIFY(QTest::qWaitForWindowActive(&Windows::form2()));
    }
    void cleanup() { QVERIFY2(fx.cleanup(), qPrintable(fx.lastError())); }

    void folderListFeedsDataRoot()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        QVERIFY(makeTree(tmp.path()));
        auto* dir1 = control<FolderList>(Windows::form2(), "Dir1");

        dir1->setPath(tmp.path());
        QCOMPARE(text1(), native(tmp.path()));

        // a subfolder, then its subfolder, by double-click
        doubleClickRow(dir1, rowNamed(dir1, "books"));
        QCOMPARE(text1(), native(tmp.path() + "/books"));
        doubleClickRow(dir1, rowNamed(dir1, "ZT001"));
        QCOMPARE(text1(), native(tmp.path() + "/books/ZT001"));

        // an ancestor: two rows above the current folder
        doubleClickRow(dir1, dir1->currentFolderRow() - 2);
        QCOMPARE(text1(), native(tmp.path()));

        // the root keeps its separator
        doubleClickRow(dir1, 0);
        QCOMPARE(text1(), native(QDir::rootPath()));
        QVERIFY2(fx.expectNoMessage(), qPrintable(fx.lastError()));
    }

    void driveChangeMovesFolderList()
    {
        QTemporaryDir other;
        QVERIFY(other.isValid());
        QVERIFY(makeTree(other.path()));
        auto* drive1 = control<DriveList>(Windows::form2(), "Drive1");
        auto* dir1 = control<FolderList>(Windows::form2(), "Dir1");
        const QString home = drive1->drive();
        dir1->setPath(other.path() + "/books"); // somewhere else than the current folder

        // a drive that does not hold the current folder: its root
        drive1->setDrive(native(other.path()));
        QCOMPARE(dir1->path(), native(other.path()));
        QCOMPARE(text1(), native(other.path()));

        // the drive of the current folder: the current folder
        drive1->setDrive(home);
        QCOMPARE(dir1->path(), native(QDir::currentPath()));
        QCOMPARE(text1(), native(QDir::currentPath()));

        // picked by the user from the drop-down
        const int otherRow = drive1->findData(native(other.path()));
        QVERIFY(otherRow >= 0);
        drive1->setCurrentIndex(otherRow);
        QCOMPARE(text1(), native(other.path()));
        QVERIFY2(fx.expectNoMessage(), qPrintable(fx.lastError()));
    }

    void driveThatCannotOpenGoesBack()
    {
        auto* drive1 = control<DriveList>(Windows::form2(), "Drive1");
        auto* dir1 = control<FolderList>(Windows::form2(), "Dir1");
        QTemporaryDir gone;
        QVERIFY(gone.isValid());
        const QString root = native(gone.path());
        QVERIFY(gone.remove());

        drive1->setDrive(root);
        // the folder list could not open it (it opened what is left of the path, or stayed);
        // the drive list shows the drive the folder list is on
        QCOMPARE(drive1->drive(), tp::driveOf(dir1->path(), tp::driveRoots()));
        QCOMPARE(text1(), dir1->path());
        QVERIFY(dir1->path() != root);
        QVERIFY2(fx.expectNoMessage(), qPrintable(fx.lastError()));
    }

    void digitFilter_data()
    {
        QTest::addColumn<QString>("box");
        QTest::newRow("account set") << "Text2";
        QTest::newRow("year") << "Text3";
        QTest::newRow("number of years") << "Text6";
    }
    void digitFilter()
    {
        QFETCH(QString, box);
        auto* edit = control<QLineEdit>(Windows::form2(), box);
        edit->setText("77");
        control<QWidget>(Windows::form2(), "Command7")->setFocus(Qt::OtherFocusReason);
        QTest::mouseClick(edit, Qt::LeftButton); // brings the focus, selects the whole text: typing replaces it
        QTest::keyClicks(edit, "2a0-1.9 Z+");
        QCOMPARE(edit->text(), QStringLiteral("2019"));
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QStringLiteral("201"));
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClick(edit, Qt::Key_Enter);
        QCOMPARE(edit->text(), QStringLiteral("201"));

        // text from an input method: only its plain digits go in
        QInputMethodEvent ime;
        ime.setCommitString(QStringLiteral("１中5年"));
        QCoreApplication::sendEvent(edit, &ime);
        QCOMPARE(edit->text(), QStringLiteral("2015"));
        // Delete, with the text X11 gives it (U+007F), deletes as in any box
        edit->setCursorPosition(1);
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_Delete, QString(QChar(0x7f)), Qt::NoModifier);
        QCOMPARE(edit->text(), QStringLiteral("215"));
        QVERIFY2(fx.expectNoMessage(), qPrintable(fx.lastError()));
    }

    void openingSelectsAccountSet()
    {
        QLineEdit* text2 = box("Text2");
        QTRY_COMPARE(QApplication::focusWidget(), text2);
        QCOMPARE(text2->selectedText(), QStringLiteral("001"));
    }

    void focusSelectsWholeText_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::newRow("account set") << "Text2"
                                     << "001";
        QTest::newRow("year") << "Text3"
                              << "2007";
        QTest::newRow("selected database") << "Text5"
                                           << "UFDATA_001_2007";
        QTest::newRow("number of years") << "Text6"
                                         << "3";
    }
    void focusSelectsWholeText()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QWidget& form2 = Windows::form2();
        auto* edit = control<QLineEdit>(form2, box);
        edit->setText(text);
        edit->setCursorPosition(1);
        edit->deselect();

        // by the mouse: the click that brought the focus keeps the selection
        control<QWidget>(form2, "Command7")->setFocus(Qt::OtherFocusReason);
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(4, edit->height() / 2));
        QCOMPARE(QApplication::focusWidget(), edit);
        QCOMPARE(edit->selectedText(), text);

        // by the keyboard
        edit->deselect();
        control<QWidget>(form2, "Command7")->setFocus(Qt::OtherFocusReason);
        edit->setFocus(Qt::TabFocusReason);
        QCOMPARE(edit->selectedText(), text);
        QCOMPARE(edit->selectionStart(), 0);
    }

    void exitButtonEndsApplication()
    {
        QTest::mouseClick(control<QAbstractButton>(Windows::form2(), "Command6"), Qt::LeftButton);
        QCOMPARE(fx.endApplicationCount(), 1);
    }

    void closingMainWindowEndsApplication()
    {
        QVERIFY(Windows::form2().close());
        QCOMPARE(fx.endApplicationCount(), 1);
    }

    void manualAttachOpensFileWindowModally()
    {
        bool form4Shown = false;
        bool form4Modal = false;
        QTimer::singleShot(0, [&] {
            if (!Windows::isLoaded(tp::WindowId::Form4))
                return;
            QWidget& form4 = Windows::form4();
            form4Shown = form4.isVisible();
            form4Modal = QApplication::activeModalWidget() == &form4;
            form4.close();
        });
        QTest::mouseClick(control<QAbstractButton>(Windows::form2(), "Command10"), Qt::LeftButton);
        // the click returns only once the file window has gone
        QVERIFY(form4Shown);
        QVERIFY(form4Modal);
        QVERIFY(!Windows::isLoaded(tp::WindowId::Form4) || !Windows::form4().isVisible());
        QCOMPARE(fx.endApplicationCount(), 0);
    }
};

QTEST_MAIN(MainwinInputsTest)
#include "mainwin_inputs_test.moc"
