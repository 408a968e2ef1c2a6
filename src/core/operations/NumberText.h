#pragma once
// Numbers kept as text in the main window's boxes (the year in Text3, the count in Text6).
// Reading takes the whole number at the start of the text: leading blanks are skipped, an
// optional + or - sign is taken, then the digits up to the first other character; a text that
// does not start that way reads as 0 ("03" -> 3, "12ab" -> 12, "abc" -> 0, "" -> 0).
// A number beyond the range of qint64 reads as the nearest bound; nothing ever wraps.

#include <QString>
#include <QtGlobal>

namespace tp {

qint64 numberFromText(const QString& text);

// Plain decimal: no leading blank, no leading zeros (4, -1, 2008).
QString textFromNumber(qint64 value);

// a + b, held at the bounds of qint64 instead of wrapping.
qint64 saturatingAdd(qint64 a, qint64 b);

} // namespace tp
