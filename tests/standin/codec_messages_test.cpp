// Client messages and packet framing: PRELOGIN, LOGIN7, SQL batch, RPC, ATTENTION, and the
// packet reader fed in every possible split.

#include "Login7.h"
#include "Packets.h"
#include "Prelogin.h"
#include "Requests.h"
#include "Wire.h"
#include "codec_bytes.h"

#include <QtTest>

using namespace standin;
using namespace standin::tds;
using namespace tp::test;

namespace {

// FreeTDS 1.3.17 tsql, TDS 7.4: the whole PRELOGIN packet.
const char freetdsPrelogin[] = "12 01 00 3A 00 00 00 00"
                               "00 00 1A 00 06 01 00 20 00 01 02 00 21 00 0C 03 00 2D 00 04 04 00 31 00 01 FF"
                               "09 00 00 00 00 00"
                               "00"
                               "4D 53 53 51 4C 53 65 72 76 65 72 00"
                               "4D 2E 00 00"
                               "00";

// The LOGIN7 of FreeTDS tsql at 7.4 with the layout captured from it (host "tp", password
// "Probe#2024", app "TSQL", server "127.0.0.1", library "TDS-Library", language us_english).
QByteArray freetdsLogin7Payload()
{
    QByteArray p = hex("C9 00 00 00  04 00 00 74  00 10 00 00  06 83 F2 F8  4D 2E 00 00  00 00 00 00"
                       "E0 03 00 18  88 FF FF FF  36 04 00 00"
                       "5E 00 02 00  62 00 02 00  66 00 0A 00  7A 00 04 00  82 00 09 00  94 00 04 00"
                       "98 00 0B 00  AE 00 0A 00  C2 00 00 00  02 FC 00 00 00 01"
                       "C2 00 00 00  C2 00 00 00  C2 00 00 00  00 00 00 00");
    p += utf16(QStringLiteral("tp"));
    p += utf16(QStringLiteral("sa"));
    p += hex("A0 A5 82 A5 53 A5 83 A5 F3 A5 97 A5 86 A5 A6 A5 86 A5 E6 A5");
    p += utf16(QStringLiteral("TSQL"));
    p += utf16(QStringLiteral("127.0.0.1"));
    p += hex("C2 00 00 00");
    p += utf16(QStringLiteral("TDS-Library"));
    p += utf16(QStringLiteral("us_english"));
    p += hex("0A 01 00 00 00 01 FF");
    return p;
}

} // namespace

class CodecMessagesTest : public QObject
{
    Q_OBJECT

private slots:
    void packetReaderJoinsPacketsInEverySplit_data();
    void packetReaderJoinsPacketsInEverySplit();
    void packetReaderRefusesMalformedInput_data();
    void packetReaderRefusesMalformedInput();
    void packetReaderRefusesOversizedMessages();
    void packetReadersShareMessageMemory();
    void packetizeCutsAtThePacketSize_data();
    void packetizeCutsAtThePacketSize();

    void preloginMatchesFreeTdsCapture();
    void preloginRefusesMalformedTables_data();
    void preloginRefusesMalformedTables();

    void login7DecodesFreeTdsLayout();
    void login7RoundTrips_data();
    void login7RoundTrips();
    void login7RefusesBrokenOffsets_data();
    void login7RefusesBrokenOffsets();
    void passwordObfuscationMatchesCapture();

    void sqlBatchAllHeadersDependOnVersion_data();
    void sqlBatchAllHeadersDependOnVersion();
    void sqlBatchRefusesBrokenHeaders_data();
    void sqlBatchRefusesBrokenHeaders();

    void rpcParametersRoundTrip_data();
    void rpcParametersRoundTrip();
    void rpcSeveralCallsPerVersion_data();
    void rpcSeveralCallsPerVersion();
    void rpcPlpValueInSeveralChunks();
    void rpcRefusesMalformedCalls_data();
    void rpcRefusesMalformedCalls();
    void rpcFreeTdsPrepExecShape();

    void attentionIsAnEmptyMessage();
};

void CodecMessagesTest::packetReaderJoinsPacketsInEverySplit_data()
{
    QTest::addColumn<int>("packetSize");
    QTest::addColumn<int>("payloadSize");
    QTest::newRow("one small packet") << 4096 << 30;
    QTest::newRow("empty message") << 4096 << 0;
    QTest::newRow("exactly one full packet") << 512 << 504;
    QTest::newRow("five packets") << 512 << 2300;
}

void CodecMessagesTest::packetReaderJoinsPacketsInEverySplit()
{
    QFETCH(int, packetSize);
    QFETCH(int, payloadSize);
    QByteArray payload;
    for (int i = 0; i < payloadSize; ++i)
        payload.append(char(i * 7 + 3));
    const QByteArray second = encodeSqlBatch(QStringLiteral("select 1"), Tds74);
    const QByteArray stream
        = packetize(SqlBatchPacket, payload, packetSize, 0, 0) + packetize(RpcPacket, second, packetSize, 0, 1);

    // Every split point, and byte by byte.
    QVector<QVector<QByteArray>> feeds;
    for (int cut = 0; cut <= stream.size(); ++cut)
        feeds.append({ stream.left(cut), stream.mid(cut) });
    QVector<QByteArray> single;
    for (char c : stream)
        single.append(QByteArray(1, c));
    feeds.append(single);

    for (const auto& feed : feeds) {
        PacketReader reader;
        QVector<TdsMessage> got;
        for (const QByteArray& part : feed) {
            reader.append(part);
            for (;;) {
                auto m = reader.next();
                QVERIFY2(m.status != DecodeStatus::Error, qPrintable(m.error));
                if (m.status == DecodeStatus::NeedMore)
                    break;
                got.append(m.value);
            }
        }
        QCOMPARE(got.size(), 2);
        QCOMPARE(got[0].type, quint8(SqlBatchPacket));
        QCOMPARE(got[0].status & StatusEom, int(StatusEom));
        COMPARE_BYTES(got[0].payload, payload);
        QCOMPARE(got[1].type, quint8(RpcPacket));
        COMPARE_BYTES(got[1].payload, second);
        QCOMPARE(reader.buffered(), qsizetype(0));
    }
}

void CodecMessagesTest::packetReaderRefusesMalformedInput_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::newRow("length below the header") << hex("01 01 00 07 00 00 01 00");
    QTest::newRow("length zero") << hex("12 01 00 00 00 00 00 00");
    QTest::newRow("type changes inside a message")
        << hex("01 00 00 0A 00 00 01 00 41 00  03 01 00 0A 00 00 02 00 41 00");
    QTest::newRow("attention inside a batch") << hex("01 00 00 0A 00 00 01 00 41 00  06 01 00 08 00 00 01 00");
    QTest::newRow("TLS ClientHello") << hex("16 03 01 00 02 01 00 00");
}

void CodecMessagesTest::packetReaderRefusesMalformedInput()
{
    QFETCH(QByteArray, stream);
    PacketReader reader;
    reader.append(stream);
    auto m = reader.next();
    if (QByteArray(QTest::currentDataTag()) == "TLS ClientHello") {
        // Framing alone cannot tell TLS from a message of type 0x16: the header is well-formed
        // and asks for 256 bytes. With the accepted types given, the header alone is refused.
        QCOMPARE(m.status, DecodeStatus::NeedMore);
        PacketReader strict;
        strict.setAcceptedTypes(QByteArray::fromHex("0103060E1012"));
        strict.append(stream);
        QCOMPARE(strict.next().status, DecodeStatus::Error);
        return;
    }
    QCOMPARE(m.status, DecodeStatus::Error);
    QVERIFY(!m.error.isEmpty());
    QVERIFY(reader.failed());
    // It stays failed: the rest of the stream cannot be trusted.
    reader.append(packetize(SqlBatchPacket, QByteArray("ab"), 4096, 0));
    QCOMPARE(reader.next().status, DecodeStatus::Error);
}

void CodecMessagesTest::packetReaderRefusesOversizedMessages()
{
    // A small limit: two packets of 300 payload bytes against a limit of 500.
    {
        PacketReader reader(500);
        reader.append(packetize(SqlBatchPacket, QByteArray(600, 'x'), 308, 0));
        QCOMPARE(reader.next().status, DecodeStatus::Error);
    }
    // The real limit, 16 MiB: the reader refuses before it has buffered the whole message.
    {
        PacketReader reader;
        const QByteArray packet = [] {
            QByteArray p;
            putPacketHeader(p, { SqlBatchPacket, 0, quint16(maxPacketSize), 0, 1, 0 });
            p.append(QByteArray(maxPacketSize - packetHeaderSize, 'y'));
            return p;
        }();
        int packets = 0;
        DecodeStatus status = DecodeStatus::NeedMore;
        while (status == DecodeStatus::NeedMore && packets < 2 * maxMessageSize / maxPacketSize) {
            reader.append(packet);
            ++packets;
            status = reader.next().status;
        }
        QCOMPARE(status, DecodeStatus::Error);
        QCOMPARE(packets, maxMessageSize / (maxPacketSize - packetHeaderSize) + 1);
    }
}

// Messages in progress draw on one budget beyond each reader's allowance; a message that
// does not fit is read to its end and handed on as dropped, and its memory comes back.
void CodecMessagesTest::packetReadersShareMessageMemory()
{
    MessageMemory memory(10000);
    auto reader = std::make_unique<PacketReader>(maxMessageSize, &memory, 1000);
    PacketReader second(maxMessageSize, &memory, 1000);
    const QByteArray held = packetize(SqlBatchPacket, QByteArray(3500, 'a'), 512, 0);
    reader->append(held.left(held.size() - 100)); // all but the end of the last packet
    QCOMPARE(reader->next().status, DecodeStatus::NeedMore);
    QVERIFY(reader->reserved() >= 6 * (512 - 8) - 1000);
    QCOMPARE(memory.used(), reader->reserved());

    second.append(packetize(SqlBatchPacket, QByteArray(20000, 'b'), 512, 0));
    const auto dropped = second.next();
    QVERIFY(dropped.ok() && dropped.value.dropped && dropped.value.payload.isEmpty());
    QCOMPARE(memory.used(), reader->reserved());
    second.append(packetize(SqlBatchPacket, QByteArray(500, 'c'), 512, 0)); // within the allowance
    const auto small = second.next();
    QVERIFY(small.ok() && !small.value.dropped && small.value.payload == QByteArray(500, 'c'));

    reader->append(held.right(100));
    const auto whole = reader->next();
    QVERIFY(whole.ok() && whole.value.payload == QByteArray(3500, 'a'));
    QCOMPARE(memory.used(), qsizetype(0));
    reader->append(held.left(held.size() - 100));
    QCOMPARE(reader->next().status, DecodeStatus::NeedMore);
    QVERIFY(memory.used() > 0);
    reader.reset(); // a client gone mid-message gives its share back
    QCOMPARE(memory.used(), qsizetype(0));
}

void CodecMessagesTest::packetizeCutsAtThePacketSize_data()
{
    QTest::addColumn<int>("packetSize");
    QTest::addColumn<int>("payloadSize");
    QTest::addColumn<int>("packets");
    QTest::newRow("empty") << 4096 << 0 << 1;
    QTest::newRow("one byte") << 4096 << 1 << 1;
    QTest::newRow("full") << 4096 << 4088 << 1;
    QTest::newRow("one over") << 4096 << 4089 << 2;
    QTest::newRow("8192, 300 rows worth") << 8192 << 40000 << 5;
    QTest::newRow("below the minimum is 512") << 100 << 1000 << 2;
    QTest::newRow("above the maximum is 32767") << 70000 << 40000 << 2;
    QTest::newRow("ids wrap past 255") << 512 << 504 * 300 << 300;
}

void CodecMessagesTest::packetizeCutsAtThePacketSize()
{
    QFETCH(int, packetSize);
    QFETCH(int, payloadSize);
    QFETCH(int, packets);
    QByteArray payload(payloadSize, '\0');
    for (int i = 0; i < payloadSize; ++i)
        payload[i] = char(i);
    const QByteArray out = packetize(ReplyPacket, payload, packetSize, 0x1234, 1);
    const int limit = qBound(512, packetSize, 32767);
    int pos = 0;
    QByteArray joined;
    for (int i = 0; i < packets; ++i) {
        const auto h = readPacketHeader(out, pos);
        QVERIFY(h.ok());
        QCOMPARE(h.value.type, quint8(ReplyPacket));
        QCOMPARE(h.value.status, quint8(i == packets - 1 ? StatusEom : 0));
        QVERIFY(h.value.length <= limit);
        QCOMPARE(h.value.spid, quint16(0x1234));
        QCOMPARE(h.value.packetId, quint8((1 + i) % 256));
        joined += out.mid(pos + 8, h.value.length - 8);
        pos += h.value.length;
    }
    QCOMPARE(pos, int(out.size()));
    COMPARE_BYTES(joined, payload);
}

void CodecMessagesTest::preloginMatchesFreeTdsCapture()
{
    const QByteArray packet = hex(freetdsPrelogin);
    PacketReader reader;
    reader.append(packet);
    const auto m = reader.next();
    QVERIFY(m.ok());
    QCOMPARE(m.value.type, quint8(PreloginPacket));
    const auto p = decodePrelogin(m.value.payload);
    QVERIFY2(p.ok(), qPrintable(p.error));
    QCOMPARE(p.value.options.size(), 5);
    COMPARE_BYTES(p.value.value(PreloginVersion), hex("09 00 00 00 00 00"));
    QCOMPARE(p.value.encryption(), quint8(EncryptOff));
    COMPARE_BYTES(p.value.value(PreloginInstOpt), QByteArray("MSSQLServer", 12));
    COMPARE_BYTES(p.value.value(PreloginThreadId), hex("4D 2E 00 00"));
    COMPARE_BYTES(p.value.value(PreloginMars), hex("00"));
    QVERIFY(!p.value.has(PreloginTraceId));
    // And back: FreeTDS numbers its PRELOGIN packet 0.
    COMPARE_BYTES(packetize(PreloginPacket, encodePrelogin(p.value), 4096, 0, 0), packet);
}

void CodecMessagesTest::preloginRefusesMalformedTables_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("no terminator") << hex("00 00 06 00 00 00");
    QTest::newRow("entry cut short") << hex("00 00 0B 00");
    QTest::newRow("data beyond the end") << hex("00 00 06 00 06 FF 09 00");
    QTest::newRow("offset beyond the end") << hex("01 FF F0 00 01 FF");
}

void CodecMessagesTest::preloginRefusesMalformedTables()
{
    QFETCH(QByteArray, payload);
    const auto p = decodePrelogin(payload);
    QCOMPARE(p.status, DecodeStatus::Error);
}

void CodecMessagesTest::login7DecodesFreeTdsLayout()
{
    const QByteArray payload = freetdsLogin7Payload();
    QCOMPARE(payload.size(), 201);
    const auto l = decodeLogin7(payload);
    QVERIFY2(l.ok(), qPrintable(l.error));
    QCOMPARE(l.value.tdsVersion, Tds74);
    QCOMPARE(l.value.packetSize, 4096u);
    QCOMPARE(l.value.optionFlags2, quint8(0x03));
    QCOMPARE(l.value.clientTimeZone, -120);
    QCOMPARE(l.value.hostName, QStringLiteral("tp"));
    QCOMPARE(l.value.userName, QStringLiteral("sa"));
    QCOMPARE(l.value.password, QStringLiteral("Probe#2024"));
    QCOMPARE(l.value.appName, QStringLiteral("TSQL"));
    QCOMPARE(l.value.serverName, QStringLiteral("127.0.0.1"));
    QCOMPARE(l.value.clientInterfaceName, QStringLiteral("TDS-Library"));
    QCOMPARE(l.value.language, QStringLiteral("us_english"));
    QCOMPARE(l.value.database, QString());
    COMPARE_BYTES(l.value.featureExt, hex("0A 01 00 00 00 01 FF"));
    QVERIFY(!l.value.integratedSecurity());
    // The encoder lays the message out exactly as FreeTDS does.
    COMPARE_BYTES(encodeLogin7(l.value), payload);
}

void CodecMessagesTest::login7RoundTrips_data()
{
    QTest::addColumn<quint32>("version");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("featureExt");
    QTest::newRow("7.1, 86-byte fixed part")
        << Tds71 << QStringLiteral("UFDATA_001_2007") << QStringLiteral("pw") << QByteArray();
    QTest::newRow("7.2") << Tds72 << QString() << QStringLiteral("Stand1n#Pw") << QByteArray();
    QTest::newRow("7.3B") << Tds73B << QStringLiteral("master") << QString() << QByteArray();
    QTest::newRow("7.4 with FeatureExt") << Tds74 << QStringLiteral("会计") << QStringLiteral("Ünïcødé€")
                                         << hex("0A 01 00 00 00 01 FF");
    QTest::newRow("password with trailing NUL kept")
        << Tds74 << QString() << QStringLiteral("Probe#2024").append(QChar(0)) << QByteArray();
}

void CodecMessagesTest::login7RoundTrips()
{
    QFETCH(quint32, version);
    QFETCH(QString, database);
    QFETCH(QString, password);
    QFETCH(QByteArray, featureExt);
    Login7 in;
    in.tdsVersion = version;
    in.packetSize = 8192;
    in.hostName = QStringLiteral("host");
    in.userName = QStringLiteral("sa");
    in.password = password;
    in.appName = QStringLiteral("Tallyport");
    in.serverName = QStringLiteral("127.0.0.1,1433");
    in.clientInterfaceName = QStringLiteral("ODBC");
    in.language = QStringLiteral("us_english");
    in.database = database;
    in.clientId = hex("01 02 03 04 05 06");
    in.featureExt = featureExt;
    const QByteArray bytes = encodeLogin7(in);
    QCOMPARE(quint8(bytes[36]), quint8(is72OrLater(version) ? 94 : 86)); // HostName follows the fixed part
    const auto out = decodeLogin7(bytes);
    QVERIFY2(out.ok(), qPrintable(out.error));
    QCOMPARE(out.value.tdsVersion, version);
    QCOMPARE(out.value.packetSize, 8192u);
    QCOMPARE(out.value.userName, in.userName);
    QCOMPARE(out.value.password, password);
    QCOMPARE(out.value.database, database);
    QCOMPARE(out.value.serverName, in.serverName);
    QCOMPARE(out.value.appName, in.appName);
    COMPARE_BYTES(out.value.clientId, in.clientId);
    COMPARE_BYTES(out.value.featureExt, featureExt);
}

void CodecMessagesTest::login7RefusesBrokenOffsets_data()
{
    QTest::addColumn<int>("at");
    QTest::addColumn<QByteArray>("patch");
    QTest::addColumn<int>("cutTo");
    const int none = -1;
    QTest::newRow("length field beyond the message") << 0 << hex("FF 00 00 00") << none;
    QTest::newRow("length field below the fixed part") << 0 << hex("10 00 00 00") << none;
    QTest::newRow("user name beyond the end") << 40 << hex("C0 00 20 00") << none;
    QTest::newRow("password length beyond the end") << 46 << hex("FF 00") << none;
    QTest::newRow("database offset far away") << 68 << hex("FF FF 01 00") << none;
    QTest::newRow("FeatureExt offset beyond the end") << 194 - 46 << hex("FF 00 00 00") << none;
    QTest::newRow("FeatureExt without terminator") << 194 << hex("0A 01 00 00 00 01 0A") << none;
    QTest::newRow("cut inside the fixed part") << 0 << QByteArray() << 60;
}

void CodecMessagesTest::login7RefusesBrokenOffsets()
{
    QFETCH(int, at);
    QFETCH(QByteArray, patch);
    QFETCH(int, cutTo);
    QByteArray payload = freetdsLogin7Payload();
    payload.replace(at, patch.size(), patch);
    if (cutTo >= 0)
        payload.truncate(cutTo);
    const auto l = decodeLogin7(payload);
    QCOMPARE(l.status, DecodeStatus::Error);
}

void CodecMessagesTest::passwordObfuscationMatchesCapture()
{
    const QByteArray expected = hex("A0 A5 82 A5 53 A5 83 A5 F3 A5 97 A5 86 A5 A6 A5 86 A5 E6 A5");
    COMPARE_BYTES(obfuscatePassword(QStringLiteral("Probe#2024")), expected);
    QCOMPARE(deobfuscatePassword(expected), QStringLiteral("Probe#2024"));
    Login7 l;
    l.optionFlags2 |= Login7::integratedSecurityFlag;
    const auto decoded = decodeLogin7(encodeLogin7(l));
    QVERIFY(decoded.ok());
    QVERIFY(decoded.value.integratedSecurity());
}

void CodecMessagesTest::sqlBatchAllHeadersDependOnVersion_data()
{
    QTest::addColumn<quint32>("version");
    QTest::addColumn<int>("headerBytes");
    QTest::newRow("7.1: none") << Tds71 << 0;
    QTest::newRow("7.2") << Tds72 << 22;
    QTest::newRow("7.3B") << Tds73B << 22;
    QTest::newRow("7.4") << Tds74 << 22;
}

void CodecMessagesTest::sqlBatchAllHeadersDependOnVersion()
{
    QFETCH(quint32, version);
    QFETCH(int, headerBytes);
    const QString sql = QStringLiteral("select name from sysdatabases where dbid = 1\n");
    const QByteArray payload = encodeSqlBatch(sql, version);
    QCOMPARE(int(payload.size()), headerBytes + 2 * int(sql.size()));
    if (headerBytes)
        COMPARE_BYTES(payload.left(22), hex("16 00 00 00 12 00 00 00 02 00 00 00 00 00 00 00 00 00 01 00 00 00"));
    const auto decoded = decodeSqlBatch(payload, version);
    QVERIFY2(decoded.ok(), qPrintable(decoded.error));
    QCOMPARE(decoded.value, sql);
}

void CodecMessagesTest::sqlBatchRefusesBrokenHeaders_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("total length beyond the end") << hex("FF 00 00 00 12 00 00 00 02 00");
    QTest::newRow("total length below 4") << hex("02 00 00 00 41 00");
    QTest::newRow("header longer than the block") << hex("0A 00 00 00 20 00 00 00 02 00 41 00");
    QTest::newRow("cut inside the total length") << hex("16 00");
    QTest::newRow("odd text") << (hex("16 00 00 00 12 00 00 00 02 00 00 00 00 00 00 00 00 00 01 00 00 00") + "A");
}

void CodecMessagesTest::sqlBatchRefusesBrokenHeaders()
{
    QFETCH(QByteArray, payload);
    QCOMPARE(decodeSqlBatch(payload, Tds74).status, DecodeStatus::Error);
}

void CodecMessagesTest::rpcParametersRoundTrip_data()
{
    QTest::addColumn<quint8>("type");
    QTest::addColumn<quint32>("maxLength");
    QTest::addColumn<QVariant>("in"); // what the client binds
    QTest::addColumn<QVariant>("out"); // what the engine gets (invalid = NULL)
    const QVariant null;
    QTest::newRow("INTN 4") << quint8(TypeIntN) << 4u << QVariant(qint64(-123456)) << QVariant(qint64(-123456));
    QTest::newRow("INTN 8") << quint8(TypeIntN) << 8u << QVariant(qint64(1) << 40) << QVariant(qint64(1) << 40);
    QTest::newRow("INTN 1 is unsigned") << quint8(TypeIntN) << 1u << QVariant(qint64(255)) << QVariant(qint64(255));
    QTest::newRow("INTN 2 negative") << quint8(TypeIntN) << 2u << QVariant(qint64(-2)) << QVariant(qint64(-2));
    QTest::newRow("INTN NULL") << quint8(TypeIntN) << 4u << null << null;
    QTest::newRow("INT4") << quint8(TypeInt4) << 4u << QVariant(qint64(42)) << QVariant(qint64(42));
    QTest::newRow("BITN") << quint8(TypeBitN) << 1u << QVariant(qint64(1)) << QVariant(qint64(1));
    QTest::newRow("BITN NULL") << quint8(TypeBitN) << 1u << null << null;
    QTest::newRow("NVARCHAR") << quint8(TypeNVarChar) << 200u << QVariant(QStringLiteral("D:\\账套\\UFDATA.MDF"))
                              << QVariant(QStringLiteral("D:\\账套\\UFDATA.MDF"));
    QTest::newRow("NVARCHAR empty") << quint8(TypeNVarChar) << 8000u << QVariant(QStringLiteral(""))
                                    << QVariant(QStringLiteral(""));
    QTest::newRow("NVARCHAR NULL") << quint8(TypeNVarChar) << 8000u << null << null;
    QTest::newRow("NCHAR") << quint8(TypeNChar) << 20u << QVariant(QStringLiteral("abc       "))
                           << QVariant(QStringLiteral("abc       "));
    QTest::newRow("BIGVARCHAR code page 1252") << quint8(TypeBigVarChar) << 100u << QVariant(QStringLiteral("Größe €5"))
                                               << QVariant(QStringLiteral("Größe €5"));
    QTest::newRow("BIGCHAR") << quint8(TypeBigChar) << 8u << QVariant(QStringLiteral("@P1 int"))
                             << QVariant(QStringLiteral("@P1 int"));
    QTest::newRow("BIGVARCHAR NULL") << quint8(TypeBigVarChar) << 100u << null << null;
    QTest::newRow("NTEXT") << quint8(TypeNText) << 0x7FFFFFFFu
                           << QVariant(QStringLiteral("select name from sysdatabases"))
                           << QVariant(QStringLiteral("select name from sysdatabases"));
    QTest::newRow("NTEXT NULL") << quint8(TypeNText) << 0x7FFFFFFFu << null << null;
    QTest::newRow("TEXT") << quint8(TypeText) << 0x7FFFFFFFu << QVariant(QStringLiteral("é"))
                          << QVariant(QStringLiteral("é"));
    QTest::newRow("BIGVARBINARY") << quint8(TypeBigVarBinary) << 16u << QVariant(hex("DEADBEEF"))
                                  << QVariant(hex("DEADBEEF"));
    QTest::newRow("BIGVARBINARY NULL") << quint8(TypeBigVarBinary) << 16u << null << null;
    QTest::newRow("NVARCHAR(max) PLP") << quint8(TypeNVarChar) << 0xFFFFu << QVariant(QString(20000, QLatin1Char('x')))
                                       << QVariant(QString(20000, QLatin1Char('x')));
    QTest::newRow("NVARCHAR(max) PLP empty")
        << quint8(TypeNVarChar) << 0xFFFFu << QVariant(QStringLiteral("")) << QVariant(QStringLiteral(""));
    QTest::newRow("NVARCHAR(max) PLP NULL") << quint8(TypeNVarChar) << 0xFFFFu << null << null;
}

namespace {

Cell toCell(const QVariant& v)
{
    if (!v.isValid())
        return std::monostate();
    if (v.typeId() == QMetaType::LongLong)
        return v.toLongLong();
    if (v.typeId() == QMetaType::QByteArray)
        return v.toByteArray();
    return v.toString();
}

QVariant fromCell(const Cell& c)
{
    if (const auto* i = std::get_if<qint64>(&c))
        return QVariant(*i);
    if (const auto* s = std::get_if<QString>(&c))
        return QVariant(*s);
    if (const auto* b = std::get_if<QByteArray>(&c))
        return QVariant(*b);
    return QVariant();
}

} // namespace

void CodecMessagesTest::rpcParametersRoundTrip()
{
    QFETCH(quint8, type);
    QFETCH(quint32, maxLength);
    QFETCH(QVariant, in);
    QFETCH(QVariant, out);
    for (quint32 version : { Tds72, Tds74, Tds71 }) {
        if (version == Tds71 && maxLength == 0xFFFF)
            continue; // (max) types exist from 7.2 on
        RpcCallWire call;
        call.procId = SpExecuteSql;
        call.params.append({ QStringLiteral("@p"), true, type, maxLength, toCell(in), serverCollation() });
        call.params.append({ QString(), false, TypeIntN, 4, Cell(qint64(7)), serverCollation() });
        const auto decoded = decodeRpc(encodeRpc({ call }, version), version);
        QVERIFY2(decoded.ok(), qPrintable(versionName(version) + QLatin1String(": ") + decoded.error));
        QCOMPARE(decoded.value.size(), 1);
        const RpcCall& got = decoded.value[0];
        QCOMPARE(got.procId, int(SpExecuteSql));
        QCOMPARE(got.params.size(), 2);
        QCOMPARE(got.params[0].name, QStringLiteral("@p"));
        QVERIFY(got.params[0].output);
        QCOMPARE(fromCell(got.params[0].value), out);
        // The parameter after it is read from the right place.
        QCOMPARE(fromCell(got.params[1].value), QVariant(qint64(7)));
        QVERIFY(!got.params[1].output);
    }
}

void CodecMessagesTest::rpcSeveralCallsPerVersion_data()
{
    QTest::addColumn<quint32>("version");
    QTest::addColumn<quint8>("separator");
    QTest::newRow("7.1: 0x80") << Tds71 << quint8(0x80);
    QTest::newRow("7.2: 0xFF") << Tds72 << quint8(0xFF);
    QTest::newRow("7.4: 0xFF") << Tds74 << quint8(0xFF);
}

void CodecMessagesTest::rpcSeveralCallsPerVersion()
{
    QFETCH(quint32, version);
    QFETCH(quint8, separator);
    RpcCallWire byId;
    byId.procId = SpUnprepare;
    byId.params.append({ QString(), false, TypeIntN, 4, Cell(qint64(1)), serverCollation() });
    RpcCallWire byName;
    byName.procName = QStringLiteral("sp_tables");
    RpcCallWire third;
    third.procName = QStringLiteral("sp_columns");
    third.params.append(
        { QStringLiteral("@table_name"), false, TypeNVarChar, 256, Cell(QStringLiteral("t")), serverCollation() });
    const QByteArray payload = encodeRpc({ byId, byName, third }, version);
    QVERIFY(payload.contains(char(separator)));
    const auto decoded = decodeRpc(payload, version);
    QVERIFY2(decoded.ok(), qPrintable(decoded.error));
    QCOMPARE(decoded.value.size(), 3);
    QCOMPARE(decoded.value[0].procId, int(SpUnprepare));
    QCOMPARE(decoded.value[0].procName, QString());
    QCOMPARE(decoded.value[0].params.size(), 1);
    QCOMPARE(decoded.value[1].procId, -1);
    QCOMPARE(decoded.value[1].procName, QStringLiteral("sp_tables"));
    QCOMPARE(decoded.value[1].params.size(), 0);
    QCOMPARE(decoded.value[2].procName, QStringLiteral("sp_columns"));
    QCOMPARE(decoded.value[2].params.size(), 1);
    QCOMPARE(std::get<QString>(decoded.value[2].params[0].value), QStringLiteral("t"));
}

void CodecMessagesTest::rpcPlpValueInSeveralChunks()
{
    // nvarchar(max) "abcd" in chunks of 2, 4 and 2 bytes, then the terminator; then once with
    // the "unknown length" marker.
    for (const char* total : { "08 00 00 00 00 00 00 00", "FE FF FF FF FF FF FF FF" }) {
        QByteArray payload = defaultAllHeaders();
        payload += hex("FF FF 0A 00 00 00"); // sp_executesql, no options
        payload += hex("00 00 E7 FF FF 09 04 D0 00 34");
        payload += hex(total);
        payload += hex("02 00 00 00 61 00  04 00 00 00 62 00 63 00  02 00 00 00 64 00  00 00 00 00");
        const auto decoded = decodeRpc(payload, Tds74);
        QVERIFY2(decoded.ok(), qPrintable(decoded.error));
        QCOMPARE(std::get<QString>(decoded.value[0].params[0].value), QStringLiteral("abcd"));
    }
}

void CodecMessagesTest::rpcRefusesMalformedCalls_data()
{
    QTest::addColumn<QByteArray>("body"); // after ALL_HEADERS
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("name cut short") << hex("05 00 73 00");
    QTest::newRow("empty name") << hex("00 00 00 00");
    QTest::newRow("id cut short") << hex("FF FF 0A");
    QTest::newRow("no option flags") << hex("FF FF 0A 00");
    QTest::newRow("unknown parameter type") << hex("FF FF 0A 00 00 00  00 00 99 01 02");
    QTest::newRow("INTN of size 3") << hex("FF FF 0A 00 00 00  00 00 26 03 03 01 02 03");
    QTest::newRow("INTN value size differs") << hex("FF FF 0A 00 00 00  00 00 26 04 02 01 02");
    QTest::newRow("NVARCHAR value beyond the end")
        << hex("FF FF 0A 00 00 00  00 00 E7 40 00 09 04 D0 00 34 20 00 41 00");
    QTest::newRow("NVARCHAR odd length") << hex("FF FF 0A 00 00 00  00 00 E7 40 00 09 04 D0 00 34 03 00 41 00 42");
    QTest::newRow("NTEXT length beyond the end")
        << hex("FF FF 0A 00 00 00  00 00 63 FF FF FF 7F 09 04 D0 00 34 00 00 01 00 41 00");
    QTest::newRow("PLP total disagrees") << hex(
        "FF FF 0A 00 00 00  00 00 E7 FF FF 09 04 D0 00 34 04 00 00 00 00 00 00 00 02 00 00 00 41 00 00 00 00 00");
    QTest::newRow("PLP chunk beyond the end")
        << hex("FF FF 0A 00 00 00  00 00 E7 FF FF 09 04 D0 00 34 FE FF FF FF FF FF FF FF 00 10 00 00 41 00");
    QTest::newRow("parameter name cut short") << hex("FF FF 0A 00 00 00  05 40 00");
}

void CodecMessagesTest::rpcRefusesMalformedCalls()
{
    QFETCH(QByteArray, body);
    const auto decoded = decodeRpc(defaultAllHeaders() + body, Tds74);
    QCOMPARE(decoded.status, DecodeStatus::Error);
    QVERIFY(!decoded.error.isEmpty());
}

void CodecMessagesTest::rpcFreeTdsPrepExecShape()
{
    // What FreeTDS ODBC sends for SQLPrepare + SQLExecute: sp_prepexec with an INTN(4) OUTPUT
    // NULL handle, NTEXT params (NULL) and NTEXT statement.
    const QString sql = QStringLiteral("select name from sysdatabases ORDER BY name");
    QByteArray payload = defaultAllHeaders();
    payload += hex("FF FF 0D 00 00 00");
    payload += hex("00 01 26 04 00");
    payload += hex("00 00 63 FF FF FF 7F 09 04 D0 00 34 FF FF FF FF");
    payload += hex("00 00 63 FF FF FF 7F 09 04 D0 00 34");
    QByteArray text = utf16(sql);
    putU32(payload, quint32(text.size()));
    payload += text;
    const auto decoded = decodeRpc(payload, Tds74);
    QVERIFY2(decoded.ok(), qPrintable(decoded.error));
    const RpcCall& call = decoded.value.value(0);
    QCOMPARE(call.procId, int(SpPrepExec));
    QCOMPARE(call.params.size(), 3);
    QVERIFY(call.params[0].output);
    QVERIFY(std::holds_alternative<std::monostate>(call.params[0].value));
    QVERIFY(std::holds_alternative<std::monostate>(call.params[1].value));
    QCOMPARE(std::get<QString>(call.params[2].value), sql);
}

void CodecMessagesTest::attentionIsAnEmptyMessage()
{
    const QByteArray packet = packetize(AttentionPacket, QByteArray(), 4096, 0, 1);
    COMPARE_BYTES(packet, hex("06 01 00 08 00 00 01 00"));
    PacketReader reader;
    reader.append(packet);
    const auto m = reader.next();
    QVERIFY(m.ok());
    QCOMPARE(m.value.type, quint8(AttentionPacket));
    QVERIFY(m.value.payload.isEmpty());
}

QTEST_GUILESS_MAIN(CodecMessagesTest)
#include "codec_messages_test.moc"
