#pragma once
// The text of a window's text box by control name, whether single-line (QLineEdit) or
// multi-line (TextArea). Thin names over controlText/setControlText (Windows.h); a control of
// another kind, or none of that name, is an internal failure.

#include <QString>
#include <QWidget>

namespace tp {

QString boxText(QWidget& window, const QString& box);
// Replaces the box's text. Setting the text it already holds changes nothing (no change
// signal, the selection stays).
void setBoxText(QWidget& window, const QString& box, const QString& text);

} // namespace tp
