#include "Server.h"

#include "ClientConnection.h"
#include "Tokens.h"

#include <QSignalBlocker>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>
#include <exception>

namespace standin {

Server::Server(Engine& engine, const ServerLimits& limits, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_limits(limits)
    , m_messageMemory(limits.messageMemory)
    , m_listener(new QTcpServer(this))
    , m_serverName(tds::defaultServerName())
{
    connect(m_listener, &QTcpServer::newConnection, this, &Server::onNewConnection);
}

Server::~Server()
{
    close();
}

bool Server::listen(const QHostAddress& address, quint16 port)
{
    return m_listener->listen(address, port);
}

QString Server::errorString() const
{
    return m_listener->errorString();
}

QHostAddress Server::serverAddress() const
{
    return m_listener->serverAddress();
}

quint16 Server::serverPort() const
{
    return m_listener->serverPort();
}

void Server::close()
{
    m_listener->close();
    const auto sockets = m_clients.keys();
    for (QTcpSocket* socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    m_clients.clear();
    m_scheduled.clear();
}

quint16 Server::nextSpid()
{
    // Session ids of user connections start at 51; skip ids still in use after a wrap.
    for (;;) {
        m_lastSpid = m_lastSpid >= 32767 ? 51 : quint16(m_lastSpid + 1);
        bool inUse = false;
        for (const auto& client : std::as_const(m_clients))
            inUse = inUse || client->spid() == m_lastSpid;
        if (!inUse)
            return m_lastSpid;
    }
}

void Server::onNewConnection()
{
    while (QTcpSocket* socket = m_listener->nextPendingConnection()) {
        socket->setParent(this);
        // Qt stops taking bytes from the system once this much waits unread.
        socket->setReadBufferSize(m_limits.readChunk);
        ConnectionLimits limits;
        limits.messageMemory = &m_messageMemory;
        limits.messageAllowance = m_limits.messageAllowance;
        limits.replyBudget = m_limits.unsentReply;
        auto client = std::make_shared<ClientConnection>(m_engine, nextSpid(), m_serverName, limits);
        // While a request of this client runs, the server watches only this client: it blocks the
        // others meanwhile. Signals stay blocked, so that nothing re-enters serve(); a close seen
        // here is handled once the request is over.
        client->setInputWait([socket](int ms) -> std::optional<QByteArray> {
            const QSignalBlocker blocker(socket);
            if (socket->bytesAvailable() == 0 && socket->state() == QAbstractSocket::ConnectedState)
                socket->waitForReadyRead(ms);
            const QByteArray bytes = socket->read(1 << 16);
            if (bytes.isEmpty() && socket->state() != QAbstractSocket::ConnectedState)
                return std::nullopt;
            return bytes;
        });
        m_clients.insert(socket, client);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        // Replies taken by the client may let its reading resume.
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { serve(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { onDisconnected(socket); });
        // Bytes may already be waiting.
        if (socket->bytesAvailable() > 0)
            serve(socket);
    }
}

void Server::scheduleServe(QTcpSocket* socket)
{
    if (m_scheduled.contains(socket))
        return;
    m_scheduled.insert(socket);
    QMetaObject::invokeMethod(
        this,
        [this, socket] {
            // The socket may be gone by now: only a listed one is touched.
            if (m_scheduled.remove(socket) && m_clients.contains(socket))
                serve(socket);
        },
        Qt::QueuedConnection);
}

void Server::serve(QTcpSocket* socket)
{
    // Held by value: the connection must survive even if the socket goes away meanwhile.
    const std::shared_ptr<ClientConnection> client = m_clients.value(socket);
    if (!client || socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (socket->bytesToWrite() >= m_limits.unsentReply)
        return; // bytesWritten() calls again once the client has taken some
    ClientConnection::Output out;
    try {
        out = client->receive(socket->read(m_limits.readChunk));
    } catch (const std::exception& e) {
        // Nothing may escape into the event loop; only this client is dropped.
        std::fprintf(stderr, "connection %u dropped: %s\n", unsigned(client->spid()), e.what());
        socket->abort();
        return;
    }
    if (socket->state() != QAbstractSocket::ConnectedState) {
        // The client went away while its request ran: the request ran to its end, its reply goes nowhere.
        onDisconnected(socket);
        return;
    }
    if (!out.bytes.isEmpty())
        socket->write(out.bytes);
    if (out.close) {
        if (!out.reason.isEmpty())
            std::fprintf(stderr, "connection %u closed: %s\n", unsigned(client->spid()), qPrintable(out.reason));
        // Sends what is buffered, then closes; disconnected() then removes the client.
        socket->disconnectFromHost();
        return;
    }
    // One chunk per turn, so that other clients are served in between.
    if (out.more || socket->bytesAvailable() > 0)
        scheduleServe(socket);
}

void Server::onDisconnected(QTcpSocket* socket)
{
    socket->disconnect(this);
    m_clients.remove(socket); // closes the engine session
    m_scheduled.remove(socket);
    socket->deleteLater();
}

} // namespace standin
