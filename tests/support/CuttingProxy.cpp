#include "CuttingProxy.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

namespace tp::test {

namespace {

// An attention: TDS packet type 6, status "end of message", length 8, no data.
const QByteArray attentionPacket = QByteArray::fromHex("0601000800000100");

} // namespace

CuttingProxy::CuttingProxy()
    : m_thread(std::make_unique<QThread>())
{
    m_thread->start();
    m_context = new QObject;
    m_context->moveToThread(m_thread.get());
}

CuttingProxy::~CuttingProxy()
{
    QObject* context = m_context;
    QMetaObject::invokeMethod(
        context, [context] { qDeleteAll(context->children()); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_context;
}

bool CuttingProxy::start(int serverPort)
{
    m_serverPort = serverPort;
    bool listening = false;
    QMetaObject::invokeMethod(
        m_context,
        [this, &listening] {
            m_listener = new QTcpServer(m_context);
            QObject::connect(m_listener, &QTcpServer::newConnection, m_context, [this] { onConnection(); });
            listening = m_listener->listen(QHostAddress::LocalHost, 0);
            m_port = m_listener->serverPort();
        },
        Qt::BlockingQueuedConnection);
    return listening;
}

void CuttingProxy::cutAfter(const QString& sqlPart, bool cancelFirst)
{
    m_marker = QByteArray(reinterpret_cast<const char*>(sqlPart.utf16()), sqlPart.size() * 2);
    m_cancelFirst = cancelFirst;
    m_cut = false;
    m_armed = true;
}

QString CuttingProxy::serverName() const
{
    return QStringLiteral("127.0.0.1,%1").arg(m_port);
}

void CuttingProxy::onConnection()
{
    while (QTcpSocket* client = m_listener->nextPendingConnection()) {
        client->setParent(m_context);
        auto* server = new QTcpSocket(m_context);
        auto pending = std::make_shared<QByteArray>();
        auto dropping = std::make_shared<bool>(false);
        QPointer<QTcpSocket> c(client);
        QPointer<QTcpSocket> s(server);
        const auto closeBoth = [c, s] {
            if (c)
                c->abort();
            if (s)
                s->disconnectFromHost();
        };
        QObject::connect(server, &QTcpSocket::connected, m_context, [s, pending] {
            s->write(*pending);
            pending->clear();
        });
        QObject::connect(client, &QTcpSocket::readyRead, m_context, [this, c, s, pending, dropping, closeBoth] {
            const QByteArray data = c->readAll();
            if (*dropping)
                return;
            const bool cut = m_armed && !m_marker.isEmpty() && data.contains(m_marker);
            if (s->state() == QAbstractSocket::ConnectedState)
                s->write(data);
            else
                *pending += data;
            if (!cut)
                return;
            m_armed = false;
            *dropping = true;
            if (m_cancelFirst)
                s->write(attentionPacket);
            s->flush();
            m_cut = true;
            // Time for the request (and the attention) to reach the server, then the link goes.
            QTimer::singleShot(300, m_context, closeBoth);
        });
        QObject::connect(server, &QTcpSocket::readyRead, m_context, [c, s, dropping] {
            const QByteArray data = s->readAll();
            if (!*dropping && c)
                c->write(data);
        });
        QObject::connect(client, &QTcpSocket::disconnected, m_context, [s] {
            if (s)
                s->disconnectFromHost();
        });
        QObject::connect(server, &QTcpSocket::disconnected, m_context, [c] {
            if (c)
                c->disconnectFromHost();
        });
        server->connectToHost(QHostAddress::LocalHost, quint16(m_serverPort));
    }
}

} // namespace tp::test
