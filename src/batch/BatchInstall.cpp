#include "BatchInstall.h"

#include "BatchRun.h"
#include "Events.h"
#include "Windows.h"

#include <QEvent>
#include <QKeyEvent>

namespace tp {

namespace {

    // Esc in the progress window closes it, as its close box does (which cancels the run).
    class EscapeCloses : public QObject
    {
    public:
        using QObject::QObject;

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape
                && static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
                if (auto* window = qobject_cast<QWidget*>(parent())) {
                    window->close();
                    return true;
                }
            }
            return QObject::eventFilter(watched, event);
        }
    };

} // namespace

void installBatch()
{
    Windows::onLoad(WindowId::form2, [](QWidget& form2) {
        onClick(form2, QStringLiteral("Command7"), startRun);
        onTimer(form2, QStringLiteral("Timer2"), runTick);
    });
    Windows::onLoad(WindowId::Form3, [](QWidget& form3) {
        onTimer(form3, QStringLiteral("Timer1"), progressTick);
        form3.installEventFilter(new EscapeCloses(&form3));
    });
    Windows::onUnload(WindowId::Form3, [](QWidget&) { progressWindowUnloaded(); });
}

} // namespace tp
