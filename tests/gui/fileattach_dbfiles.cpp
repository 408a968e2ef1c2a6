#include "fileattach_dbfiles.h"

#include "Ado.h"
#include "Statements.h"

namespace tp::test {

QString standinMasterConnectionString(const QString& serverName, const QString& password)
{
    return QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=master;"
                          "Data Source=")
        + serverName + QStringLiteral(";Password=") + password;
}

QString executeStatement(const QString& connectionString, const QString& statement)
{
    try {
        Connection connection;
        connection.setConnectionString(connectionString);
        connection.open();
        connection.execute(statement);
        connection.close();
        return QString();
    } catch (const DbError& e) {
        return QStringLiteral("%1 (error %2) in: %3").arg(e.description()).arg(e.number()).arg(statement);
    }
}

QString createDetachedDatabase(
    const QString& connectionString, const QString& name, const QStringList& dataFiles, const QString& logFile)
{
    QStringList files;
    for (int i = 0; i < dataFiles.size(); ++i)
        files << QStringLiteral("(NAME = %1_data%2, FILENAME = N'%3')").arg(name).arg(i).arg(sqlQuote(dataFiles.at(i)));
    const QString create = QStringLiteral("CREATE DATABASE %1 ON PRIMARY %2 LOG ON (NAME = %1_log, FILENAME = N'%3')")
                               .arg(sqlIdentifier(name), files.join(QStringLiteral(", ")), sqlQuote(logFile));
    QString error = executeStatement(connectionString, create);
    if (error.isEmpty())
        // N'...': a name outside code page 1252 (a Chinese one) must reach the server whole.
        error = executeStatement(
            connectionString, QStringLiteral("EXEC sp_detach_db @dbname = N'%1'").arg(sqlQuote(name)));
    return error;
}

} // namespace tp::test
