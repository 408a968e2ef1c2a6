#pragma once
// Places and sizes of the windows are given in twips (1/1440 inch). This is the one place
// that turns them into pixels: 15 twips to the pixel at 96 dots per inch, scaled by the
// screen's logical DPI / 96 where the toolkit does not scale by itself. Nothing else rounds.

#include <QRect>
#include <QSize>

namespace tp {

int twipsToPixels(int twips);
QRect twipsRect(int left, int top, int width, int height);
QSize twipsSize(int width, int height);

} // namespace tp
