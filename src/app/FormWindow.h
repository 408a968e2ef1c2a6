#pragma once
// A top-level window of the application: fixed size, single border, no maximize button.
// Closing it by its close box unloads it (Windows::unload: unload hooks, then it goes away).
// On its first showing it is centred over the window that opened it (the active window),
// or on the screen when there is none, and kept on the screen it opens on (its size
// unchanged). Enter pressed in a box that does not use it presses the window's default button.

#include "Windows.h"

#include <QWidget>

namespace tp {

class FormWindow : public QWidget {
    Q_OBJECT
public:
    FormWindow(WindowId id, bool minimizeButton, QWidget* parent = nullptr);
    WindowId id() const { return m_id; }

signals:
    void hidden(); // the window was hidden or is being unloaded

protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void placeOnFirstShow();
    WindowId m_id;
    bool m_placed = false;
};

} // namespace tp
