#include "Shrink.h"

#include "Ado.h"
#include "ErrorHints.h"
#include "Statements.h"

#include <QRegularExpression>
#include <QStringList>
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

    // The database's recovery model (as ALTER DATABASE takes it) and whether it is read-only.
    struct DatabaseState
    {
        QString model;
        bool readOnly = false;
    };

    DatabaseState readState(const std::shared_ptr<Connection>& connection, const QString& database)
    {
        Recordset rs;
        rs.open(databaseStateQuery(database), connection, adOpenStatic, adLockOptimistic, adCmdUnspecified);
        if (rs.eof())
            return {};
        return { recoveryModelName(rs.text(0, 0)),
            rs.text(0, 1).trimmed().compare(QLatin1String("READ_ONLY"), Qt::CaseInsensitive) == 0 };
    }

    // A version 10 round trip re-raises its failure as 50000 "<number>: <message>": the error
    // with that number and message again. Any other error as it is.
    DbError reraisedError(const DbError& e)
    {
        if (e.number() != 50000)
            return e;
        static const QRegularExpression raised(QStringLiteral("^((?:\\[[^\\[\\]]*\\])*)(\\d+): (.*)$"));
        QStringList lines = e.description().split(QLatin1Char('\n'));
        for (QString& line : lines) {
            const QRegularExpressionMatch m = raised.match(line);
            bool ok = false;
            const int number = m.hasMatch() ? m.captured(2).toInt(&ok) : 0;
            if (!ok || number <= 0)
                continue;
            line = m.captured(1) + m.captured(3);
            DbError original(number, lines.join(QLatin1Char('\n')), e.sqlState());
            original.setStatementSent(e.statementSent());
            QList<int> numbers = e.errorNumbers();
            const int at = numbers.indexOf(50000);
            if (at >= 0)
                numbers[at] = number;
            else
                numbers << number;
            original.setErrorNumbers(numbers);
            return original;
        }
        return e;
    }

    // Whether the failure is the server refusing ALTER DATABASE: every refusal ends with 5069
    // ("ALTER DATABASE statement failed"), which a version 10 batch re-raises alone.
    bool isAlterRefusal(const DbError& e)
    {
        return e.errorNumbers().contains(5069) || e.number() == 1468 || e.number() == 5004 || e.number() == 5069;
    }

    // The failure of a round-trip batch, told apart by the state the database is in afterwards.
    OperationError roundTripFailure(const std::shared_ptr<Connection>& command, const DbError& failure,
        ErrorContext context)
    {
        const DbError error = reraisedError(failure);
        const QString& model = context.recoveryModel;
        context.recoverySwitch = ErrorContext::Switch::Back; // until the state says otherwise
        context.restoreStatement = setRecoveryStatement(context.database, model);
        try {
            if (isLinkFailure(failure)) {
                // A lost link: the server goes on with the batch and sets the model back
                // itself. A time-out: the driver's cancel stops the batch where it is, CATCH
                // and all, and the database may be left in SIMPLE. Either way the command
                // connection cannot be trusted, so a new one looks, and sets the model back.
                auto fresh = std::make_shared<Connection>();
                fresh->setConnectionString(command->connectionString());
                fresh->open();
                if (readState(fresh, context.database).model != model) {
                    fresh->execute(context.restoreStatement);
                    context.modelSetBack = true;
                }
                fresh->close();
                context.recoveryChecked = true;
                context.recoverySwitch = ErrorContext::Switch::None;
                return OperationError(error, context);
            }
            const DatabaseState state = readState(command, context.database);
            if (state.model != model)
                return OperationError(error, context);
            context.readOnly = state.readOnly;
        } catch (const DbError&) {
            // The model could not be read or set: the database may still be in SIMPLE.
            return OperationError(error, context);
        }
        context.recoverySwitch = isAlterRefusal(error) ? ErrorContext::Switch::ToSimple : ErrorContext::Switch::None;
        return OperationError(error, context);
    }

} // namespace

ShrinkPlan planShrink(const std::function<QString(const QString&)>& ask, const QString& database,
    const QString& logicalName, int fileId)
{
    ShrinkPlan plan;
    plan.serverMajorVersion = majorVersion(ask(productVersionQuery()));
    if (shrinkReadsRecoveryModel(plan.serverMajorVersion, fileId))
        plan.recoveryModel = recoveryModelName(ask(recoveryModelQuery(database)));
    plan.truncation = logTruncationFor(plan.serverMajorVersion, plan.recoveryModel, fileId);
    plan.batch = shrinkBatch(plan.serverMajorVersion, fileId, plan.recoveryModel, database, logicalName);
    return plan;
}

ShrinkPlan shrinkFile(
    const std::shared_ptr<Connection>& command, const QString& database, const QString& logicalName, int fileId)
{
    ErrorContext context { Operation::Shrink, database };
    try {
        // A shrink takes as long as it takes: a time-out would leave the batch half done.
        command->setCommandTimeout(0);
        const ShrinkPlan plan = planShrink(
            [&](const QString& query) { return queryValue(command, query); }, database, logicalName, fileId);
        if (plan.truncation != LogTruncation::SimpleRoundTrip) {
            command->execute(plan.batch);
            return plan;
        }
        context.recoveryModel = plan.recoveryModel;
        try {
            command->execute(plan.batch);
        } catch (const DbError& e) {
            throw roundTripFailure(command, e, context);
        }
        return plan;
    } catch (const OperationError&) {
        throw;
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
