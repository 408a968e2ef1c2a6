#pragma once
// Which open-file dialog the program shows. On Windows it is the system's own, as in every
// other Windows program; elsewhere it is Qt's own dialog, which speaks the program's language
// whatever desktop is installed.

#include <QtGlobal>

namespace tp {

constexpr bool systemFileDialog()
{
#ifdef Q_OS_WIN
    return true;
#else
    return false;
#endif
}

} // namespace tp
