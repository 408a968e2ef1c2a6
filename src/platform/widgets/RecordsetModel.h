#pragma once
// A read-only table model over a Recordset: one column per field, titled with the field's
// name, one row per record, each cell showing Recordset::text(). The recordset can be
// replaced; the model then resets, so a bound view redraws while the model object stays.

#include <QAbstractTableModel>
#include <memory>

namespace tp {

class Recordset;

class RecordsetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordsetModel(QObject* parent = nullptr);
    ~RecordsetModel() override;

    void setRecordset(std::shared_ptr<Recordset> recordset); // null empties the model
    std::shared_ptr<Recordset> recordset() const { return m_recordset; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::shared_ptr<Recordset> m_recordset;
};

} // namespace tp
