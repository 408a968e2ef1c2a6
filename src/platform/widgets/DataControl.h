#pragma once
// The data control of a window: it holds a connection string and a record source, and on
// refresh opens its own connection, runs the record source and offers the rows to a bound
// grid through model(). It keeps its connection and recordset until the next refresh.
// Design-time settings as the windows have them: empty strings, 15 s connection time-out,
// 30 s command time-out. Shown as a small bar with its caption where a window shows it.

#include "Ado.h"

#include <QAbstractTableModel>
#include <QWidget>
#include <memory>

namespace tp {

class RecordsetModel; // a read-only table model over a Recordset

class DataControl : public QWidget {
    Q_OBJECT
public:
    explicit DataControl(QWidget* parent = nullptr);
    ~DataControl() override;

    QString connectionString() const;
    void setConnectionString(const QString& s);
    QString recordSource() const;
    void setRecordSource(const QString& s);
    QString caption() const;
    void setCaption(const QString& s);

    // Reopens the connection, re-runs the record source, replaces the rows. Throws DbError;
    // on error the model is left empty.
    void refresh();

    QAbstractItemModel* model() const; // stays the same object across refreshes
    std::shared_ptr<Recordset> recordset() const; // null before the first refresh
    void closeRecordset(); // closes the recordset and its connection; the model empties

signals:
    void refreshed();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_connectionString;
    QString m_recordSource;
    QString m_caption;
    std::shared_ptr<Recordset> m_recordset;
    RecordsetModel* m_model;
};

} // namespace tp
