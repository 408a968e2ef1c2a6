#pragma once
// The server's collation for names: case-insensitive, accent-sensitive, width-insensitive,
// trailing blanks ignored (leading blanks count). Every comparison of database, file and
// login names, and every ORDER BY on text, goes through compareNames().

#include <QString>

namespace standin {

// The collation the server reports (SQL_Latin1_General_CP1_CI_AS) and its id.
inline constexpr qint64 ServerCollationId = 872468488;
QString serverCollationName();

// < 0, 0 or > 0. Order: blanks and punctuation ("_", "-", ...) before digits, digits before
// Latin letters, Latin letters before every other script; within a class by the folded
// character, accents deciding only between otherwise equal names. A name that is a prefix
// of another sorts first.
int compareNames(const QString& a, const QString& b);

inline bool sameName(const QString& a, const QString& b)
{
    return compareNames(a, b) == 0;
}

// What a plain (non-Unicode) literal turns into on this server: its code page is 1252, so a
// character outside it becomes '?'.
QString toServerCodePage(const QString& text);

} // namespace standin
