#include "ScreenPlacement.h"

#include <QGuiApplication>
#include <QList>
#include <QScreen>
#include <QWidget>

#ifdef Q_OS_WIN
#include <windows.h>
#include <cwchar>
#endif

namespace tp {

QRect keptInside(const QRect& frame, const QRect& available)
{
    if (!available.isValid() || !frame.isValid())
        return frame;
    QRect r = frame;
    if (r.right() > available.right())
        r.moveRight(available.right());
    if (r.bottom() > available.bottom())
        r.moveBottom(available.bottom());
    if (r.left() < available.left())
        r.moveLeft(available.left());
    if (r.top() < available.top())
        r.moveTop(available.top());
    return r;
}

QScreen* screenFor(const QWidget* opener)
{
    if (opener) {
        const QWidget* w = opener->window();
        if (QScreen* s = QGuiApplication::screenAt(w->frameGeometry().center()))
            return s;
        if (QScreen* s = w->screen())
            return s;
    }
    return QGuiApplication::primaryScreen();
}

void keepOnScreen(QWidget& window, const QWidget* opener)
{
    const QScreen* screen = screenFor(opener ? opener : &window);
    if (!screen)
        return;
    const QRect frame = window.frameGeometry();
    const QRect target = keptInside(frame, screen->availableGeometry());
    if (target != frame)
        window.move(window.pos() + (target.topLeft() - frame.topLeft()));
}

#ifdef Q_OS_WIN

namespace {

    struct DialogHook
    {
        HHOOK hook = nullptr;
        HWND owner = nullptr;
        int users = 0;
        QList<HWND> placed; // dialogs already placed: moved once, then where the user puts them
    };

    DialogHook& dialogHook()
    {
        static DialogHook h;
        return h;
    }

    QRect qtRect(const RECT& r)
    {
        return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
    }

    // A dialog box of the system (window class "#32770") about to be activated for the first
    // time is moved into the work area of the monitor at its owner's centre.
    LRESULT CALLBACK placeSystemDialog(int code, WPARAM wParam, LPARAM lParam)
    {
        DialogHook& h = dialogHook();
        if (code == HCBT_ACTIVATE) {
            const HWND dialog = reinterpret_cast<HWND>(wParam);
            wchar_t cls[16] = {};
            RECT own {};
            if (!h.placed.contains(dialog) && GetClassNameW(dialog, cls, 16) > 0 && std::wcscmp(cls, L"#32770") == 0
                && GetWindowRect(dialog, &own)) {
                h.placed.append(dialog);
                RECT basis = own;
                const HWND owner = h.owner ? h.owner : GetWindow(dialog, GW_OWNER);
                if (owner)
                    GetWindowRect(owner, &basis);
                const POINT centre { (basis.left + basis.right) / 2, (basis.top + basis.bottom) / 2 };
                MONITORINFO monitor {};
                monitor.cbSize = sizeof monitor;
                if (GetMonitorInfoW(MonitorFromPoint(centre, MONITOR_DEFAULTTONEAREST), &monitor)) {
                    const QRect frame = qtRect(own);
                    const QRect target = keptInside(frame, qtRect(monitor.rcWork));
                    if (target != frame)
                        SetWindowPos(dialog, nullptr, target.left(), target.top(), 0, 0,
                            SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
                }
            }
        }
        return CallNextHookEx(h.hook, code, wParam, lParam);
    }

} // namespace

SystemDialogPlacement::SystemDialogPlacement(const QWidget* opener)
{
    DialogHook& h = dialogHook();
    if (h.users++ == 0) {
        h.owner = opener ? reinterpret_cast<HWND>(opener->window()->winId()) : GetActiveWindow();
        h.placed.clear();
        h.hook = SetWindowsHookExW(WH_CBT, placeSystemDialog, nullptr, GetCurrentThreadId());
    }
}

SystemDialogPlacement::~SystemDialogPlacement()
{
    DialogHook& h = dialogHook();
    if (--h.users == 0) {
        if (h.hook)
            UnhookWindowsHookEx(h.hook);
        h.hook = nullptr;
        h.owner = nullptr;
        h.placed.clear();
    }
}

#else

SystemDialogPlacement::SystemDialogPlacement(const QWidget*) { }
SystemDialogPlacement::~SystemDialogPlacement() = default;

#endif

} // namespace tp
