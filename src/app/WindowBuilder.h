#pragma once
// Builds a window from its layout table. Each row is one control: its name (also its
// objectName), kind, caption or initial text, place and size in twips relative to its
// container (the window, a frame or a picture box), and its fixed settings.

#include "FormWindow.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QString>
#include <QStringList>

namespace tp {

enum class ControlKind { Label, TextBox, TextArea, Button, Frame, PictureBox, DataGrid, DataControl, DriveList, FolderList, StatusBar };

enum ControlFlag : unsigned {
    NoFlags = 0,
    Hidden = 1u << 0, // invisible at run time
    AutoSize = 1u << 1, // label sized to its caption (the table gives that size)
    Transparent = 1u << 2, // label drawn on its container's picture
    ReadOnly = 1u << 3,
    PasswordStars = 1u << 4, // shows "*" for every character
    NoInputMethod = 1u << 5,
    DefaultButton = 1u << 6, // Enter presses it
    LightBlue = 1u << 7, // editable input box of the main and file windows
    Grey = 1u << 8, // read-only display box
    Teal = 1u << 9, // drive list, folder list, database grid
    White = 1u << 10, // the login boxes
    NoTabStop = 1u << 11, // never takes focus (controls that lie outside the client area)
};

struct ControlSpec {
    QString name;
    ControlKind kind;
    QString caption;
    int left, top, width, height; // twips
    QString container; // empty: the window itself
    unsigned flags = NoFlags;
    QString toolTip = {};
};

struct TimerSpec {
    QString name;
    int interval;
    bool enabled;
};

struct WindowSpec {
    QString name;
    QString caption;
    int clientWidth, clientHeight; // twips
    bool minimizeButton;
};

namespace colors {
inline QColor lightBlue() { return QColor(192, 192, 255); }
inline QColor grey() { return QColor(192, 192, 192); }
inline QColor teal() { return QColor(0, 192, 192); }
} // namespace colors

// "宋体" 9 point; where that face is not installed, another Song face (AR PL UMing), Noto last.
QFont windowFont();

// The window with every control and timer of the tables, in the given tab order.
FormWindow* buildWindow(WindowId id, const WindowSpec& window, const QList<ControlSpec>& controls,
    const QList<TimerSpec>& timers, const QStringList& tabOrder);

} // namespace tp
