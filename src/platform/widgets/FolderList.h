#pragma once
// The folder list, as a classic folder list box: the current path's folders from the root
// down (each one step further indented, with an open-folder icon; the current folder is the
// highlighted row), then the current folder's subfolders one step further in, sorted without
// regard to case. A double-click (or Enter) opens the folder of that row, an ancestor as well
// as a subfolder. Setting the path (by double-click or by code) emits changed().
//
// A folder that cannot be read shows no subfolders; a path that does not exist opens its
// nearest existing ancestor; when no part of it exists (a drive that is not ready) the list
// keeps its path and emits nothing.

#include <QListWidget>

namespace tp {

class FolderList : public QListWidget {
    Q_OBJECT
public:
    explicit FolderList(QWidget* parent = nullptr); // starts at the process's current folder
    QString path() const; // native form: no trailing separator except at a root
    void setPath(const QString& path); // emits changed() when the path differs

    // The full path (native form) of a row, and its indentation level (0 = the root).
    QString rowPath(int row) const;
    int rowLevel(int row) const;
    int currentFolderRow() const; // the row of the current folder (the last ancestor row)

signals:
    void changed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void openRow(int row);
    void fill();

    QString m_path; // Qt form ("/" separators, cleaned, absolute)
};

} // namespace tp
