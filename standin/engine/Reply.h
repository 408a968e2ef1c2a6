#pragma once
// What the engine answers to one request, before it is put on the wire.
// The engine knows nothing of TDS tokens or packets; the codec turns these events
// into tokens in the order given, and sets DONE_MORE on every DONE-family token but
// the last of a reply, so the engine never has to.

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>
#include <variant>

namespace standin {

// Column types the stand-in sends. Text always travels as UTF-16 (nvarchar/nchar).
enum class ColumnType {
    NVarChar, // maxLength = characters
    NChar, // maxLength = characters; values are blank-padded to it by the codec
    Int, // 4 bytes (INTN 4 when nullable)
    SmallInt, // 2 bytes (INTN 2 when nullable)
    TinyInt, // 1 byte (INTN 1 when nullable)
    BigInt, // 8 bytes (INTN 8 when nullable)
    Bit, // BIT / BITN
    DateTime, // DATETIME / DATETIMN 8
    DateTimeOffset, // datetimeoffset(7) from TDS 7.3 (a DateTimeValue: local time and its offset); before 7.3
                    // nvarchar, as SQL Server sends it to older clients
    VarBinary, // maxLength = bytes
    Binary, // fixed length: maxLength = bytes
    Variant, // sql_variant: a cell of Int -> base type int, of Text -> base type nvarchar
};

struct Column {
    QString name;
    ColumnType type = ColumnType::NVarChar;
    int maxLength = 128;
    bool nullable = true;
};

struct DateTimeValue {
    qint32 days = 0; // since 1900-01-01
    quint32 ticks = 0; // 1/300 s since midnight
    qint16 offsetMinutes = 0; // of the local time from UTC; used by DateTimeOffset columns only
};

// One cell. std::monostate is NULL.
using Cell = std::variant<std::monostate, qint64, QString, QByteArray, DateTimeValue>;

inline bool isNullCell(const Cell& c)
{
    return std::holds_alternative<std::monostate>(c);
}

// A text or a number as text; empty for NULL and the other kinds.
inline QString textOrNumber(const Cell& c)
{
    if (const auto* s = std::get_if<QString>(&c))
        return *s;
    if (const auto* i = std::get_if<qint64>(&c))
        return QString::number(*i);
    return QString();
}

struct ResultSet {
    QVector<Column> columns;
    QVector<QVector<Cell>> rows;
};

// An INFO (severity <= 10, sent with class 0) or ERROR (severity >= 11) token.
struct Message {
    qint32 number = 0;
    quint8 state = 1;
    quint8 severity = 16;
    QString text;
    QString procName; // empty outside procedures
    qint32 line = 1;
    bool isError() const { return severity > 10; }
};

// DONE (0xFD), DONEPROC (0xFE) or DONEINPROC (0xFF). MORE is set by the codec.
struct Done {
    enum class Kind { Done, DoneProc, DoneInProc };
    static constexpr quint16 Error = 0x0002;
    static constexpr quint16 Count = 0x0010;
    static constexpr quint16 Attention = 0x0020;
    Kind kind = Kind::Done;
    quint16 status = 0; // ERROR / COUNT / ATTN bits; never MORE
    quint16 curCmd = 0; // 0xC1 for SELECT, informational
    quint64 rowCount = 0;
};

struct ReturnStatus {
    qint32 value = 0;
};

// ENVCHANGE of the current database (a USE statement, or login).
struct DatabaseChange {
    QString newName;
    QString oldName;
};

// RETURNVALUE of an RPC's OUTPUT parameter (e.g. the handle of sp_prepexec).
struct ReturnValue {
    quint16 ordinal = 0;
    QString name;
    Column type;
    Cell value;
};

using Event = std::variant<Message, ResultSet, Done, ReturnStatus, DatabaseChange, ReturnValue>;

struct Reply {
    QVector<Event> events;
    bool closeConnection = false; // after a fatal error (severity >= 20) the server drops the client
    bool attention = false; // the client's attention stopped the request: these events, then DONE_ATTN
};

// One call of an RPC request, decoded by the codec. Values of text parameters
// (NVARCHAR, NCHAR, NTEXT, VARCHAR, TEXT) arrive as QString, integers as qint64.
struct RpcParam {
    QString name; // may be empty
    bool output = false;
    Cell value;
};

struct RpcCall {
    int procId = -1; // 1..15 for the well-known ids, -1 when called by name
    QString procName; // empty when called by id
    QVector<RpcParam> params;
};

} // namespace standin
