#pragma once
// The engine's inside: sessions, the catalogue, and one method per statement. The statements
// are spread over EngineImpl*.cpp by subject (requests, queries, databases, files).

#include "Catalogue.h"
#include "Collation.h"
#include "DatabaseFile.h"
#include "Engine.h"
#include "ServerPath.h"
#include "SqlStatement.h"
#include "VersionTable.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QSet>

#include <optional>

namespace standin {

struct RequestControl;

// A T-SQL variable: its declared type and its value (NULL until assigned).
struct Variable
{
    Column type;
    Cell value;
    bool narrow = false; // varchar or char: holds what the server's code page can
};

// What a request has produced so far, and where its statements stand.
struct Output
{
    QVector<Event> events;
    int errors = 0; // errors (severity >= 11) so far
    bool abortBatch = false; // stop the batch and every batch level under it (THROW, conversion errors)
    // A compile error at the running level (207, 208 ...): that level stops; a CATCH at the same
    // level does not take it, a caller's statement fails with it.
    bool scopeAborted = false;
    bool closeConnection = false; // severity 20 and above
    bool attention = false; // the client cancelled: nothing more runs, no CATCH either

    int tryDepth = 0; // TRY blocks around the running statement, on every level
    // A failure inside TRY on its way to its CATCH: its messages, from the first error on.
    std::optional<QVector<Message>> raised;
    QVector<QVector<Message>> caught; // the failures whose CATCH blocks run, innermost last
    QVector<QHash<QString, Variable>> scopes; // the variables of each batch level (lower-case names)
    const RequestControl* control = nullptr;

    void message(const Message& m);
    // Stop running statements: the batch is over, a CATCH takes over, or the level ends.
    bool stopped() const { return abortBatch || scopeAborted || closeConnection || attention || raised.has_value(); }
};

// An error found while evaluating an expression, and how much of the batch it ends: compile
// errors (names, types) end the running level; conversion errors the batch; arithmetic errors
// (divide by zero, overflow) the statement. Inside TRY all but compile errors go to the CATCH.
struct QueryError
{
    enum class Kind { Compile, Statement, Batch };
    Message message;
    Kind kind = Kind::Compile;
};

// Adds the error to `out` and ends as much of the batch as its kind says.
void reportQueryError(Output& out, const QueryError& error);

// Compares two cells as SQL Server would for these types: numbers as numbers, text in the
// server's collation, a number against text by converting the text (245). nullopt when NULL.
std::optional<int> compareCells(const Cell& a, const Cell& b, int version);

// A value with its type, as an expression gives it.
struct Value
{
    Column column;
    Cell cell;
};

// A procedure argument, from an EXEC in a batch or from an RPC call.
struct ProcArg
{
    QString name; // "@dbname" or empty
    Cell value; // monostate = NULL
    bool isDefault = false;
    bool output = false;
};

// A virtual table: sysdatabases, sysfiles, sysaltfiles.
struct Table
{
    QVector<Column> columns;
    QVector<QVector<Cell>> rows;
};

// The column `name` of `t` (names compared as the server compares them), or -1.
inline int columnIndex(const Table& t, const QString& name)
{
    for (qsizetype i = 0; i < t.columns.size(); ++i) {
        if (sameName(t.columns[i].name, name))
            return int(i);
    }
    return -1;
}

// `s` cut or padded with blanks to `length` characters, as a char(n) value is.
inline QString padded(const QString& s, int length)
{
    return s.size() >= length ? s.left(length) : s + QString(length - s.size(), QLatin1Char(' '));
}

// A row of a table an expression is evaluated against (none: table null, or row -1 for the
// columns alone).
struct RowRef
{
    const Table* table = nullptr;
    qsizetype row = -1;
};

struct Session
{
    bool loggedIn = false;
    QString database; // current database
    bool noCount = false;
    int lastError = 0; // @@ERROR: the number of the last statement's error, 0 after success
    int nextHandle = 1;
    struct Prepared
    {
        QString statement;
        QString declarations;
    };
    QHash<int, Prepared> prepared;
};

class EngineImpl
{
public:
    explicit EngineImpl(EngineOptions options);
    ~EngineImpl(); // a clean stop: every attached database is marked cleanly shut down
    EngineImpl(const EngineImpl&) = delete;
    EngineImpl& operator=(const EngineImpl&) = delete;

    ServerVersion version() const;
    int openSession();
    void closeSession(int session);
    LoginOutcome login(int session, const QString& user, const QString& password, const QString& database);
    Reply executeBatch(int session, const QString& sql, const RequestControl& control);
    Reply executeRpc(int session, const QVector<RpcCall>& calls, const RequestControl& control);
    void setCatalogueFault(const CatalogueFault& fault) { m_catalogueFault = fault; }
    void endLikeKilledServer() { m_killed = true; }

private:
    // ---- requests (EngineImplRequests.cpp) ----
    // Parses and runs one batch level (the request's text, or what sp_executesql runs), with
    // variables of its own.
    void runBatchText(Session& s, int sessionId, const QString& sql, Done::Kind doneKind, Output& out);
    void runStatements(Session& s, int sessionId, const StatementList& list, Done::Kind doneKind, Output& out);
    void runStatement(Session& s, int sessionId, const Statement& st, Done::Kind doneKind, Output& out);
    // After a statement inside TRY: its failure (from event `firstEvent` on) goes to the CATCH
    // instead of the client.
    void settle(Session& s, Output& out, qsizetype firstEvent, int errorsBefore);
    void endStatement(Output& out, Done::Kind kind, int errorsBefore, quint16 curCmd = 0,
        std::optional<quint64> rows = std::nullopt, bool noCount = false);
    void runExec(Session& s, int sessionId, const ExecStatement& e, Done::Kind doneKind, Output& out);
    // Runs a procedure; returns its return status, or nullopt when there is no such procedure
    // (2812 has then been added). `procDone` is the kind of DONE its inner statements end with.
    std::optional<int> runProcedure(Session& s, int sessionId, const QString& name, const QString& shownName,
        const QVector<ProcArg>& args, Output& out, QVector<ReturnValue>* returns);
    bool bindArguments(const QString& proc, const QStringList& params, const QVector<ProcArg>& args,
        QVector<ProcArg>* bound, Output& out);
    void runRpcCall(Session& s, int sessionId, const RpcCall& call, Output& out);
    void logRequest(int sessionId, const Session& s, const QString& kind, const QString& sql, const QString& proc);
    QString substituteParameters(
        const QString& statement, const QString& declarations, const QVector<ProcArg>& values, Output& out);

    // ---- the language: control of flow, variables, errors (EngineImplLanguage.cpp) ----
    void runIf(Session& s, int sessionId, const IfStatement& st, Done::Kind doneKind, Output& out);
    void runTryCatch(Session& s, int sessionId, const TryCatchStatement& st, Done::Kind doneKind, Output& out);
    void runDeclare(Session& s, int sessionId, const DeclareStatement& d, Output& out);
    void runSetVariable(Session& s, int sessionId, const SetVariableStatement& st, Output& out);
    void runRaiseError(Session& s, int sessionId, const RaiseErrorStatement& r, Output& out);
    void runThrow(Session& s, int sessionId, const ThrowStatement& t, Output& out);
    void runPrint(Session& s, int sessionId, const PrintStatement& p, Output& out);
    // A variable of that declared type, NULL.
    static Variable declaredVariable(const DataType& type);
    // Assigns `v` to the variable, converted to its type; throws QueryError when it does not convert.
    void assignVariable(Output& out, const QString& name, const Value& v) const;
    // Waits out the shrink delay, watching for the client's attention; true when it came.
    bool waitShrinkDelay(Output& out) const;

    // ---- expressions (EngineImplExpressions.cpp) ----
    // Throw QueryError.
    Value evaluate(Session& s, int sessionId, const Expr& e, const RowRef& row, Output& out) const;
    std::optional<bool> test(Session& s, int sessionId, const Condition& c, const RowRef& row, Output& out) const;
    Value convert(const Value& v, const Column& to) const;

    // ---- queries (EngineImplQueries.cpp) ----
    void runSelect(Session& s, int sessionId, const SelectStatement& q, Done::Kind doneKind, Output& out);
    bool resolveTable(Session& s, const SelectStatement& q, Table* table, Output& out);
    Table sysdatabases() const;
    Table sysfiles(const CatalogueDatabase& db) const;
    Table sysaltfiles() const;
    Table serverServices() const; // sys.dm_server_services
    QString serverName() const;

    // ---- databases (EngineImplDatabases.cpp) ----
    void runUse(Session& s, const UseStatement& u, Output& out);
    void runCreateDatabase(const CreateDatabaseStatement& c, Output& out);
    void runAttach(const CreateDatabaseStatement& c, Output& out);
    int runAttachProcedure(Session& s, int sessionId, const QVector<ProcArg>& args, Output& out);
    int runDetachProcedure(const QVector<ProcArg>& args, Output& out);
    void runAlterRecovery(const AlterRecoveryStatement& a, Output& out);
    void runAlterUpdateability(const AlterRecoveryStatement& a, Output& out);
    void refuseAlter(const Message& m, Output& out) const;
    void refuseMissingAlterTarget(const QString& database, Output& out) const;
    void runBackup(Session& s, const BackupStatement& b, Output& out);

    // ---- files (EngineImplFiles.cpp) ----
    void runShrinkFile(Session& s, const ShrinkFileStatement& f, Output& out);
    void runCheckPrimaryFile(const CheckPrimaryFileStatement& c, Output& out);

    // ---- shared ----
    Message msg(int number, const QStringList& args = {}) const;
    ServerPath resolve(const QString& given) const;
    // The database (other than `except`) whose files include this one, or null. The identities
    // of the catalogue's files are looked up once per request (a batch of many statements asks
    // about many files against the same catalogue) and again after the catalogue changes.
    const CatalogueDatabase* databaseUsingFile(const ServerPath& path, const QString& except = QString()) const;
    QString catalogueFileIdentity(const QString& recordedPath) const;
    bool inUse(const QString& database) const;
    // Writes the changed catalogue. When the write fails, the catalogue in memory goes back to
    // `before`, the error SQL Server gives for a failed write is added (with `procName`), and
    // false is returned: the change did not happen.
    bool commitCatalogue(const Catalogue& before, Output& out, const QString& procName = QString());
    void ensureSystemDatabases();
    QString modelRecovery() const;
    qint32 databaseStatus(const CatalogueDatabase& db) const;
    FileReadResult readFileOf(const CatalogueDatabase& db, const CatalogueFile& f) const;
    // The 5120 (2005 on) or 5105 (2000) for a file that cannot be opened, as attach words it.
    Message openFailure(const QString& shownPath, int osError) const;
    // 1802 with the state that tells what preceded it: 1 after 5133, 4 after 5120, 5173 (and
    // 5170, 5123 [U]), 7 after 5172.
    Message failedCreate(int state) const;
    // The 5123 for a file that could not be created or written (Windows error `osError`).
    Message createFileFailure(const QString& shownPath, int osError) const;
    // Writes the open (false) or cleanly-shut-down (true) mark into the database's primary file,
    // with its list of files naming the paths the database has them at (and `rebuiltLog`, the
    // log an attach built). Read-only databases are never written. Returns false (with a
    // warning) when the write fails.
    bool markShutdown(const CatalogueDatabase& db, bool clean, const FileRecord* rebuiltLog = nullptr);
    // 0 when every file of the database may be written by the server's account, else the
    // Windows error of the first that may not.
    int databaseWriteError(const CatalogueDatabase& db) const;

    EngineOptions m_options;
    const VersionFacts& m_facts;
    int m_version;
    QString m_defaultDataFolder;
    QString m_defaultBackupFolder;
    QString m_cataloguePath;
    Catalogue m_catalogue;
    mutable QHash<QString, QString> m_catalogueIdentities; // recorded path -> fileIdentity, this request
    CatalogueFault m_catalogueFault;
    QDateTime m_started;
    QHash<int, Session> m_sessions;
    int m_nextSession = 1;
    std::unique_ptr<QFile> m_requestLog;
    bool m_killed = false;
};

// A DATETIME value of a local time.
DateTimeValue toDateTimeValue(const QDateTime& t);

} // namespace standin
