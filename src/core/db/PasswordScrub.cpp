#include "PasswordScrub.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>

namespace tp {

namespace {

    QString doubled(QString value, QChar c)
    {
        return value.replace(c, QString(2, c));
    }

    // The ways a connection string can write `password`, longest first.
    QStringList writtenForms(const QString& password)
    {
        if (password.isEmpty())
            return {};
        QStringList forms { QLatin1Char('{') + doubled(password, QLatin1Char('}')) + QLatin1Char('}'),
            QLatin1Char('"') + doubled(password, QLatin1Char('"')) + QLatin1Char('"'),
            QLatin1Char('\'') + doubled(password, QLatin1Char('\'')) + QLatin1Char('\''), password };
        std::stable_sort(
            forms.begin(), forms.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
        return forms;
    }

    bool endsValue(const QString& text, qsizetype at)
    {
        return at >= text.size() || text.at(at) == QLatin1Char(';') || text.at(at).isSpace();
    }

    // Length of the attribute value that starts at `at` when the password is not recognised.
    qsizetype valueLength(const QString& text, qsizetype at)
    {
        if (at >= text.size())
            return 0;
        const QChar open = text.at(at);
        if (open == QLatin1Char('{') || open == QLatin1Char('"') || open == QLatin1Char('\'')) {
            const QChar close = open == QLatin1Char('{') ? QLatin1Char('}') : open;
            for (qsizetype i = at + 1; i < text.size(); ++i) {
                if (text.at(i) != close)
                    continue;
                if (i + 1 < text.size() && text.at(i + 1) == close) {
                    ++i; // a doubled closing character belongs to the value
                    continue;
                }
                return i + 1 - at;
            }
            return text.size() - at;
        }
        qsizetype end = at;
        while (end < text.size() && text.at(end) != QLatin1Char(';') && text.at(end) != QLatin1Char('\n'))
            ++end;
        return end - at;
    }

} // namespace

QString scrubPassword(const QString& text, const QString& password)
{
    static const QRegularExpression attribute(
        QStringLiteral("(?<![A-Za-z0-9_])(?:PWD|Password)\\s*=\\s*"), QRegularExpression::CaseInsensitiveOption);
    const QStringList forms = writtenForms(password);
    QString out;
    qsizetype from = 0;
    auto it = attribute.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const qsizetype at = m.capturedEnd();
        if (at < from)
            continue; // inside a value already replaced
        qsizetype length = -1;
        for (const QString& f : forms) {
            if (QStringView(text).mid(at).startsWith(f) && endsValue(text, at + f.size())) {
                length = f.size();
                break;
            }
        }
        if (length < 0)
            length = valueLength(text, at);
        if (length == 0)
            continue;
        out += QStringView(text).mid(from, at - from);
        out += QLatin1String("***");
        from = at + length;
    }
    out += QStringView(text).mid(from);
    return out;
}

} // namespace tp
