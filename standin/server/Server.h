#pragma once
// The stand-in's TCP shell: accepts clients, feeds each one's bytes to its ClientConnection
// and writes the answers back. Single-threaded; every request runs to completion on the
// event loop before the next one is read, and a slow statement (a shrink delayed for the tests)
// watches only its own client for an attention meanwhile. One client's failure closes only that
// client.
//
// Memory is bounded per server: a client is read in chunks, one chunk per turn of the event
// loop; reading from a client whose unsent replies reach a limit stops until it has taken
// them (TCP then holds the client back); messages still arriving draw on one shared budget.

#include "Packets.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace standin {

class Engine;
class ClientConnection;

struct ServerLimits
{
    qint64 unsentReply = 1 << 20; // a client's unsent replies at which its reading pauses
    qint64 readChunk = 64 << 10; // bytes taken from a client per turn
    qint64 messageMemory = 64 << 20; // unfinished messages of all clients together
    qint64 messageAllowance = 256 << 10; // per client, on top of messageMemory
};

class Server : public QObject
{
    Q_OBJECT
public:
    explicit Server(Engine& engine, const ServerLimits& limits = ServerLimits(), QObject* parent = nullptr);
    ~Server() override;

    // Port 0 picks a free port. Returns false with errorString() set when listening fails.
    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const;
    QHostAddress serverAddress() const;
    quint16 serverPort() const;
    int connectionCount() const { return int(m_clients.size()); }
    // Closes every connection and stops listening.
    void close();

private:
    void onNewConnection();
    // Takes one chunk from the client and answers what it completes; schedules itself again
    // while work is left and the client's unsent replies are below the limit.
    void serve(QTcpSocket* socket);
    void scheduleServe(QTcpSocket* socket);
    void onDisconnected(QTcpSocket* socket);
    quint16 nextSpid();

    Engine& m_engine;
    ServerLimits m_limits;
    tds::MessageMemory m_messageMemory;
    QTcpServer* m_listener;
    QSet<QTcpSocket*> m_scheduled;
    QHash<QTcpSocket*, std::shared_ptr<ClientConnection>> m_clients;
    QString m_serverName;
    quint16 m_lastSpid = 50;
};

} // namespace standin
