#include "ConnectionStrings.h"

#include "OleDb.h"

namespace tp {

QString buildLoginConnectionString(const QString& server, const QString& password)
{
    return QStringLiteral("Provider=SQLOLEDB;Data Source=") + quoteOleDbValue(server)
        + QStringLiteral(";Initial Catalog=master;User ID=sa;Password=") + quoteOleDbValue(password);
}

QString buildMasterConnectionString(const QString& server, const QString& password)
{
    return QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=master;Data Source=")
        + quoteOleDbValue(server) + QStringLiteral(";Password=") + quoteOleDbValue(password);
}

QString buildDatabaseConnectionString(const QString& database, const QString& server, const QString& password)
{
    return QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=")
        + quoteOleDbValue(database) + QStringLiteral(";Data Source=") + quoteOleDbValue(server)
        + QStringLiteral(";Password=") + quoteOleDbValue(password);
}

} // namespace tp
