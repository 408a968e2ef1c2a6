#pragma once
// The server's own verdict on the data files a scan would attach, without attaching them:
// the server reads each primary file (dbcc checkprimaryfile: the database name, the version
// that wrote it, and for an .MDF outside the layout its list of files) in batches of many
// look-ups (ScanStatements.h). A refusal of one look-up leaves the others answered; a fatal
// error, which ends the connection, ends its batch, and the rest go on in a new batch over a
// new connection. What the server cannot tell (a read-only file) comes from the file itself
// (FileAccess.h). The verdict turns a ready row into one of the refusal states of ScanPlan.h,
// with the server's number and what to do.

#include "FileAccess.h"
#include "ScanPlan.h"
#include "ScanStatements.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QVector>

namespace tp {

class Connection;
struct BatchAnswer;

// One file of a database as its primary file records it (checkprimaryfile option 3).
struct RecordedFile
{
    int fileId = 0;
    bool log = false;
    QString logicalName;
    QString path; // trailing blanks removed
};

// What the server said about one primary file.
struct FileVerdict
{
    bool answered = false; // the server read the file or refused it; false: no answer came
    int error = 0; // the telling number of its refusal; 0 when it read the file
    QVector<int> numbers; // every number of its messages
    QString message; // the server's words of the refusal, or why no answer came
    QString recordedName; // "Database name"
    int fileVersion = 0; // "Database version"
    QList<RecordedFile> files; // option 3, when asked for
};

// What the server says of itself, for the verdict and its hints.
struct ServerFacts
{
    QString productVersion; // SERVERPROPERTY('ProductVersion'); empty when not read
    QString serviceAccount; // sys.dm_server_services; empty when the server cannot say
};

// Reads one batch's answer for the requests from `first` on into `verdicts` (sized for all
// requests). Returns the position after the last request whose marker came; `first` when
// none came. Pure.
int readVerdictAnswer(const BatchAnswer& answer, int first, QList<FileVerdict>* verdicts);

// Asks the server about every request over `master` (open), in batches; after a broken
// link a new connection from master's connection string carries on. `roundTrips` counts the
// batches sent. Never throws: a file whose answer did not come keeps answered = false.
QList<FileVerdict> askServer(Connection& master, const QList<VerdictRequest>& requests, int* roundTrips = nullptr);

// The server's version and, where the server has sys.dm_server_services and `askAccount`,
// its service account; `roundTrips` counts the statements sent. Never throws.
ServerFacts readServerFacts(Connection& master, bool askAccount, int* roundTrips = nullptr);

using FileAccessCheck = FileAccess (*)(const QString& file, const QString& account);

// Applies the verdict to a row the scan would attach (Ready or LogMissing): the file's and
// the server's versions; a refusal of the server becomes its state with the hint; a file
// too old or too new for the server (the version table) TooOld or TooNew; a data or log file
// the service account may not read or write (`access`) NoAccess or ReadOnly. Rows in other
// states, and verdicts that did not come, leave the row as it was. Pure but for `access`.
void applyVerdict(PlanRow& row, const FileVerdict& verdict, const ServerFacts& facts, FileAccessCheck access);

// The whole verdict of a scan: asks about every Ready or LogMissing row of `plan` (the
// account-year rows) and every Ready row of `others` (the other .MDF files, with their file
// lists), reads the server's version and service account, finds the recorded logs of the
// LogMissing rows (useRecordedLog), names the other files (nameOtherFileRow) and applies the
// verdicts. `roundTrips` counts what was sent. Never throws.
void addServerVerdicts(Connection& master, QList<PlanRow>& plan, QList<PlanRow>& others,
    const QList<ServerDatabase>& server, int* roundTrips = nullptr);

// The keys (pathKey) of every file of the server's databases and of the rows of `plan`: their
// data files, and their log files where they have one.
QSet<QString> takenFileKeys(const QList<ServerDatabase>& server, const QList<PlanRow>& plan);

// A LogMissing row whose data file records (the verdict's file list) a log that exists and
// whose key is not in `taken` (takenFileKeys) becomes Ready with that log, which is then added
// to `taken`: after a rebuilt log the server's new log lies under its own name, in the data
// file's or the server's log folder. `fileExists` says whether a server path names an
// existing file.
void useRecordedLog(
    PlanRow& row, const FileVerdict& verdict, QSet<QString>* taken, bool (*fileExists)(const QString& path));

// What addServerVerdicts asks about: the Ready and LogMissing rows of `plan` (the LogMissing
// ones with their file lists), then the Ready rows of `others` (with their file lists), in
// order.
QList<VerdictRequest> verdictRequests(const QList<PlanRow>& plan, const QList<PlanRow>& others);

// The statements addServerVerdicts sends for these rows, in order, to a server of major
// version `serverMajorVersion`, for a listing that sends nothing: the version query, the
// service account query (from 11 on: of 10 only 10.50.2500 and later have it, which a major
// version cannot tell), the batches. Empty when there is nothing to ask about.
QStringList verdictStatements(const QList<PlanRow>& plan, const QList<PlanRow>& others, int serverMajorVersion);

// The version that wrote the data file: "2005（611）", with "，附加后升级为 2022（957）" when the
// attach upgrades it; "" when not known.
QString fileVersionText(const PlanRow& row);

// What the row's verdict says: the refusal's hint, or for an attach that upgrades the file
// that it cannot go back afterwards; "" otherwise.
QString verdictText(const PlanRow& row);

// The database name, or the data file for an .MDF whose name the server did not read.
QString rowLabel(const PlanRow& row);

} // namespace tp
