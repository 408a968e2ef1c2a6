#include "RaiseErrorFormat.h"

namespace standin {

namespace {

    const QString nullText = QStringLiteral("(null)");

    // Pads `body` (after `prefix`, the sign or 0x) to `width`: blanks before, zeros between
    // prefix and body, or blanks after for left justification.
    QString justify(const QString& prefix, const QString& body, int width, bool left, bool zeros)
    {
        const int length = int(prefix.size() + body.size());
        if (length >= width)
            return prefix + body;
        const QString fill(width - length, zeros && !left ? QLatin1Char('0') : QLatin1Char(' '));
        if (left)
            return prefix + body + fill;
        if (zeros)
            return prefix + fill + body;
        return fill + prefix + body;
    }

    struct Conversion
    {
        bool left = false;
        bool plus = false;
        bool blank = false;
        bool zeros = false;
        bool alternate = false;
        int width = 0;
        int precision = -1;
        int bits = 32;
        QChar type;
    };

    QString formatInteger(const Conversion& conv, qint64 value)
    {
        const char t = char(conv.type.unicode());
        const bool isSigned = t == 'd' || t == 'i';
        QString digits;
        QString prefix;
        if (isSigned) {
            qint64 v = conv.bits == 16 ? qint64(qint16(value)) : conv.bits == 32 ? qint64(qint32(value)) : value;
            const bool negative = v < 0;
            const quint64 magnitude = negative ? quint64(0) - quint64(v) : quint64(v);
            digits = QString::number(magnitude);
            prefix = negative ? QStringLiteral("-")
                : conv.plus   ? QStringLiteral("+")
                : conv.blank  ? QStringLiteral(" ")
                              : QString();
        } else {
            const quint64 v = conv.bits == 16 ? quint64(quint16(value))
                : conv.bits == 32             ? quint64(quint32(value))
                                              : quint64(value);
            const int base = t == 'o' ? 8 : (t == 'u' ? 10 : 16);
            digits = QString::number(v, base);
            if (t == 'X')
                digits = digits.toUpper();
            if (conv.alternate && v != 0 && t != 'u')
                prefix = t == 'o' ? QStringLiteral("0") : (t == 'x' ? QStringLiteral("0x") : QStringLiteral("0X"));
        }
        if (conv.precision >= 0 && digits.size() < conv.precision)
            digits = QString(conv.precision - digits.size(), QLatin1Char('0')) + digits;
        // As in C, a precision turns zero padding off.
        return justify(prefix, digits, conv.width, conv.left, conv.zeros && conv.precision < 0);
    }

} // namespace

FormatResult formatRaiseError(const QString& format, const QVector<FormatArgument>& args)
{
    FormatResult r;
    for (qsizetype a = 0; a < args.size(); ++a) {
        if (args[a].type == FormatArgument::Type::Unsupported) {
            r.error = 2748;
            r.errorArgs = { args[a].text, QString::number(a + 4) }; // RAISERROR's own parameter number
            return r;
        }
    }
    qsizetype next = 0; // the next argument
    auto mismatch = [&](qsizetype argument) {
        r.error = 2786;
        r.errorArgs = { QString::number(argument + 1) };
    };
    // The next argument as an integer for a * width or precision; false after an error.
    auto starValue = [&](int* value) {
        if (next >= args.size() || args[next].type == FormatArgument::Type::Null) {
            *value = 0;
            ++next;
            return true;
        }
        if (args[next].type != FormatArgument::Type::Integer) {
            mismatch(next);
            return false;
        }
        *value = int(qBound(qint64(-4000), args[next].integer, qint64(4000)));
        ++next;
        return true;
    };

    const qsizetype n = format.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = format.at(i);
        if (c != QLatin1Char('%')) {
            r.text += c;
            ++i;
            continue;
        }
        const qsizetype start = i++;
        if (i < n && format.at(i) == QLatin1Char('%')) {
            r.text += QLatin1Char('%');
            ++i;
            continue;
        }
        Conversion conv;
        for (; i < n; ++i) {
            const QChar f = format.at(i);
            if (f == QLatin1Char('-'))
                conv.left = true;
            else if (f == QLatin1Char('+'))
                conv.plus = true;
            else if (f == QLatin1Char(' '))
                conv.blank = true;
            else if (f == QLatin1Char('0'))
                conv.zeros = true;
            else if (f == QLatin1Char('#'))
                conv.alternate = true;
            else
                break;
        }
        if (i < n && format.at(i) == QLatin1Char('*')) {
            ++i;
            if (!starValue(&conv.width))
                return r;
            if (conv.width < 0) {
                conv.left = true;
                conv.width = -conv.width;
            }
        } else {
            while (i < n && format.at(i).isDigit())
                conv.width = qMin(4000, conv.width * 10 + format.at(i++).digitValue());
        }
        if (i < n && format.at(i) == QLatin1Char('.')) {
            ++i;
            conv.precision = 0;
            if (i < n && format.at(i) == QLatin1Char('*')) {
                ++i;
                if (!starValue(&conv.precision))
                    return r;
            } else {
                while (i < n && format.at(i).isDigit())
                    conv.precision = qMin(4000, conv.precision * 10 + format.at(i++).digitValue());
            }
        }
        if (i < n && format.at(i) == QLatin1Char('h')) {
            conv.bits = 16;
            ++i;
        } else if (i < n && format.at(i) == QLatin1Char('l')) {
            ++i;
        } else if (format.mid(i, 3) == QLatin1String("I64")) {
            conv.bits = 64;
            i += 3;
        }
        const QChar type = i < n ? format.at(i) : QChar();
        if (!QStringLiteral("diouxXs").contains(type) || type.isNull()) {
            r.error = 2787;
            r.errorArgs = { format.mid(start, i < n ? i - start + 1 : i - start) };
            r.text.clear();
            return r;
        }
        ++i;
        conv.type = type;
        const qsizetype argument = next++;
        const bool missing = argument >= args.size() || args[argument].type == FormatArgument::Type::Null;
        if (missing) {
            const QString shown
                = conv.precision >= 0 && type == QLatin1Char('s') ? nullText.left(conv.precision) : nullText;
            r.text += justify(QString(), shown, conv.width, conv.left, false);
            continue;
        }
        const FormatArgument& a = args[argument];
        if (type == QLatin1Char('s')) {
            if (a.type == FormatArgument::Type::Integer) {
                mismatch(argument);
                return r;
            }
            QString value = a.text; // binary values arrive as their bytes, one character each
            if (conv.precision >= 0)
                value = value.left(conv.precision);
            r.text += justify(QString(), value, conv.width, conv.left, false);
            continue;
        }
        if (a.type != FormatArgument::Type::Integer) {
            mismatch(argument);
            return r;
        }
        r.text += formatInteger(conv, a.integer);
    }
    return r;
}

QString limitRaiseErrorText(const QString& text)
{
    constexpr int MaxLength = 2047;
    if (text.size() <= MaxLength)
        return text;
    return text.left(2044) + QStringLiteral("...");
}

} // namespace standin
