#include "ScanWindow.h"

#include "Ado.h"
#include "Application.h"
#include "DatabaseGrid.h"
#include "ErrorBoundary.h"
#include "Events.h"
#include "FolderList.h"
#include "ServerVerdict.h"
#include "ScreenPlacement.h"
#include "Services.h"
#include "SignIn.h"
#include "Twips.h"
#include "WindowBuilder.h"
#include "Windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include <algorithm>

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

    // The states in the filter and the counts: these first, then every other state of the
    // core in its own order (the server's refusals, and any state the core adds).
    QList<YearState> listedStates()
    {
        QList<YearState> states { YearState::Ready, YearState::LogMissing, YearState::Attached, YearState::NameTaken,
            YearState::FilesInUse, YearState::Unreadable, YearState::Gone };
        for (int i = 0; i < yearStateCount; ++i) {
            if (!states.contains(YearState(i)))
                states << YearState(i);
        }
        return states;
    }

    constexpr int columnCount = 9;
    enum Column { stateColumn = 3, versionColumn = 4, dataFileColumn = 5, logFileColumn = 6, noteColumn = 8 };
    constexpr int windowWidth = 11400; // twips: the least width; wider when the columns need it
    constexpr int margin = 120; // twips around the table
    constexpr int closeFromRight = windowWidth - 10080;

    const QChar ellipsis(0x2026);

    // "…\2007\ufdata.MDF": the last folder and the file name of a path, the least a path
    // column shows.
    QString pathTail(const QString& path)
    {
        int cut = path.size();
        for (int parts = 0; parts < 2 && cut > 0; ++parts) {
            const int sep = qMax(path.lastIndexOf(QLatin1Char('\\'), cut - 1), path.lastIndexOf(QLatin1Char('/'), cut - 1));
            if (sep <= 0)
                return path;
            cut = sep;
        }
        return ellipsis + path.mid(cut);
    }

    // A state with what it refers to, "名称已被占用（D:\Old\ufdata.MDF）": the state, the
    // bracketed part (empty when there is none) and the closing bracket.
    bool splitDetail(const QString& text, QString* head, QString* inner)
    {
        const int open = text.indexOf(QChar(0xFF08));
        if (open <= 0 || !text.endsWith(QChar(0xFF09)))
            return false;
        *head = text.left(open + 1);
        *inner = text.mid(open + 1, text.size() - open - 2);
        return true;
    }

    // The room for text in a cell of that width: the style's margins either side.
    int textRoom(const QWidget* view, int cellWidth)
    {
        const QStyle* style = view ? view->style() : QApplication::style();
        return cellWidth - 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
    }

    // What a cell shows in `room` pixels: a path loses its start, so that the year's folder and
    // the file name stay; a state keeps its words and the end of what it refers to; any other
    // text loses its end (its tooltip holds it whole).
    QString shownText(const QString& text, int column, const QFontMetrics& fm, int room)
    {
        if (fm.horizontalAdvance(text) <= room)
            return text;
        if (column == dataFileColumn || column == logFileColumn)
            return fm.elidedText(text, Qt::ElideLeft, room);
        QString head, inner;
        if (column == stateColumn && splitDetail(text, &head, &inner)) {
            const int innerRoom = room - fm.horizontalAdvance(head + QChar(0xFF09));
            if (innerRoom > fm.horizontalAdvance(ellipsis))
                return head + fm.elidedText(inner, Qt::ElideLeft, innerRoom) + QChar(0xFF09);
        }
        return fm.elidedText(text, Qt::ElideRight, room);
    }

    class CellDelegate : public QStyledItemDelegate
    {
    public:
        using QStyledItemDelegate::QStyledItemDelegate;
        void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
        {
            QStyleOptionViewItem opt = option;
            initStyleOption(&opt, index);
            opt.text = shownText(opt.text, index.column(), opt.fontMetrics, textRoom(opt.widget, opt.rect.width()));
            const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        }
    };

    QWidget* mainWindow()
    {
        return Windows::isLoaded(WindowId::form2) && Windows::form2().isVisible() ? &Windows::form2() : nullptr;
    }

} // namespace

ScanWindow* ScanWindow::open(const QString& root)
{
    if (!g_window) {
        g_window = new ScanWindow;
        // Opened over the main window, on its screen.
        if (QWidget* opener = mainWindow()) {
            QRect mine = g_window->frameGeometry();
            mine.moveCenter(opener->frameGeometry().center());
            g_window->move(mine.topLeft());
        }
    }
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
    setFixedSize(twipsSize(windowWidth, 7140));

    place<QLabel>(this, "stateFilterLabel", 120, 150, 600, 270)->setText(QStringLiteral("状态"));
    m_filter = place<QComboBox>(this, "stateFilter", 720, 90, 2400, 330);
    m_filter->addItem(QStringLiteral("全部"), -1);
    for (const YearState s : listedStates())
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
    m_table->setItemDelegate(new CellDelegate(m_table));
    m_table->setWordWrap(false);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setMinimumSectionSize(1);
    m_table->viewport()->installEventFilter(this); // its width shared out again on a resize

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
    m_close = place<QPushButton>(this, "closeButton", 10080, 6420, 1200, 480);
    m_close->setText(QStringLiteral("关闭"));

    connect(m_filter, &QComboBox::currentIndexChanged, this, [this] { applyFilter(); });
    connect(m_attach, &QPushButton::clicked, this, [this] { runGuarded([this] { attachAll(); }); });
    connect(m_rescan, &QPushButton::clicked, this, [this] { rescan(); });
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { m_cancel = true; });
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    fitColumns();
}

QString ScanWindow::shownCellText(int row, int column) const
{
    const QTableWidgetItem* item = m_table->item(row, column);
    if (!item)
        return QString();
    const int cell = m_table->columnWidth(column) - (m_table->showGrid() ? 1 : 0);
    return shownText(item->text(), column, m_table->fontMetrics(), textRoom(m_table, cell));
}

void ScanWindow::fitColumns()
{
    // Each column's width for its whole text (header and every cell), and the least it may be
    // given when the screen is too narrow for them all.
    const QFontMetrics fm = m_table->fontMetrics();
    const int pad = fm.horizontalAdvance(QLatin1Char(' ')) / 2 + 1 + (m_table->showGrid() ? 1 : 0)
        + 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_table) + 1);
    m_natural.fill(0, columnCount);
    m_least.fill(0, columnCount);
    for (int c = 0; c < columnCount; ++c) {
        const int header = m_table->horizontalHeader()->sectionSizeHint(c);
        m_natural[c] = header;
        m_least[c] = header;
        for (int r = 0; r < m_table->rowCount(); ++r) {
            const QTableWidgetItem* item = m_table->item(r, c);
            if (!item || item->text().isEmpty())
                continue;
            const QString text = item->text();
            m_natural[c] = qMax(m_natural[c], fm.horizontalAdvance(text) + pad);
            QString least = text; // the columns that never give up any of their text
            QString head, inner;
            if (c == dataFileColumn || c == logFileColumn)
                least = pathTail(text);
            else if (c == stateColumn && splitDetail(text, &head, &inner))
                least = head + pathTail(inner) + QChar(0xFF09);
            else if (c == versionColumn || c == noteColumn)
                least = QString();
            m_least[c] = qMax(m_least[c], qMin(m_natural[c], fm.horizontalAdvance(least) + pad));
        }
    }
    m_least[noteColumn] = qMax(m_least[noteColumn], qMin(m_natural[noteColumn], twipsToPixels(2400)));

    // The window grows to show every column whole, as far as the screen it is on allows.
    int natural = 0;
    for (const int w : m_natural)
        natural += w;
    const int chrome = 2 * m_table->frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_table);
    int width = qMax(twipsToPixels(windowWidth), natural + chrome + 2 * twipsToPixels(margin));
    QWidget* opener = mainWindow();
    if (const QScreen* screen = screenFor(opener ? opener : this))
        width = qMax(twipsToPixels(windowWidth),
            qMin(width, screen->availableGeometry().width() - qMax(0, frameGeometry().width() - this->width())));
    if (width != this->width()) {
        const int grown = width - this->width();
        setFixedSize(width, height());
        if (isVisible())
            move(pos() - QPoint(grown / 2, 0)); // about its centre
        const int inner = width - 2 * twipsToPixels(margin);
        m_table->resize(inner, m_table->height());
        m_counts->resize(inner, m_counts->height());
        m_current->resize(width - twipsToPixels(margin) - m_current->x(), m_current->height());
        m_close->move(width - twipsToPixels(closeFromRight), m_close->y());
    }
    if (isVisible())
        keepOnScreen(*this, opener);
    shareColumns();
}

void ScanWindow::shareColumns()
{
    if (m_natural.size() != columnCount)
        return;
    // What the viewport lacks is taken from the columns in this order, each down to its least:
    // 说明 first, then the two paths (losing their start), the state's reference, 文件版本. The
    // others keep their width. What is left after that is scrolled to; room to spare goes to
    // the last column.
    QVector<int> widths = m_natural;
    int total = 0;
    for (const int w : widths)
        total += w;
    int lacking = total - m_table->viewport()->width();
    const QVector<QVector<int>> order { { noteColumn }, { dataFileColumn, logFileColumn }, { stateColumn },
        { versionColumn } };
    for (const QVector<int>& group : order) {
        if (lacking <= 0)
            break;
        int spare = 0;
        for (const int c : group)
            spare += widths[c] - m_least[c];
        if (spare <= 0)
            continue;
        const int take = qMin(lacking, spare);
        int taken = 0;
        for (int i = 0; i < group.size(); ++i) {
            const int c = group[i];
            const int part = i + 1 == group.size() ? take - taken
                                                   : int(qint64(take) * (widths[c] - m_least[c]) / spare);
            widths[c] -= part;
            taken += part;
        }
        lacking -= take;
    }
    if (lacking < 0)
        widths[columnCount - 1] -= lacking;
    for (int c = 0; c < columnCount; ++c)
        m_table->setColumnWidth(c, widths[c]);
}

bool ScanWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_table->viewport() && event->type() == QEvent::Resize)
        shareColumns();
    return QWidget::eventFilter(watched, event);
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
        const QString cells[] = { r.accountSet, r.year, r.databaseName, state, fileVersionText(r), r.dataFile, r.logFile,
            sizeText(size), verdict };
        for (int c = 0; c < columnCount; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c == versionColumn || c == dataFileColumn || c == logFileColumn)
                item->setToolTip(cells[c]); // whole, where the column is too narrow
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
    fitColumns();
    QStringList parts;
    for (const YearState s : listedStates()) {
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
