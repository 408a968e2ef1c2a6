#pragma once
// Constants of the TDS 7.x protocol as the stand-in speaks it, and the rules that depend on
// the protocol version. Everything here is plain data; no sockets.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace standin::tds {

// Packet types (byte 0 of every packet header).
enum PacketType : quint8 {
    SqlBatchPacket = 0x01,
    RpcPacket = 0x03,
    ReplyPacket = 0x04, // every server answer, the PRELOGIN answer included
    AttentionPacket = 0x06,
    TransactionManagerPacket = 0x0E,
    Login7Packet = 0x10,
    PreloginPacket = 0x12,
};

// Packet status bits.
enum PacketStatus : quint8 {
    StatusEom = 0x01,
    StatusIgnore = 0x02,
    StatusResetConnection = 0x08,
    StatusResetConnectionSkipTran = 0x10,
};

constexpr int packetHeaderSize = 8;
constexpr int defaultPacketSize = 4096; // until login has finished
constexpr int minPacketSize = 512;
constexpr int maxPacketSize = 32767;
// A client message larger than this is refused (the connection is closed).
constexpr int maxMessageSize = 16 * 1024 * 1024;

// TDS versions as LOGIN7 carries them (little-endian DWORD) and LOGINACK echoes them (big-endian).
constexpr quint32 Tds70 = 0x70000000;
constexpr quint32 Tds71 = 0x71000001;
constexpr quint32 Tds71Rev0 = 0x07010000; // SQL Server 2000 before SP1
constexpr quint32 Tds72 = 0x72090002;
constexpr quint32 Tds73A = 0x730A0003;
constexpr quint32 Tds73B = 0x730B0003;
constexpr quint32 Tds74 = 0x74000004;

// 7.2 and later: ALL_HEADERS in requests, 4-byte line numbers and user types, 8-byte row counts.
inline bool is72OrLater(quint32 tdsVersion)
{
    return (tdsVersion >> 24) >= 0x72;
}
// 7.3 and later know the date and time types (datetimeoffset ...).
inline bool is73OrLater(quint32 tdsVersion)
{
    return (tdsVersion >> 24) >= 0x73;
}
// 7.1 and later carry collations in string TYPE_INFO.
inline bool is71OrLater(quint32 tdsVersion)
{
    return (tdsVersion >> 24) >= 0x71 || tdsVersion == Tds71Rev0;
}

// Maps whatever a client claims onto one of the versions above (anything newer than 7.4,
// such as TDS 8, becomes 7.4; anything unknown below it the nearest lower version).
quint32 normaliseClientVersion(quint32 claimed);

// The highest TDS version a server of this product version speaks: 2000 = 7.1, 2005 = 7.2,
// 2008 = 7.3A, 2008 R2 = 7.3B, 2012 and later = 7.4.
quint32 highestVersionForServer(int majorVersion, int minorVersion);

// The version LOGINACK answers: the client's own, never higher than the server speaks.
quint32 answeredVersion(quint32 clientVersion, int serverMajor, int serverMinor);

// Printable form, "7.4" and so on, for logs and test messages.
QString versionName(quint32 tdsVersion);

// Token types.
enum TokenType : quint8 {
    ReturnStatusToken = 0x79,
    ColMetadataToken = 0x81,
    ErrorToken = 0xAA,
    InfoToken = 0xAB,
    ReturnValueToken = 0xAC,
    LoginAckToken = 0xAD,
    RowToken = 0xD1,
    EnvChangeToken = 0xE3,
    DoneToken = 0xFD,
    DoneProcToken = 0xFE,
    DoneInProcToken = 0xFF,
};

// DONE status bits. MORE is only ever set by the encoder.
enum DoneStatus : quint16 {
    DoneFinal = 0x0000,
    DoneMore = 0x0001,
    DoneError = 0x0002,
    DoneInXact = 0x0004,
    DoneCount = 0x0010,
    DoneAttention = 0x0020,
    DoneServerError = 0x0100,
};

// ENVCHANGE types the stand-in sends.
enum EnvChangeType : quint8 {
    EnvDatabase = 1,
    EnvLanguage = 2,
    EnvPacketSize = 4,
    EnvSqlCollation = 7,
};

// Data type bytes (TYPE_INFO).
enum DataType : quint8 {
    TypeText = 0x23,
    TypeGuid = 0x24,
    TypeIntN = 0x26,
    TypeDateTimeOffsetN = 0x2B, // TDS 7.3: scale byte; value: length, time, date, offset
    TypeInt1 = 0x30,
    TypeBit = 0x32,
    TypeInt2 = 0x34,
    TypeInt4 = 0x38,
    TypeDateTime = 0x3D,
    TypeFloat8 = 0x3E,
    TypeVariant = 0x62,
    TypeNText = 0x63,
    TypeBitN = 0x68,
    TypeFloatN = 0x6D,
    TypeDateTimeN = 0x6F,
    TypeInt8 = 0x7F,
    TypeBigVarBinary = 0xA5,
    TypeBigVarChar = 0xA7,
    TypeBigBinary = 0xAD,
    TypeBigChar = 0xAF,
    TypeNVarChar = 0xE7,
    TypeNChar = 0xEF,
};

// The server collation, SQL_Latin1_General_CP1_CI_AS: LCID 0x0409, flags 0x0D (case, width
// and kana insensitive), sort id 52. Sent in ENVCHANGE 7 and in every text column.
QByteArray serverCollation();

// The code page a 5-byte collation stands for ("windows-1252", "GBK" ...), for VARCHAR bytes.
QByteArray codePageOfCollation(const QByteArray& collation);

// LOGINACK's program name. FreeTDS turns it into SQL_DBMS_NAME and Qt's ODBC driver compares
// that with this exact text, so it is a protocol identifier, not a brand we choose.
inline QString loginAckProgramName()
{
    return QStringLiteral("Microsoft SQL Server");
}

// PRELOGIN option tokens.
enum PreloginToken : quint8 {
    PreloginVersion = 0x00,
    PreloginEncryption = 0x01,
    PreloginInstOpt = 0x02,
    PreloginThreadId = 0x03,
    PreloginMars = 0x04,
    PreloginTraceId = 0x05,
    PreloginFedAuthRequired = 0x06,
    PreloginTerminator = 0xFF,
};

enum Encryption : quint8 {
    EncryptOff = 0x00,
    EncryptOn = 0x01,
    EncryptNotSupported = 0x02,
    EncryptRequired = 0x03,
};

// The well-known procedure ids of RPC requests.
enum ProcId : quint16 {
    SpCursor = 1,
    SpCursorOpen = 2,
    SpCursorPrepare = 3,
    SpCursorExecute = 4,
    SpCursorPrepExec = 5,
    SpCursorUnprepare = 6,
    SpCursorFetch = 7,
    SpCursorOption = 8,
    SpCursorClose = 9,
    SpExecuteSql = 10,
    SpPrepare = 11,
    SpExecute = 12,
    SpPrepExec = 13,
    SpPrepExecRpc = 14,
    SpUnprepare = 15,
};

} // namespace standin::tds
