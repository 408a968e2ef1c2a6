#include "TextArea.h"

#include <QTextDocument>

namespace tp {

TextArea::TextArea(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(1);
    setTabChangesFocus(true);
}

QString TextArea::text() const
{
    return toPlainText();
}

void TextArea::setText(const QString& text)
{
    if (text == toPlainText())
        return;
    setPlainText(text);
}

} // namespace tp
