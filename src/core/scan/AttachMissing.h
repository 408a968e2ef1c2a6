#pragma once
// Attach what the plan says is missing, without any window: in plan order (account set, then
// year), one statement per account-year, through the same idempotent attach step as the run.
// A failure is recorded for its year and the rest go on.

#include "ScanPlan.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tp {

class Connection;

// The server's databases with their primary files (databaseIdsQuery) and every file of each
// (databaseFilesQuery, the per-file catalogue of SQL Server 2000 to 2022, with the first log
// file of each) over an open master
// connection. A server without the per-file catalogue (208) gives the primary files alone.
// Throws DbError for every other refusal.
QList<ServerDatabase> readServerDatabases(Connection& master);

// The statements readServerDatabases sends, in order.
QStringList catalogueQueries();

struct ScanOptions
{
    bool verdicts = true; // ask the server about every file it would attach (ServerVerdict.h)
    bool otherDataFiles = true; // list the other .MDF files under the root (OtherDataFiles.h)
};

// What a scan cost: the statements and batches it sent.
struct ScanStats
{
    int roundTrips = 0;
};

// Reads the catalogue and builds the plan of `root`: the account-year rows, then the other
// .MDF files (when asked for, in path order), each ready row with the server's verdict (when
// asked for). Throws DbError when the server refuses the catalogue query; the verdict itself
// never throws (a file whose verdict did not come stays as the plan had it).
QList<PlanRow> scanDataRoot(
    Connection& master, const QString& root, const ScanOptions& options = {}, ScanStats* stats = nullptr);

enum class YearOutcome {
    Attached, // attached now (logRebuilt: with a new log file)
    AlreadyThere, // the server had it attached from these files
    Skipped, // name taken, files in use, file or folder unreadable, log missing and not asked
             // for, files gone, or cancelled
    Failed, // the server refused: errorNumber, errorText, hint
    Refused, // the server's verdict refused it before anything was sent: errorNumber, hint
};

struct AttachResult
{
    PlanRow row;
    YearOutcome outcome = YearOutcome::Skipped;
    bool logRebuilt = false;
    bool cancelled = false; // Skipped: it was to be attached when the attach was cancelled
    QString statement; // the statement sent (empty when none)
    int errorNumber = 0;
    QString errorText;
    QString hint;
};

struct AttachOptions
{
    bool rebuildMissingLogs = false; // attach years whose log file is missing, with a new log
    int serverMajorVersion = 0; // for the rebuilt-log statement; 0: ask the server
    bool otherDataFiles = false; // also the other .MDF files, under their recorded names
};

// True when the row is one attach-missing sends a statement for.
bool wantsAttach(const PlanRow& row, const AttachOptions& options);

// The statement that attaches the row (plain attach, or the rebuilt-log form).
QString attachStatementFor(const PlanRow& row, const AttachOptions& options);

// Called before each attach with the row, its 0-based position among the attaches and their
// number; returning false cancels the rest: no further statement is sent, and every row after
// is still in the result (a row that was to be attached as Skipped and cancelled).
using AttachProgress = std::function<bool(const PlanRow& row, int index, int count)>;

// Attaches every row that wantsAttach(), over connections opened with `masterConnectionString`;
// every other account-year row is reported as already there, skipped or refused (its
// verdict), a Gone row as skipped; the other .MDF files are left out unless asked for. Never
// throws for a refused attach; throws DbError when the server cannot be reached at the start.
QList<AttachResult> attachMissing(const QString& masterConnectionString, const QList<PlanRow>& plan,
    AttachOptions options, const AttachProgress& progress = {});

struct AttachSummary
{
    int attached = 0, alreadyThere = 0, skipped = 0, failed = 0, logsRebuilt = 0, refused = 0;
    int cancelled = 0; // of the skipped
};
AttachSummary summarize(const QList<AttachResult>& results);

// "附加 3 个，已存在 2 个，跳过 1 个，失败 1 个" plus "，不能附加 2 个" when verdicts refused
// some and "（其中 1 个重建了日志文件）" when logs were rebuilt, then one line per failure:
// "UFDATA_001_2008 失败：" and its failureText, and one per refusal: "UFDATA_001_2009 版本过旧："
// and its failureText. After a cancel the skipped count says how many of them the cancel
// left: "跳过 2 个（其中 1 个因取消而未附加）".
QString summaryText(const QList<AttachResult>& results);

// A failed or refused year as one line: the hint, then "（错误号 <n>：<the driver's words>）"
// (without the words when there are none, without the number when there is none).
QString failureText(const AttachResult& result);

} // namespace tp
