#include "CliOutput.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QLocale>
#include <cmath>

namespace tp::cli {

int displayWidth(const QString& text)
{
    int width = 0;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (c.isLowSurrogate())
            continue;
        const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) || (u >= 0xAC00 && u <= 0xD7A3)
            || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60)
            || (u >= 0xFFE0 && u <= 0xFFE6) || c.isHighSurrogate();
        width += wide ? 2 : 1;
    }
    return width;
}

QString alignedTable(const QStringList& header, const QList<QStringList>& rowsAsGiven)
{
    QList<QStringList> rows;
    for (const QStringList& r : rowsAsGiven) {
        QStringList shown;
        for (const QString& cell : r)
            shown << visibleText(cell);
        rows << shown;
    }
    QVector<int> widths(header.size(), 0);
    auto measure = [&widths](const QStringList& cells) {
        for (int i = 0; i < cells.size() && i < widths.size(); ++i)
            widths[i] = qMax(widths[i], displayWidth(cells.at(i)));
    };
    measure(header);
    for (const QStringList& r : rows)
        measure(r);
    auto line = [&widths](const QStringList& cells) {
        QString out;
        for (int i = 0; i < cells.size(); ++i) {
            out += cells.at(i);
            if (i + 1 < cells.size())
                out += QString(widths.at(i) - displayWidth(cells.at(i)) + 2, QLatin1Char(' '));
        }
        while (out.endsWith(QLatin1Char(' ')))
            out.chop(1);
        return out + QLatin1Char('\n');
    };
    QString out = line(header);
    for (const QStringList& r : rows)
        out += line(r);
    return out;
}

namespace {

    void appendHex4(QString* out, char16_t unit);

} // namespace

QString visibleText(const QString& text)
{
    const auto hidden = [](char16_t u) {
        return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029 || u == 0x200E || u == 0x200F
            || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
    };
    qsizetype i = 0;
    while (i < text.size() && !hidden(text.at(i).unicode()) && !text.at(i).isSurrogate())
        ++i;
    if (i == text.size())
        return text;
    QString out = text.left(i);
    for (; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += text.at(i);
            out += text.at(++i);
        } else if (hidden(u) || QChar::isSurrogate(u)) {
            appendHex4(&out, u);
        } else {
            out += QChar(u);
        }
    }
    return out;
}

namespace {

    void appendHex4(QString* out, char16_t unit)
    {
        static const char digits[] = "0123456789abcdef";
        *out += QLatin1String("\\u");
        for (int shift = 12; shift >= 0; shift -= 4)
            *out += QLatin1Char(digits[(unit >> shift) & 0xF]);
    }

    void appendValue(QString* out, const QJsonValue& v);

    void appendObject(QString* out, const QJsonObject& o)
    {
        *out += QLatin1Char('{');
        bool first = true;
        for (auto it = o.constBegin(); it != o.constEnd(); ++it) {
            if (!first)
                *out += QLatin1Char(',');
            first = false;
            *out += jsonString(it.key());
            *out += QLatin1Char(':');
            appendValue(out, it.value());
        }
        *out += QLatin1Char('}');
    }

    void appendValue(QString* out, const QJsonValue& v)
    {
        switch (v.type()) {
        case QJsonValue::Bool:
            *out += v.toBool() ? QLatin1String("true") : QLatin1String("false");
            break;
        case QJsonValue::Double: {
            const double d = v.toDouble();
            if (!std::isfinite(d))
                *out += QLatin1String("null");
            else if (d == std::floor(d) && std::fabs(d) < 9007199254740992.0)
                *out += QString::number(qint64(d));
            else
                *out += QString::number(d, 'g', QLocale::FloatingPointShortest);
            break;
        }
        case QJsonValue::String:
            *out += jsonString(v.toString());
            break;
        case QJsonValue::Array: {
            *out += QLatin1Char('[');
            const QJsonArray a = v.toArray();
            for (qsizetype i = 0; i < a.size(); ++i) {
                if (i > 0)
                    *out += QLatin1Char(',');
                appendValue(out, a.at(i));
            }
            *out += QLatin1Char(']');
            break;
        }
        case QJsonValue::Object:
            appendObject(out, v.toObject());
            break;
        default:
            *out += QLatin1String("null");
            break;
        }
    }

} // namespace

QString jsonString(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += text.at(i);
            out += text.at(++i);
            continue;
        }
        switch (u) {
        case u'"':
            out += QLatin1String("\\\"");
            continue;
        case u'\\':
            out += QLatin1String("\\\\");
            continue;
        case u'\n':
            out += QLatin1String("\\n");
            continue;
        case u'\r':
            out += QLatin1String("\\r");
            continue;
        case u'\t':
            out += QLatin1String("\\t");
            continue;
        default:
            break;
        }
        // Control characters (C0, DEL, C1), the two line separators that some readers take as
        // line ends, and a surrogate without its partner, which has no UTF-8 form.
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029 || QChar::isSurrogate(u))
            appendHex4(&out, u);
        else
            out += QChar(u);
    }
    out += QLatin1Char('"');
    return out;
}

QString jsonLine(const QJsonObject& object)
{
    QString out;
    appendObject(&out, object);
    return out + QLatin1Char('\n');
}

} // namespace tp::cli
