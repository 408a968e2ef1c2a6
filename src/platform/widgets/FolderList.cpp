#include "FolderList.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

namespace tp {

namespace {

    constexpr int PathRole = Qt::UserRole;
    constexpr int LevelRole = Qt::UserRole + 1;
    constexpr int IndentPixels = 8;

    // Shifts each row right by its level, icon and text alike, as the classic list does.
    class IndentDelegate : public QStyledItemDelegate
    {
    public:
        using QStyledItemDelegate::QStyledItemDelegate;
        void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
        {
            QStyleOptionViewItem o = option;
            o.rect.setLeft(o.rect.left() + index.data(LevelRole).toInt() * IndentPixels);
            QStyledItemDelegate::paint(painter, o, index);
        }
        QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
        {
            QSize s = QStyledItemDelegate::sizeHint(option, index);
            s.rwidth() += index.data(LevelRole).toInt() * IndentPixels;
            return s;
        }
    };

    QString qtForm(const QString& path)
    {
        return QDir::cleanPath(QDir(QDir::currentPath()).absoluteFilePath(QDir::fromNativeSeparators(path)));
    }

    // The folder that holds path (Qt form); path itself at a root.
    QString parentOf(const QString& path)
    {
        return QDir::cleanPath(QFileInfo(path).path());
    }

    // The chain of folders from the root down to path, path included (Qt form).
    QStringList chain(const QString& path)
    {
        QStringList folders { path };
        for (QString up = parentOf(path); up != folders.first(); up = parentOf(up))
            folders.prepend(up);
        return folders;
    }

    QString rowCaption(const QString& folder, bool isRoot)
    {
        if (isRoot)
            return QDir::toNativeSeparators(folder);
        return QFileInfo(folder).fileName();
    }

} // namespace

FolderList::FolderList(QWidget* parent)
    : QListWidget(parent)
    , m_path(qtForm(QDir::currentPath()))
{
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { openRow(row(item)); });
    fill();
}

QString FolderList::path() const
{
    return QDir::toNativeSeparators(m_path);
}

void FolderList::setPath(const QString& path)
{
    QString target = qtForm(path);
    // A path that does not exist opens its nearest existing ancestor.
    while (!QFileInfo(target).isDir()) {
        const QString up = parentOf(target);
        if (up == target)
            return; // nothing of it exists (a drive that is not ready): stay where we are
        target = up;
    }
    if (target == m_path)
        return;
    m_path = target;
    fill();
    emit changed();
}

QString FolderList::rowPath(int r) const
{
    const QListWidgetItem* it = item(r);
    return it ? QDir::toNativeSeparators(it->data(PathRole).toString()) : QString();
}

int FolderList::rowLevel(int r) const
{
    const QListWidgetItem* it = item(r);
    return it ? it->data(LevelRole).toInt() : -1;
}

int FolderList::currentFolderRow() const
{
    return chain(m_path).size() - 1;
}

void FolderList::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentRow() >= 0) {
        openRow(currentRow());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void FolderList::openRow(int r)
{
    const QListWidgetItem* it = item(r);
    if (it)
        setPath(it->data(PathRole).toString());
}

void FolderList::fill()
{
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

    const QStringList ancestors = chain(m_path);
    for (int level = 0; level < ancestors.size(); ++level) {
        auto* it = new QListWidgetItem(open, rowCaption(ancestors.at(level), level == 0), this);
        it->setData(PathRole, ancestors.at(level));
        it->setData(LevelRole, level);
    }
    // An unreadable folder lists nothing here; the rows above still show where we are.
    const QDir here(m_path);
    const QStringList subfolders = here.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : subfolders) {
        auto* it = new QListWidgetItem(closed, name, this);
        it->setData(PathRole, QDir::cleanPath(here.absoluteFilePath(name)));
        it->setData(LevelRole, ancestors.size());
    }
    setCurrentRow(ancestors.size() - 1);
}

} // namespace tp
