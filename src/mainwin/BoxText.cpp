#include "BoxText.h"

#include "Windows.h"

#include <QLineEdit>
#include <QPlainTextEdit>

namespace tp {

namespace {

    QWidget* box(QWidget& window, const QString& name)
    {
        QWidget* c = findControl(window, name);
        if (!qobject_cast<QLineEdit*>(c) && !qobject_cast<QPlainTextEdit*>(c))
            throwMissingControl(window, name);
        return c;
    }

} // namespace

QString boxText(QWidget& window, const QString& name)
{
    box(window, name);
    return controlText(window, name);
}

void setBoxText(QWidget& window, const QString& name, const QString& text)
{
    box(window, name);
    if (controlText(window, name) != text)
        setControlText(window, name, text);
}

} // namespace tp
