#include "ClientConnection.h"

#include "Engine.h"
#include "Login7.h"
#include "MessageTable.h"
#include "Prelogin.h"
#include "Requests.h"
#include "Tokens.h"

#include <QDeadlineTimer>
#include <QThread>

namespace standin {

using namespace tds;

namespace {

    // The answer to a transaction manager request. SQL Server would begin or end a transaction;
    // the stand-in has none, and the application never asks for one. The number and text are
    // the stand-in's own (unconfirmed for a real server); a client gets an error, not silence.
    Message transactionManagerRefusal()
    {
        Message m;
        m.number = 50000;
        m.state = 1;
        m.severity = 16;
        m.text = QStringLiteral("Transaction manager requests are not supported by this server.");
        return m;
    }

    // Integrated security asks for an SSPI handshake the stand-in cannot do.
    Message integratedSecurityRefusal()
    {
        Message m;
        m.number = 18452;
        m.state = 1;
        m.severity = 14;
        m.text = QStringLiteral(
            "Login failed. The login is from an untrusted domain and cannot be used with Integrated authentication.");
        return m;
    }

    Message loginFailed(const QString& user)
    {
        Message m;
        m.number = 18456;
        m.state = 1;
        m.severity = 14;
        m.text = QStringLiteral("Login failed for user '%1'.").arg(user);
        return m;
    }

} // namespace

ClientConnection::ClientConnection(
    Engine& engine, quint16 spid, const QString& serverName, const ConnectionLimits& limits)
    : m_engine(engine)
    , m_session(engine.openSession())
    , m_spid(spid)
    , m_serverName(serverName)
    , m_replyBudget(limits.replyBudget)
    , m_reader(maxMessageSize, limits.messageMemory, limits.messageAllowance)
{
    // The message types a client may send; anything else ends the connection at its header.
    m_reader.setAcceptedTypes(QByteArray::fromRawData("\x01\x03\x06\x0E\x10\x12", 6));
}

ClientConnection::~ClientConnection()
{
    m_engine.closeSession(m_session);
}

ClientConnection::Output ClientConnection::receive(const QByteArray& bytes)
{
    Output out;
    if (m_state == State::Closed)
        return out;
    m_reader.append(bytes);
    while (m_state != State::Closed) {
        if (m_replyBudget > 0 && out.bytes.size() >= m_replyBudget) {
            out.more = true;
            break;
        }
        auto message = m_deferred.isEmpty() ? m_reader.next() : m_deferred.takeFirst();
        if (message.status == DecodeStatus::NeedMore)
            break;
        if (!message.ok()) {
            close(out, message.error);
            break;
        }
        handle(message.value, out);
    }
    return out;
}

bool ClientConnection::waitForAttention(int ms)
{
    const QDeadlineTimer deadline(ms);
    for (;;) {
        if (m_attentionPending)
            return true;
        // Complete messages that arrived: an attention cancels, anything else waits its turn.
        while (!m_reader.failed()) {
            auto message = m_reader.next();
            if (message.status == DecodeStatus::NeedMore)
                break;
            if (message.ok() && message.value.type == AttentionPacket) {
                m_attentionPending = true;
                return true;
            }
            m_deferred.append(message);
        }
        const int left = int(deadline.remainingTime());
        if (left <= 0)
            return false;
        if (m_inputClosed || m_reader.failed()) {
            // Nobody is left to cancel: the request runs to its end, as on SQL Server.
            QThread::msleep(ulong(left));
            return false;
        }
        const std::optional<QByteArray> bytes = m_inputWait(left);
        if (!bytes)
            m_inputClosed = true;
        else
            m_reader.append(*bytes);
    }
}

void ClientConnection::sendReply(Output& out, const Reply& reply, RequestKind kind)
{
    const TokenContext ctx { m_version, m_serverName, serverCollation() };
    send(out, encodeReply(reply, kind, ctx));
    if (reply.attention) {
        // The cut-short reply is a message of its own; the acknowledgement follows as another.
        send(out, encodeAttentionAck(ctx));
        m_attentionPending = false;
    }
}

void ClientConnection::send(Output& out, const QByteArray& tokens)
{
    out.bytes += packetize(ReplyPacket, tokens, m_packetSize, m_spid);
}

void ClientConnection::close(Output& out, const QString& reason)
{
    m_state = State::Closed;
    out.close = true;
    out.reason = reason;
}

void ClientConnection::handle(const TdsMessage& message, Output& out)
{
    switch (message.type) {
    case PreloginPacket:
        if (m_state != State::Prelogin)
            return close(out, QStringLiteral("PRELOGIN after the login began"));
        if (message.dropped)
            return close(out, QStringLiteral("no memory left for the PRELOGIN message"));
        return onPrelogin(message, out);
    case Login7Packet:
        if (message.dropped)
            return close(out, QStringLiteral("no memory left for the login message"));
        // TDS 7.0 clients send no PRELOGIN.
        if (m_state != State::Prelogin && m_state != State::Login)
            return close(out, QStringLiteral("LOGIN7 on a signed-in connection"));
        return onLogin(message, out);
    case SqlBatchPacket:
    case RpcPacket:
    case AttentionPacket:
    case TransactionManagerPacket:
        if (m_state != State::LoggedIn)
            return close(
                out, QStringLiteral("request of type 0x%1 before login").arg(message.type, 2, 16, QLatin1Char('0')));
        break;
    default:
        return close(out, QStringLiteral("unknown packet type 0x%1").arg(message.type, 2, 16, QLatin1Char('0')));
    }

    if (message.type == AttentionPacket) {
        // An attention that finds no request running (one that came while a request ran and
        // stopped it was answered with that request): the previous reply went out whole, and one
        // message with DONE_ATTN acknowledges the attention.
        TokenContext ctx { m_version, m_serverName, serverCollation() };
        send(out, encodeAttentionAck(ctx));
        return;
    }
    if (message.status & StatusIgnore)
        return; // the client abandoned this message while sending it
    if (message.dropped)
        return onDropped(message.type == RpcPacket, out);
    switch (message.type) {
    case SqlBatchPacket:
        return onBatch(message, out);
    case RpcPacket:
        return onRpc(message, out);
    default:
        return onTransactionManager(out);
    }
}

void ClientConnection::onPrelogin(const TdsMessage& message, Output& out)
{
    const auto prelogin = decodePrelogin(message.payload);
    if (!prelogin.ok())
        return close(out, prelogin.error);
    const ServerVersion v = m_engine.version();
    out.bytes += packetize(
        ReplyPacket, encodePrelogin(serverPreloginAnswer(v.major, v.minor, v.build)), defaultPacketSize, m_spid);
    m_state = State::Login;
}

void ClientConnection::onLogin(const TdsMessage& message, Output& out)
{
    const auto decoded = decodeLogin7(message.payload);
    if (!decoded.ok())
        return close(out, decoded.error);
    const Login7& login = decoded.value;
    const quint32 requested = normaliseClientVersion(login.tdsVersion);
    TokenContext ctx { requested, m_serverName, serverCollation() };

    if (login.integratedSecurity()) {
        send(out, encodeLoginFailure({ integratedSecurityRefusal() }, ctx));
        return close(out, QString());
    }

    const LoginOutcome outcome = m_engine.login(m_session, login.userName, login.password, login.database);
    if (!outcome.ok) {
        QVector<Message> errors = outcome.messages;
        if (errors.isEmpty())
            errors.append(loginFailed(login.userName));
        send(out, encodeLoginFailure(errors, ctx));
        return close(out, QString());
    }

    const ServerVersion v = m_engine.version();
    LoginReplyParams params;
    params.requestedVersion = requested;
    params.answeredVersion = answeredVersion(login.tdsVersion, v.major, v.minor);
    params.database = outcome.database.isEmpty() ? QStringLiteral("master") : outcome.database;
    params.packetSize = login.packetSize == 0 ? defaultPacketSize
                                              : int(qBound<quint32>(minPacketSize, login.packetSize, maxPacketSize));
    params.serverMajor = v.major;
    params.serverMinor = v.minor;
    params.serverBuild = v.build;
    params.serverName = m_serverName;
    // The login reply still travels in packets of the size valid before login.
    send(out, encodeLoginReply(params));
    m_version = params.answeredVersion;
    m_packetSize = params.packetSize;
    m_state = State::LoggedIn;
}

void ClientConnection::onBatch(const TdsMessage& message, Output& out)
{
    const auto sql = decodeSqlBatch(message.payload, m_version);
    if (!sql.ok())
        return close(out, sql.error);
    RequestControl control;
    if (m_inputWait)
        control.waitForAttention = [this](int ms) { return waitForAttention(ms); };
    const Reply reply = m_engine.executeBatch(m_session, sql.value, control);
    sendReply(out, reply, RequestKind::Batch);
    if (reply.closeConnection)
        close(out, QStringLiteral("fatal error in the batch"));
}

void ClientConnection::onRpc(const TdsMessage& message, Output& out)
{
    const auto calls = decodeRpc(message.payload, m_version);
    if (!calls.ok())
        return close(out, calls.error);
    RequestControl control;
    if (m_inputWait)
        control.waitForAttention = [this](int ms) { return waitForAttention(ms); };
    const Reply reply = m_engine.executeRpc(m_session, calls.value, control);
    sendReply(out, reply, RequestKind::Rpc);
    if (reply.closeConnection)
        close(out, QStringLiteral("fatal error in the RPC"));
}

void ClientConnection::onDropped(bool rpc, Output& out)
{
    // The server could not hold the request while it arrived; nothing of it has run.
    Reply reply;
    reply.events.append(serverMessage(701, m_engine.version().major, { QStringLiteral("default") }));
    Done done;
    done.status = Done::Error;
    reply.events.append(done);
    send(out,
        encodeReply(reply, rpc ? RequestKind::Rpc : RequestKind::Batch,
            TokenContext { m_version, m_serverName, serverCollation() }));
}

void ClientConnection::onTransactionManager(Output& out)
{
    Reply reply;
    reply.events.append(transactionManagerRefusal());
    Done done;
    done.status = Done::Error;
    reply.events.append(done);
    send(out, encodeReply(reply, RequestKind::Batch, TokenContext { m_version, m_serverName, serverCollation() }));
}

} // namespace standin
