// The stand-in over a real socket, spoken to with the codec as the client: login per TDS
// version, ATTENTION, transaction manager requests, protocol violations that must close only
// the offending connection, clients that vanish, several clients at once, the command line.

#include "Login7.h"
#include "Packets.h"
#include "Prelogin.h"
#include "Requests.h"
#include "StandinProcess.h"
#include "TokenDecoder.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <csignal>
#include <sys/types.h>

using namespace standin;
using namespace standin::tds;
using tp::test::StandinProcess;

namespace {

constexpr int waitMs = 10000;

// A TDS client made of the codec, for one connection.
class RawClient
{
public:
    bool connectTo(int port)
    {
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
        return m_socket.waitForConnected(waitMs);
    }

    void sendRaw(const QByteArray& bytes)
    {
        m_socket.write(bytes);
        m_socket.flush();
    }

    void send(quint8 type, const QByteArray& payload, quint8 extraStatus = 0)
    {
        sendRaw(packetize(type, payload, m_packetSize, 0, 1, extraStatus));
    }

    // The next complete message from the server; an Error result when the connection closed
    // or nothing came in time.
    Decoded<TdsMessage> readMessage()
    {
        QDeadlineTimer deadline(waitMs);
        for (;;) {
            auto m = m_reader.next();
            if (m.status != DecodeStatus::NeedMore)
                return m;
            if (m_socket.state() != QAbstractSocket::ConnectedState && m_socket.bytesAvailable() == 0)
                return Decoded<TdsMessage>::failure(QStringLiteral("connection closed"));
            if (deadline.hasExpired())
                return Decoded<TdsMessage>::failure(QStringLiteral("no answer in time"));
            if (m_socket.bytesAvailable() == 0)
                m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
            const QByteArray bytes = m_socket.readAll();
            for (int pos = 0; pos + 8 <= bytes.size();) { // remember the SPID of the answer
                const auto h = readPacketHeader(bytes, pos);
                if (!h.ok())
                    break;
                m_lastSpid = h.value.spid;
                m_largestPacket = qMax(m_largestPacket, int(h.value.length));
                pos += h.value.length;
            }
            m_reader.append(bytes);
        }
    }

    QVector<DecodedToken> readTokens(QString* error = nullptr)
    {
        const auto m = readMessage();
        if (!m.ok()) {
            if (error)
                *error = m.error;
            return {};
        }
        const auto tokens = decodeTokens(m.value.payload, m_version);
        if (!tokens.ok() && error)
            *error = tokens.error;
        for (const auto& t : tokens.value) {
            if (const auto* ack = std::get_if<LoginAckData>(&t.value))
                m_version = ack->tdsVersion;
            if (const auto* env = std::get_if<EnvChangeData>(&t.value); env && env->type == EnvPacketSize)
                m_packetSize = env->newText().toInt();
        }
        return tokens.value;
    }

    bool prelogin()
    {
        Prelogin p;
        p.options = { { PreloginVersion, QByteArray::fromHex("090000000000") },
            { PreloginEncryption, QByteArray(1, '\0') }, { PreloginInstOpt, QByteArray("MSSQLServer", 12) },
            { PreloginThreadId, QByteArray(4, '\0') }, { PreloginMars, QByteArray(1, '\0') } };
        send(PreloginPacket, encodePrelogin(p));
        const auto answer = readMessage();
        if (!answer.ok())
            return false;
        const auto decoded = decodePrelogin(answer.value.payload);
        m_preloginAnswer = decoded.value;
        return answer.value.type == ReplyPacket && decoded.ok();
    }

    Login7 loginMessage(const QString& password, quint32 version = Tds74, const QString& database = QString())
    {
        Login7 l;
        l.tdsVersion = version;
        l.userName = QStringLiteral("sa");
        l.password = password;
        l.hostName = QStringLiteral("test");
        l.appName = QStringLiteral("net_raw_test");
        l.serverName = QStringLiteral("127.0.0.1");
        l.language = QStringLiteral("us_english");
        l.database = database;
        if (version == Tds74)
            l.featureExt = QByteArray::fromHex("0A0100000001FF");
        return l;
    }

    // PRELOGIN + LOGIN7; returns the login reply's tokens.
    QVector<DecodedToken> login(const Login7& l, QString* error = nullptr)
    {
        m_version = l.tdsVersion;
        if (!prelogin()) {
            if (error)
                *error = QStringLiteral("no PRELOGIN answer");
            return {};
        }
        send(Login7Packet, encodeLogin7(l));
        return readTokens(error);
    }

    bool loginOk(const QString& password, quint32 version = Tds74)
    {
        const auto tokens = login(loginMessage(password, version));
        for (const auto& t : tokens) {
            if (t.type == LoginAckToken)
                return true;
        }
        return false;
    }

    QVector<DecodedToken> batch(const QString& sql, QString* error = nullptr)
    {
        send(SqlBatchPacket, encodeSqlBatch(sql, m_version));
        return readTokens(error);
    }

    bool waitForServerClose()
    {
        if (m_socket.state() == QAbstractSocket::UnconnectedState)
            return true;
        QDeadlineTimer deadline(waitMs);
        while (m_socket.state() != QAbstractSocket::UnconnectedState && !deadline.hasExpired()) {
            m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
            m_socket.readAll();
        }
        return m_socket.state() == QAbstractSocket::UnconnectedState;
    }

    QTcpSocket& socket() { return m_socket; }
    quint32 version() const { return m_version; }
    quint16 lastSpid() const { return m_lastSpid; }
    int largestPacket() const { return m_largestPacket; }
    const Prelogin& preloginAnswer() const { return m_preloginAnswer; }

private:
    QTcpSocket m_socket;
    PacketReader m_reader;
    quint32 m_version = Tds74;
    int m_packetSize = 4096;
    quint16 m_lastSpid = 0;
    int m_largestPacket = 0;
    Prelogin m_preloginAnswer;
};

QStringList rowTexts(const QVector<DecodedToken>& tokens)
{
    QStringList out;
    for (const auto& t : tokens) {
        if (const auto* row = std::get_if<RowData>(&t.value)) {
            if (!row->cells.isEmpty())
                if (const auto* s = std::get_if<QString>(&row->cells[0]))
                    out.append(*s);
        }
    }
    return out;
}

QVector<qint32> messageNumbers(const QVector<DecodedToken>& tokens)
{
    QVector<qint32> out;
    for (const auto& t : tokens) {
        if (const auto* m = std::get_if<Message>(&t.value))
            out.append(m->number);
    }
    return out;
}

const DoneData* lastDone(const QVector<DecodedToken>& tokens)
{
    return tokens.isEmpty() ? nullptr : std::get_if<DoneData>(&tokens.last().value);
}

const QStringList systemDatabases
    = { QStringLiteral("master"), QStringLiteral("model"), QStringLiteral("msdb"), QStringLiteral("tempdb") };
const QString listDatabases = QStringLiteral("select name from sysdatabases ORDER BY name");

} // namespace

class NetRawTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loginAndQueryPerVersion_data();
    void loginAndQueryPerVersion();
    void serverVersionCapsTheTdsVersion_data();
    void serverVersionCapsTheTdsVersion();
    void refusedLogins_data();
    void refusedLogins();
    void negotiatedPacketSize();
    void idleAttentionIsAcknowledged();
    void attentionRightAfterABatch();
    void attentionDuringSlowShrinkStopsTheBatch();
    void ignoredMessageGetsNoAnswer();
    void transactionManagerRequestGetsAnError();
    void protocolViolationClosesOnlyThatConnection_data();
    void protocolViolationClosesOnlyThatConnection();
    void clientsVanishingDoNotDisturbOthers();
    void manyClientsAtOnce();
    void clientThatDoesNotReadIsHeldBack();
    void messageBeyondSharedMemoryIsRefused();
    void commandLine_data();
    void commandLine();
    void stopsCleanlyOnSignals_data();
    void stopsCleanlyOnSignals();

private:
    std::unique_ptr<StandinProcess> m_server;
};

void NetRawTest::init()
{
    m_server = std::make_unique<StandinProcess>();
    QVERIFY2(m_server->start(), qPrintable(m_server->lastError()));
}

void NetRawTest::cleanup()
{
    m_server.reset();
}

void NetRawTest::loginAndQueryPerVersion_data()
{
    QTest::addColumn<quint32>("version");
    QTest::newRow("7.1") << Tds71;
    QTest::newRow("7.2") << Tds72;
    QTest::newRow("7.3A") << Tds73A;
    QTest::newRow("7.3B") << Tds73B;
    QTest::newRow("7.4") << Tds74;
}

void NetRawTest::loginAndQueryPerVersion()
{
    QFETCH(quint32, version);
    RawClient client;
    QVERIFY(client.connectTo(m_server->port()));
    QString error;
    const auto tokens = client.login(client.loginMessage(m_server->password(), version), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(client.preloginAnswer().encryption(), quint8(EncryptNotSupported));
    QCOMPARE(client.preloginAnswer().value(PreloginVersion).left(1), QByteArray(1, char(16)));

    QVector<quint8> types;
    for (const auto& t : tokens)
        types.append(t.type);
    const QVector<quint8> expected = { EnvChangeToken, InfoToken, EnvChangeToken, EnvChangeToken, InfoToken,
        LoginAckToken, EnvChangeToken, DoneToken };
    QCOMPARE(types, expected);
    const auto& ack = std::get<LoginAckData>(tokens[5].value);
    QCOMPARE(ack.tdsVersion, version);
    QCOMPARE(ack.interface, quint8(1));
    QCOMPARE(ack.programName, QStringLiteral("Microsoft SQL Server"));
    QCOMPARE(ack.major, quint8(16));
    QVERIFY2(client.lastSpid() >= 51, "user sessions have SPIDs from 51");

    const auto rows = client.batch(listDatabases, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(rowTexts(rows), systemDatabases);
    QVERIFY(lastDone(rows));
    QCOMPARE(lastDone(rows)->status & DoneMore, 0);
    QVERIFY(m_server->sqlTexts().contains(listDatabases));
}

void NetRawTest::serverVersionCapsTheTdsVersion_data()
{
    QTest::addColumn<int>("serverMajor");
    QTest::addColumn<quint32>("answered");
    QTest::newRow("2000 answers 7.1") << 8 << Tds71;
    QTest::newRow("2005 answers 7.2") << 9 << Tds72;
    QTest::newRow("2008 answers 7.3A") << 10 << Tds73A;
    QTest::newRow("2012 answers 7.4") << 11 << Tds74;
}

void NetRawTest::serverVersionCapsTheTdsVersion()
{
    QFETCH(int, serverMajor);
    QFETCH(quint32, answered);
    QVERIFY2(m_server->start(serverMajor), qPrintable(m_server->lastError()));
    RawClient client;
    QVERIFY(client.connectTo(m_server->port()));
    QString error;
    const auto tokens = client.login(client.loginMessage(m_server->password(), Tds74), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(client.version(), answered);
    QCOMPARE(std::get<LoginAckData>(tokens[5].value).major, quint8(serverMajor));
    // From here on both sides use the answered version (7.1: no ALL_HEADERS, short DONE).
    const auto rows = client.batch(listDatabases, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(rowTexts(rows), systemDatabases);
}

void NetRawTest::refusedLogins_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("database");
    QTest::addColumn<bool>("integrated");
    QTest::addColumn<QVector<qint32>>("errors");
    QTest::newRow("wrong password") << QStringLiteral("wrong") << QString() << false << QVector<qint32> { 18456 };
    QTest::newRow("unknown database") << QString() << QStringLiteral("NoSuchDb") << false
                                      << QVector<qint32> { 4060, 18456 };
    QTest::newRow("integrated security") << QString() << QString() << true << QVector<qint32> { 18452 };
}

void NetRawTest::refusedLogins()
{
    QFETCH(QString, password);
    QFETCH(QString, database);
    QFETCH(bool, integrated);
    QFETCH(QVector<qint32>, errors);
    if (password.isEmpty())
        password = m_server->password();
    RawClient client;
    QVERIFY(client.connectTo(m_server->port()));
    Login7 l = client.loginMessage(password, Tds74, database);
    if (integrated)
        l.optionFlags2 |= Login7::integratedSecurityFlag;
    QString error;
    const auto tokens = client.login(l, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(messageNumbers(tokens), errors);
    for (const auto& t : tokens) {
        QVERIFY(t.type != LoginAckToken);
        if (std::holds_alternative<Message>(t.value))
            QCOMPARE(t.type, quint8(ErrorToken));
    }
    QVERIFY(lastDone(tokens));
    QCOMPARE(lastDone(tokens)->status, quint16(DoneError));
    QVERIFY2(client.waitForServerClose(), "the server closes a refused login's connection");
}

void NetRawTest::negotiatedPacketSize()
{
    RawClient client;
    QVERIFY(client.connectTo(m_server->port()));
    Login7 l = client.loginMessage(m_server->password());
    l.packetSize = 512;
    QString error;
    const auto tokens = client.login(l, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const auto& env = std::get<EnvChangeData>(tokens[6].value);
    QCOMPARE(env.type, quint8(EnvPacketSize));
    QCOMPARE(env.newText(), QStringLiteral("512"));
    // A batch the client cut into 512-byte packets is joined again; the answer comes in
    // packets no larger than 512 bytes.
    const QString sql = listDatabases + QString(600, QLatin1Char(' '));
    const auto rows = client.batch(sql, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(rowTexts(rows), systemDatabases);
    QVERIFY(client.largestPacket() <= 512);
    QVERIFY(m_server->sqlTexts().contains(sql));
}

void NetRawTest::idleAttentionIsAcknowledged()
{
    RawClient client;
    QVERIFY(client.connectTo(m_server->port()));
    QVERIFY(client.loginOk(m_server->password()));
    QString error;
    QCOMPARE(rowTexts(client.batch(listDatabases)), systemDatabases);

    client.send(AttentionPacket, QByteArray());
    const auto ack = client.readTokens(&error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(ack.size(), 1);
    QCOMPARE(ack[0].type, quint8(DoneToken));
    QCOMPARE(std::get<DoneData>(ack[0].value).status, quint16(DoneAttention));
    // The connection stays usable.
    QCOMPARE(rowTexts(client.batch(listDatabases)), systemDatabases);
}

void NetRawTest::attentionRightAfterABatch()
{
    // The batch and the attention arrive together, before the reply was read: the reply comes
    // whole as its own message, then DONE_ATTN as another (the two-message form clients expect
    // when they cancel a running request).
    RawClient client;
    QVERIFY(client.connectTo(m_server->port()));
    QVERIFY(client.loginOk(m_server->password()));
    client.sendRaw(packetize(SqlBatchPacket, encodeSqlBatch(listDatabases, Tds74), 4096, 0)
        + packetize(AttentionPacket, QByteArray(), 4096, 0));
    QString error;
    const auto first = client.readTokens(&error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(rowTexts(first), systemDatabases);
    const auto second = client.readTokens(&error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(second.size(), 1);
    QCOMPARE(std::get<DoneData>(second[0].value).status, quint16(DoneAttention));
}

// An attention while a (slowed) shrink runs: the batch stops there, nothing after it runs, no
// CATCH either, and the reply ends early, followed by DONE_ATTN in a message of its own.
void NetRawTest::attentionDuringSlowShrinkStopsTheBatch()
{
    constexpr int delayMs = 20000;
    m_server->setExtraArguments({ QStringLiteral("--shrink-delay-ms"), QString::number(delayMs) });
    QVERIFY2(m_server->restart(), qPrintable(m_server->lastError()));
    QTemporaryDir files;
    RawClient client;
    QVERIFY(client.connectTo(m_server->port()));
    QVERIFY(client.loginOk(m_server->password()));
    QString error;
    const auto made
        = client.batch(QStringLiteral("CREATE DATABASE S ON (NAME = s, FILENAME = '%1') LOG ON (NAME = "
                                      "s_log, FILENAME = '%2') USE S")
                           .arg(files.filePath(QStringLiteral("s.mdf")), files.filePath(QStringLiteral("s.ldf"))),
            &error);
    QVERIFY2(error.isEmpty() && !messageNumbers(made).contains(1802), qPrintable(error));
    const QString batch = QStringLiteral(
        "BEGIN TRY ALTER DATABASE [S] SET RECOVERY SIMPLE CHECKPOINT DBCC SHRINKFILE (s_log) ALTER DATABASE [S] SET "
        "RECOVERY FULL END TRY BEGIN CATCH ALTER DATABASE [S] SET RECOVERY FULL; THROW; END CATCH");
    QElapsedTimer timer;
    timer.start();
    client.send(SqlBatchPacket, encodeSqlBatch(batch, client.version()));
    QTRY_VERIFY(m_server->sqlTexts().contains(batch));
    client.send(AttentionPacket, QByteArray());

    const auto cut = client.readTokens(&error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(messageNumbers(cut).isEmpty());
    QVERIFY(lastDone(cut) && !(lastDone(cut)->status & DoneAttention) && !(lastDone(cut)->status & DoneMore));
    const auto ack = client.readTokens(&error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(ack.size(), 1);
    QCOMPARE(std::get<DoneData>(ack[0].value).status, quint16(DoneAttention));
    QVERIFY(timer.elapsed() < delayMs);
    // The connection goes on; the database stays in SIMPLE recovery, the log as it was.
    const auto model
        = client.batch(QStringLiteral("SELECT CAST(DATABASEPROPERTYEX(N'S', 'Recovery') AS nvarchar(128))"));
    QCOMPARE(rowTexts(model), QStringList { QStringLiteral("SIMPLE") });
    QCOMPARE(m_server->sqlTexts().count(batch), 1);
}

void NetRawTest::ignoredMessageGetsNoAnswer()
{
    RawClient client;
    QVERIFY(client.connectTo(m_server->port()));
    QVERIFY(client.loginOk(m_server->password()));
    m_server->clearRequests();
    client.send(SqlBatchPacket, encodeSqlBatch(listDatabases, Tds74), StatusIgnore);
    client.send(AttentionPacket, QByteArray());
    QString error;
    const auto next = client.readTokens(&error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(next.size(), 1); // nothing came before the acknowledgement
    QCOMPARE(std::get<DoneData>(next[0].value).status, quint16(DoneAttention));
    QVERIFY(m_server->sqlTexts().isEmpty());
}

void NetRawTest::transactionManagerRequestGetsAnError()
{
    RawClient client;
    QVERIFY(client.connectTo(m_server->port()));
    QVERIFY(client.loginOk(m_server->password()));
    // TM_BEGIN_XACT as FreeTDS ODBC sends it for SQL_ATTR_AUTOCOMMIT off.
    client.send(TransactionManagerPacket, defaultAllHeaders() + QByteArray::fromHex("0500 00 00"));
    QString error;
    const auto tokens = client.readTokens(&error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(tokens.size(), 2);
    QCOMPARE(tokens[0].type, quint8(ErrorToken));
    QVERIFY(std::get<Message>(tokens[0].value).severity >= 11);
    QCOMPARE(std::get<DoneData>(tokens[1].value).status, quint16(DoneError));
    QCOMPARE(rowTexts(client.batch(listDatabases)), systemDatabases);
}

void NetRawTest::protocolViolationClosesOnlyThatConnection_data()
{
    QTest::addColumn<int>("stage"); // 0 before PRELOGIN, 1 after PRELOGIN, 2 after login
    QTest::addColumn<QByteArray>("bytes");
    auto packet = [](quint8 type, const QByteArray& payload) { return packetize(type, payload, 4096, 0); };
    QTest::newRow("unknown packet type") << 2 << packet(0x42, QByteArray("xx"));
    QTest::newRow("a reply packet from the client") << 2 << packet(ReplyPacket, QByteArray(13, '\0'));
    QTest::newRow("header shorter than itself") << 2 << QByteArray::fromHex("0101000400000100");
    QTest::newRow("TLS ClientHello") << 0 << QByteArray::fromHex("160301002a0100002603030000");
    QTest::newRow("batch before login") << 0 << packet(SqlBatchPacket, encodeSqlBatch(listDatabases, Tds74));
    QTest::newRow("attention before login") << 1 << packet(AttentionPacket, QByteArray());
    QTest::newRow("PRELOGIN twice") << 1 << packet(PreloginPacket, QByteArray::fromHex("FF"));
    QTest::newRow("LOGIN7 after login") << 2 << packet(Login7Packet, encodeLogin7(Login7()));
    QTest::newRow("malformed PRELOGIN") << 0 << packet(PreloginPacket, QByteArray::fromHex("0000"));
    QTest::newRow("malformed LOGIN7") << 1 << packet(Login7Packet, QByteArray(40, '\x7f'));
    QTest::newRow("batch with broken ALL_HEADERS") << 2 << packet(SqlBatchPacket, QByteArray::fromHex("FF000000"));
    QTest::newRow("RPC of an unknown parameter type")
        << 2 << packet(RpcPacket, defaultAllHeaders() + QByteArray::fromHex("FFFF0A00 0000 0000 99"));
    QTest::newRow("type changes inside a message")
        << 2
        << (packetize(SqlBatchPacket, QByteArray(10, 'a'), 4096, 0, 1, 0).left(8 + 10).replace(1, 1, "\0", 1)
               + packet(RpcPacket, QByteArray(4, 'b')));
}

void NetRawTest::protocolViolationClosesOnlyThatConnection()
{
    QFETCH(int, stage);
    QFETCH(QByteArray, bytes);
    RawClient bystander;
    QVERIFY(bystander.connectTo(m_server->port()));
    QVERIFY(bystander.loginOk(m_server->password()));

    RawClient offender;
    QVERIFY(offender.connectTo(m_server->port()));
    if (stage == 1)
        QVERIFY(offender.prelogin());
    if (stage == 2)
        QVERIFY(offender.loginOk(m_server->password()));
    offender.sendRaw(bytes);
    QVERIFY2(offender.waitForServerClose(), "the server keeps a connection that broke the protocol");

    QCOMPARE(rowTexts(bystander.batch(listDatabases)), systemDatabases);
    RawClient newcomer;
    QVERIFY(newcomer.connectTo(m_server->port()));
    QVERIFY(newcomer.loginOk(m_server->password()));
}

void NetRawTest::clientsVanishingDoNotDisturbOthers()
{
    RawClient stayer;
    QVERIFY(stayer.connectTo(m_server->port()));
    QVERIFY(stayer.loginOk(m_server->password()));

    // Gone in the middle of a packet, in the middle of the login, and right after sending a
    // request whose answer it never reads.
    {
        RawClient c;
        QVERIFY(c.connectTo(m_server->port()));
        c.sendRaw(packetize(PreloginPacket, QByteArray::fromHex("FF"), 4096, 0).left(5));
        c.socket().abort();
    }
    {
        RawClient c;
        QVERIFY(c.connectTo(m_server->port()));
        QVERIFY(c.prelogin());
        c.socket().abort();
    }
    for (int i = 0; i < 5; ++i) {
        RawClient c;
        QVERIFY(c.connectTo(m_server->port()));
        QVERIFY(c.loginOk(m_server->password()));
        c.send(SqlBatchPacket, encodeSqlBatch(listDatabases, Tds74));
        c.socket().abort();
    }
    QCOMPARE(rowTexts(stayer.batch(listDatabases)), systemDatabases);
    QVERIFY(m_server->isRunning());
}

void NetRawTest::manyClientsAtOnce()
{
    constexpr int count = 12;
    std::vector<std::unique_ptr<RawClient>> clients;
    QSet<quint16> spids;
    for (int i = 0; i < count; ++i) {
        clients.push_back(std::make_unique<RawClient>());
        QVERIFY(clients.back()->connectTo(m_server->port()));
        QVERIFY(clients.back()->loginOk(m_server->password(), i % 2 ? Tds71 : Tds74));
        spids.insert(clients.back()->lastSpid());
    }
    QCOMPARE(spids.size(), count);
    // Every client sends before any reads: the answers must not mix.
    for (auto& c : clients)
        c->send(SqlBatchPacket, encodeSqlBatch(listDatabases, c->version()));
    for (int i = count - 1; i >= 0; --i) {
        QString error;
        QCOMPARE(rowTexts(clients[i]->readTokens(&error)), systemDatabases);
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }
}

// A client that sends and never reads is read no further once its unsent replies pass the
// limit; the others are served meanwhile, and once it reads it gets every answer in order.
void NetRawTest::clientThatDoesNotReadIsHeldBack()
{
    RawClient flood;
    QVERIFY(flood.connectTo(m_server->port()));
    QVERIFY(flood.loginOk(m_server->password()));
    const QString sql = QStringLiteral("select ") + QStringList(50, QStringLiteral("@@VERSION")).join(',');
    const int requests = 4000; // about 25 KB of answer each: 100 MB in all
    for (int i = 0; i < requests; ++i)
        flood.send(SqlBatchPacket, encodeSqlBatch(sql, flood.version()));

    RawClient other;
    QVERIFY(other.connectTo(m_server->port()));
    QVERIFY(other.loginOk(m_server->password()));
    QCOMPARE(rowTexts(other.batch(listDatabases)), systemDatabases);
    // Wait until the server has taken all it will take from the flooding client.
    qsizetype answered = -1;
    for (int quiet = 0; quiet < 10;) {
        flood.socket().waitForBytesWritten(100);
        const qsizetype now = m_server->sqlTexts().count(sql);
        quiet = now == answered ? quiet + 1 : 0;
        answered = now;
    }
    QVERIFY2(answered < requests / 2, qPrintable(QStringLiteral("%1 requests run").arg(answered)));

    for (int i = 0; i < requests; ++i) {
        QString error;
        const auto tokens = flood.readTokens(&error);
        QVERIFY2(error.isEmpty(), qPrintable(QStringLiteral("answer %1: %2").arg(i).arg(error)));
        QVERIFY(messageNumbers(tokens).isEmpty() && lastDone(tokens));
    }
}

// A message that the memory shared by the clients' unfinished messages cannot hold is read
// to its end and refused with 701; the connection goes on, and so do the others.
void NetRawTest::messageBeyondSharedMemoryIsRefused()
{
    m_server->setExtraArguments({ QStringLiteral("--message-memory"), QStringLiteral("1000000") });
    QVERIFY2(m_server->restart(), qPrintable(m_server->lastError()));
    RawClient big;
    QVERIFY(big.connectTo(m_server->port()));
    QVERIFY(big.loginOk(m_server->password()));
    RawClient other;
    QVERIFY(other.connectTo(m_server->port()));
    QVERIFY(other.loginOk(m_server->password()));

    const QString padded = QStringLiteral("select name from sysdatabases ORDER BY name") + QString(1000000, ' ');
    const auto refused = big.batch(padded);
    QCOMPARE(messageNumbers(refused), QVector<qint32> { 701 });
    const auto* m = std::get_if<Message>(&refused.first().value);
    QCOMPARE(
        m->text, QStringLiteral("There is insufficient system memory in resource pool 'default' to run this query."));
    QVERIFY(lastDone(refused) && (lastDone(refused)->status & Done::Error));
    QVERIFY(!m_server->sqlTexts().contains(padded));
    QCOMPARE(rowTexts(big.batch(listDatabases)), systemDatabases);
    QCOMPARE(rowTexts(other.batch(padded.left(300000))), systemDatabases); // within its own allowance
}

void NetRawTest::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("complaint");
    QTest::newRow("nothing") << QStringList() << QStringLiteral("--listen is missing");
    QTest::newRow("no data dir") << QStringList { QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
        QStringLiteral("--sa-password"), QStringLiteral("x") }
                                 << QStringLiteral("--data-dir");
    QTest::newRow("no password") << QStringList { QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
        QStringLiteral("--data-dir"), QStringLiteral("DATA") }
                                 << QStringLiteral("--sa-password");
    QTest::newRow("unknown option") << QStringList { QStringLiteral("--port"), QStringLiteral("1") }
                                    << QStringLiteral("unknown argument");
    QTest::newRow("value missing") << QStringList { QStringLiteral("--listen") } << QStringLiteral("needs a value");
    QTest::newRow("no port") << QStringList { QStringLiteral("--listen"), QStringLiteral("127.0.0.1") }
                             << QStringLiteral("HOST:PORT");
    QTest::newRow("port out of range") << QStringList { QStringLiteral("--listen"), QStringLiteral("127.0.0.1:70000") }
                                       << QStringLiteral("port");
    QTest::newRow("host not an address") << QStringList { QStringLiteral("--listen"), QStringLiteral("nowhere:0") }
                                         << QStringLiteral("not an IP address");
    QTest::newRow("bad version") << QStringList { QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
        QStringLiteral("--data-dir"), QStringLiteral("DATA"), QStringLiteral("--sa-password"), QStringLiteral("x"),
        QStringLiteral("--version"), QStringLiteral("2022") }
                                 << QStringLiteral("--version");
    QTest::newRow("port taken") << QStringList { QStringLiteral("--listen"), QStringLiteral("127.0.0.1:TAKEN"),
        QStringLiteral("--data-dir"), QStringLiteral("DATA"), QStringLiteral("--sa-password"), QStringLiteral("x") }
                                << QStringLiteral("cannot listen");
}

void NetRawTest::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(QString, complaint);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QTcpServer holder; // keeps a port busy for "port taken"
    QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
    for (QString& a : args) {
        a.replace(QLatin1String("TAKEN"), QString::number(holder.serverPort()));
        if (a == QLatin1String("DATA"))
            a = dir.path();
    }
    QProcess p;
    p.start(qEnvironmentVariable("TALLYPORT_STANDIN"), args);
    QVERIFY2(p.waitForFinished(waitMs), "the stand-in did not exit on bad arguments");
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 2);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(err.contains(complaint), qPrintable(err));
    QVERIFY(p.readAllStandardOutput().isEmpty());
}

void NetRawTest::stopsCleanlyOnSignals_data()
{
    QTest::addColumn<bool>("interrupt");
    QTest::newRow("SIGTERM") << false;
    QTest::newRow("SIGINT") << true;
}

void NetRawTest::stopsCleanlyOnSignals()
{
    QFETCH(bool, interrupt);
    QTemporaryDir dir;
    QProcess p;
    p.start(qEnvironmentVariable("TALLYPORT_STANDIN"),
        { QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--data-dir"), dir.path(),
            QStringLiteral("--sa-password"), QStringLiteral("pw"), QStringLiteral("--version"), QStringLiteral("10") });
    QVERIFY(p.waitForStarted(waitMs));
    QDeadlineTimer deadline(20000);
    while (!p.canReadLine() && !deadline.hasExpired() && p.state() == QProcess::Running)
        p.waitForReadyRead(1000);
    const QString line = QString::fromUtf8(p.readLine());
    QVERIFY2(QRegularExpression(QStringLiteral("^listening on 127\\.0\\.0\\.1:[1-9][0-9]*\\n$")).match(line).hasMatch(),
        qPrintable(line));
    // A connected client does not keep it from stopping.
    RawClient client;
    QVERIFY(client.connectTo(line.section(QLatin1Char(':'), -1).trimmed().toInt()));
    QVERIFY(client.loginOk(QStringLiteral("pw")));
    if (interrupt)
        ::kill(pid_t(p.processId()), SIGINT);
    else
        p.terminate();
    QVERIFY(p.waitForFinished(waitMs));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
}

QTEST_GUILESS_MAIN(NetRawTest)
#include "net_raw_test.moc"
