#include "Collation.h"

#include <QHash>
#include <QVector>

namespace standin {

namespace {

    QString withoutTrailingBlanks(const QString& s)
    {
        qsizetype n = s.size();
        while (n > 0 && s.at(n - 1) == QLatin1Char(' '))
            --n;
        return s.left(n);
    }

    // Full-width forms compare like their ASCII counterparts, the ideographic space like a blank.
    char32_t foldWidth(char32_t c)
    {
        if (c >= 0xFF01 && c <= 0xFF5E)
            return c - 0xFEE0;
        if (c == 0x3000)
            return U' ';
        return c;
    }

    struct Weighed
    {
        QVector<quint64> primary; // class in the high bits, folded base character below
        QString secondary; // the folded, decomposed text: tells accents apart
    };

    Weighed weigh(const QString& name)
    {
        Weighed w;
        const QList<uint> points = withoutTrailingBlanks(name).toUcs4();
        QString folded;
        for (uint p : points) {
            const char32_t c = foldWidth(p);
            folded += QString::fromUcs4(&c, 1);
        }
        folded = folded.toCaseFolded().normalized(QString::NormalizationForm_D);
        w.secondary = folded;
        for (uint p : folded.toUcs4()) {
            const QChar::Category cat = QChar::category(char32_t(p));
            if (cat == QChar::Mark_NonSpacing || cat == QChar::Mark_SpacingCombining || cat == QChar::Mark_Enclosing)
                continue; // accents only count in the secondary comparison
            quint64 cls = 0;
            if (p >= '0' && p <= '9')
                cls = 1;
            else if (p >= 'a' && p <= 'z')
                cls = 2;
            else if (QChar::isLetterOrNumber(char32_t(p)))
                cls = 3;
            w.primary.append((cls << 32) | p);
        }
        return w;
    }

    // Sorting thousands of names compares each of them many times; its weights are worked out
    // once. The engine runs on one thread; the cache is dropped when it grows large.
    Weighed weighed(const QString& name)
    {
        static QHash<QString, Weighed> cache;
        const auto it = cache.constFind(name);
        if (it != cache.cend())
            return *it;
        if (cache.size() >= 65536)
            cache.clear();
        return *cache.insert(name, weigh(name));
    }

} // namespace

QString serverCollationName()
{
    return QStringLiteral("SQL_Latin1_General_CP1_CI_AS");
}

int compareNames(const QString& a, const QString& b)
{
    const Weighed wa = weighed(a);
    const Weighed wb = weighed(b);
    const qsizetype n = qMin(wa.primary.size(), wb.primary.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (wa.primary[i] != wb.primary[i])
            return wa.primary[i] < wb.primary[i] ? -1 : 1;
    }
    if (wa.primary.size() != wb.primary.size())
        return wa.primary.size() < wb.primary.size() ? -1 : 1;
    const int s = wa.secondary.compare(wb.secondary);
    return s < 0 ? -1 : (s > 0 ? 1 : 0);
}

QString toServerCodePage(const QString& text)
{
    // Windows-1252 holds Latin-1 (bar the C1 controls) plus these.
    static const QString extra = QStringLiteral("\u20AC\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039"
                                                "\u0152\u017D\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122"
                                                "\u0161\u203A\u0153\u017E\u0178");
    QString out;
    out.reserve(text.size());
    for (uint u : text.toUcs4()) {
        const bool c1 = u >= 0x80 && u <= 0x9F;
        if ((u <= 0xFF && !c1) || (u <= 0xFFFF && extra.contains(QChar(char16_t(u)))))
            out += QChar(char16_t(u));
        else
            out += QLatin1Char('?');
    }
    return out;
}

} // namespace standin
