#include "StatusBar.h"

#include <QPainter>

namespace tp {

StatusBar::StatusBar(QWidget* parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
}

int StatusBar::addPanel(int width, const QString& text)
{
    m_widths.append(width);
    m_texts.append(text);
    update();
    return m_texts.size() - 1;
}

void StatusBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    int x = 0;
    const int margin = 2;
    for (int i = 0; i < m_texts.size(); ++i) {
        QRect box(x + 1, margin, m_widths[i] - 2, height() - 2 * margin);
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(box.topLeft(), box.topRight());
        p.drawLine(box.topLeft(), box.bottomLeft());
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(box.bottomLeft(), box.bottomRight());
        p.drawLine(box.topRight(), box.bottomRight());
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(box.adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_texts[i]);
        x += m_widths[i];
    }
}

} // namespace tp
