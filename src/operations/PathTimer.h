#pragma once
// The path display: form2's Timer1 keeps Text4 equal to the data file path of the data root
// (Text1), the account set (Text2) and the year (Text3), within one tick of any change of
// those boxes, a change made by code included.
//
// The tick writes Text4 only when its text differs, and the timer runs only while there is
// a change to show: every change of Text1, Text2 or Text3 (re)starts it, and the tick stops it.
// An idle main window therefore costs no processor time, and a selection made in Text4 stays
// while the boxes stay as they are.

#include <QWidget>

namespace tp {

// Installs the tick and the restarts on a loaded form2, and starts the timer so that the
// first tick shows the path.
void installPathTimer(QWidget& form2);

// One tick: builds the data file path from Text1, Text2 and Text3 and shows it in Text4.
void pathTimerTick(QWidget& form2);

} // namespace tp
