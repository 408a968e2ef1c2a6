#include "CliOutput.h"

#include <QJsonDocument>

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

QString alignedTable(const QStringList& header, const QList<QStringList>& rows)
{
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

QString jsonLine(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + QLatin1Char('\n');
}

} // namespace tp::cli
