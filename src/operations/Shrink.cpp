#include "Shrink.h"

#include "Ado.h"
#include "BoxText.h"
#include "Services.h"
#include "SignIn.h"
#include "Statements.h"
#include "Windows.h"

#include <memory>

namespace tp {

namespace {

    // "BACKUP LOG cannot be performed because there is no current database backup."
    constexpr int noCurrentDatabaseBackup = 4214;

    // The first row's value of the column `field` as a grid cell would show it; empty when the
    // result has no row.
    QString firstValue(const Recordset& rs, const QString& field)
    {
        if (rs.eof())
            return QString();
        const QStringList fields = rs.fieldNames();
        int column = 0;
        for (int i = 0; i < fields.size(); ++i) {
            if (fields.at(i).compare(field, Qt::CaseInsensitive) == 0) {
                column = i;
                break;
            }
        }
        return rs.text(0, column);
    }

    QString queryValue(const std::shared_ptr<Connection>& connection, const QString& query)
    {
        Recordset rs;
        rs.open(query, connection, adOpenStatic, adLockOptimistic, adCmdUnspecified);
        return rs.eof() ? QString() : rs.text(0, 0);
    }

} // namespace

ShrinkTarget logShrinkTarget()
{
    return { 2, QStringLiteral("Text7"), QStringLiteral("日志文件收缩成功！") };
}

ShrinkTarget dataFileShrinkTarget()
{
    return { 1, QStringLiteral("Text8"), QStringLiteral("数据库收缩成功！") };
}

void shrinkFile(const std::shared_ptr<Connection>& command, const QString& database, const QString& logicalName)
{
    const int major = majorVersion(queryValue(command, productVersionQuery()));
    const QString recovery = major >= 10 ? queryValue(command, recoveryModelQuery(database)) : QString();
    const LogTruncation truncation = logTruncationFor(major, recovery);
    try {
        command->execute(shrinkBatch(truncation, database, logicalName));
    } catch (const DbError& e) {
        // 4214: no database backup was ever taken (or the chain was broken), so there is no log
        // chain to keep and the server truncates the log at checkpoints, as in SIMPLE recovery.
        if (truncation != LogTruncation::BackupToNul || e.number() != noCurrentDatabaseBackup)
            throw;
        command->execute(shrinkBatch(LogTruncation::Checkpoint, database, logicalName));
    }
}

void shrinkSelectedDatabase(const ShrinkTarget& target)
{
    QWidget& form2 = Windows::form2();
    if (boxText(form2, QStringLiteral("Text5")).isEmpty()) {
        MessageService::show(QStringLiteral("请选择数据库名称！"), vbCritical, QStringLiteral("提示:"));
        return;
    }

    // Logical-name look-up, as a bound query: the box shows the first row's "name".
    {
        auto lookup = std::make_shared<Connection>();
        lookup->open(databaseConnectionString(boxText(form2, QStringLiteral("Text5"))), QString(), QString(),
            adConnectUnspecified);
        Recordset rs;
        rs.open(logicalNameQuery(target.fileId), lookup, adOpenStatic, adLockOptimistic, adCmdUnspecified);
        setBoxText(form2, target.box, firstValue(rs, QStringLiteral("name")));
        lookup->close();
    }

    const QString database = boxText(form2, QStringLiteral("Text5"));
    auto command = std::make_shared<Connection>(); // closed by its destructor if a later call throws
    command->setConnectionString(databaseConnectionString(database));
    command->open();
    shrinkFile(command, database, boxText(form2, target.box));
    command->close();

    MessageService::show(target.successMessage, vbInformation, QStringLiteral("提示："));
}

} // namespace tp
