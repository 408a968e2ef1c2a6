#pragma once
// Which open-file dialog the program shows, and how its patterns match. On Windows it is the
// system's own, as in every other Windows program; elsewhere it is Qt's own dialog, which
// speaks the program's language whatever desktop is installed.

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

// Whether the file system tells "x.MDF" from "x.mdf" (a dialog's patterns then need both cases).
constexpr bool caseSensitiveFileNames()
{
#ifdef Q_OS_WIN
    return false;
#else
    return true;
#endif
}

} // namespace tp
