#include "PathTimer.h"

#include "AccountYear.h"
#include "Events.h"
#include "Windows.h"

#include <QLineEdit>
#include <QTimer>

namespace tp {

void pathTimerTick(QWidget& form2)
{
    const QString root = controlText(form2, QStringLiteral("Text1"));
    const QString accountSet = controlText(form2, QStringLiteral("Text2"));
    const QString year = controlText(form2, QStringLiteral("Text3"));
    const QString path = accountYear(root, accountSet, year).dataFilePath;
    // Rewriting the same text would drop the user's selection in Text4 and redraw it.
    if (controlText(form2, QStringLiteral("Text4")) != path)
        setControlText(form2, QStringLiteral("Text4"), path);
}

void installPathTimer(QWidget& form2)
{
    QTimer* timer = findTimer(form2, QStringLiteral("Timer1"));

    // Stopped before the work, so a tick that fails is reported once, not every millisecond.
    onTimer(form2, QStringLiteral("Timer1"), [&form2, timer] {
        timer->stop();
        pathTimerTick(form2);
    });
    for (const char* box : { "Text1", "Text2", "Text3" }) {
        auto* edit = control<QLineEdit>(form2, QLatin1String(box));
        QObject::connect(edit, &QLineEdit::textChanged, timer, [timer] { timer->start(); });
    }
    timer->start();
}

} // namespace tp
