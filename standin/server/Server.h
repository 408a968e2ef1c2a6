#pragma once
// The stand-in's TCP shell: accepts clients, feeds each one's bytes to its ClientConnection
// and writes the answers back. Single-threaded; every request runs to completion on the
// event loop before the next one is read. One client's failure closes only that client.

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace standin {

class Engine;
class ClientConnection;

class Server : public QObject
{
    Q_OBJECT
public:
    explicit Server(Engine& engine, QObject* parent = nullptr);
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
    void onReadyRead(QTcpSocket* socket);
    void onDisconnected(QTcpSocket* socket);
    quint16 nextSpid();

    Engine& m_engine;
    QTcpServer* m_listener;
    QHash<QTcpSocket*, std::shared_ptr<ClientConnection>> m_clients;
    QString m_serverName;
    quint16 m_lastSpid = 50;
};

} // namespace standin
