#pragma once
// What tallyport-cli prints: an aligned table for people (columns padded by display width, a
// CJK character taking two columns) or one JSON object per line for other tools.

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace tp::cli {

// Columns a text takes on a terminal: 2 for wide (CJK, full-width) characters, else 1.
int displayWidth(const QString& text);

// `text` with every character that a terminal would act on or not show, as "\uXXXX": control
// characters (U+0000-U+001F, U+007F-U+009F, so also tab and line ends), U+2028, U+2029, the
// bidirectional controls (U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) and a surrogate that
// is not half of a pair. A name or message from the server or a file stays on its line and
// cannot move the cursor, colour the terminal or turn the text around.
QString visibleText(const QString& text);

// The header and rows with every column but the last padded to its widest cell, two blanks
// between columns; one line each, ending in '\n'. Cells are shown through visibleText().
QString alignedTable(const QStringList& header, const QList<QStringList>& rows);

// The object as one compact line of JSON, ending in '\n', keys in the object's (sorted) order.
// Its UTF-8 form is valid UTF-8 and strict JSON whatever the strings hold (see jsonString).
QString jsonLine(const QJsonObject& object);

// A JSON string literal of `text`: '"' and '\\' escaped, \n \r \t as such, and as \uXXXX every
// control character (U+0000-U+001F, U+007F-U+009F), U+2028, U+2029 and every surrogate that
// is not half of a pair. Everything else is kept as it is.
QString jsonString(const QString& text);

} // namespace tp::cli
