#include "Events.h"

#include "DataGrid.h"
#include "DriveList.h"
#include "ErrorBoundary.h"
#include "FolderList.h"
#include "Windows.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTimer>

namespace tp {

namespace {

// An event filter owned by the control it watches.
class Filter : public QObject {
public:
    using Fn = std::function<bool(QObject*, QEvent*)>;
    Filter(QObject* owner, Fn fn)
        : QObject(owner)
        , m_fn(std::move(fn))
    {
    }
    bool eventFilter(QObject* watched, QEvent* event) override { return m_fn(watched, event); }

private:
    Fn m_fn;
};

void watch(QWidget* control, Filter::Fn fn)
{
    auto* f = new Filter(control, std::move(fn));
    control->installEventFilter(f);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(control))
        area->viewport()->installEventFilter(f);
}

bool hasSelection(QWidget* c)
{
    if (auto* e = qobject_cast<QLineEdit*>(c))
        return e->hasSelectedText();
    if (auto* p = qobject_cast<QPlainTextEdit*>(c))
        return p->textCursor().hasSelection();
    return false;
}

bool isMouseEvent(QEvent::Type t)
{
    return t == QEvent::MouseButtonPress || t == QEvent::MouseButtonRelease || t == QEvent::MouseMove
        || t == QEvent::MouseButtonDblClick;
}

int signedCode(QChar c)
{
    return static_cast<qint16>(c.unicode());
}

} // namespace

void onClick(QWidget& window, const QString& control, Handler h)
{
    auto* b = tp::control<QAbstractButton>(window, control);
    QObject::connect(b, &QAbstractButton::clicked, b, [h = std::move(h)] { runGuarded(h); });
}

void onDblClick(QWidget& window, const QString& control, Handler h)
{
    QWidget* c = findControl(window, control);
    watch(c, [h = std::move(h)](QObject*, QEvent* e) {
        if (e->type() == QEvent::MouseButtonDblClick)
            runGuarded(h);
        return false;
    });
}

void onGotFocus(QWidget& window, const QString& control, Handler h)
{
    QWidget* c = findControl(window, control);
    // When the focus came with a mouse press, the press that follows would put the caret
    // under the pointer and drop the selection the handler made; that press (and its
    // drag and release) is then left out.
    auto guardMouse = std::make_shared<bool>(false);
    watch(c, [c, h = std::move(h), guardMouse](QObject*, QEvent* e) {
        switch (e->type()) {
        case QEvent::FocusIn: {
            const auto reason = static_cast<QFocusEvent*>(e)->reason();
            runGuarded(h);
            *guardMouse = reason == Qt::MouseFocusReason && hasSelection(c);
            return false;
        }
        case QEvent::FocusOut:
            *guardMouse = false;
            return false;
        default:
            if (*guardMouse && isMouseEvent(e->type())) {
                if (e->type() == QEvent::MouseButtonRelease)
                    *guardMouse = false;
                return true;
            }
            return false;
        }
    });
}

void onChange(QWidget& window, const QString& control, Handler h)
{
    QWidget* c = findControl(window, control);
    auto run = [h = std::move(h)] { runGuarded(h); };
    if (auto* d = qobject_cast<DriveList*>(c))
        QObject::connect(d, &DriveList::changed, d, run);
    else if (auto* f = qobject_cast<FolderList*>(c))
        QObject::connect(f, &FolderList::changed, f, run);
    else if (auto* e = qobject_cast<QLineEdit*>(c))
        QObject::connect(e, &QLineEdit::textChanged, e, run);
    else if (auto* p = qobject_cast<QPlainTextEdit*>(c))
        QObject::connect(p, &QPlainTextEdit::textChanged, p, run);
    else
        throwMissingControl(window, control);
}

void onTimer(QWidget& window, const QString& timer, Handler h)
{
    QTimer* t = findTimer(window, timer);
    // A tick does not re-enter its own handler: while the handler waits in a message box,
    // further ticks of the same timer are skipped.
    auto busy = std::make_shared<bool>(false);
    QObject::connect(t, &QTimer::timeout, t, [h = std::move(h), busy] {
        if (*busy)
            return;
        *busy = true;
        runGuarded(h);
        *busy = false;
    });
}

void onGridMouse(QWidget& window, const QString& grid, Handler h)
{
    auto* g = tp::control<DataGrid>(window, grid);
    // On the button's release, after the press has made the clicked cell current.
    auto* f = new Filter(g, [h = std::move(h)](QObject*, QEvent* e) {
        if (e->type() == QEvent::MouseButtonRelease)
            runGuarded(h);
        return false;
    });
    g->viewport()->installEventFilter(f);
}

void onKeyPress(QWidget& window, const QString& control, std::function<void(int& keyAscii)> h)
{
    QWidget* c = findControl(window, control);
    auto resending = std::make_shared<bool>(false);
    // Runs each character through the handler; returns the characters to type instead, and
    // whether anything was changed or discarded.
    auto filterText = [h](const QString& text, bool& changed) {
        QString out;
        changed = false;
        for (QChar ch : text) {
            const int code = signedCode(ch);
            int key = code;
            runGuarded([&] { h(key); });
            if (key != code)
                changed = true;
            if (key != 0)
                out += QChar(static_cast<char16_t>(static_cast<quint16>(key)));
        }
        return out;
    };
    auto* f = new Filter(c, [c, filterText, resending](QObject*, QEvent* e) {
        if (*resending)
            return false;
        if (e->type() == QEvent::KeyPress) {
            auto* ke = static_cast<QKeyEvent*>(e);
            if (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab)
                return false; // moves the focus, never a character
            const QString text = ke->text();
            // Not a typed character: arrows, function keys, Delete (which X11 reports with
            // the text U+007F) ... They edit the box as in any other.
            if (text.isEmpty() || ke->key() == Qt::Key_Delete || text == QChar(0x7f))
                return false;
            bool changed = false;
            const QString out = filterText(text, changed);
            if (!changed)
                return false;
            *resending = true;
            for (QChar ch : out) {
                int key = Qt::Key_unknown;
                if (ch.unicode() == 8)
                    key = Qt::Key_Backspace;
                else if (ch.unicode() == 13)
                    key = Qt::Key_Return;
                QKeyEvent replaced(QEvent::KeyPress, key, Qt::NoModifier, QString(ch));
                QCoreApplication::sendEvent(c, &replaced);
            }
            *resending = false;
            return true;
        }
        if (e->type() == QEvent::InputMethod) {
            auto* ie = static_cast<QInputMethodEvent*>(e);
            if (ie->commitString().isEmpty())
                return false;
            bool changed = false;
            const QString out = filterText(ie->commitString(), changed);
            if (!changed)
                return false;
            QInputMethodEvent replaced(ie->preeditString(), ie->attributes());
            replaced.setCommitString(out, ie->replacementStart(), ie->replacementLength());
            *resending = true;
            QCoreApplication::sendEvent(c, &replaced);
            *resending = false;
            return true;
        }
        return false;
    });
    c->installEventFilter(f);
}

void selectAllText(QWidget& window, const QString& control)
{
    QWidget* c = findControl(window, control);
    if (auto* e = qobject_cast<QLineEdit*>(c)) {
        e->setSelection(0, e->text().size());
        return;
    }
    if (auto* p = qobject_cast<QPlainTextEdit*>(c)) {
        p->selectAll();
        return;
    }
    throwMissingControl(window, control);
}

} // namespace tp
