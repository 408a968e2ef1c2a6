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

// The header and rows with every column but the last padded to its widest cell, two blanks
// between columns; one line each, ending in '\n'.
QString alignedTable(const QStringList& header, const QList<QStringList>& rows);

// The object as one compact line of JSON, ending in '\n'.
QString jsonLine(const QJsonObject& object);

} // namespace tp::cli
