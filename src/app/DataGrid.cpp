#include "DataGrid.h"

#include "DataControl.h"

#include <QAbstractTableModel>
#include <QHeaderView>

namespace tp {

// Presents a source (a data control's model or a recordset) through the grid's columns.
class GridModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setSource(QAbstractItemModel* model, std::shared_ptr<Recordset> recordset)
    {
        beginResetModel();
        if (m_model)
            QObject::disconnect(m_model, nullptr, this, nullptr);
        m_model = model;
        m_recordset = std::move(recordset);
        if (m_model) {
            connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
            connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
                remap();
                endResetModel();
            });
            auto changed = [this] {
                beginResetModel();
                remap();
                endResetModel();
            };
            connect(m_model, &QAbstractItemModel::rowsInserted, this, changed);
            connect(m_model, &QAbstractItemModel::rowsRemoved, this, changed);
            connect(m_model, &QAbstractItemModel::columnsInserted, this, changed);
            connect(m_model, &QAbstractItemModel::columnsRemoved, this, changed);
            connect(m_model, &QAbstractItemModel::layoutChanged, this, changed);
            connect(m_model, &QAbstractItemModel::dataChanged, this, changed);
            connect(m_model, &QObject::destroyed, this, [this] {
                beginResetModel();
                m_model = nullptr;
                remap();
                endResetModel();
            });
        }
        remap();
        endResetModel();
    }

    void setColumns(const QList<GridColumn>& columns)
    {
        beginResetModel();
        m_columns = columns;
        remap();
        endResetModel();
    }
    QList<GridColumn> columns() const { return m_columns; }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        if (parent.isValid())
            return 0;
        if (m_model)
            return m_model->rowCount();
        if (m_recordset && m_recordset->isOpen())
            return m_recordset->rowCount();
        return 0;
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_shown.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
            return {};
        return cellText(index.row(), index.column());
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        if (section < 0 || section >= m_shown.size())
            return {};
        return m_shown[section].caption;
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    QString cellText(int row, int column) const
    {
        if (row < 0 || row >= rowCount() || column < 0 || column >= m_shown.size())
            return {};
        int source = m_shown[column].sourceColumn;
        if (source < 0)
            return {};
        if (m_model)
            return m_model->data(m_model->index(row, source), Qt::DisplayRole).toString();
        return m_recordset->text(row, source);
    }

private:
    struct Shown {
        QString caption;
        int sourceColumn = -1;
    };

    QStringList sourceFields() const
    {
        QStringList fields;
        if (m_model) {
            for (int c = 0; c < m_model->columnCount(); ++c)
                fields << m_model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        } else if (m_recordset && m_recordset->isOpen()) {
            fields = m_recordset->fieldNames();
        }
        return fields;
    }

    void remap()
    {
        m_shown.clear();
        const QStringList fields = sourceFields();
        if (m_columns.isEmpty()) {
            for (int c = 0; c < fields.size(); ++c)
                m_shown.append({fields[c], c});
            return;
        }
        for (const GridColumn& col : m_columns) {
            int source = -1;
            if (!col.dataField.isEmpty()) {
                for (int c = 0; c < fields.size(); ++c) {
                    if (fields[c].compare(col.dataField, Qt::CaseInsensitive) == 0) {
                        source = c;
                        break;
                    }
                }
            }
            m_shown.append({col.caption, source});
        }
    }

    QAbstractItemModel* m_model = nullptr;
    std::shared_ptr<Recordset> m_recordset;
    QList<GridColumn> m_columns;
    QList<Shown> m_shown;
};

DataGrid::DataGrid(QWidget* parent)
    : QTableView(parent)
    , m_model(new GridModel(this))
{
    setModel(m_model);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(false);
    verticalHeader()->setSectionsClickable(false);
}

DataGrid::~DataGrid()
{
    // The model must let go of the recordset before the grid's members go.
    m_model->setSource(nullptr, nullptr);
}

void DataGrid::setDataSource(DataControl* control)
{
    m_control = control;
    m_recordset.reset();
    m_model->setSource(control ? control->model() : nullptr, nullptr);
}

void DataGrid::setDataSource(std::shared_ptr<Recordset> recordset)
{
    m_control = nullptr;
    m_recordset = recordset;
    m_model->setSource(nullptr, std::move(recordset));
}

void DataGrid::clearDataSource()
{
    m_control = nullptr;
    m_recordset.reset();
    m_model->setSource(nullptr, nullptr);
}

void DataGrid::setColumns(const QList<GridColumn>& columns)
{
    m_model->setColumns(columns);
}

QList<GridColumn> DataGrid::columns() const
{
    return m_model->columns();
}

QString DataGrid::text() const
{
    QModelIndex current = currentIndex();
    if (!current.isValid())
        return {};
    return m_model->cellText(current.row(), current.column());
}

QString DataGrid::cellText(int row, int column) const
{
    return m_model->cellText(row, column);
}

int DataGrid::rowCountShown() const
{
    return m_model->rowCount();
}

} // namespace tp
