#pragma once
// The folder list, as a classic folder list box: the current path's folders from the root
// down, then the current folder's subfolders. A double-click opens a folder. Setting the
// path (by double-click or by code) emits changed().

#include <QListWidget>

namespace tp {

class FolderList : public QListWidget {
    Q_OBJECT
public:
    explicit FolderList(QWidget* parent = nullptr); // starts at the process's current folder
    QString path() const; // native form: no trailing separator except at a root
    void setPath(const QString& path); // emits changed() when the path differs
signals:
    void changed();
};

} // namespace tp
