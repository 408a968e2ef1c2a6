#include "FormWindow.h"

#include "ScreenPlacement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

namespace tp {

FormWindow::FormWindow(WindowId id, bool minimizeButton, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_id(id)
{
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
    if (minimizeButton)
        flags |= Qt::WindowMinimizeButtonHint;
    setWindowFlags(flags);
}

void FormWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (Windows::isLoaded(m_id) && &Windows::get(m_id) == this)
        Windows::unload(m_id);
}

void FormWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        emit hidden();
}

void FormWindow::showEvent(QShowEvent* event)
{
    if (!event->spontaneous() && !m_placed) {
        m_placed = true;
        placeOnFirstShow();
    }
    QWidget::showEvent(event);
}

void FormWindow::placeOnFirstShow()
{
    QWidget* opener = QApplication::activeWindow();
    if (opener == this || (opener && !opener->isVisible()))
        opener = nullptr;
    QRect over;
    if (opener)
        over = opener->frameGeometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        over = screen->availableGeometry();
    if (over.isValid()) {
        QRect mine(QPoint(0, 0), size());
        mine.moveCenter(over.center());
        move(mine.topLeft());
    }
    // Centred over an opener near the screen's edge, or larger than the screen, it would reach
    // past the edge; its size stays as laid out.
    keepOnScreen(*this, opener);
    if (!focusWidget()) {
        // Focus starts in the first control of the tab order.
        for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
            if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(this) && w->isEnabled()) {
                w->setFocus(Qt::TabFocusReason);
                break;
            }
        }
    }
}

void FormWindow::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        const auto buttons = findChildren<QPushButton*>();
        for (QPushButton* b : buttons) {
            if (b->isDefault() && b->isVisibleTo(this) && b->isEnabled()) {
                b->click();
                return;
            }
        }
    }
    QWidget::keyPressEvent(event);
}

} // namespace tp
