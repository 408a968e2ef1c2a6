#include "AttachStep.h"

#include "Ado.h"
#include "ErrorHints.h"
#include "PathIdentity.h"
#include "Statements.h"

namespace tp {

namespace {

    constexpr int databaseExists = 1801; // "Database '%.*ls' already exists."
    constexpr int cannotOpenFile = 5120; // "Unable to open the physical file ..."

    // The rows of `query` as (first column, second column) pairs.
    QList<QPair<QString, QString>> rows(const std::shared_ptr<Connection>& connection, const QString& query)
    {
        Recordset rs;
        rs.open(query, connection, adOpenStatic, adLockOptimistic, adCmdUnspecified);
        QList<QPair<QString, QString>> out;
        for (int r = 0; r < rs.rowCount(); ++r)
            out.append({ rs.text(r, 0), rs.columnCount() > 1 ? rs.text(r, 1) : QString() });
        return out;
    }

} // namespace

AttachOutcome attachFiles(const std::shared_ptr<Connection>& connection, const QString& name, const QString& dataFile,
    const QString& logFile, Operation operation)
{
    ErrorContext context;
    context.operation = operation;
    context.database = name;
    context.dataFile = dataFile;
    context.logFile = logFile;
    try {
        connection->execute(attachDatabaseStatement(name, dataFile, logFile));
        return AttachOutcome::Attached;
    } catch (const DbError& e) {
        const bool inRun = operation == Operation::YearAttach || operation == Operation::ScanAttach;
        if ((e.number() != databaseExists || !inRun) && e.number() != cannotOpenFile)
            throw OperationError(e, context);
        // The look-up only explains the refusal; when it fails too, the refusal is reported.
        try {
            if (e.number() == databaseExists) {
                const auto found = rows(connection, primaryFileQuery(name));
                if (!found.isEmpty() && sameFile(found.first().first, dataFile))
                    return AttachOutcome::AlreadyAttached;
                if (!found.isEmpty())
                    context.otherFile = logicalFileName(found.first().first);
            } else {
                const LocalFile file(dataFile);
                for (const auto& row : rows(connection, primaryFilesQuery())) {
                    if (file.isSameAs(row.second)) {
                        context.owner = row.first;
                        break;
                    }
                }
            }
        } catch (const DbError&) {
        }
        throw OperationError(e, context);
    }
}

} // namespace tp
