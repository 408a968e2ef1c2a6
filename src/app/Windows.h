#pragma once
// The four windows as application-wide instances. Each is created ("loaded") on first
// reference, also a reference that only reads one of its controls, and lives until it is
// unloaded. Handlers reach other windows' controls through these instances by window and
// control name: control<QLineEdit>(Windows::form1(), "fwq").

#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace tp {

enum class WindowId { Form1, form2, Form3, Form4 };

class Windows {
public:
    static QWidget& form1();
    static QWidget& form2();
    static QWidget& form3();
    static QWidget& form4();
    static QWidget& get(WindowId id);

    static bool isLoaded(WindowId id);
    // Unloads the window: runs its unload hooks, hides and deletes it. The next reference
    // creates a fresh instance. No effect when not loaded.
    static void unload(WindowId id);
    static void unloadAll(); // every window, without running unload hooks (tests, application end)

    // Shows the window modally and returns only after it has been hidden or unloaded. The
    // other windows take no input meanwhile; every window's timers keep ticking.
    static void showModal(WindowId id);

    // Hooks run when a window is loaded, after its controls are built (its Load event),
    // in the order registered. Subsystems install their event handlers here.
    static void onLoad(WindowId id, std::function<void(QWidget&)> hook);
    // Hooks run when the window is closed by its close box or unloaded by code (Unload event).
    static void onUnload(WindowId id, std::function<void(QWidget&)> hook);
    static void clearHooks();
};

// The control of that name on the window; an internal failure (InternalError) when the
// window has none of that name and kind.
[[noreturn]] void throwMissingControl(QWidget& window, const QString& name);
QWidget* findControl(QWidget& window, const QString& name);
template <class T> T* control(QWidget& window, const QString& name)
{
    T* c = qobject_cast<T*>(findControl(window, name));
    if (!c)
        throwMissingControl(window, name);
    return c;
}
// A timer of the window by name (timers are QTimer children, not widgets); InternalError
// when there is none.
QTimer* findTimer(QWidget& window, const QString& name);

// The text of a text box, multi-line box or label, by name; setControlText replaces it.
// (Text4 of form2 is a multi-line TextArea; these work for it as for any single-line box.)
QString controlText(QWidget& window, const QString& name);
void setControlText(QWidget& window, const QString& name, const QString& text);

} // namespace tp
