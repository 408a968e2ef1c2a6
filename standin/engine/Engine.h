#pragma once
// The stand-in's statement engine: the catalogue, the database files and the statements.
// It is driven by the network layer one request at a time on one thread; it never sees
// bytes of the protocol. See Reply.h for what it answers.

#include "Catalogue.h"
#include "Reply.h"

#include <QString>
#include <functional>
#include <memory>

namespace standin {

struct EngineOptions
{
    QString dataDir; // the stand-in's own folder: catalogue, master files, default data folder
    QString saPassword; // the only login accepted is sa with this password
    int majorVersion = 16; // 8 = 2000, 9 = 2005, 10 = 2008 ... 16 = 2022
    QString requestLogPath; // when set: one JSON line per request, the SQL text exactly as received
    // The account the server runs as, as sys.dm_server_services reports it; empty: the USER of the
    // environment.
    QString serviceAccount;
    int shrinkDelayMs = 0; // test aid: every DBCC SHRINKFILE takes at least this long
};

// How a running request learns that its client cancelled it (an attention).
struct RequestControl
{
    // Waits up to `ms` milliseconds for the client's attention; true as soon as one has come (also
    // one that came before the call). The request then stops at the running statement. Without a
    // function, slow statements simply wait.
    std::function<bool(int ms)> waitForAttention;
};

struct LoginOutcome
{
    bool ok = false;
    QString database; // the session's current database after a successful login
    QVector<Message> messages; // on failure: the errors to send (4060 then 18456, or 18456)
};

struct ServerVersion
{
    int major = 16;
    int minor = 0;
    int build = 1000;
    QString productVersion; // e.g. "16.0.1000.6"
};

class EngineImpl;

class Engine
{
public:
    explicit Engine(EngineOptions options);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    ServerVersion version() const;

    // Sessions: one per client connection. A session's current database counts as "in use".
    int openSession();
    void closeSession(int session);
    LoginOutcome login(int session, const QString& user, const QString& password, const QString& database);

    Reply executeBatch(int session, const QString& sql, const RequestControl& control = RequestControl());
    Reply executeRpc(int session, const QVector<RpcCall>& calls, const RequestControl& control = RequestControl());

    // Test seam: the catalogue writes from now on fail as `fault` says.
    void setCatalogueFault(const CatalogueFault& fault);

    // Test seam: the engine ends as a killed server does. Its destructor then leaves every attached
    // database marked open (not cleanly shut down) in its primary file, as SIGKILL leaves them.
    void endLikeKilledServer();

private:
    std::unique_ptr<EngineImpl> d;
};

} // namespace standin
