#pragma once
// Helpers of the main window tests: paths the way the window shows them, and form2's boxes.

#include "Windows.h"

#include <QDir>
#include <QLineEdit>
#include <QString>

namespace tp::test::mainwin {

// `p` cleaned and with native separators, as the main window shows a path.
inline QString native(const QString& p)
{
    return QDir::toNativeSeparators(QDir::cleanPath(p));
}

// One of form2's text boxes, by object name.
inline QLineEdit* box(const char* name)
{
    return tp::control<QLineEdit>(tp::Windows::form2(), QLatin1String(name));
}

} // namespace tp::test::mainwin
