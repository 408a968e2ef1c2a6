#pragma once
// The engine's inside: sessions, the catalogue, and one method per statement. The statements
// are spread over EngineImpl*.cpp by subject (requests, queries, databases, files).

#include "Catalogue.h"
#include "DatabaseFile.h"
#include "Engine.h"
#include "ServerPath.h"
#include "SqlStatement.h"
#include "VersionTable.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QSet>

namespace standin {

// What a run of statements has produced so far.
struct Output
{
    QVector<Event> events;
    int errors = 0; // errors (severity >= 11) so far
    bool abortBatch = false; // stop running the rest of the batch
    bool closeConnection = false; // severity 20 and above

    void message(const Message& m);
};

// A procedure argument, from an EXEC in a batch or from an RPC call.
struct ProcArg
{
    QString name; // "@dbname" or empty
    Cell value; // monostate = NULL
    bool isDefault = false;
    bool output = false;
};

// A virtual table: sysdatabases, sysfiles.
struct Table
{
    QVector<Column> columns;
    QVector<QVector<Cell>> rows;
};

struct Session
{
    bool loggedIn = false;
    QString database; // current database
    bool noCount = false;
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
    Reply executeBatch(int session, const QString& sql);
    Reply executeRpc(int session, const QVector<RpcCall>& calls);
    void setCatalogueFault(const CatalogueFault& fault) { m_catalogueFault = fault; }
    void endLikeKilledServer() { m_killed = true; }

private:
    // ---- requests (EngineImplRequests.cpp) ----
    void runBatchText(Session& s, int sessionId, const QString& sql, Done::Kind doneKind, Output& out);
    void runStatement(Session& s, int sessionId, const Statement& st, Done::Kind doneKind, Output& out);
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

    // ---- queries (EngineImplQueries.cpp) ----
    void runSelect(Session& s, int sessionId, const SelectStatement& q, Done::Kind doneKind, Output& out);
    bool resolveTable(Session& s, const SelectStatement& q, Table* table, Output& out);
    Table sysdatabases() const;
    Table sysfiles(const CatalogueDatabase& db) const;
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
    void runBackup(Session& s, const BackupStatement& b, Output& out);

    // ---- files (EngineImplFiles.cpp) ----
    void runShrinkFile(Session& s, const ShrinkFileStatement& f, Output& out);
    void runCheckPrimaryFile(const CheckPrimaryFileStatement& c, Output& out);

    // ---- shared ----
    Message msg(int number, const QStringList& args = {}) const;
    ServerPath resolve(const QString& given) const;
    // The database (other than `except`) whose files include this one, or null.
    const CatalogueDatabase* databaseUsingFile(const ServerPath& path, const QString& except = QString()) const;
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
    // Writes the open (false) or cleanly-shut-down (true) mark into the database's primary file.
    // Read-only databases are never written. Returns false (with a warning) when the write fails.
    bool markShutdown(const CatalogueDatabase& db, bool clean);
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
