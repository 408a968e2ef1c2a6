#pragma once
// The scan window: the plan of a data root as a table (账套号, 年度, 数据库名, 状态, 数据文件,
// 日志文件, 大小), filtered by state, with "附加全部未附加的", a progress bar naming the current
// database and a cancel button. It is a window of its own beside the four windows; one at a
// time, opened from the main window's folder list, deleted when closed.
//
// Controls (object names): Grid1 (the table), Combo1 (state filter, "全部" first), Check1
// (also attach years whose log is missing, with a new log), Command1 ("附加全部未附加的"),
// Command2 ("重新扫描"), Command3 ("取消", enabled during an attach), Progress1, Label1 (the
// database being attached), Label2 (the counts of the plan).

#include "AttachMissing.h"

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
    // Attaches every row the plan marks ready (and those missing their log when Check1 is
    // ticked), shows the summary, rescans and refreshes the main window's database grid. The
    // main window is disabled meanwhile. When the application ends during the attach (the
    // main window closed), the rest is cancelled, nothing more is sent or shown and the
    // window closes; when the window itself is closed, the rest is cancelled and it closes
    // after the summary.
    void attachAll();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    explicit ScanWindow(QWidget* parent = nullptr);
    void fillTable();
    void applyFilter();
    void setBusy(bool busy);

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
};

// Installs the folder list's context menu ("扫描账套…") on every main window as it loads.
void installScanWindow();

} // namespace tp
