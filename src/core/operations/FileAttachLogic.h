#pragma once
// The file window's pure logic: the two look-up statements, the cleaning of the paths that
// a file records, and which file of the recorded list is the log. No window, no database.

#include <QString>
#include <QVariant>
#include <QVector>

namespace tp {

// The look-up of what a primary data file records, option 1 (its file list) or option 2 (its
// database name): "dbcc checkprimaryfile (N'" + path + "'," + option + ") ", with the
// trailing blank. Apostrophes in the path are doubled; otherwise the path goes in as given.
QString checkPrimaryFileStatement(const QString& mdfPath, int option);

// A physical file name as the file list's cell carries it: nchar, padded with blanks, and
// possibly followed by line ends. Only the blanks, CRs and LFs at the end are removed;
// everything before them, blanks inside folder names included, is kept.
QString cleanRecordedPath(const QString& cell);

// Which row of the file list (option 1) names the log file, given each row's group id
// (column 1): the first row whose group id is 0. When no row is marked as a log, row 1,
// the file that follows the primary data file. A null group id marks nothing.
int logFileRow(const QVector<QVariant>& groupIds);

// Column positions of the two look-up results.
constexpr int fileListGroupIdColumn = 1;
constexpr int fileListPhysicalNameColumn = 8;
constexpr int primaryFileRow = 0;
constexpr int databaseNameRow = 0;
constexpr int databaseNameValueColumn = 1;

} // namespace tp
