#pragma once
// The scan window: the plan of a data root as a table (账套号, 年度, 数据库名, 状态, 文件版本,
// 数据文件, 日志文件, 大小, 说明: the server's verdict or what an upgrade means), filtered by
// state, with "附加全部未附加的" (the account-years and the other .MDF files under the root;
// nothing for what the verdict refused), a progress bar naming the current database and a
// cancel button. It is a window of its own beside the four windows; one at a time, opened from
// the main window's folder list, deleted when closed.
//
// Controls (object names): planTable, stateFilter ("全部" first), rebuildLogCheck (also attach
// years whose log is missing, with a new log), attachAllButton, rescanButton, cancelButton
// (enabled during an attach), progressBar, currentDatabaseLabel (the database being
// attached), countsLabel (the counts of the plan), closeButton.

#include "AttachMissing.h"

#include <QVector>
#include <QWidget>

class QComboBox;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace tp {

class ScanWindow : public QWidget
{
    Q_OBJECT
public:
    // Opens (or brings up, now scanning `root`) the one scan window. The scan runs at once;
    // a refused catalogue query goes to the error report and leaves the table empty.
    static ScanWindow* open(const QString& root);
    static ScanWindow* instance(); // nullptr when none is open

    QString root() const { return m_root; }
    const QList<PlanRow>& plan() const { return m_plan; }

    void rescan();
    // Attaches every row the plan marks ready (and those missing their log when
    // rebuildLogCheck is ticked), shows the summary with every refusal's sentence, rescans and
    // refreshes the main window's database grid. The main window is disabled meanwhile. When
    // the application ends during the attach (the main window closed), the rest is cancelled,
    // nothing more is sent or shown and the window closes; when the window itself is closed,
    // the rest is cancelled and it closes after the summary.
    void attachAll();

    // The text the cell shows at its column's width: the whole text, or a path without its
    // start ("…\2007\ufdata.MDF"), other texts without their end.
    QString shownCellText(int row, int column) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit ScanWindow(QWidget* parent = nullptr);
    void fillTable();
    void applyFilter();
    void setBusy(bool busy);
    // Sizes the columns to their texts and the window to them, within the screen it is on.
    void fitColumns();
    // Shares the table's width out among the columns by their priority.
    void shareColumns();

    QString m_root;
    QList<PlanRow> m_plan;
    bool m_busy = false;
    bool m_cancel = false;
    bool m_closeAsked = false; // closed during an attach: goes once the attach has ended
    QTableWidget* m_table;
    QComboBox* m_filter;
    QCheckBox* m_rebuild;
    QPushButton* m_attach;
    QPushButton* m_rescan;
    QPushButton* m_cancelButton;
    QProgressBar* m_progress;
    QLabel* m_current;
    QLabel* m_counts;
    QPushButton* m_close;
    QVector<int> m_natural; // per column: the width for its whole text
    QVector<int> m_least; // and the least it is given
};

// Installs the folder list's context menu ("扫描账套…") on every main window as it loads.
void installScanWindow();

} // namespace tp
