#include "Statements.h"

#include "PathIdentity.h"

#include <QSet>
#include <QStringList>

namespace tp {

namespace {

    // Transact-SQL reserved keywords (all versions from 2000 on). A name that is one of these
    // has to be delimited wherever an identifier is expected.
    const QSet<QString>& reservedWords()
    {
        static const QSet<QString> words = [] {
            const QStringList list = QStringLiteral(
                "ADD ALL ALTER AND ANY AS ASC AUTHORIZATION BACKUP BEGIN BETWEEN BREAK BROWSE BULK BY CASCADE CASE "
                "CHECK CHECKPOINT CLOSE CLUSTERED COALESCE COLLATE COLUMN COMMIT COMPUTE CONSTRAINT CONTAINS "
                "CONTAINSTABLE CONTINUE CONVERT CREATE CROSS CURRENT CURRENT_DATE CURRENT_TIME CURRENT_TIMESTAMP "
                "CURRENT_USER CURSOR DATABASE DBCC DEALLOCATE DECLARE DEFAULT DELETE DENY DESC DISK DISTINCT "
                "DISTRIBUTED DOUBLE DROP DUMMY DUMP ELSE END ERRLVL ESCAPE EXCEPT EXEC EXECUTE EXISTS EXIT EXTERNAL "
                "FETCH FILE FILLFACTOR FOR FOREIGN FREETEXT FREETEXTTABLE FROM FULL FUNCTION GOTO GRANT GROUP HAVING "
                "HOLDLOCK IDENTITY IDENTITY_INSERT IDENTITYCOL IF IN INDEX INNER INSERT INTERSECT INTO IS JOIN KEY "
                "KILL LEFT LIKE LINENO LOAD MERGE NATIONAL NOCHECK NONCLUSTERED NOT NULL NULLIF OF OFF OFFSETS ON "
                "OPEN OPENDATASOURCE OPENQUERY OPENROWSET OPENXML OPTION OR ORDER OUTER OVER PERCENT PIVOT PLAN "
                "PRECISION PRIMARY PRINT PROC PROCEDURE PUBLIC RAISERROR READ READTEXT RECONFIGURE REFERENCES "
                "REPLICATION RESTORE RESTRICT RETURN REVERT REVOKE RIGHT ROLLBACK ROWCOUNT ROWGUIDCOL RULE SAVE "
                "SCHEMA SECURITYAUDIT SELECT SEMANTICKEYPHRASETABLE SEMANTICSIMILARITYDETAILSTABLE "
                "SEMANTICSIMILARITYTABLE SESSION_USER SET SETUSER SHUTDOWN SOME STATISTICS SYSTEM_USER TABLE "
                "TABLESAMPLE TEXTSIZE THEN TO TOP TRAN TRANSACTION TRIGGER TRUNCATE TRY_CONVERT TSEQUAL UNION UNIQUE "
                "UNPIVOT UPDATE UPDATETEXT USE USER VALUES VARYING VIEW WAITFOR WHEN WHERE WHILE WITH WRITETEXT ")
                                         .split(QLatin1Char(' '), Qt::SkipEmptyParts);
            return QSet<QString>(list.begin(), list.end());
        }();
        return words;
    }

    bool isIdentifierStart(QChar c)
    {
        return c.isLetter() || c == QLatin1Char('_');
    }

    bool isIdentifierPart(QChar c)
    {
        return c.isLetter() || c.isDigit() || c == QLatin1Char('_') || c == QLatin1Char('@') || c == QLatin1Char('#')
            || c == QLatin1Char('$');
    }

} // namespace

QString loginProbeQuery()
{
    return QStringLiteral("SELECT * FROM sysdatabases WHERE (name >= N'u')");
}

QString databaseListSetupSource()
{
    return QStringLiteral("select name  from sysdatabases ORDER BY name");
}

QString databaseListRefreshSource()
{
    return QStringLiteral("select name from sysdatabases ORDER BY name");
}

QString sqlQuote(const QString& value)
{
    QString quoted = value;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return quoted;
}

bool isRegularIdentifier(const QString& name)
{
    if (name.isEmpty())
        return false;
    // Surrogate pairs (letters outside the BMP) are not taken bare: SQL Server's identifier
    // rules follow an old Unicode version, brackets are always accepted.
    for (const QChar c : name) {
        if (c.isSurrogate())
            return false;
    }
    if (!isIdentifierStart(name.at(0)))
        return false;
    for (int i = 1; i < name.size(); ++i) {
        if (!isIdentifierPart(name.at(i)))
            return false;
    }
    return !reservedWords().contains(name.toUpper());
}

QString sqlIdentifier(const QString& name)
{
    if (isRegularIdentifier(name))
        return name;
    QString inner = name;
    inner.replace(QLatin1Char(']'), QLatin1String("]]"));
    return QLatin1Char('[') + inner + QLatin1Char(']');
}

QString logicalFileName(const QString& sysfilesName)
{
    int end = sysfilesName.size();
    while (end > 0 && sysfilesName.at(end - 1) == QLatin1Char(' '))
        --end;
    return sysfilesName.left(end);
}

QString attachDatabaseStatement(const QString& name, const QString& dataFile, const QString& logFile)
{
    return QStringLiteral("EXEC sp_attach_db @dbname = N'") + sqlQuote(name) + QStringLiteral("',@filename1 = N'")
        + sqlQuote(dataFile) + QStringLiteral("',@filename2 = N'") + sqlQuote(logFile) + QStringLiteral("'");
}

QString primaryFileQuery(const QString& name)
{
    return QStringLiteral("SELECT filename FROM master..sysdatabases WHERE name = N'") + sqlQuote(name)
        + QStringLiteral("'");
}

QString primaryFilesQuery()
{
    return QStringLiteral("SELECT name, filename FROM master..sysdatabases");
}

QString databaseIdsQuery()
{
    return QStringLiteral("SELECT name, filename, dbid FROM master..sysdatabases");
}

QString databaseFilesQuery()
{
    return QStringLiteral("SELECT dbid, filename, groupid FROM master..sysaltfiles");
}

bool samePath(const QString& a, const QString& b)
{
    return pathKey(a) == pathKey(b);
}

QString detachDatabaseStatement(const QString& name)
{
    return QStringLiteral("EXEC sp_detach_db @dbname = '") + sqlQuote(name) + QStringLiteral("'");
}

QString detachDatabaseUnicodeStatement(const QString& name)
{
    return QStringLiteral("EXEC sp_detach_db @dbname = N'") + sqlQuote(name) + QStringLiteral("'");
}

QString logicalNameQuery(int fileId)
{
    return QStringLiteral("SELECT name FROM sysfiles WHERE(fileid= ") + QString::number(fileId) + QStringLiteral(")");
}

QString productVersionQuery()
{
    return QStringLiteral("SELECT CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128))");
}

int majorVersion(const QString& productVersion)
{
    int major = 0;
    for (const QChar c : productVersion.trimmed()) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        major = major * 10 + (c.unicode() - '0');
        if (major > 1000)
            break;
    }
    return major;
}

QString recoveryModelQuery(const QString& name)
{
    return QStringLiteral("SELECT CAST(DATABASEPROPERTYEX(N'") + sqlQuote(name)
        + QStringLiteral("','Recovery') AS nvarchar(128))");
}

LogTruncation logTruncationFor(int serverMajorVersion, const QString& recoveryModel)
{
    if (serverMajorVersion <= 9)
        return LogTruncation::TruncateOnly;
    const QString model = recoveryModelName(recoveryModel);
    if (model == QLatin1String("FULL") || model == QLatin1String("BULK_LOGGED"))
        return LogTruncation::SimpleRoundTrip;
    return LogTruncation::Checkpoint;
}

LogTruncation logTruncationFor(int serverMajorVersion, const QString& recoveryModel, int fileId)
{
    if (serverMajorVersion > 9 && fileId != 2)
        return LogTruncation::Checkpoint;
    return logTruncationFor(serverMajorVersion, recoveryModel);
}

bool shrinkReadsRecoveryModel(int serverMajorVersion, int fileId)
{
    return serverMajorVersion >= 10 && fileId == 2;
}

QString recoveryModelName(const QString& recoveryModel)
{
    const QString model = recoveryModel.trimmed().toUpper();
    if (model == QLatin1String("FULL") || model == QLatin1String("BULK_LOGGED") || model == QLatin1String("SIMPLE"))
        return model;
    return QString();
}

QString setRecoveryStatement(const QString& database, const QString& model)
{
    return QStringLiteral("ALTER DATABASE ") + sqlIdentifier(database) + QStringLiteral(" SET RECOVERY ") + model;
}

QString shrinkBatch(LogTruncation truncation, const QString& database, const QString& logicalName)
{
    const QString shrink
        = QStringLiteral("DBCC SHRINKFILE (") + sqlIdentifier(logicalFileName(logicalName)) + QStringLiteral(")");
    if (truncation == LogTruncation::TruncateOnly)
        return QStringLiteral("BACKUP LOG ") + sqlIdentifier(database) + QStringLiteral(" WITH TRUNCATE_ONLY ")
            + shrink;
    return QStringLiteral("CHECKPOINT ") + shrink;
}

QString recoveryRoundTripBatch(
    int serverMajorVersion, const QString& database, const QString& logicalName, const QString& model)
{
    const QString back = setRecoveryStatement(database, model);
    const QString tryBlock = QStringLiteral("BEGIN TRY ") + setRecoveryStatement(database, QStringLiteral("SIMPLE"))
        + QLatin1Char(' ') + shrinkBatch(LogTruncation::SimpleRoundTrip, database, logicalName) + QLatin1Char(' ')
        + back + QStringLiteral(" END TRY");
    const QString restore = QStringLiteral("IF CAST(DATABASEPROPERTYEX(N'") + sqlQuote(database)
        + QStringLiteral("','Recovery') AS nvarchar(128)) <> N'") + model + QStringLiteral("' ") + back
        + QLatin1Char(';');
    if (serverMajorVersion >= 11)
        return tryBlock + QStringLiteral(" BEGIN CATCH ") + restore + QStringLiteral(" THROW; END CATCH");
    return tryBlock
        + QStringLiteral(" BEGIN CATCH DECLARE @number int, @message nvarchar(2048) SELECT @number = ERROR_NUMBER(), "
                         "@message = ERROR_MESSAGE() ")
        + restore + QStringLiteral(" RAISERROR (N'%d: %s', 16, 1, @number, @message) END CATCH");
}

QString shrinkBatch(int serverMajorVersion, int fileId, const QString& recoveryModel, const QString& database,
    const QString& logicalName)
{
    const LogTruncation truncation = logTruncationFor(serverMajorVersion, recoveryModel, fileId);
    if (truncation == LogTruncation::SimpleRoundTrip)
        return recoveryRoundTripBatch(serverMajorVersion, database, logicalName, recoveryModelName(recoveryModel));
    return shrinkBatch(truncation, database, logicalName);
}

QString databaseStateQuery(const QString& name)
{
    const QString quoted = sqlQuote(name);
    return QStringLiteral("SELECT CAST(DATABASEPROPERTYEX(N'") + quoted
        + QStringLiteral("','Recovery') AS nvarchar(128)), CAST(DATABASEPROPERTYEX(N'") + quoted
        + QStringLiteral("','Updateability') AS nvarchar(128))");
}

} // namespace tp

namespace tp {

QString attachRebuildLogStatement(int serverMajorVersion, const QString& name, const QString& dataFile)
{
    if (serverMajorVersion > 0 && serverMajorVersion <= 8)
        return QStringLiteral("EXEC sp_attach_db @dbname = N'") + sqlQuote(name) + QStringLiteral("',@filename1 = N'")
            + sqlQuote(dataFile) + QStringLiteral("'");
    return QStringLiteral("CREATE DATABASE ") + sqlIdentifier(name) + QStringLiteral(" ON (FILENAME = N'")
        + sqlQuote(dataFile) + QStringLiteral("') FOR ATTACH_REBUILD_LOG");
}

} // namespace tp
