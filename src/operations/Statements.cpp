#include "Statements.h"

#include <QSet>

namespace tp {

namespace {

    // Transact-SQL reserved keywords (all versions from 2000 on). A name that is one of these
    // has to be delimited wherever an identifier is expected.
    const QSet<QString>& reservedWords()
    {
        static const QSet<QString> words = {
            QStringLiteral("ADD"), QStringLiteral("ALL"), QStringLiteral("ALTER"), QStringLiteral("AND"),
            QStringLiteral("ANY"), QStringLiteral("AS"), QStringLiteral("ASC"), QStringLiteral("AUTHORIZATION"),
            QStringLiteral("BACKUP"), QStringLiteral("BEGIN"), QStringLiteral("BETWEEN"), QStringLiteral("BREAK"),
            QStringLiteral("BROWSE"), QStringLiteral("BULK"), QStringLiteral("BY"), QStringLiteral("CASCADE"),
            QStringLiteral("CASE"), QStringLiteral("CHECK"), QStringLiteral("CHECKPOINT"), QStringLiteral("CLOSE"),
            QStringLiteral("CLUSTERED"), QStringLiteral("COALESCE"), QStringLiteral("COLLATE"),
            QStringLiteral("COLUMN"), QStringLiteral("COMMIT"), QStringLiteral("COMPUTE"),
            QStringLiteral("CONSTRAINT"), QStringLiteral("CONTAINS"), QStringLiteral("CONTAINSTABLE"),
            QStringLiteral("CONTINUE"), QStringLiteral("CONVERT"), QStringLiteral("CREATE"), QStringLiteral("CROSS"),
            QStringLiteral("CURRENT"), QStringLiteral("CURRENT_DATE"), QStringLiteral("CURRENT_TIME"),
            QStringLiteral("CURRENT_TIMESTAMP"), QStringLiteral("CURRENT_USER"), QStringLiteral("CURSOR"),
            QStringLiteral("DATABASE"), QStringLiteral("DBCC"), QStringLiteral("DEALLOCATE"),
            QStringLiteral("DECLARE"), QStringLiteral("DEFAULT"), QStringLiteral("DELETE"), QStringLiteral("DENY"),
            QStringLiteral("DESC"), QStringLiteral("DISK"), QStringLiteral("DISTINCT"), QStringLiteral("DISTRIBUTED"),
            QStringLiteral("DOUBLE"), QStringLiteral("DROP"), QStringLiteral("DUMMY"), QStringLiteral("DUMP"),
            QStringLiteral("ELSE"), QStringLiteral("END"), QStringLiteral("ERRLVL"), QStringLiteral("ESCAPE"),
            QStringLiteral("EXCEPT"), QStringLiteral("EXEC"), QStringLiteral("EXECUTE"), QStringLiteral("EXISTS"),
            QStringLiteral("EXIT"), QStringLiteral("EXTERNAL"), QStringLiteral("FETCH"), QStringLiteral("FILE"),
            QStringLiteral("FILLFACTOR"), QStringLiteral("FOR"), QStringLiteral("FOREIGN"),
            QStringLiteral("FREETEXT"), QStringLiteral("FREETEXTTABLE"), QStringLiteral("FROM"),
            QStringLiteral("FULL"), QStringLiteral("FUNCTION"), QStringLiteral("GOTO"), QStringLiteral("GRANT"),
            QStringLiteral("GROUP"), QStringLiteral("HAVING"), QStringLiteral("HOLDLOCK"), QStringLiteral("IDENTITY"),
            QStringLiteral("IDENTITY_INSERT"), QStringLiteral("IDENTITYCOL"), QStringLiteral("IF"),
            QStringLiteral("IN"), QStringLiteral("INDEX"), QStringLiteral("INNER"), QStringLiteral("INSERT"),
            QStringLiteral("INTERSECT"), QStringLiteral("INTO"), QStringLiteral("IS"), QStringLiteral("JOIN"),
            QStringLiteral("KEY"), QStringLiteral("KILL"), QStringLiteral("LEFT"), QStringLiteral("LIKE"),
            QStringLiteral("LINENO"), QStringLiteral("LOAD"), QStringLiteral("MERGE"), QStringLiteral("NATIONAL"),
            QStringLiteral("NOCHECK"), QStringLiteral("NONCLUSTERED"), QStringLiteral("NOT"), QStringLiteral("NULL"),
            QStringLiteral("NULLIF"), QStringLiteral("OF"), QStringLiteral("OFF"), QStringLiteral("OFFSETS"),
            QStringLiteral("ON"), QStringLiteral("OPEN"), QStringLiteral("OPENDATASOURCE"),
            QStringLiteral("OPENQUERY"), QStringLiteral("OPENROWSET"), QStringLiteral("OPENXML"),
            QStringLiteral("OPTION"), QStringLiteral("OR"), QStringLiteral("ORDER"), QStringLiteral("OUTER"),
            QStringLiteral("OVER"), QStringLiteral("PERCENT"), QStringLiteral("PIVOT"), QStringLiteral("PLAN"),
            QStringLiteral("PRECISION"), QStringLiteral("PRIMARY"), QStringLiteral("PRINT"), QStringLiteral("PROC"),
            QStringLiteral("PROCEDURE"), QStringLiteral("PUBLIC"), QStringLiteral("RAISERROR"), QStringLiteral("READ"),
            QStringLiteral("READTEXT"), QStringLiteral("RECONFIGURE"), QStringLiteral("REFERENCES"),
            QStringLiteral("REPLICATION"), QStringLiteral("RESTORE"), QStringLiteral("RESTRICT"),
            QStringLiteral("RETURN"), QStringLiteral("REVERT"), QStringLiteral("REVOKE"), QStringLiteral("RIGHT"),
            QStringLiteral("ROLLBACK"), QStringLiteral("ROWCOUNT"), QStringLiteral("ROWGUIDCOL"),
            QStringLiteral("RULE"), QStringLiteral("SAVE"), QStringLiteral("SCHEMA"), QStringLiteral("SECURITYAUDIT"),
            QStringLiteral("SELECT"), QStringLiteral("SEMANTICKEYPHRASETABLE"),
            QStringLiteral("SEMANTICSIMILARITYDETAILSTABLE"), QStringLiteral("SEMANTICSIMILARITYTABLE"),
            QStringLiteral("SESSION_USER"), QStringLiteral("SET"), QStringLiteral("SETUSER"),
            QStringLiteral("SHUTDOWN"), QStringLiteral("SOME"), QStringLiteral("STATISTICS"),
            QStringLiteral("SYSTEM_USER"), QStringLiteral("TABLE"), QStringLiteral("TABLESAMPLE"),
            QStringLiteral("TEXTSIZE"), QStringLiteral("THEN"), QStringLiteral("TO"), QStringLiteral("TOP"),
            QStringLiteral("TRAN"), QStringLiteral("TRANSACTION"), QStringLiteral("TRIGGER"),
            QStringLiteral("TRUNCATE"), QStringLiteral("TRY_CONVERT"), QStringLiteral("TSEQUAL"),
            QStringLiteral("UNION"), QStringLiteral("UNIQUE"), QStringLiteral("UNPIVOT"), QStringLiteral("UPDATE"),
            QStringLiteral("UPDATETEXT"), QStringLiteral("USE"), QStringLiteral("USER"), QStringLiteral("VALUES"),
            QStringLiteral("VARYING"), QStringLiteral("VIEW"), QStringLiteral("WAITFOR"), QStringLiteral("WHEN"),
            QStringLiteral("WHERE"), QStringLiteral("WHILE"), QStringLiteral("WITH"), QStringLiteral("WRITETEXT"),
        };
        return words;
    }

    bool isIdentifierStart(QChar c) { return c.isLetter() || c == QLatin1Char('_'); }

    bool isIdentifierPart(QChar c)
    {
        return c.isLetter() || c.isDigit() || c == QLatin1Char('_') || c == QLatin1Char('@') || c == QLatin1Char('#')
            || c == QLatin1Char('$');
    }

} // namespace

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

QString detachDatabaseStatement(const QString& name)
{
    return QStringLiteral("EXEC sp_detach_db @dbname = '") + sqlQuote(name) + QStringLiteral("'");
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
    if (recoveryModel.trimmed().compare(QLatin1String("SIMPLE"), Qt::CaseInsensitive) == 0)
        return LogTruncation::Checkpoint;
    return LogTruncation::BackupToNul;
}

QString shrinkBatch(LogTruncation truncation, const QString& database, const QString& logicalName)
{
    const QString shrink
        = QStringLiteral("DBCC SHRINKFILE (") + sqlIdentifier(logicalFileName(logicalName)) + QStringLiteral(")");
    switch (truncation) {
    case LogTruncation::TruncateOnly:
        return QStringLiteral("BACKUP LOG ") + sqlIdentifier(database) + QStringLiteral(" WITH TRUNCATE_ONLY ")
            + shrink;
    case LogTruncation::BackupToNul:
        return QStringLiteral("BACKUP LOG ") + sqlIdentifier(database) + QStringLiteral(" TO DISK = N'NUL' ")
            + shrink;
    case LogTruncation::Checkpoint:
        return QStringLiteral("CHECKPOINT ") + shrink;
    }
    return QString();
}

} // namespace tp
