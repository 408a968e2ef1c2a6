#pragma once
// One client's conversation with the stand-in, without the socket: bytes in, bytes out.
// PRELOGIN -> LOGIN7 -> requests (SQL batch, RPC, ATTENTION, transaction manager).
//
// The engine session is opened with the connection and closed with it. A malformed message,
// a message that does not fit the state, or an unknown packet type ends the connection
// (Output::close); nothing of it reaches the engine.

#include "Packets.h"
#include "TdsProtocol.h"
#include "Tokens.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <functional>
#include <optional>

namespace standin {

class Engine;

// How much one client may hold. A message beyond what `messageMemory` can take is read to
// its end and answered with 701 (before login: the connection closes).
struct ConnectionLimits
{
    tds::MessageMemory* messageMemory = nullptr; // shared by all clients; null = no limit
    qsizetype messageAllowance = 0; // bytes of a message not drawn from messageMemory
    qsizetype replyBudget = 0; // receive() stops answering once this much is to send; 0 = no limit
};

class ClientConnection
{
public:
    enum class State { Prelogin, Login, LoggedIn, Closed };

    struct Output
    {
        QByteArray bytes; // to send, in order
        bool close = false; // close the connection once the bytes are sent
        QString reason; // why it closes (for the server's log); empty after a refused login
        bool more = false; // complete messages wait: call receive() again, with or without bytes
    };

    // `spid` goes into the header of every packet sent; `serverName` into INFO/ERROR tokens.
    ClientConnection(
        Engine& engine, quint16 spid, const QString& serverName, const ConnectionLimits& limits = ConnectionLimits());
    ~ClientConnection();
    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    // Feeds bytes as they arrived and answers the complete messages among them, until the
    // reply budget is spent (Output::more).
    Output receive(const QByteArray& bytes);

    // While a request runs, the engine may wait for the client's attention (a slow statement):
    // `wait` then waits up to `ms` milliseconds for more bytes from the client and returns them
    // (empty when none came), or nullopt once the client has closed its connection. Messages other
    // than an attention that arrive meanwhile are answered after the request. Without it, slow
    // statements do not look at the client.
    using InputWait = std::function<std::optional<QByteArray>(int ms)>;
    void setInputWait(InputWait wait) { m_inputWait = std::move(wait); }

    State state() const { return m_state; }
    quint16 spid() const { return m_spid; }
    quint32 tdsVersion() const { return m_version; } // answered version after login
    int packetSize() const { return m_packetSize; }

private:
    void handle(const tds::TdsMessage& message, Output& out);
    void onPrelogin(const tds::TdsMessage& message, Output& out);
    void onLogin(const tds::TdsMessage& message, Output& out);
    void onBatch(const tds::TdsMessage& message, Output& out);
    void onRpc(const tds::TdsMessage& message, Output& out);
    void onTransactionManager(Output& out);
    void onDropped(bool rpc, Output& out);
    // The engine's hook while a request runs: true once the client's attention has come.
    bool waitForAttention(int ms);
    // The reply to a request; a request the client cancelled is followed by DONE_ATTN.
    void sendReply(Output& out, const Reply& reply, tds::RequestKind kind);
    void send(Output& out, const QByteArray& tokens);
    void close(Output& out, const QString& reason);

    Engine& m_engine;
    int m_session = -1;
    quint16 m_spid;
    QString m_serverName;
    qsizetype m_replyBudget;
    tds::PacketReader m_reader;
    State m_state = State::Prelogin;
    quint32 m_version = tds::Tds74;
    int m_packetSize = tds::defaultPacketSize;
    InputWait m_inputWait;
    QVector<tds::Decoded<tds::TdsMessage>> m_deferred; // arrived while a request ran, in order
    bool m_attentionPending = false; // an attention came while the request ran
    bool m_inputClosed = false; // the client closed while a request ran
};

} // namespace standin
