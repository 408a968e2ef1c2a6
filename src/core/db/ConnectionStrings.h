#pragma once
// The three OLE DB connection strings, built from the server name and the sa password as
// typed in the login window (and, for the third, the selected database name).
// Each value is put in as it is, unless it holds a character that OLE DB would read as
// part of the string's own syntax (';', '=', a quote, blanks at either end): such a value
// is quoted by OLE DB's rules, so that it stays one value and never adds an attribute.

#include <QString>

namespace tp {

// "Provider=SQLOLEDB;Data Source=<server>;Initial Catalog=master;User ID=sa;Password=<password>"
QString buildLoginConnectionString(const QString& server, const QString& password);

// "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=master;Data Source=<server>;Password=<password>"
QString buildMasterConnectionString(const QString& server, const QString& password);

// "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=<database>;Data Source=<server>;Password=<password>"
QString buildDatabaseConnectionString(const QString& database, const QString& server, const QString& password);

} // namespace tp
