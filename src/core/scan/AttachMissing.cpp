#include "AttachMissing.h"

#include "Ado.h"
#include "AttachStep.h"
#include "ErrorHints.h"
#include "OtherDataFiles.h"
#include "ServerVerdict.h"
#include "Statements.h"

#include <QHash>
#include <memory>

namespace tp {

namespace {

    QString trimmedRight(QString s)
    {
        while (s.endsWith(QLatin1Char(' ')))
            s.chop(1);
        return s;
    }

    std::shared_ptr<Connection> openMaster(const QString& connectionString)
    {
        auto c = std::make_shared<Connection>();
        c->setConnectionString(connectionString);
        c->open();
        return c;
    }

} // namespace

QList<ServerDatabase> readServerDatabases(Connection& master)
{
    constexpr int invalidObjectName = 208;
    // The recordset keeps a shared connection; this one is owned by the caller.
    std::shared_ptr<Connection> shared(&master, [](Connection*) {});
    Recordset rs;
    rs.open(databaseIdsQuery(), shared, adOpenStatic, adLockOptimistic, adCmdUnspecified);
    QList<ServerDatabase> dbs;
    QHash<QString, int> byId;
    dbs.reserve(rs.rowCount());
    for (int i = 0; i < rs.rowCount(); ++i) {
        byId.insert(rs.text(i, 2).trimmed(), i);
        dbs.append({ trimmedRight(rs.text(i, 0)), trimmedRight(rs.text(i, 1)), {}, {} });
    }
    rs.close();
    Recordset files;
    try {
        files.open(databaseFilesQuery(), shared, adOpenStatic, adLockOptimistic, adCmdUnspecified);
    } catch (const DbError& e) {
        if (e.number() != invalidObjectName)
            throw;
        return dbs;
    }
    constexpr int logGroup = 0; // groupid of a log file
    for (int i = 0; i < files.rowCount(); ++i) {
        const auto at = byId.constFind(files.text(i, 0).trimmed());
        if (at == byId.constEnd())
            continue;
        ServerDatabase& db = dbs[*at];
        db.files.append(trimmedRight(files.text(i, 1)));
        if (db.logFile.isEmpty() && files.columnCount() > 2 && files.text(i, 2).trimmed().toInt() == logGroup
            && !files.text(i, 2).trimmed().isEmpty())
            db.logFile = db.files.last();
    }
    files.close();
    return dbs;
}

QStringList catalogueQueries()
{
    return { databaseIdsQuery(), databaseFilesQuery() };
}

QList<PlanRow> scanDataRoot(Connection& master, const QString& root, const ScanOptions& options, ScanStats* stats)
{
    const QList<DiskYear> disk = walkDataRoot(root);
    const QList<ServerDatabase> server = readServerDatabases(master);
    int roundTrips = int(catalogueQueries().size());
    QList<PlanRow> plan = buildPlan(root, disk, server, &serverFileExists);
    // An other .MDF is named by its verdict: without one it cannot be listed.
    QList<PlanRow> others;
    if (options.verdicts && options.otherDataFiles)
        others = otherFileRows(walkOtherDataFiles(root, disk), server);
    if (options.verdicts)
        addServerVerdicts(master, plan, others, server, &roundTrips);
    plan.append(others);
    if (stats)
        stats->roundTrips = roundTrips;
    return plan;
}

bool wantsAttach(const PlanRow& row, const AttachOptions& options)
{
    if (row.otherDataFile && !options.otherDataFiles)
        return false;
    return row.state == YearState::Ready || (row.state == YearState::LogMissing && options.rebuildMissingLogs);
}

QString attachStatementFor(const PlanRow& row, const AttachOptions& options)
{
    if (row.state == YearState::LogMissing)
        return attachRebuildLogStatement(options.serverMajorVersion, row.databaseName, row.dataFile);
    return attachDatabaseStatement(row.databaseName, row.dataFile, row.logFile);
}

QList<AttachResult> attachMissing(const QString& masterConnectionString, const QList<PlanRow>& plan,
    AttachOptions options, const AttachProgress& progress)
{
    std::shared_ptr<Connection> master = openMaster(masterConnectionString);
    if (options.serverMajorVersion <= 0) {
        Recordset rs;
        rs.open(productVersionQuery(), master, adOpenStatic, adLockOptimistic, adCmdUnspecified);
        options.serverMajorVersion = rs.eof() ? 0 : majorVersion(rs.text(0, 0));
    }

    int count = 0;
    for (const PlanRow& row : plan)
        count += wantsAttach(row, options) ? 1 : 0;

    QList<AttachResult> results;
    int index = 0;
    bool cancelled = false;
    for (const PlanRow& row : plan) {
        if (row.otherDataFile && !options.otherDataFiles)
            continue;
        AttachResult r;
        r.row = row;
        if (row.state == YearState::Attached) {
            r.outcome = YearOutcome::AlreadyThere;
        } else if (isRefusal(row.state)) {
            // Nothing is sent: the server's verdict already said what it would answer.
            r.outcome = YearOutcome::Refused;
            r.errorNumber = row.verdictError;
            r.errorText = row.verdictMessage;
            r.hint = row.verdictHint;
        } else if (!wantsAttach(row, options)) {
            r.outcome = YearOutcome::Skipped;
        } else if (cancelled || (progress && !progress(row, index, count))) {
            cancelled = true;
            r.outcome = YearOutcome::Skipped;
            r.cancelled = true;
        } else {
            ++index;
            r.statement = attachStatementFor(row, options);
            try {
                if (!master)
                    master = openMaster(masterConnectionString);
                if (row.state == YearState::LogMissing) {
                    master->execute(r.statement);
                    r.outcome = YearOutcome::Attached;
                    r.logRebuilt = true;
                } else {
                    const AttachOutcome step
                        = attachFiles(master, row.databaseName, row.dataFile, row.logFile, Operation::ScanAttach);
                    r.outcome
                        = step == AttachOutcome::AlreadyAttached ? YearOutcome::AlreadyThere : YearOutcome::Attached;
                }
            } catch (const DbError& e) {
                r.outcome = YearOutcome::Failed;
                r.errorNumber = tellingErrorNumber(e);
                r.errorText = e.description();
                ErrorContext context = contextOf(e);
                if (context.operation == Operation::Unknown) {
                    context = ErrorContext(Operation::ScanAttach, row.databaseName);
                    context.dataFile = row.dataFile;
                }
                r.hint = errorHint(e, context);
                // Some refusals end the connection (a file from a newer version): the next
                // year gets a fresh one.
                master.reset();
            }
        }
        results.append(r);
    }
    if (master)
        master->close();
    return results;
}

AttachSummary summarize(const QList<AttachResult>& results)
{
    AttachSummary s;
    for (const AttachResult& r : results) {
        switch (r.outcome) {
        case YearOutcome::Attached:
            ++s.attached;
            s.logsRebuilt += r.logRebuilt ? 1 : 0;
            break;
        case YearOutcome::AlreadyThere:
            ++s.alreadyThere;
            break;
        case YearOutcome::Skipped:
            ++s.skipped;
            s.cancelled += r.cancelled ? 1 : 0;
            break;
        case YearOutcome::Failed:
            ++s.failed;
            break;
        case YearOutcome::Refused:
            ++s.refused;
            break;
        }
    }
    return s;
}

QString summaryText(const QList<AttachResult>& results)
{
    const AttachSummary s = summarize(results);
    const QString cancelled
        = s.cancelled > 0 ? QStringLiteral("（其中 %1 个因取消而未附加）").arg(s.cancelled) : QString();
    QString text = QStringLiteral("附加 %1 个，已存在 %2 个，跳过 %3 个%4，失败 %5 个")
                       .arg(s.attached)
                       .arg(s.alreadyThere)
                       .arg(s.skipped)
                       .arg(cancelled)
                       .arg(s.failed);
    if (s.refused > 0)
        text += QStringLiteral("，不能附加 %1 个").arg(s.refused);
    if (s.logsRebuilt > 0)
        text += QStringLiteral("（其中 %1 个重建了日志文件）").arg(s.logsRebuilt);
    for (const AttachResult& r : results) {
        if (r.outcome == YearOutcome::Failed)
            text += QStringLiteral("\n%1 失败：").arg(rowLabel(r.row)) + failureText(r);
    }
    for (const AttachResult& r : results) {
        if (r.outcome == YearOutcome::Refused)
            text += QStringLiteral("\n%1 %2：").arg(rowLabel(r.row), stateText(r.row.state)) + failureText(r);
    }
    return text;
}

QString failureText(const AttachResult& r)
{
    const QString detail = driverDetail(r.errorText);
    QString line;
    if (r.errorNumber != 0)
        line = detail.isEmpty() ? QStringLiteral("错误号 %1").arg(r.errorNumber)
                                : QStringLiteral("错误号 %1：%2").arg(r.errorNumber).arg(detail);
    if (line.isEmpty())
        return r.hint;
    return r.hint.isEmpty() ? line : r.hint + QStringLiteral("（") + line + QStringLiteral("）");
}

} // namespace tp
