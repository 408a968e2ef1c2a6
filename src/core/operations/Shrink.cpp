#include "Shrink.h"

#include "Ado.h"
#include "ErrorHints.h"
#include "Statements.h"

#include <exception>
#include <memory>

namespace tp {

namespace {

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

void shrinkFile(const std::shared_ptr<Connection>& command, const QString& database, const QString& logicalName)
{
    ErrorContext context { Operation::Shrink, database };
    try {
        const int major = majorVersion(queryValue(command, productVersionQuery()));
        const QString recovery = major >= 10 ? queryValue(command, recoveryModelQuery(database)) : QString();
        const LogTruncation truncation = logTruncationFor(major, recovery);
        const QString batch = shrinkBatch(truncation, database, logicalName);
        if (truncation != LogTruncation::SimpleRoundTrip) {
            command->execute(batch);
            return;
        }
        // In SIMPLE recovery the checkpoint frees the inactive log; the model the database had
        // is set again whatever the shrink did.
        context.recoveryModel = recoveryModelName(recovery);
        const QString back = setRecoveryStatement(database, context.recoveryModel);
        // Sets the model back. When the link broke, once more over a new connection: the
        // database must not stay in SIMPLE because a reply was lost. Setting the model it has
        // already is harmless, so this is also safe when the switch to SIMPLE never happened.
        const auto restore = [&] {
            context.recoverySwitch = ErrorContext::Switch::Back;
            try {
                command->execute(back);
            } catch (const DbError& e) {
                if (!isLinkFailure(e))
                    throw;
                Connection fresh;
                fresh.setConnectionString(command->connectionString());
                fresh.open();
                fresh.execute(back);
                fresh.close();
            }
            context.recoverySwitch = ErrorContext::Switch::None;
        };
        context.recoverySwitch = ErrorContext::Switch::ToSimple;
        try {
            command->execute(setRecoveryStatement(database, QStringLiteral("SIMPLE")));
        } catch (const DbError& e) {
            if (isLinkFailure(e))
                restore();
            throw;
        }
        context.recoverySwitch = ErrorContext::Switch::None;
        std::exception_ptr shrinkFailure;
        try {
            command->execute(batch);
        } catch (const DbError&) {
            shrinkFailure = std::current_exception();
        }
        restore();
        if (shrinkFailure)
            std::rethrow_exception(shrinkFailure);
    } catch (const DbError& e) {
        throw OperationError(e, context);
    }
}

QString readLogicalName(const std::shared_ptr<Connection>& connection, int fileId)
{
    Recordset rs;
    rs.open(logicalNameQuery(fileId), connection, adOpenStatic, adLockOptimistic, adCmdUnspecified);
    return firstValue(rs, QStringLiteral("name"));
}

} // namespace tp
