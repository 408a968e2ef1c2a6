#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtMath>

namespace tp {

namespace {
double pixelsPerTwip()
{
    double dpi = 96.0;
    if (auto* screen = QGuiApplication::primaryScreen())
        dpi = screen->logicalDotsPerInch();
    if (dpi <= 0)
        dpi = 96.0;
    return dpi / (96.0 * 15.0);
}
} // namespace

int twipsToPixels(int twips)
{
    return qRound(twips * pixelsPerTwip());
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

QSize twipsSize(int width, int height)
{
    return QSize(twipsToPixels(width), twipsToPixels(height));
}

} // namespace tp
