#pragma once
// Event handlers of the windows' controls. Every handler installed here runs inside the
// error boundary (ErrorBoundary.h): no exception ever reaches Qt's event loop.

#include <QString>
#include <QWidget>
#include <functional>

namespace tp {

using Handler = std::function<void()>;

void onClick(QWidget& window, const QString& control, Handler h); // buttons
void onDblClick(QWidget& window, const QString& control, Handler h);
void onGotFocus(QWidget& window, const QString& control, Handler h);
void onChange(QWidget& window, const QString& control, Handler h); // drive and folder lists
void onTimer(QWidget& window, const QString& timer, Handler h); // QTimer children by name
void onGridMouse(QWidget& window, const QString& grid, Handler h); // after the click moved the current cell

// Key press with a replaceable character code (the signed 16-bit code of the typed
// character, 8 for backspace, 13 for Enter). Setting it to 0 discards the key; setting it
// to another code types that character instead. Input-method text goes through the
// handler character by character. Keys that type no character (Delete among them) pass by.
void onKeyPress(QWidget& window, const QString& control, std::function<void(int& keyAscii)> h);

// Select-on-focus as the windows' input boxes do it: selection start 0, length = text length.
void selectAllText(QWidget& window, const QString& control);

} // namespace tp
