// Renders every window of Tallyport to PNG files, signed in to a running server (the file
// dialog as it opens over the file window, on the whole screen):
//   tallyport-screenshots --server 127.0.0.1,<port> --password <pw> --out <dir>
// Used by scripts/screenshots. Prints one line per file: "<file>: <which window>".

#include "Ado.h"
#include "ConnectionStrings.h"
#include "DataGrid.h"
#include "ScanWindow.h"
#include "QtTranslation.h"
#include "Services.h"
#include "Startup.h"
#include "Windows.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <cstdio>

using namespace tp;

namespace {

void settle(QWidget& w)
{
    (void)QTest::qWaitForWindowExposed(&w);
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

bool save(QWidget& w, const QString& dir, const QString& file, const QString& what)
{
    settle(w);
    const QString path = QDir(dir).filePath(file);
    if (!w.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s: %s\n", qPrintable(path), qPrintable(what));
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    installQtTranslation();
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("server"), QStringLiteral("server name"), QStringLiteral("name")});
    parser.addOption({QStringLiteral("password"), QStringLiteral("sa password"), QStringLiteral("pw")});
    parser.addOption({QStringLiteral("out"), QStringLiteral("folder for the PNG files"), QStringLiteral("dir")});
    parser.process(app);
    const QString server = parser.value(QStringLiteral("server"));
    const QString password = parser.value(QStringLiteral("password"));
    const QString out = parser.value(QStringLiteral("out"));
    if (server.isEmpty() || out.isEmpty() || !QDir().mkpath(out)) {
        std::fprintf(stderr, "usage: tallyport-screenshots --server S --password P --out DIR\n");
        return 2;
    }
    bool messageShown = false;
    MessageService::setRecorder([&](const ShownMessage& m) {
        messageShown = true;
        std::fprintf(stderr, "message: %s (%s)\n", qPrintable(m.text), qPrintable(m.title));
    });

    // A few account-year databases, so that sign-in succeeds and the grid has rows.
    try {
        Connection c;
        c.setConnectionString(buildMasterConnectionString(server, password));
        c.open();
        for (const char* name : {"UFDATA_001_2022", "UFDATA_001_2023", "UFDATA_001_2024"})
            c.execute(QStringLiteral("CREATE DATABASE ") + QLatin1String(name));
    } catch (const DbError& e) {
        std::fprintf(stderr, "preparing the server failed: %d %s\n", e.number(), qPrintable(e.description()));
        return 1;
    }

    installAll();
    bool ok = true;
    QWidget& form1 = Windows::form1();
    form1.show();
    control<QLineEdit>(form1, QStringLiteral("fwq"))->setText(server);
    control<QLineEdit>(form1, QStringLiteral("mm"))->setText(password);
    ok &= save(form1, out, QStringLiteral("form1-login.png"), QStringLiteral("Form1, the login window"));

    control<QPushButton>(form1, QStringLiteral("Command1"))->click();
    if (!Windows::isLoaded(WindowId::form2) || messageShown) {
        std::fprintf(stderr, "sign-in failed\n");
        return 1;
    }
    QWidget& form2 = Windows::form2();
    settle(form2);
    auto* grid = control<DataGrid>(form2, QStringLiteral("DataGrid1"));
    const QRect cell = grid->visualRect(grid->model()->index(4, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    ok &= save(form2, out, QStringLiteral("form2-main.png"), QStringLiteral("form2, the main window after sign-in"));

    QWidget& form3 = Windows::form3();
    control<QLabel>(form3, QStringLiteral("Label1"))->setText(QStringLiteral("正在附加数据库 UFDATA_001_2025"));
    form3.show();
    ok &= save(form3, out, QStringLiteral("form3-progress.png"), QStringLiteral("Form3, the progress window"));
    Windows::unload(WindowId::Form3);

    QWidget& form4 = Windows::form4();
    form4.show();
    ok &= save(form4, out, QStringLiteral("form4-file.png"), QStringLiteral("Form4, the file window"));

    // Qt's own windows, in Chinese: a message box, the file dialog, a text box's context menu.
    auto saveModal = [&](const QString& file, const QString& what) {
        QTimer::singleShot(0, [&, file, what] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) {
                ok = false;
                return;
            }
            ok &= save(*modal, out, file, what);
            modal->close();
        });
    };
    MessageService::setRecorder(nullptr);
    saveModal(QStringLiteral("messagebox.png"), QStringLiteral("a message box"));
    MessageService::show(QStringLiteral("附加数据库完成！"), vbInformation, QStringLiteral("提示："));
    // The file dialog as the file window opens it (the system's own on Windows), on the whole
    // screen: where it opens matters as much as what it shows. Looked at once it has settled.
    form4.activateWindow();
    (void)QTest::qWaitForWindowActive(&form4);
    QTimer::singleShot(2000, [&] {
        QScreen* screen = form4.screen();
        const QString path = QDir(out).filePath(QStringLiteral("filedialog.png"));
        QWidget* modal = QApplication::activeModalWidget();
        if (!screen || !screen->grabWindow(0).save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ok = false;
        } else {
            const QRect frame = modal && modal->isVisible() && !modal->testAttribute(Qt::WA_DontShowOnScreen)
                ? modal->frameGeometry()
                : QRect(); // the system's own dialog stands in for Qt's, which is not shown
            std::printf("%s: the file dialog over the file window (at %d,%d %dx%d), the whole screen %dx%d, the "
                        "dialog %s\n",
                qPrintable(path), form4.frameGeometry().x(), form4.frameGeometry().y(), form4.frameGeometry().width(),
                form4.frameGeometry().height(), screen->geometry().width(), screen->geometry().height(),
                frame.isValid() ? qPrintable(QStringLiteral("at %1,%2 %3x%4")
                                                 .arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height()))
                                : "of the system");
        }
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
    });
    FileDialogService::getOpenFileName(QStringLiteral("打开"), QStringLiteral("数据库文件 (*.MDF)|*.MDF"));
    auto* text1 = control<QLineEdit>(form4, QStringLiteral("Text1"));
    QMenu* menu = text1->createStandardContextMenu();
    menu->popup(text1->mapToGlobal(QPoint(10, 10)));
    ok &= save(*menu, out, QStringLiteral("contextmenu.png"), QStringLiteral("a text box's context menu"));
    delete menu;

    // The scan window over a small data root: ready years (real database files, detached), one
    // without its log, one attached from its files, one that is no database file, and three
    // whose names the server has from other files.
    QTemporaryDir dataRoot;
    const QString root = dataRoot.filePath(QStringLiteral("账套数据"));
    for (const char* file : {"ZT001/2022/ufdata.MDF", "ZT001/2022/ufdata.LDF", "ZT001/2023/ufdata.MDF",
             "ZT001/2023/ufdata.LDF", "ZT001/2024/ufdata.MDF", "ZT001/2024/ufdata.LDF", "ZT002/2025/ufdata.MDF",
             "ZT002/2025/ufdata.LDF"}) {
        const QString path = root + QLatin1Char('/') + QLatin1String(file);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ok &= f.open(QIODevice::WriteOnly) && f.write(QByteArray(8 * 1024 * 1024, '\0')) > 0;
    }
    try {
        Connection c;
        c.setConnectionString(buildMasterConnectionString(server, password));
        c.open();
        for (const char* year : { "ZT001/2025", "ZT001/2026", "ZT002/2024" }) {
            const QString folder = root + QLatin1Char('/') + QLatin1String(year);
            QDir().mkpath(folder);
            const QString name = QStringLiteral("UFDATA_") + QString::fromLatin1(year).mid(2).replace('/', '_');
            c.execute(QStringLiteral("CREATE DATABASE %1 ON (NAME = ufdata, FILENAME = N'%2/ufdata.MDF') "
                                     "LOG ON (NAME = ufdata_Log, FILENAME = N'%2/ufdata.LDF')")
                          .arg(name, folder));
            c.execute(QStringLiteral("EXEC sp_detach_db @dbname = N'%1'").arg(name));
        }
        ok &= QFile::remove(root + QStringLiteral("/ZT001/2026/ufdata.LDF"));
        QDir().mkpath(root + QStringLiteral("/ZT002/2023"));
        c.execute(
            QStringLiteral("CREATE DATABASE UFDATA_002_2023 ON (NAME = ufdata, FILENAME = N'%1/ZT002/2023/ufdata.MDF') "
                           "LOG ON (NAME = ufdata_Log, FILENAME = N'%1/ZT002/2023/ufdata.LDF')")
                .arg(root));
    } catch (const DbError& e) {
        std::fprintf(stderr, "preparing the data root failed: %d %s\n", e.number(), qPrintable(e.description()));
        return 1;
    }
    ScanWindow* scan = ScanWindow::open(QDir::toNativeSeparators(root));
    settle(*scan);
    const QRect scanFrame = scan->frameGeometry();
    const QRect screenArea = scan->screen() ? scan->screen()->availableGeometry() : QRect();
    ok &= save(*scan, out, QStringLiteral("scan-window.png"),
        QStringLiteral("the scan window, its frame at %1,%2 %3x%4 (client %5x%6) on a screen of %7x%8")
            .arg(scanFrame.x()).arg(scanFrame.y()).arg(scanFrame.width()).arg(scanFrame.height())
            .arg(scan->width()).arg(scan->height()).arg(screenArea.width()).arg(screenArea.height()));
    if (QScreen* screen = scan->screen()) {
        const QString path = QDir(out).filePath(QStringLiteral("scan-window-screen.png"));
        ok &= screen->grabWindow(0).save(path);
        std::printf("%s: the scan window on the whole screen\n", qPrintable(path));
    }
    scan->close();

    Windows::unloadAll();
    return ok ? 0 : 1;
}
