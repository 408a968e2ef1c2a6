#include "NumberText.h"

#include <limits>

namespace tp {

qint64 numberFromText(const QString& text)
{
    constexpr qint64 maxValue = std::numeric_limits<qint64>::max();
    constexpr qint64 minValue = std::numeric_limits<qint64>::min();

    int i = 0;
    const int n = text.size();
    while (i < n && (text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    // Accumulate as a negative number so that the minimum of qint64 is reachable too.
    qint64 value = 0;
    bool saturated = false;
    for (; i < n; ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        const int digit = c.unicode() - '0';
        if (saturated)
            continue;
        if (value < (minValue + digit) / 10) {
            saturated = true;
            continue;
        }
        value = value * 10 - digit;
    }
    if (saturated)
        return negative ? minValue : maxValue;
    if (negative)
        return value;
    return value == minValue ? maxValue : -value;
}

QString textFromNumber(qint64 value)
{
    return QString::number(value);
}

qint64 saturatingAdd(qint64 a, qint64 b)
{
    constexpr qint64 maxValue = std::numeric_limits<qint64>::max();
    constexpr qint64 minValue = std::numeric_limits<qint64>::min();
    if (b > 0 && a > maxValue - b)
        return maxValue;
    if (b < 0 && a < minValue - b)
        return minValue;
    return a + b;
}

} // namespace tp
