#pragma once
// Keeps top-level windows and dialogs on the screen they open on. A window opened from another
// one belongs to the screen at the opener's centre; its frame is moved (never resized) into
// that screen's available geometry (the screen without task bars and docks), so that its
// title bar and its buttons can be reached.

#include <QRect>

class QScreen;
class QWidget;

namespace tp {

// `frame` moved into `available` by as little as it takes. A frame wider or taller than
// `available` keeps its left or top edge at the available one, so the title bar stays on the
// screen.
QRect keptInside(const QRect& frame, const QRect& available);

// The screen a window opened from `opener` opens on: the screen at the opener's centre, else
// the opener's own; without an opener the primary screen.
QScreen* screenFor(const QWidget* opener);

// Moves the top-level `window` (its frame where known) into the available geometry of
// screenFor(opener).
void keepOnScreen(QWidget& window, const QWidget* opener);

// While an instance lives, every dialog of the system's own (not Qt's) that this thread opens
// is moved into the available geometry of the screen at `opener`'s centre when it is first
// activated: the system's open-file dialog places itself at its owner's corner. Nothing where
// the program shows Qt's own dialogs, which keepOnScreen places.
class SystemDialogPlacement
{
public:
    explicit SystemDialogPlacement(const QWidget* opener);
    ~SystemDialogPlacement();
    SystemDialogPlacement(const SystemDialogPlacement&) = delete;
    SystemDialogPlacement& operator=(const SystemDialogPlacement&) = delete;
};

} // namespace tp
