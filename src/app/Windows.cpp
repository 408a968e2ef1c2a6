#include "Windows.h"

#include "ErrorBoundary.h"
#include "Forms.h"
#include "TextArea.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <array>

namespace tp {

namespace {

constexpr int windowCount = 4;

struct Registry {
    std::array<QPointer<FormWindow>, windowCount> windows;
    std::array<QList<std::function<void(QWidget&)>>, windowCount> loadHooks;
    std::array<QList<std::function<void(QWidget&)>>, windowCount> unloadHooks;
};

Registry& registry()
{
    static Registry r;
    return r;
}

int indexOf(WindowId id)
{
    return static_cast<int>(id);
}

FormWindow* create(WindowId id)
{
    switch (id) {
    case WindowId::Form1:
        return createForm1();
    case WindowId::form2:
        return createForm2();
    case WindowId::Form3:
        return createForm3();
    case WindowId::Form4:
        return createForm4();
    }
    throw InternalError("unknown window");
}

} // namespace

QWidget& Windows::form1()
{
    return get(WindowId::Form1);
}
QWidget& Windows::form2()
{
    return get(WindowId::form2);
}
QWidget& Windows::form3()
{
    return get(WindowId::Form3);
}
QWidget& Windows::form4()
{
    return get(WindowId::Form4);
}

QWidget& Windows::get(WindowId id)
{
    Registry& r = registry();
    const int i = indexOf(id);
    if (r.windows[i])
        return *r.windows[i];
    FormWindow* w = create(id);
    r.windows[i] = w;
    // The window's Load event: registered hooks in order, each within the boundary.
    const auto hooks = r.loadHooks[i];
    QPointer<FormWindow> guard(w);
    for (const auto& hook : hooks) {
        if (!guard)
            break;
        runGuarded([&] { hook(*guard); });
    }
    return *w;
}

bool Windows::isLoaded(WindowId id)
{
    return !registry().windows[indexOf(id)].isNull();
}

void Windows::unload(WindowId id)
{
    Registry& r = registry();
    const int i = indexOf(id);
    QPointer<FormWindow> w = r.windows[i];
    if (!w)
        return;
    const auto hooks = r.unloadHooks[i];
    for (const auto& hook : hooks) {
        if (!w)
            break;
        runGuarded([&] { hook(*w); });
    }
    if (!w)
        return;
    if (r.windows[i] == w)
        r.windows[i] = nullptr;
    // An unloaded window's timers never tick again: a tick still due would otherwise refer
    // to the window by name and load a fresh instance of it.
    for (QTimer* t : w->findChildren<QTimer*>())
        t->stop();
    w->hide();
    // Deleted once control is back in the event loop: the unload may come from a handler
    // of one of the window's own controls.
    w->deleteLater();
}

void Windows::unloadAll()
{
    Registry& r = registry();
    for (auto& slot : r.windows) {
        QPointer<FormWindow> w = slot;
        slot = nullptr;
        if (w) {
            for (QTimer* t : w->findChildren<QTimer*>())
                t->stop();
            w->hide();
            w->deleteLater();
        }
    }
}

void Windows::showModal(WindowId id)
{
    QPointer<QWidget> w = &get(id);
    if (!w)
        return;
    auto* form = qobject_cast<FormWindow*>(w.data());
    if (w->isVisible() && w->windowModality() != Qt::ApplicationModal)
        w->hide();
    w->setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    if (form)
        QObject::connect(form, &FormWindow::hidden, &loop, &QEventLoop::quit);
    QObject::connect(w, &QObject::destroyed, &loop, &QEventLoop::quit);
    w->show();
    w->raise();
    w->activateWindow();
    if (w && w->isVisible())
        loop.exec(QEventLoop::DialogExec);
}

void Windows::onLoad(WindowId id, std::function<void(QWidget&)> hook)
{
    registry().loadHooks[indexOf(id)].append(std::move(hook));
}

void Windows::onUnload(WindowId id, std::function<void(QWidget&)> hook)
{
    registry().unloadHooks[indexOf(id)].append(std::move(hook));
}

void Windows::clearHooks()
{
    Registry& r = registry();
    for (auto& l : r.loadHooks)
        l.clear();
    for (auto& l : r.unloadHooks)
        l.clear();
}

void throwMissingControl(QWidget& window, const QString& name)
{
    throw InternalError(QStringLiteral("window %1 has no control %2 of the expected kind")
                            .arg(window.objectName(), name)
                            .toStdString());
}

QWidget* findControl(QWidget& window, const QString& name)
{
    QWidget* c = window.findChild<QWidget*>(name);
    if (!c)
        throwMissingControl(window, name);
    return c;
}

QTimer* findTimer(QWidget& window, const QString& name)
{
    QTimer* t = window.findChild<QTimer*>(name, Qt::FindDirectChildrenOnly);
    if (!t)
        throwMissingControl(window, name);
    return t;
}

QString controlText(QWidget& window, const QString& name)
{
    QWidget* c = findControl(window, name);
    if (auto* e = qobject_cast<QLineEdit*>(c))
        return e->text();
    if (auto* a = qobject_cast<TextArea*>(c))
        return a->text();
    if (auto* p = qobject_cast<QPlainTextEdit*>(c))
        return p->toPlainText();
    if (auto* l = qobject_cast<QLabel*>(c))
        return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(c))
        return b->text();
    throwMissingControl(window, name);
}

void setControlText(QWidget& window, const QString& name, const QString& text)
{
    QWidget* c = findControl(window, name);
    if (auto* e = qobject_cast<QLineEdit*>(c))
        e->setText(text);
    else if (auto* a = qobject_cast<TextArea*>(c))
        a->setText(text);
    else if (auto* p = qobject_cast<QPlainTextEdit*>(c))
        p->setPlainText(text);
    else if (auto* l = qobject_cast<QLabel*>(c))
        l->setText(text);
    else if (auto* b = qobject_cast<QAbstractButton*>(c))
        b->setText(text);
    else
        throwMissingControl(window, name);
}

} // namespace tp
