// The server's token stream: golden bytes captured from the probe server and accepted by
// FreeTDS, tedious and Qt; per-version encodings; every column type; the MORE rule.

#include "Packets.h"
#include "Prelogin.h"
#include "TokenDecoder.h"
#include "Tokens.h"
#include "TypeInfo.h"
#include "Wire.h"
#include "codec_bytes.h"

#include <QtTest>

using namespace standin;
using namespace standin::tds;
using namespace tp::test;

namespace {

// A B_VARCHAR: character count then UTF-16LE.
QByteArray bv(const QString& s)
{
    return QByteArray(1, char(s.size())) + utf16(s);
}

// A US_VARCHAR: two-byte character count then UTF-16LE.
QByteArray usv(const QString& s)
{
    QByteArray b;
    putU16(b, quint16(s.size()));
    return b + utf16(s);
}

TokenContext probeContext(quint32 version = Tds74)
{
    TokenContext ctx;
    ctx.tdsVersion = version;
    ctx.serverName = QStringLiteral("TDSPROBE");
    return ctx;
}

Column nameColumn()
{
    Column c;
    c.name = QStringLiteral("name");
    c.type = ColumnType::NVarChar;
    c.maxLength = 128;
    c.nullable = false;
    return c;
}

Done done(Done::Kind kind, quint16 status = 0, quint16 curCmd = 0, quint64 rows = 0)
{
    Done d;
    d.kind = kind;
    d.status = status;
    d.curCmd = curCmd;
    d.rowCount = rows;
    return d;
}

Message message(qint32 number, quint8 severity, const QString& text, quint8 state = 1)
{
    Message m;
    m.number = number;
    m.severity = severity;
    m.state = state;
    m.text = text;
    return m;
}

QVector<DecodedToken> decodeOk(const QByteArray& payload, quint32 version)
{
    const auto decoded = decodeTokens(payload, version);
    if (!decoded.ok())
        qWarning("token stream does not decode: %s", qPrintable(decoded.error));
    return decoded.value;
}

QVector<quint16> doneStatuses(const QVector<DecodedToken>& tokens)
{
    QVector<quint16> out;
    for (const auto& t : tokens) {
        if (const auto* d = std::get_if<DoneData>(&t.value))
            out.append(d->status);
    }
    return out;
}

} // namespace

class CodecTokensTest : public QObject
{
    Q_OBJECT

private slots:
    void preloginAnswerMatchesProbe();
    void preloginVersionFollowsTheClaimedVersion_data();
    void preloginVersionFollowsTheClaimedVersion();
    void loginReplyMatchesProbe();
    void loginReplyEncodesEarlyTokensForTheRequestedVersion();
    void failedLoginMatchesProbe();
    void sysdatabasesMatchesWorkedExample();
    void statementErrorMatchesProbe();
    void prepExecReplyMatchesCapture();
    void attentionAcknowledgement_data();
    void attentionAcknowledgement();

    void versionSizedFields_data();
    void versionSizedFields();
    void answeredVersion_data();
    void answeredVersion();

    void everyColumnTypeRoundTrips_data();
    void everyColumnTypeRoundTrips();
    void columnWireTypes_data();
    void columnWireTypes();
    void variantEncoding_data();
    void variantEncoding();
    void dateTimeOffsetEncoding_data();
    void dateTimeOffsetEncoding();

    void moreRule_data();
    void moreRule();
    void decoderRefusesBrokenStreams_data();
    void decoderRefusesBrokenStreams();
};

void CodecTokensTest::preloginAnswerMatchesProbe()
{
    const QByteArray expected = hex("04 01 00 2B 00 34 01 00"
                                    "00 00 1A 00 06 01 00 20 00 01 02 00 21 00 01 03 00 22 00 00 04 00 22 00 01 FF"
                                    "0F 00 07 D0 00 00 02 00 00");
    COMPARE_BYTES(packetize(ReplyPacket, encodePrelogin(serverPreloginAnswer(15, 0, 2000)), 4096, 52, 1), expected);
}

void CodecTokensTest::preloginVersionFollowsTheClaimedVersion_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("build");
    QTest::addColumn<QByteArray>("version");
    QTest::newRow("2000 SP4") << 8 << 0 << 2039 << hex("08 00 07 F7 00 00");
    QTest::newRow("2008 R2") << 10 << 50 << 1600 << hex("0A 32 06 40 00 00");
    QTest::newRow("2022") << 16 << 0 << 1000 << hex("10 00 03 E8 00 00");
}

void CodecTokensTest::preloginVersionFollowsTheClaimedVersion()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, build);
    QFETCH(QByteArray, version);
    const Prelogin answer = serverPreloginAnswer(major, minor, build);
    COMPARE_BYTES(answer.value(PreloginVersion), version);
    QCOMPARE(answer.encryption(), quint8(EncryptNotSupported));
    const auto back = decodePrelogin(encodePrelogin(answer));
    QVERIFY(back.ok());
    COMPARE_BYTES(back.value.value(PreloginVersion), version);
}

void CodecTokensTest::loginReplyMatchesProbe()
{
    QByteArray expected = hex("04 01 01 7D 00 34 01 00");
    expected += hex("E3 1B 00 01") + bv(QStringLiteral("master")) + bv(QStringLiteral("master"));
    expected += hex("AB 68 00 45 16 00 00 02 00") + usv(QStringLiteral("Changed database context to 'master'."))
        + bv(QStringLiteral("TDSPROBE")) + hex("00 01 00 00 00");
    expected += hex("E3 08 00 07 05 09 04 D0 00 34 00");
    expected += hex("E3 17 00 02") + bv(QStringLiteral("us_english")) + hex("00");
    expected += hex("AB 6C 00 47 16 00 00 01 00") + usv(QStringLiteral("Changed language setting to us_english."))
        + bv(QStringLiteral("TDSPROBE")) + hex("00 01 00 00 00");
    expected += hex("AD 32 00 01 74 00 00 04") + bv(QStringLiteral("Microsoft SQL Server")) + hex("0F 00 07 D0");
    expected += hex("E3 13 00 04") + bv(QStringLiteral("4096")) + bv(QStringLiteral("4096"));
    expected += hex("FD 00 00 00 00 00 00 00 00 00 00 00 00");
    QCOMPARE(expected.size(), 381);

    LoginReplyParams p;
    p.requestedVersion = Tds74;
    p.answeredVersion = Tds74;
    p.database = QStringLiteral("master");
    p.packetSize = 4096;
    p.serverMajor = 15;
    p.serverMinor = 0;
    p.serverBuild = 2000;
    p.serverName = QStringLiteral("TDSPROBE");
    COMPARE_BYTES(packetize(ReplyPacket, encodeLoginReply(p), 4096, 52, 1), expected);
}

void CodecTokensTest::loginReplyEncodesEarlyTokensForTheRequestedVersion()
{
    // A 7.4 client against a 2000 server: INFO before LOGINACK with 4-byte line numbers,
    // LOGINACK says 7.1, the DONE after it has a 4-byte row count.
    LoginReplyParams p;
    p.requestedVersion = Tds74;
    p.answeredVersion = Tds71;
    p.database = QStringLiteral("UFDATA_001_2007");
    p.packetSize = 8192;
    p.serverMajor = 8;
    p.serverBuild = 2039;
    p.serverName = QStringLiteral("S");
    const QByteArray reply = encodeLoginReply(p);
    const QVector<DecodedToken> tokens = decodeOk(reply, Tds74);
    QCOMPARE(tokens.size(), 8);
    const QVector<quint8> order = { EnvChangeToken, InfoToken, EnvChangeToken, EnvChangeToken, InfoToken, LoginAckToken,
        EnvChangeToken, DoneToken };
    for (int i = 0; i < order.size(); ++i)
        QCOMPARE(tokens[i].type, order[i]);
    QCOMPARE(std::get<EnvChangeData>(tokens[0].value).newText(), QStringLiteral("UFDATA_001_2007"));
    QCOMPARE(std::get<EnvChangeData>(tokens[0].value).oldText(), QStringLiteral("master"));
    QCOMPARE(std::get<Message>(tokens[1].value).text, QStringLiteral("Changed database context to 'UFDATA_001_2007'."));
    QCOMPARE(std::get<Message>(tokens[1].value).number, 5701);
    COMPARE_BYTES(std::get<EnvChangeData>(tokens[2].value).newValue, serverCollation());
    const auto& ack = std::get<LoginAckData>(tokens[5].value);
    QCOMPARE(ack.tdsVersion, Tds71);
    QCOMPARE(ack.programName, QStringLiteral("Microsoft SQL Server"));
    QCOMPARE(ack.major, quint8(8));
    QCOMPARE(ack.build, quint16(2039));
    QCOMPARE(std::get<EnvChangeData>(tokens[6].value).newText(), QStringLiteral("8192"));
    // The 7.1 DONE is 9 bytes: the stream ends exactly there.
    QVERIFY(reply.endsWith(hex("FD 00 00 00 00 00 00 00 00")));
    QVERIFY(!reply.endsWith(hex("FD 00 00 00 00 00 00 00 00 00 00 00 00")));
}

void CodecTokensTest::failedLoginMatchesProbe()
{
    QByteArray expected = hex("04 01 00 6C 00 35 01 00");
    expected += hex("AA 54 00 18 48 00 00 01 0E") + usv(QStringLiteral("Login failed for user 'sa'."))
        + bv(QStringLiteral("TDSPROBE")) + hex("00 01 00 00 00");
    expected += hex("FD 02 00 00 00 00 00 00 00 00 00 00 00");
    const QByteArray tokens
        = encodeLoginFailure({ message(18456, 14, QStringLiteral("Login failed for user 'sa'.")) }, probeContext());
    COMPARE_BYTES(packetize(ReplyPacket, tokens, 4096, 53, 1), expected);
}

void CodecTokensTest::sysdatabasesMatchesWorkedExample()
{
    const QByteArray expected = hex("04 01 00 3E 00 34 01 00"
                                    "81 01 00 00 00 00 00 00 00 E7 00 01 09 04 D0 00 34"
                                    "04 6E 00 61 00 6D 00 65 00"
                                    "D1 0C 00 6D 00 61 00 73 00 74 00 65 00 72 00"
                                    "FD 10 00 C1 00 01 00 00 00 00 00 00 00");
    Reply reply;
    reply.events.append(ResultSet { { nameColumn() }, { { Cell(QStringLiteral("master")) } } });
    reply.events.append(done(Done::Kind::Done, Done::Count, 0xC1, 1));
    COMPARE_BYTES(
        packetize(ReplyPacket, encodeReply(reply, RequestKind::Batch, probeContext()), 4096, 52, 1), expected);
}

void CodecTokensTest::statementErrorMatchesProbe()
{
    const QString text = QStringLiteral("Cannot detach the database 'Acct2023' because it is currently in use.");
    QByteArray expected = hex("AA A8 00 77 0E 00 00 01 10") + usv(text) + bv(QStringLiteral("TDSPROBE"))
        + hex("00 01 00 00 00") + hex("FD 02 00 00 00 00 00 00 00 00 00 00 00");
    Reply reply;
    reply.events.append(message(3703, 16, text));
    reply.events.append(done(Done::Kind::Done, Done::Error));
    COMPARE_BYTES(encodeReply(reply, RequestKind::Batch, probeContext()), expected);
}

void CodecTokensTest::prepExecReplyMatchesCapture()
{
    QByteArray expected = hex("04 01 00 62 00 34 01 00");
    expected += hex("81 01 00 00 00 00 00 00 00 E7 00 01 09 04 D0 00 34") + bv(QStringLiteral("name"));
    expected += hex("D1 0C 00") + utf16(QStringLiteral("master"));
    expected += hex("FF 11 00 C1 00 01 00 00 00 00 00 00 00");
    expected += hex("79 00 00 00 00");
    expected += hex("AC 00 00 00 01 00 00 00 00 01 00 26 04 04 01 00 00 00");
    expected += hex("FE 00 00 00 00 00 00 00 00 00 00 00 00");
    QCOMPARE(expected.size(), 98);

    ReturnValue handle;
    handle.ordinal = 0;
    handle.type.type = ColumnType::Int;
    handle.type.nullable = true;
    handle.value = qint64(1);
    Reply reply;
    reply.events.append(ResultSet { { nameColumn() }, { { Cell(QStringLiteral("master")) } } });
    reply.events.append(done(Done::Kind::DoneInProc, Done::Count, 0xC1, 1));
    reply.events.append(ReturnStatus { 0 });
    reply.events.append(handle);
    reply.events.append(done(Done::Kind::DoneProc));
    COMPARE_BYTES(packetize(ReplyPacket, encodeReply(reply, RequestKind::Rpc, probeContext()), 4096, 52, 1), expected);
}

void CodecTokensTest::attentionAcknowledgement_data()
{
    QTest::addColumn<quint32>("version");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("7.4") << Tds74 << hex("FD 20 00 00 00 00 00 00 00 00 00 00 00");
    QTest::newRow("7.1") << Tds71 << hex("FD 20 00 00 00 00 00 00 00");
}

void CodecTokensTest::attentionAcknowledgement()
{
    QFETCH(quint32, version);
    QFETCH(QByteArray, expected);
    COMPARE_BYTES(encodeAttentionAck(probeContext(version)), expected);
}

void CodecTokensTest::versionSizedFields_data()
{
    QTest::addColumn<quint32>("version");
    QTest::addColumn<int>("lineBytes");
    QTest::addColumn<int>("rowCountBytes");
    QTest::addColumn<int>("userTypeBytes");
    QTest::newRow("7.1") << Tds71 << 2 << 4 << 2;
    QTest::newRow("7.2") << Tds72 << 4 << 8 << 4;
    QTest::newRow("7.3A") << Tds73A << 4 << 8 << 4;
    QTest::newRow("7.3B") << Tds73B << 4 << 8 << 4;
    QTest::newRow("7.4") << Tds74 << 4 << 8 << 4;
}

void CodecTokensTest::versionSizedFields()
{
    QFETCH(quint32, version);
    QFETCH(int, lineBytes);
    QFETCH(int, rowCountBytes);
    QFETCH(int, userTypeBytes);
    const TokenContext ctx = probeContext(version);

    QByteArray info;
    Message m = message(2528, 10, QStringLiteral("DBCC execution completed."));
    m.line = 3;
    putMessage(info, m, ctx);
    QCOMPARE(int(info.size()), 3 + 4 + 1 + 1 + 2 + 2 * 25 + 1 + 16 + 1 + lineBytes);
    QCOMPARE(quint8(info[0]), quint8(InfoToken));
    QCOMPARE(quint8(info[8]), quint8(0)); // informational messages travel with class 0

    QByteArray doneBytes;
    putDone(doneBytes, DoneToken, DoneCount, 0xC1, 300, version);
    QCOMPARE(int(doneBytes.size()), 5 + rowCountBytes);

    QByteArray meta;
    Column id;
    id.name = QStringLiteral("id");
    id.type = ColumnType::Int;
    id.nullable = false;
    putColMetadata(meta, { id }, ctx);
    QCOMPARE(int(meta.size()), 3 + userTypeBytes + 2 + 1 + 1 + 4);

    // And the decoder reads each back with the same version.
    Reply reply;
    reply.events.append(m);
    reply.events.append(ResultSet { { id }, { { Cell(qint64(-123456)) } } });
    reply.events.append(done(Done::Kind::Done, Done::Count, 0xC1, 1));
    const Reply back = replyFromTokens(decodeOk(encodeReply(reply, RequestKind::Batch, ctx), version));
    QCOMPARE(back.events.size(), 3);
    QCOMPARE(std::get<Message>(back.events[0]).line, 3);
    QCOMPARE(std::get<qint64>(std::get<ResultSet>(back.events[1]).rows[0][0]), qint64(-123456));
    QCOMPARE(std::get<Done>(back.events[2]).rowCount, quint64(1));
}

void CodecTokensTest::answeredVersion_data()
{
    QTest::addColumn<quint32>("client");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<quint32>("answered");
    QTest::newRow("7.4 client, 2022") << Tds74 << 16 << 0 << Tds74;
    QTest::newRow("7.1 client, 2022: echoed") << Tds71 << 16 << 0 << Tds71;
    QTest::newRow("7.2 client, 2012") << Tds72 << 11 << 0 << Tds72;
    QTest::newRow("7.3A client, 2022") << Tds73A << 16 << 0 << Tds73A;
    QTest::newRow("7.4 client, 2000") << Tds74 << 8 << 0 << Tds71;
    QTest::newRow("7.4 client, 2005") << Tds74 << 9 << 0 << Tds72;
    QTest::newRow("7.4 client, 2008") << Tds74 << 10 << 0 << Tds73A;
    QTest::newRow("7.4 client, 2008 R2") << Tds74 << 10 << 50 << Tds73B;
    QTest::newRow("7.2 client, 2008 R2") << Tds72 << 10 << 50 << Tds72;
    QTest::newRow("old 2000 value") << Tds71Rev0 << 16 << 0 << Tds71;
    QTest::newRow("newer than 7.4 is 7.4") << 0x75000000u << 16 << 0 << Tds74;
}

void CodecTokensTest::answeredVersion()
{
    QFETCH(quint32, client);
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(quint32, answered);
    QCOMPARE(tds::answeredVersion(client, major, minor), answered);
}

namespace {

Column column(ColumnType type, int maxLength, bool nullable, const QString& name = QStringLiteral("c"))
{
    Column c;
    c.name = name;
    c.type = type;
    c.maxLength = maxLength;
    c.nullable = nullable;
    return c;
}

bool sameCell(const Cell& a, const Cell& b)
{
    if (a.index() != b.index())
        return false;
    if (const auto* d = std::get_if<DateTimeValue>(&a))
        return d->days == std::get<DateTimeValue>(b).days && d->ticks == std::get<DateTimeValue>(b).ticks;
    if (const auto* i = std::get_if<qint64>(&a))
        return *i == std::get<qint64>(b);
    if (const auto* s = std::get_if<QString>(&a))
        return *s == std::get<QString>(b);
    if (const auto* by = std::get_if<QByteArray>(&a))
        return *by == std::get<QByteArray>(b);
    return true; // both NULL
}

QString cellString(const Cell& c)
{
    if (std::holds_alternative<std::monostate>(c))
        return QStringLiteral("NULL");
    if (const auto* d = std::get_if<DateTimeValue>(&c))
        return QStringLiteral("datetime(%1, %2)").arg(d->days).arg(d->ticks);
    if (const auto* b = std::get_if<QByteArray>(&c))
        return QStringLiteral("0x") + QString::fromLatin1(b->toHex());
    return cellText(c);
}

} // namespace

Q_DECLARE_METATYPE(standin::Column)
Q_DECLARE_METATYPE(standin::Cell)

void CodecTokensTest::everyColumnTypeRoundTrips_data()
{
    QTest::addColumn<Column>("col");
    QTest::addColumn<Cell>("in");
    QTest::addColumn<Cell>("out");
    const Cell null;
    const DateTimeValue when { 45364, 14859150 };
    QTest::newRow("nvarchar") << column(ColumnType::NVarChar, 128, false) << Cell(QStringLiteral("UFDATA_001_2007"))
                              << Cell(QStringLiteral("UFDATA_001_2007"));
    QTest::newRow("nvarchar NULL") << column(ColumnType::NVarChar, 260, true) << null << null;
    QTest::newRow("nvarchar Chinese") << column(ColumnType::NVarChar, 260, true)
                                      << Cell(QStringLiteral("D:\\账套\\a.mdf"))
                                      << Cell(QStringLiteral("D:\\账套\\a.mdf"));
    QTest::newRow("nchar is padded") << column(ColumnType::NChar, 10, false) << Cell(QStringLiteral("abc"))
                                     << Cell(QStringLiteral("abc       "));
    QTest::newRow("nchar NULL stays NULL") << column(ColumnType::NChar, 10, true) << null << null;
    QTest::newRow("int") << column(ColumnType::Int, 4, false) << Cell(qint64(-123456)) << Cell(qint64(-123456));
    QTest::newRow("int nullable") << column(ColumnType::Int, 4, true) << Cell(qint64(42)) << Cell(qint64(42));
    QTest::newRow("int NULL") << column(ColumnType::Int, 4, true) << null << null;
    QTest::newRow("int NOT NULL given NULL is sent nullable") << column(ColumnType::Int, 4, false) << null << null;
    QTest::newRow("smallint") << column(ColumnType::SmallInt, 2, false) << Cell(qint64(-2)) << Cell(qint64(-2));
    QTest::newRow("smallint nullable") << column(ColumnType::SmallInt, 2, true) << Cell(qint64(611))
                                       << Cell(qint64(611));
    QTest::newRow("tinyint") << column(ColumnType::TinyInt, 1, false) << Cell(qint64(255)) << Cell(qint64(255));
    QTest::newRow("tinyint nullable") << column(ColumnType::TinyInt, 1, true) << Cell(qint64(80)) << Cell(qint64(80));
    QTest::newRow("datetime") << column(ColumnType::DateTime, 8, false) << Cell(when) << Cell(when);
    QTest::newRow("datetime nullable") << column(ColumnType::DateTime, 8, true) << Cell(when) << Cell(when);
    QTest::newRow("datetime NULL") << column(ColumnType::DateTime, 8, true) << null << null;
    QTest::newRow("varbinary") << column(ColumnType::VarBinary, 85, true) << Cell(hex("DEADBEEF"))
                               << Cell(hex("DEADBEEF"));
    QTest::newRow("varbinary NULL") << column(ColumnType::VarBinary, 85, true) << null << null;
    QTest::newRow("variant int") << column(ColumnType::Variant, 0, true) << Cell(qint64(611)) << Cell(qint64(611));
    QTest::newRow("variant text") << column(ColumnType::Variant, 0, true) << Cell(QStringLiteral("16.0.1000.6"))
                                  << Cell(QStringLiteral("16.0.1000.6"));
    QTest::newRow("variant NULL") << column(ColumnType::Variant, 0, true) << null << null;
    QTest::newRow("variant bigint") << column(ColumnType::Variant, 0, true) << Cell(qint64(1) << 40)
                                    << Cell(qint64(1) << 40);
    QTest::newRow("nvarchar(max)") << column(ColumnType::NVarChar, -1, true) << Cell(QString(9000, QLatin1Char('z')))
                                   << Cell(QString(9000, QLatin1Char('z')));
}

void CodecTokensTest::everyColumnTypeRoundTrips()
{
    QFETCH(Column, col);
    QFETCH(Cell, in);
    QFETCH(Cell, out);
    for (quint32 version : { Tds71, Tds72, Tds74 }) {
        if (version == Tds71 && col.maxLength < 0)
            continue; // (max) is a 7.2 type; 7.1 gets nvarchar(4000)
        Column second = column(ColumnType::Int, 4, false, QStringLiteral("after"));
        Reply reply;
        reply.events.append(ResultSet { { col, second }, { { in, Cell(qint64(7)) }, { in, Cell(qint64(8)) } } });
        reply.events.append(done(Done::Kind::Done, Done::Count, 0xC1, 2));
        const auto decoded = decodeTokens(encodeReply(reply, RequestKind::Batch, probeContext(version)), version);
        QVERIFY2(decoded.ok(), qPrintable(versionName(version) + QLatin1String(": ") + decoded.error));
        const Reply back = replyFromTokens(decoded.value);
        QCOMPARE(back.events.size(), 2);
        const auto& rs = std::get<ResultSet>(back.events[0]);
        QCOMPARE(rs.columns.size(), 2);
        QCOMPARE(rs.columns[0].name, col.name);
        QCOMPARE(rs.columns[0].type, col.type);
        QCOMPARE(rs.rows.size(), 2);
        QVERIFY2(sameCell(rs.rows[0][0], out),
            qPrintable(QStringLiteral("%1: got %2, want %3")
                           .arg(versionName(version), cellString(rs.rows[0][0]), cellString(out))));
        QCOMPARE(std::get<qint64>(rs.rows[1][1]), qint64(8));
    }
}

void CodecTokensTest::columnWireTypes_data()
{
    // The column entries the probe sent and every client decoded (TYPE_INFO after flags).
    QTest::addColumn<Column>("col");
    QTest::addColumn<QByteArray>("entry");
    QTest::newRow("int") << column(ColumnType::Int, 4, false) << hex("0000 38");
    QTest::newRow("INTN 4") << column(ColumnType::Int, 4, true) << hex("0100 26 04");
    QTest::newRow("smallint") << column(ColumnType::SmallInt, 2, false) << hex("0000 34");
    QTest::newRow("tinyint") << column(ColumnType::TinyInt, 1, false) << hex("0000 30");
    QTest::newRow("smallint NULL") << column(ColumnType::SmallInt, 2, true) << hex("0100 26 02");
    QTest::newRow("datetime") << column(ColumnType::DateTime, 8, false) << hex("0000 3D");
    QTest::newRow("DATETIMN") << column(ColumnType::DateTime, 8, true) << hex("0100 6F 08");
    QTest::newRow("nvarchar(50)") << column(ColumnType::NVarChar, 50, true) << hex("0100 E7 6400 0904D00034");
    QTest::newRow("nchar(10)") << column(ColumnType::NChar, 10, false) << hex("0000 EF 1400 0904D00034");
    QTest::newRow("varbinary(16)") << column(ColumnType::VarBinary, 16, true) << hex("0100 A5 1000");
    QTest::newRow("sql_variant") << column(ColumnType::Variant, 0, true) << hex("0100 62 501F0000");
}

void CodecTokensTest::columnWireTypes()
{
    QFETCH(Column, col);
    QFETCH(QByteArray, entry);
    col.name = QString();
    QByteArray meta;
    putColMetadata(meta, { col }, probeContext());
    COMPARE_BYTES(meta, hex("81 01 00 00000000") + entry + hex("00"));
}

void CodecTokensTest::variantEncoding_data()
{
    QTest::addColumn<Cell>("value");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("int") << Cell(qint64(611)) << hex("06000000 38 00 63020000");
    QTest::newRow("nvarchar") << Cell(QStringLiteral("16.0"))
                              << (hex("11000000 E7 07 0904D00034 0001") + utf16(QStringLiteral("16.0")));
    QTest::newRow("NULL") << Cell() << hex("00000000");
}

void CodecTokensTest::variantEncoding()
{
    QFETCH(Cell, value);
    QFETCH(QByteArray, bytes);
    QByteArray row;
    putRow(row, { column(ColumnType::Variant, 0, true) }, { value }, probeContext());
    COMPARE_BYTES(row, hex("D1") + bytes);
}

void CodecTokensTest::dateTimeOffsetEncoding_data()
{
    QTest::addColumn<quint32>("version");
    QTest::addColumn<Cell>("value");
    QTest::addColumn<QByteArray>("entry"); // COLMETADATA entry (flags, TYPE_INFO)
    QTest::addColumn<QByteArray>("bytes"); // the value in the ROW
    DateTimeValue v; // 2024-05-06 07:08:09 at +02:00, i.e. 05:08:09 UTC
    v.days = 45416;
    v.ticks = (7 * 3600 + 8 * 60 + 9) * 300;
    v.offsetMinutes = 120;
    // datetimeoffset(7): 5 bytes of 100 ns since midnight UTC, 3 bytes of days since 0001-01-01, the
    // offset in minutes.
    QTest::newRow("7.4") << Tds74 << Cell(v) << hex("0100 2B 07") << hex("0A 80824D0C2B C3460B 7800");
    QTest::newRow("7.3") << Tds73B << Cell(v) << hex("0100 2B 07") << hex("0A 80824D0C2B C3460B 7800");
    QTest::newRow("NULL") << Tds74 << Cell() << hex("0100 2B 07") << hex("00");
    // Before 7.3 SQL Server sends it as text.
    QTest::newRow("7.2 as nvarchar") << Tds72 << Cell(v) << hex("0100 E7 4400 0904D00034")
                                     << (hex("4400") + utf16(QStringLiteral("2024-05-06 07:08:09.0000000 +02:00")));
}

void CodecTokensTest::dateTimeOffsetEncoding()
{
    QFETCH(quint32, version);
    QFETCH(Cell, value);
    QFETCH(QByteArray, entry);
    QFETCH(QByteArray, bytes);
    Column col = column(ColumnType::DateTimeOffset, 10, true);
    col.name = QString();
    QByteArray meta;
    putColMetadata(meta, { col }, probeContext(version));
    const QByteArray userType = version >= Tds72 ? hex("00000000") : hex("0000");
    COMPARE_BYTES(meta, hex("81 01 00") + userType + entry + hex("00"));
    QByteArray row;
    putRow(row, { col }, { value }, probeContext(version));
    COMPARE_BYTES(row, hex("D1") + bytes);
    if (version < Tds73A)
        return;
    // Read back: the same local time and offset.
    TypeInfo info;
    QString error;
    Cursor typeCursor(entry.mid(2));
    QVERIFY2(readTypeInfo(typeCursor, version, true, info, error), qPrintable(error));
    Cursor valueCursor(bytes);
    Cell back;
    QVERIFY2(readValue(valueCursor, info, back, error), qPrintable(error));
    if (std::holds_alternative<std::monostate>(value)) {
        QVERIFY(std::holds_alternative<std::monostate>(back));
        return;
    }
    const auto d = std::get<DateTimeValue>(back);
    const auto w = std::get<DateTimeValue>(value);
    QCOMPARE(d.days, w.days);
    QCOMPARE(d.ticks, w.ticks);
    QCOMPARE(d.offsetMinutes, w.offsetMinutes);
}

void CodecTokensTest::moreRule_data()
{
    QTest::addColumn<int>("kind"); // RequestKind
    QTest::addColumn<QVector<int>>("dones"); // Done::Kind of each statement's DONE, in order
    QTest::addColumn<QVector<quint16>>("statuses"); // on the wire
    const int batch = int(RequestKind::Batch);
    const int rpc = int(RequestKind::Rpc);
    const int d = int(Done::Kind::Done);
    const int inproc = int(Done::Kind::DoneInProc);
    const int proc = int(Done::Kind::DoneProc);
    QTest::newRow("one statement") << batch << QVector<int> { d } << QVector<quint16> { 0x10 };
    QTest::newRow("three statements") << batch << QVector<int> { d, d, d } << QVector<quint16> { 0x11, 0x11, 0x10 };
    QTest::newRow("exec in a batch") << batch << QVector<int> { inproc, proc } << QVector<quint16> { 0x11, 0x10 };
    QTest::newRow("rpc") << rpc << QVector<int> { inproc, proc } << QVector<quint16> { 0x11, 0x10 };
    QTest::newRow("two rpc calls") << rpc << QVector<int> { inproc, proc, inproc, proc }
                                   << QVector<quint16> { 0x11, 0x11, 0x11, 0x10 };
    QTest::newRow("rpc ending in DONEINPROC gets a DONEPROC")
        << rpc << QVector<int> { inproc } << QVector<quint16> { 0x11, 0x00 };
    QTest::newRow("nothing at all still ends") << batch << QVector<int> {} << QVector<quint16> { 0x00 };
}

void CodecTokensTest::moreRule()
{
    QFETCH(int, kind);
    QFETCH(QVector<int>, dones);
    QFETCH(QVector<quint16>, statuses);
    Reply reply;
    for (int k : dones) {
        // MORE from the engine is ignored: the codec decides.
        reply.events.append(done(Done::Kind(k), Done::Count | DoneMore, 0xC1, 0));
    }
    const auto tokens = decodeOk(encodeReply(reply, RequestKind(kind), probeContext()), Tds74);
    QCOMPARE(doneStatuses(tokens), statuses);
    QVERIFY(!tokens.isEmpty());
    QVERIFY(std::holds_alternative<DoneData>(tokens.last().value));
}

void CodecTokensTest::decoderRefusesBrokenStreams_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("unknown token") << hex("12 00");
    QTest::newRow("row before metadata") << hex("D1 01");
    QTest::newRow("DONE cut short") << hex("FD 00 00 00");
    QTest::newRow("ENVCHANGE longer than the message") << hex("E3 40 00 01 00");
    QTest::newRow("ENVCHANGE length disagrees") << hex("E3 05 00 01 00 00 00 00");
    QTest::newRow("INFO cut short") << hex("AB 04 00 01 00 00 00");
    QTest::newRow("LOGINACK length wrong")
        << (hex("AD 31 00 01 74 00 00 04") + bv(QStringLiteral("Microsoft SQL Server")) + hex("0F 00 07 D0"));
    QTest::newRow("column of unknown type") << hex("81 01 00 00 00 00 00 00 00 99");
    QTest::newRow("row value beyond the end")
        << hex("81 01 00 00 00 00 00 01 00 E7 10 00 09 04 D0 00 34 00 D1 08 00 41 00");
    QTest::newRow("variant props beyond its value")
        << hex("81 01 00 00 00 00 00 01 00 62 50 1F 00 00 00 D1 03 00 00 00 E7 07 00");
}

void CodecTokensTest::decoderRefusesBrokenStreams()
{
    QFETCH(QByteArray, payload);
    QCOMPARE(decodeTokens(payload, Tds74).status, DecodeStatus::Error);
}

QTEST_GUILESS_MAIN(CodecTokensTest)
#include "codec_tokens_test.moc"
