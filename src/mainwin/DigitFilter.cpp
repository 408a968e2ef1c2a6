#include "DigitFilter.h"

#include <QtGlobal>

namespace tp {

int digitFilter(int keyAscii)
{
    const auto k = static_cast<qint16>(keyAscii);
    if ((k > 57 || k < 48) && k != 8)
        return 0;
    return k;
}

} // namespace tp
