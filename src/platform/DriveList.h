#pragma once
// The drive list: a drop-down list of the machine's drives (on Linux and macOS, the roots
// of the mounted file systems). Changing the selection, by the user or by code, emits
// changed().

#include <QComboBox>

namespace tp {

class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(QWidget* parent = nullptr);
    QString drive() const; // the selected drive's root path, e.g. "C:\\" or "/"
    void setDrive(const QString& drive); // selects it (adding it if missing); emits changed() when different
signals:
    void changed();
};

} // namespace tp
