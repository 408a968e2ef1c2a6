#include "RecordsetModel.h"

#include "Ado.h"

namespace tp {

RecordsetModel::RecordsetModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

RecordsetModel::~RecordsetModel() = default;

void RecordsetModel::setRecordset(std::shared_ptr<Recordset> recordset)
{
    beginResetModel();
    m_recordset = std::move(recordset);
    endResetModel();
}

int RecordsetModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_recordset)
        return 0;
    return m_recordset->rowCount();
}

int RecordsetModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_recordset)
        return 0;
    return m_recordset->columnCount();
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const
{
    if (!m_recordset || !index.isValid() || index.row() >= m_recordset->rowCount()
        || index.column() >= m_recordset->columnCount())
        return QVariant();
    if (role == Qt::DisplayRole)
        return m_recordset->text(index.row(), index.column());
    return QVariant();
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal) {
        if (m_recordset && section >= 0 && section < m_recordset->columnCount())
            return m_recordset->fieldNames().at(section);
        return QVariant();
    }
    return section + 1;
}

Qt::ItemFlags RecordsetModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

} // namespace tp
