#include "Artwork.h"

#include "WindowBuilder.h"

#include <QPainter>
#include <QPainterPath>

namespace tp {

namespace {

// The sixteen colours of the classic palette.
namespace pal {
const QColor black(0, 0, 0);
const QColor navy(0, 0, 128);
const QColor teal(0, 128, 128);
const QColor grey(128, 128, 128);
const QColor silver(192, 192, 192);
const QColor blue(0, 0, 255);
const QColor aqua(0, 255, 255);
const QColor yellow(255, 255, 0);
const QColor olive(128, 128, 0);
const QColor green(0, 128, 0);
const QColor lime(0, 255, 0);
const QColor white(255, 255, 255);
} // namespace pal

QImage blank(int size)
{
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    return img;
}

// A database drum: a cylinder seen slightly from above.
void drawDrum(QPainter& p, const QRect& r, const QColor& body, const QColor& top)
{
    const int capH = qMax(2, r.height() / 4);
    p.setPen(pal::black);
    p.setBrush(body);
    p.drawRect(QRect(r.left(), r.top() + capH / 2, r.width() - 1, r.height() - capH));
    p.drawEllipse(QRect(r.left(), r.bottom() - capH, r.width() - 1, capH));
    p.setPen(Qt::NoPen);
    p.drawRect(QRect(r.left() + 1, r.top() + capH / 2, r.width() - 2, r.height() - capH));
    p.setPen(pal::black);
    p.drawLine(r.left(), r.top() + capH / 2, r.left(), r.bottom() - capH / 2);
    p.drawLine(r.right(), r.top() + capH / 2, r.right(), r.bottom() - capH / 2);
    p.setBrush(top);
    p.drawEllipse(QRect(r.left(), r.top(), r.width() - 1, capH));
}

QImage drumIcon(int size)
{
    QImage img = blank(size);
    QPainter p(&img);
    const int m = size / 8;
    drawDrum(p, QRect(m, m, size - 2 * m, size - 2 * m), pal::teal, pal::aqua);
    return img;
}

QImage keyIcon(int size)
{
    QImage img = blank(size);
    QPainter p(&img);
    const double s = size / 32.0;
    drawDrum(p, QRect(int(2 * s), int(2 * s), int(18 * s), int(22 * s)), pal::navy, pal::blue);
    // a key across the lower right
    p.setPen(pal::black);
    p.setBrush(pal::yellow);
    p.drawEllipse(QRectF(16 * s, 16 * s, 10 * s, 10 * s));
    p.setBrush(pal::black);
    p.drawEllipse(QRectF(19.5 * s, 19.5 * s, 3 * s, 3 * s));
    p.setBrush(pal::olive);
    p.drawRect(QRectF(25 * s, 20 * s, 6 * s, 2.5 * s));
    p.drawRect(QRectF(28 * s, 22.5 * s, 2 * s, 3 * s));
    return img;
}

QImage attachImage(int size)
{
    QImage img = blank(size);
    QPainter p(&img);
    const double s = size / 32.0;
    drawDrum(p, QRect(int(2 * s), int(4 * s), int(20 * s), int(24 * s)), pal::teal, pal::aqua);
    // a green plus: a database being added
    p.setPen(pal::black);
    p.setBrush(pal::lime);
    QPolygonF plus;
    const double c = 24 * s, a = 2.5 * s, b = 7 * s;
    plus << QPointF(c - a, c - b) << QPointF(c + a, c - b) << QPointF(c + a, c - a) << QPointF(c + b, c - a)
         << QPointF(c + b, c + a) << QPointF(c + a, c + a) << QPointF(c + a, c + b) << QPointF(c - a, c + b)
         << QPointF(c - a, c + a) << QPointF(c - b, c + a) << QPointF(c - b, c - a) << QPointF(c - a, c - a);
    p.drawPolygon(plus);
    return img;
}

} // namespace

QImage loginPicture()
{
    QImage img(422, 277, QImage::Format_RGB888);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);

    // A pattern of grey squares behind the heading, fading out to the right and downwards.
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 7; ++row) {
        for (int col = 0; col < 13; ++col) {
            if ((row * 7 + col * 3) % 5 == 0)
                continue;
            const int fade = qMin(255, 200 + col * 3 + row * 5);
            p.setBrush(QColor(fade, fade, fade));
            p.drawRect(QRect(12 + col * 11, 14 + row * 11, 9, 9));
        }
    }

    // The heading "sign-in system" in large grey-blue characters.
    QFont heading = windowFont();
    heading.setPixelSize(32);
    p.setFont(heading);
    p.setPen(QColor(170, 180, 200));
    p.drawText(QRect(23, 17, 150, 44), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("登录系统"));
    p.drawText(QRect(24, 17, 150, 44), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("登录系统"));
    // Heavier strokes by drawing the line twice a pixel apart: a real bold face would be a
    // second font file to load at start-up.
    p.setPen(QColor(96, 112, 150));
    p.drawText(QRect(20, 14, 150, 44), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("登录系统"));
    p.drawText(QRect(21, 14, 150, 44), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("登录系统"));

    // A grey curve along the bottom.
    QPainterPath curve;
    curve.moveTo(0, 262);
    curve.cubicTo(110, 226, 260, 282, 422, 238);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(150, 150, 150), 3));
    p.drawPath(curve);
    QPainterPath under;
    under.moveTo(0, 270);
    under.cubicTo(120, 238, 270, 290, 422, 250);
    p.setPen(QPen(QColor(200, 200, 200), 2));
    p.drawPath(under);
    p.end();
    return img;
}

QIcon loginIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(keyIcon(32)));
    icon.addPixmap(QPixmap::fromImage(keyIcon(16)));
    return icon;
}

QIcon mainIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(drumIcon(16)));
    return icon;
}

QIcon attachIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(attachImage(32)));
    return icon;
}

} // namespace tp
