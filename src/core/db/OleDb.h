#pragma once
// Reading OLE DB connection strings and turning them into ODBC connection strings for SQL
// Server. Pure functions, no I/O, except findSqlServerOdbcDriver().

#include <QMap>
#include <QString>
#include <QStringList>

namespace tp {

// Attribute names are case-insensitive; keys are returned lower-case. Values follow OLE DB's
// quoting rules: a value in '...' or "..." may hold ';' and '=', the quote doubled inside;
// an '=' in a key is written '=='. Leading and trailing blanks of unquoted values are dropped.
QMap<QString, QString> parseOleDbConnectionString(const QString& s);

// Quotes a value for an OLE DB connection string where it has to be: a value holding ';',
// '=', a quote, or leading/trailing blanks is put in quotes; any other value is returned as is.
QString quoteOleDbValue(const QString& value);

struct SqlServerAddress {
    QString host; // "127.0.0.1" for (local), ".", "localhost"
    int port = 1433; // 0 when an instance name is given (found through the browser service)
    QString instance;
};
SqlServerAddress parseDataSource(const QString& dataSource);

// ODBC connection string for the given driver (e.g. "FreeTDS" or "ODBC Driver 18 for SQL
// Server"), ending with ';'. Values are braced where the driver would misread them: for
// Microsoft's drivers by ODBC's rule ('}' doubled); for FreeTDS only where needed, and '}'
// doubled only when `unescapesBraces` (see freeTdsUnescapesBraces() in OdbcApi.h).
// Empty when a value cannot be written for the driver at all.
QString buildOdbcConnectionString(
    const QMap<QString, QString>& oleDb, const QString& driver, bool unescapesBraces = true);
// The same as separate "KEY=value" attributes, DRIVER first; joined with ';' and a final ';'
// they give buildOdbcConnectionString(). Empty when a value cannot be written.
QStringList buildOdbcAttributes(
    const QMap<QString, QString>& oleDb, const QString& driver, bool unescapesBraces = true);

// Which SQL Server ODBC driver this machine has: Microsoft's ODBC Driver 18 or 17 where
// installed, else FreeTDS, else Windows' "SQL Server". Empty when none is found.
// Looked up once per run.
QString findSqlServerOdbcDriver();

// The choice itself, from the names of the installed drivers: Microsoft's 18, then 17; then
// on Windows its "SQL Server" driver when listed; then FreeTDS by its usual registered names;
// else on Windows "SQL Server" (assumed present), elsewhere the FreeTDS library found on disk
// (may be empty).
QString chooseSqlServerOdbcDriver(const QStringList& installed, const QString& freeTdsLibrary, bool windows);

} // namespace tp
