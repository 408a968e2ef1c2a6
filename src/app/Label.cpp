#include "Label.h"

#include <QPainter>

namespace tp {

Label::Label(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void Label::paintEvent(QPaintEvent* event)
{
    const QFontMetrics fm = fontMetrics();
    if (fm.height() <= height() || text().isEmpty()) {
        QLabel::paintEvent(event);
        return;
    }
    // The ink of the whole line, centred in the box; if even the ink is higher than the box,
    // the text is drawn a pixel smaller until it fits.
    QFont f = font();
    QRect ink = fm.tightBoundingRect(text());
    int pixels = QFontInfo(f).pixelSize();
    while (ink.height() > height() && pixels > 6) {
        f.setPixelSize(--pixels);
        ink = QFontMetrics(f).tightBoundingRect(text());
    }
    const int baseline = (height() - ink.height()) / 2 - ink.top();
    QPainter p(this);
    p.setFont(f);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    p.drawText(QPoint(0, baseline), text());
}

} // namespace tp
