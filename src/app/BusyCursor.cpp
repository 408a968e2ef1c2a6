#include "BusyCursor.h"

#include "Busy.h"

#include <QApplication>

namespace tp {

void installBusyCursor()
{
    setBusyCallback([](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    });
}

} // namespace tp
