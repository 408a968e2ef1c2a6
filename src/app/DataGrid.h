#pragma once
// A read-only data grid. Its data source is either a window's data control (the grid then
// shows the control's rows and follows each refresh) or a recordset (the grid then keeps
// the recordset, and with it the recordset's connection, alive until it is unbound or the
// grid goes away).
//
// Columns: by default one per field of the source, titled with the field name. A fixed
// column list (setColumns) shows, in order, the named field under its caption, or an empty
// column where the field name is empty.

#include "Ado.h"
#include "DataControl.h"

#include <QList>
#include <QPointer>
#include <QTableView>
#include <memory>

namespace tp {

class GridModel;

struct GridColumn {
    QString caption;
    QString dataField; // empty: a column bound to nothing
};

class DataGrid : public QTableView {
    Q_OBJECT
public:
    explicit DataGrid(QWidget* parent = nullptr);
    ~DataGrid() override;

    void setDataSource(DataControl* control);
    void setDataSource(std::shared_ptr<Recordset> recordset);
    void clearDataSource();
    DataControl* dataControl() const { return m_control; }
    std::shared_ptr<Recordset> recordset() const { return m_recordset; }

    void setColumns(const QList<GridColumn>& columns);
    QList<GridColumn> columns() const;

    // The text of the current cell; empty when there is none.
    QString text() const;
    // The text of the cell at (row, column) as the grid shows it; empty outside the grid.
    QString cellText(int row, int column) const;
    int rowCountShown() const;

private:
    GridModel* m_model;
    QPointer<DataControl> m_control;
    std::shared_ptr<Recordset> m_recordset;
};

} // namespace tp
