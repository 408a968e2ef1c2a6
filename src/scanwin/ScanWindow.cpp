#include "ScanWindow.h"

#include "Ado.h"
#include "Application.h"
#include "DatabaseGrid.h"
#include "ErrorBoundary.h"
#include "Events.h"
#include "FolderList.h"
#include "ServerVerdict.h"
#include "Services.h"
#include "SignIn.h"
#include "Twips.h"
#include "WindowBuilder.h"
#include "Windows.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

namespace tp {

namespace {

    QPointer<ScanWindow> g_window;

    template <class T> T* place(QWidget* parent, const char* name, int left, int top, int width, int height)
    {
        T* w = new T(parent);
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(twipsRect(left, top, width, height));
        return w;
    }

    const YearState allStates[] = { YearState::Ready, YearState::LogMissing, YearState::Attached, YearState::NameTaken,
        YearState::FilesInUse, YearState::Unreadable, YearState::Gone, YearState::NoAccess, YearState::TooOld,
        YearState::TooNew, YearState::ReadOnly, YearState::NotDatabase, YearState::CannotOpen };
    constexpr int columnCount = 9;

} // namespace

ScanWindow* ScanWindow::open(const QString& root)
{
    if (!g_window)
        g_window = new ScanWindow;
    if (g_window->m_busy) {
        // An attach is running over the plan of its root: the window is only brought forward.
        g_window->raise();
        g_window->activateWindow();
        return g_window;
    }
    g_window->m_root = root;
    g_window->setWindowTitle(QStringLiteral("扫描账套 - ") + root);
    g_window->show();
    g_window->raise();
    g_window->activateWindow();
    g_window->rescan();
    return g_window;
}

ScanWindow* ScanWindow::instance()
{
    return g_window;
}

ScanWindow::ScanWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("ScanWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(windowFont());
    setFixedSize(twipsSize(11400, 7140));

    place<QLabel>(this, "stateFilterLabel", 120, 150, 600, 270)->setText(QStringLiteral("状态"));
    m_filter = place<QComboBox>(this, "stateFilter", 720, 90, 2400, 330);
    m_filter->addItem(QStringLiteral("全部"), -1);
    for (const YearState s : allStates)
        m_filter->addItem(stateText(s), int(s));
    m_rebuild = place<QCheckBox>(this, "rebuildLogCheck", 3360, 120, 5400, 300);
    m_rebuild->setText(QStringLiteral("同时附加缺少日志文件的年度（重建日志文件）"));

    m_table = place<QTableWidget>(this, "planTable", 120, 540, 11160, 4920);
    m_table->setColumnCount(columnCount);
    m_table->setHorizontalHeaderLabels({ QStringLiteral("账套号"), QStringLiteral("年度"), QStringLiteral("数据库名"),
        QStringLiteral("状态"), QStringLiteral("文件版本"), QStringLiteral("数据文件"), QStringLiteral("日志文件"),
        QStringLiteral("大小"), QStringLiteral("说明") });
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->setVisible(false);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setTextElideMode(Qt::ElideMiddle); // paths keep their start and their file name
    m_table->setWordWrap(false);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    const int widths[] = { 45, 40, 115, 110, 90, 185, 165, 60 };
    for (int c = 0; c < columnCount - 1; ++c)
        m_table->setColumnWidth(c, widths[c]);

    m_counts = place<QLabel>(this, "countsLabel", 120, 5580, 11160, 270);
    m_progress = place<QProgressBar>(this, "progressBar", 120, 5940, 5400, 300);
    m_progress->setTextVisible(true);
    m_current = place<QLabel>(this, "currentDatabaseLabel", 5640, 5955, 5640, 270);

    m_attach = place<QPushButton>(this, "attachAllButton", 120, 6420, 2400, 480);
    m_attach->setText(QStringLiteral("附加全部未附加的"));
    m_rescan = place<QPushButton>(this, "rescanButton", 2640, 6420, 1500, 480);
    m_rescan->setText(QStringLiteral("重新扫描"));
    m_cancelButton = place<QPushButton>(this, "cancelButton", 4260, 6420, 1200, 480);
    m_cancelButton->setText(QStringLiteral("取消"));
    m_cancelButton->setEnabled(false);
    auto* close = place<QPushButton>(this, "closeButton", 10080, 6420, 1200, 480);
    close->setText(QStringLiteral("关闭"));

    connect(m_filter, &QComboBox::currentIndexChanged, this, [this] { applyFilter(); });
    connect(m_attach, &QPushButton::clicked, this, [this] { runGuarded([this] { attachAll(); }); });
    connect(m_rescan, &QPushButton::clicked, this, [this] { rescan(); });
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { m_cancel = true; });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void ScanWindow::rescan()
{
    m_plan.clear();
    runGuarded([this] {
        Connection master; // closed by its destructor if the query throws
        master.setConnectionString(masterConnectionString());
        master.open();
        m_plan = scanDataRoot(master, m_root);
        master.close();
    });
    fillTable();
}

void ScanWindow::fillTable()
{
    m_table->setRowCount(0);
    m_table->setRowCount(int(m_plan.size()));
    int counts[yearStateCount] = {};
    for (int i = 0; i < m_plan.size(); ++i) {
        const PlanRow& r = m_plan.at(i);
        ++counts[int(r.state)];
        const QString state = stateDetailText(r);
        qint64 size = -1;
        if (r.dataSize >= 0 || r.logSize >= 0)
            size = qMax<qint64>(r.dataSize, 0) + qMax<qint64>(r.logSize, 0);
        const QString verdict = verdictText(r);
        const QString cells[] = { r.accountSet, r.year, r.databaseName, state, fileVersionText(r), r.dataFile,
            r.state == YearState::Gone ? QString() : r.logFile, sizeText(size), verdict };
        for (int c = 0; c < columnCount; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if ((c == 3 || c == 8) && !verdict.isEmpty())
                item->setToolTip(verdict);
            if (c == 7 && size >= 0)
                item->setToolTip(
                    QStringLiteral("数据文件 %1，日志文件 %2")
                        .arg(sizeText(r.dataSize), r.logSize >= 0 ? sizeText(r.logSize) : QStringLiteral("无")));
            if (c == 3 && r.state == YearState::NameTaken)
                item->setToolTip(QStringLiteral("该名称已由以下文件附加：") + r.otherFile);
            if (c == 3 && r.state == YearState::FilesInUse)
                item->setToolTip(QStringLiteral("该年度的数据文件或日志文件已被数据库 %1 使用（或与它是同一组文件），"
                                                "一个文件只能属于一个数据库。如要按本年度的名称附加，请先分离 %1。")
                                     .arg(r.otherDatabase));
            m_table->setItem(i, c, item);
        }
    }
    QStringList parts;
    for (const YearState s : allStates) {
        if (counts[int(s)] > 0)
            parts << QStringLiteral("%1 %2 个").arg(stateText(s)).arg(counts[int(s)]);
    }
    m_counts->setText(QStringLiteral("共 %1 个账套年度").arg(m_plan.size())
        + (parts.isEmpty() ? QString() : QStringLiteral("：") + parts.join(QStringLiteral("，"))));
    applyFilter();
}

void ScanWindow::applyFilter()
{
    const int wanted = m_filter->currentData().toInt();
    for (int i = 0; i < m_plan.size() && i < m_table->rowCount(); ++i)
        m_table->setRowHidden(i, wanted >= 0 && int(m_plan.at(i).state) != wanted);
}

void ScanWindow::setBusy(bool busy)
{
    m_busy = busy;
    m_attach->setEnabled(!busy);
    m_rescan->setEnabled(!busy);
    m_rebuild->setEnabled(!busy);
    m_cancelButton->setEnabled(busy);
}

void ScanWindow::attachAll()
{
    if (m_busy)
        return;
    AttachOptions options;
    options.rebuildMissingLogs = m_rebuild->isChecked();
    options.otherDataFiles = true;
    int count = 0;
    for (const PlanRow& r : m_plan)
        count += wantsAttach(r, options) ? 1 : 0;
    if (count == 0) {
        MessageService::show(QStringLiteral("没有需要附加的数据库。"), vbInformation, QStringLiteral("提示："));
        return;
    }
    m_cancel = false;
    m_closeAsked = false;
    setBusy(true);
    m_progress->setRange(0, count);
    m_progress->setValue(0);
    // The main window takes no input meanwhile; closing it ends the application, which
    // cancels the rest: no statement is sent after that.
    QPointer<QWidget> mainWindow = Windows::isLoaded(WindowId::form2) ? &Windows::form2() : nullptr;
    if (mainWindow)
        mainWindow->setEnabled(false);
    const auto ended = [mainWindow, hadMain = !mainWindow.isNull()] {
        return applicationEnding() || (hadMain && (!mainWindow || !Windows::isLoaded(WindowId::form2)));
    };
    QPointer<ScanWindow> self(this);
    QList<AttachResult> results;
    const QList<PlanRow> plan = m_plan; // the events taken between attaches may rescan m_plan
    try {
        results = attachMissing(masterConnectionString(), plan, options, [&](const PlanRow& row, int index, int) {
            // Clicks on the cancel button are taken between two attaches.
            QCoreApplication::processEvents();
            if (!self || m_cancel || ended())
                return false;
            m_progress->setValue(index);
            m_current->setText(QStringLiteral("正在附加 ") + row.databaseName);
            QCoreApplication::processEvents();
            return self && !m_cancel && !ended();
        });
    } catch (...) {
        if (mainWindow)
            mainWindow->setEnabled(true);
        if (self)
            setBusy(false);
        throw;
    }
    if (mainWindow)
        mainWindow->setEnabled(true);
    if (!self)
        return;
    setBusy(false);
    if (ended()) {
        // The application is ending: nothing more is shown or read.
        close();
        return;
    }
    m_progress->setValue(m_cancel ? m_progress->value() : count);
    m_current->setText(m_cancel ? QStringLiteral("已取消") : QStringLiteral("完成"));
    QString text = summaryText(results);
    if (m_cancel)
        text = QStringLiteral("已取消，其余年度未附加。\n") + text;
    const AttachSummary summary = summarize(results);
    const bool failed = summary.failed > 0 || summary.refused > 0;
    MessageService::show(
        text, failed ? vbCritical : vbInformation, failed ? QStringLiteral("错误：") : QStringLiteral("提示："));
    if (self && !m_closeAsked)
        rescan();
    if (Windows::isLoaded(WindowId::form2))
        refreshDatabaseGrid();
    if (self && m_closeAsked)
        close();
}

void ScanWindow::closeEvent(QCloseEvent* event)
{
    if (m_busy) {
        // Closing during an attach cancels it; the window goes once the current year is done
        // and the summary has been shown.
        m_cancel = true;
        m_closeAsked = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void installScanWindow()
{
    Windows::onLoad(WindowId::form2, [](QWidget& form2) {
        auto* dir1 = control<FolderList>(form2, QStringLiteral("Dir1"));
        dir1->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(dir1, &QWidget::customContextMenuRequested, dir1, [dir1](const QPoint& pos) {
            runGuarded([dir1, pos] {
                const QListWidgetItem* item = dir1->itemAt(pos);
                const QString folder = item ? dir1->rowPath(dir1->row(item)) : dir1->path();
                auto* menu = new QMenu(dir1);
                menu->setObjectName(QStringLiteral("ScanMenu"));
                menu->setAttribute(Qt::WA_DeleteOnClose);
                QAction* scan = menu->addAction(QStringLiteral("扫描账套…"));
                QObject::connect(
                    scan, &QAction::triggered, dir1, [folder] { runGuarded([folder] { ScanWindow::open(folder); }); });
                menu->popup(dir1->viewport()->mapToGlobal(pos));
            });
        });
    });
}

} // namespace tp
