#include "ServerVerdict.h"

#include "Ado.h"
#include "ErrorHints.h"
#include "FileAttachLogic.h"
#include "FileLookup.h"
#include "OtherDataFiles.h"
#include "PathIdentity.h"
#include "ServerVersions.h"
#include "Statements.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <memory>

namespace tp {

namespace {

    constexpr int logFileStatus = 0x40; // sysfiles status bit of a log file

    bool isLinkDiagnostic(const OdbcDiagnostic& d)
    {
        DbError e(d.nativeError, d.message, d.sqlState);
        return isLinkFailure(e);
    }

    bool isMarker(const BatchResult& r)
    {
        return r.columns.size() == 1
            && r.columns.first().compare(QLatin1String(verdictMarkerColumn), Qt::CaseInsensitive) == 0
            && r.rows.size() == 1 && !r.rows.first().isEmpty();
    }

    void readLookup(const BatchResult& r, FileVerdict* v)
    {
        if (r.columns.size() == 2) {
            for (const QVector<QVariant>& row : r.rows) {
                if (row.size() < 2)
                    continue;
                const QString property = row.at(0).toString().trimmed();
                if (property.compare(QLatin1String("Database name"), Qt::CaseInsensitive) == 0)
                    v->recordedName = logicalFileName(row.at(1).toString());
                else if (property.compare(QLatin1String("Database version"), Qt::CaseInsensitive) == 0)
                    v->fileVersion = row.at(1).toString().trimmed().toInt();
            }
            v->answered = true;
        } else if (r.columns.size() == 4) {
            // status, fileid, name, filename (nchar, padded)
            for (const QVector<QVariant>& row : r.rows) {
                if (row.size() < 4)
                    continue;
                RecordedFile f;
                f.log = (row.at(0).toString().trimmed().toInt() & logFileStatus) != 0;
                f.fileId = row.at(1).toString().trimmed().toInt();
                f.logicalName = logicalFileName(row.at(2).toString());
                f.path = cleanRecordedPath(row.at(3).toString());
                v->files.append(f);
            }
        }
    }

    // The verdict from the messages that came with a request's look-ups.
    void readMessages(const QVector<OdbcDiagnostic>& messages, FileVerdict* v)
    {
        QVector<OdbcDiagnostic> errors;
        QVector<int> numbers;
        for (const OdbcDiagnostic& d : messages) {
            if (d.nativeError != 0 && !isLinkDiagnostic(d))
                numbers.push_back(d.nativeError);
            if (d.isError() && d.nativeError != 0 && !isLinkDiagnostic(d))
                errors.push_back(d);
        }
        if (errors.isEmpty()) {
            if (!v->answered)
                v->message = driverDetail(joinedMessages(messages));
            return;
        }
        DbError e(firstErrorNumber(errors), joinedMessages(errors));
        e.setMessageNumbers(numbers);
        v->answered = true;
        v->error = tellingErrorNumber(e);
        v->numbers = numbers;
        v->message = driverDetail(e.description());
    }

    void markUnanswered(QList<FileVerdict>* verdicts, int from, int to, const QString& why)
    {
        for (int i = from; i < to && i < verdicts->size(); ++i) {
            (*verdicts)[i] = FileVerdict {};
            (*verdicts)[i].message = why;
        }
    }

    QString messagesOf(const BatchAnswer& a)
    {
        QVector<OdbcDiagnostic> all = a.leading;
        for (const BatchResult& r : a.results)
            all += r.messages;
        return driverDetail(joinedMessages(all));
    }

    YearState refusalState(int error, int osError)
    {
        switch (error) {
        case 5120:
            return osError == 5 ? YearState::NoAccess : YearState::CannotOpen;
        case 5171:
        case 5172:
            return YearState::NotDatabase;
        case 948:
            return YearState::TooNew;
        case 950:
            return YearState::TooOld;
        case 3415:
            return YearState::ReadOnly;
        default:
            return YearState::CannotOpen;
        }
    }

    bool upgrades(const PlanRow& row)
    {
        const ServerVersion* server = writerOf(row.serverFileVersion);
        return row.fileVersion > 0 && server && server->fileVersion == row.serverFileVersion
            && fileFit(row.fileVersion, *server) == FileFit::Upgrades;
    }

    bool askedYear(const PlanRow& r)
    {
        return r.state == YearState::Ready || r.state == YearState::LogMissing;
    }

    bool askedOther(const PlanRow& r)
    {
        return r.state == YearState::Ready;
    }

    void refuse(PlanRow& row, YearState state, int error, const QString& hint)
    {
        row.state = state;
        row.verdictError = error;
        row.verdictHint = hint;
    }

} // namespace

int readVerdictAnswer(const BatchAnswer& answer, int first, QList<FileVerdict>* verdicts)
{
    int current = -1;
    int next = first;
    QHash<int, QVector<OdbcDiagnostic>> messages;
    for (const BatchResult& r : answer.results) {
        if (isMarker(r)) {
            bool ok = false;
            const int position = r.rows.first().first().toString().trimmed().toInt(&ok);
            if (ok && position >= first && position < verdicts->size()) {
                current = position;
                next = qMax(next, position + 1);
                (*verdicts)[current] = FileVerdict {};
            }
        } else if (current >= 0) {
            readLookup(r, &(*verdicts)[current]);
        }
        if (current >= 0)
            messages[current] += r.messages;
    }
    for (int i = first; i < next; ++i)
        readMessages(messages.value(i), &(*verdicts)[i]);
    return next;
}

QList<FileVerdict> askServer(Connection& master, const QList<VerdictRequest>& requests, int* roundTrips)
{
    QList<FileVerdict> verdicts;
    verdicts.reserve(requests.size());
    for (int i = 0; i < requests.size(); ++i)
        verdicts.append(FileVerdict {});
    Connection* connection = &master;
    std::unique_ptr<Connection> own;
    int first = 0;
    while (first < requests.size()) {
        const int count = qMin(verdictBatchSize, int(requests.size()) - first);
        if (!connection) {
            // The link broke in the last batch: the rest go on over a new connection.
            try {
                own = std::make_unique<Connection>();
                own->setConnectionString(master.connectionString());
                own->open();
                connection = own.get();
            } catch (const DbError& e) {
                markUnanswered(&verdicts, first, int(requests.size()), driverDetail(e.description()));
                break;
            }
        }
        BatchAnswer answer;
        try {
            answer = connection->executeBatch(verdictBatch(requests, first, count));
            if (roundTrips)
                ++*roundTrips;
        } catch (const DbError& e) {
            answer.linkLost = true;
            answer.leading.push_back(OdbcDiagnostic { e.sqlState(), e.number(), e.description() });
        }
        int next = readVerdictAnswer(answer, first, &verdicts);
        if (next == first) {
            // Nothing of the batch ran (it was refused as a whole, or the link was gone).
            markUnanswered(&verdicts, first, first + count, messagesOf(answer));
            next = first + count;
        }
        if (answer.linkLost || next < first + count)
            connection = nullptr;
        first = next;
    }
    return verdicts;
}

ServerFacts readServerFacts(Connection& master, bool askAccount, int* roundTrips)
{
    ServerFacts facts;
    // The recordsets keep a shared connection; this one is owned by the caller.
    std::shared_ptr<Connection> shared(&master, [](Connection*) {});
    try {
        Recordset rs;
        if (roundTrips)
            ++*roundTrips;
        rs.open(productVersionQuery(), shared, adOpenStatic, adLockOptimistic, adCmdUnspecified);
        if (!rs.eof())
            facts.productVersion = rs.text(0, 0).trimmed();
    } catch (const DbError&) {
    }
    if (!askAccount || !hasServerServices(facts.productVersion))
        return facts;
    try {
        Recordset rs;
        if (roundTrips)
            ++*roundTrips;
        rs.open(serviceAccountQuery(), shared, adOpenStatic, adLockOptimistic, adCmdUnspecified);
        // The engine's own service ("SQL Server (MSSQLSERVER)"), not the agent's.
        for (int i = 0; i < rs.rowCount() && rs.columnCount() >= 2; ++i) {
            const QString service = rs.text(i, 0).trimmed();
            if (service.startsWith(QLatin1String("SQL Server ("), Qt::CaseInsensitive)
                || (facts.serviceAccount.isEmpty() && !service.contains(QLatin1String("Agent"), Qt::CaseInsensitive)))
                facts.serviceAccount = rs.text(i, 1).trimmed();
        }
    } catch (const DbError&) {
    }
    return facts;
}

void applyVerdict(PlanRow& row, const FileVerdict& verdict, const ServerFacts& facts, FileAccessCheck access)
{
    if (row.state != YearState::Ready && row.state != YearState::LogMissing)
        return;
    const ServerVersion* server = serverVersionOf(facts.productVersion);
    row.serverFileVersion = server ? server->fileVersion : 0;
    if (!verdict.answered)
        return;
    const bool hasLog = row.state == YearState::Ready;
    if (verdict.error != 0) {
        ErrorContext c(Operation::ScanAttach, row.databaseName);
        c.dataFile = row.dataFile;
        c.logFile = hasLog ? row.logFile : QString();
        c.serviceAccount = facts.serviceAccount;
        c.productVersion = facts.productVersion;
        DbError e(verdict.error, verdict.message);
        e.setMessageNumbers(verdict.numbers);
        refuse(row, refusalState(verdict.error, operatingSystemError(verdict.message)), verdict.error, errorHint(e, c));
        row.verdictMessage = verdict.message;
        return;
    }
    row.fileVersion = verdict.fileVersion;
    if (server && row.fileVersion > 0) {
        const FileFit fit = fileFit(row.fileVersion, *server);
        if (fit == FileFit::TooOld)
            return refuse(row, YearState::TooOld, 950, tooOldSentence(row.fileVersion, server));
        if (fit == FileFit::TooNew)
            return refuse(row, YearState::TooNew, 948, tooNewSentence(row.fileVersion, server));
    }
    if (!access)
        return;
    QList<QPair<QString, FileAccess>> files { { row.dataFile, access(row.dataFile, facts.serviceAccount) } };
    if (hasLog)
        files.append({ row.logFile, access(row.logFile, facts.serviceAccount) });
    for (const auto& [file, a] : files) {
        if (a.unreadable)
            return refuse(row, YearState::NoAccess, 5120, noAccessHint(file, facts.serviceAccount));
    }
    for (const auto& [file, a] : files) {
        if (a.readOnly) {
            const bool upgrade = upgrades(row);
            return refuse(
                row, YearState::ReadOnly, upgrade ? 3415 : 0, readOnlyHint(file, facts.serviceAccount, upgrade));
        }
    }
}

QSet<QString> takenFileKeys(const QList<ServerDatabase>& server, const QList<PlanRow>& plan)
{
    QSet<QString> keys;
    for (const ServerDatabase& db : server) {
        keys.insert(pathKey(db.primaryFile));
        for (const QString& f : db.files)
            keys.insert(pathKey(f));
    }
    for (const PlanRow& r : plan) {
        if (r.state == YearState::Gone || r.state == YearState::FolderUnreadable)
            continue;
        keys.insert(pathKey(r.dataFile));
        if (r.state != YearState::LogMissing)
            keys.insert(pathKey(r.logFile));
    }
    return keys;
}

void useRecordedLog(
    PlanRow& row, const FileVerdict& verdict, QSet<QString>* taken, bool (*fileExists)(const QString& path))
{
    if (row.state != YearState::LogMissing || !verdict.answered || verdict.error != 0 || !fileExists)
        return;
    const auto log
        = std::find_if(verdict.files.begin(), verdict.files.end(), [](const RecordedFile& f) { return f.log; });
    if (log == verdict.files.end() || log->path.isEmpty() || log->path.size() > serverPathLimit)
        return;
    // A log another database or year has is not this year's to take: the server would refuse
    // it, or it belongs to the year this one was copied from.
    const QString key = pathKey(log->path);
    if (taken->contains(key) || !fileExists(log->path))
        return;
    taken->insert(key);
    row.state = YearState::Ready;
    row.logFile = log->path;
    row.logSize = QFileInfo(localFileName(log->path)).size();
}

QList<VerdictRequest> verdictRequests(const QList<PlanRow>& plan, const QList<PlanRow>& others)
{
    QList<VerdictRequest> requests;
    // A year without its log file also asks for the data file's list of files: the log it
    // records may lie elsewhere (a log the server rebuilt is named after the database).
    for (const PlanRow& r : plan) {
        if (askedYear(r))
            requests.append({ r.dataFile, r.state == YearState::LogMissing });
    }
    for (const PlanRow& r : others) {
        if (askedOther(r))
            requests.append({ r.dataFile, true });
    }
    return requests;
}

QStringList verdictStatements(const QList<PlanRow>& plan, const QList<PlanRow>& others, int serverMajorVersion)
{
    const QList<VerdictRequest> requests = verdictRequests(plan, others);
    if (requests.isEmpty())
        return {};
    QStringList statements { productVersionQuery() };
    if (serverMajorVersion >= 11)
        statements << serviceAccountQuery();
    return statements + verdictBatches(requests);
}

void addServerVerdicts(Connection& master, QList<PlanRow>& plan, QList<PlanRow>& others,
    const QList<ServerDatabase>& server, int* roundTrips)
{
    QList<int> yearRows, otherRows;
    for (int i = 0; i < plan.size(); ++i) {
        if (askedYear(plan.at(i)))
            yearRows.append(i);
    }
    for (int i = 0; i < others.size(); ++i) {
        if (askedOther(others.at(i)))
            otherRows.append(i);
    }
    const QList<VerdictRequest> requests = verdictRequests(plan, others);
    if (requests.isEmpty())
        return;
    const ServerFacts facts = readServerFacts(master, true, roundTrips);
    const QList<FileVerdict> verdicts = askServer(master, requests, roundTrips);
    QSet<QString> taken;
    if (std::any_of(plan.begin(), plan.end(), [](const PlanRow& r) { return r.state == YearState::LogMissing; }))
        taken = takenFileKeys(server, plan);
    for (int k = 0; k < yearRows.size(); ++k) {
        useRecordedLog(plan[yearRows.at(k)], verdicts.at(k), &taken, &serverFileExists);
        applyVerdict(plan[yearRows.at(k)], verdicts.at(k), facts, &fileAccessFor);
    }
    QList<PlanRow> earlier = plan;
    for (int k = 0; k < otherRows.size(); ++k) {
        PlanRow& row = others[otherRows.at(k)];
        const FileVerdict& verdict = verdicts.at(yearRows.size() + k);
        nameOtherFileRow(row, verdict, server, earlier, &serverFileExists);
        applyVerdict(row, verdict, facts, &fileAccessFor);
        earlier.append(row);
    }
}

QString fileVersionText(const PlanRow& row)
{
    if (row.fileVersion <= 0)
        return QString();
    QString text = fileVersionName(row.fileVersion);
    if (upgrades(row))
        text += QStringLiteral("，附加后升级为 ") + fileVersionName(row.serverFileVersion);
    return text;
}

QString verdictText(const PlanRow& row)
{
    if (isRefusal(row.state))
        return row.verdictHint;
    if ((row.state == YearState::Ready || row.state == YearState::LogMissing) && upgrades(row))
        return upgradeSentence(row.fileVersion, *writerOf(row.serverFileVersion));
    return QString();
}

QString rowLabel(const PlanRow& row)
{
    return row.databaseName.isEmpty() ? row.dataFile : row.databaseName;
}

} // namespace tp
