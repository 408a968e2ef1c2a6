#pragma once
// A TCP proxy on loopback in front of a stand-in, on a thread of its own (the test's thread
// may wait in the driver meanwhile). It passes every connection on as it is, except the first
// request that holds a given SQL text: that request reaches the server whole, and then the link
// is cut: the server's reply is dropped and both sides are closed, as when a network fails
// after a statement left. With `cancelFirst` an attention goes to the server before the close,
// as from a client whose time-out cancelled the statement just before its link failed.
// Connections made afterwards pass as before.

#include <QString>

#include <atomic>
#include <memory>

class QObject;
class QThread;
class QTcpServer;

namespace tp::test {

class CuttingProxy
{
public:
    CuttingProxy();
    ~CuttingProxy(); // closes every connection and the listener
    CuttingProxy(const CuttingProxy&) = delete;
    CuttingProxy& operator=(const CuttingProxy&) = delete;

    // Listens on a free loopback port and passes on to 127.0.0.1:`serverPort`. False when it
    // cannot listen.
    bool start(int serverPort);
    // Arms the cut: the first request (TDS packet of a batch) whose text holds `sqlPart`.
    void cutAfter(const QString& sqlPart, bool cancelFirst);
    bool hasCut() const { return m_cut; }
    QString serverName() const; // "127.0.0.1,<port>"

private:
    void onConnection();

    std::unique_ptr<QThread> m_thread;
    QObject* m_context = nullptr; // lives in m_thread, parent of the listener and every socket
    QTcpServer* m_listener = nullptr;
    int m_serverPort = 0;
    int m_port = 0;
    QByteArray m_marker; // UTF-16LE, as a batch carries its text
    std::atomic<bool> m_armed { false };
    std::atomic<bool> m_cancelFirst { false };
    std::atomic<bool> m_cut { false };
};

} // namespace tp::test
