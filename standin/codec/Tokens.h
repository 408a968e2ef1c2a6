#pragma once
// The server's token stream: one encoder per token, the whole answer to a request built from
// an engine Reply, the login answers, and the acknowledgement of an attention.
//
// Every function takes the TDS version the tokens are encoded for: INFO/ERROR line numbers,
// COLMETADATA/RETURNVALUE user types and DONE row counts are shorter before 7.2.

#include "../engine/Reply.h"
#include "TdsProtocol.h"
#include "TypeInfo.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace standin::tds {

struct TokenContext
{
    quint32 tdsVersion = Tds74;
    QString serverName; // the server name in INFO/ERROR tokens
    QByteArray collation = serverCollation();
};

// The default server name for INFO/ERROR tokens: the machine's host name, upper case.
QString defaultServerName();

void putEnvChange(QByteArray& out, quint8 type, const QString& newValue, const QString& oldValue);
void putEnvChangeBytes(QByteArray& out, quint8 type, const QByteArray& newValue, const QByteArray& oldValue);
// INFO for severity <= 10 (class 0 for 10, the severity itself below), ERROR otherwise. Message text is
// cut at 4000 characters.
void putMessage(QByteArray& out, const Message& message, const TokenContext& ctx);
void putLoginAck(
    QByteArray& out, quint32 tdsVersion, const QString& programName, quint8 major, quint8 minor, quint16 build);
void putDone(QByteArray& out, quint8 token, quint16 status, quint16 curCmd, quint64 rowCount, quint32 tdsVersion);
void putReturnStatus(QByteArray& out, qint32 value);

// How a Column goes on the wire: the fixed type for NOT NULL integers and datetimes, the N
// types for nullable ones; NVARCHAR/NCHAR with the collation; sql_variant of 8016 bytes.
TypeInfo columnTypeInfo(const Column& column, const QByteArray& collation, quint32 tdsVersion);
void putColMetadata(QByteArray& out, const QVector<Column>& columns, const TokenContext& ctx);
// NCHAR values are padded with blanks to the column's length here.
void putRow(QByteArray& out, const QVector<Column>& columns, const QVector<Cell>& row, const TokenContext& ctx);
void putReturnValue(QByteArray& out, const ReturnValue& value, const TokenContext& ctx);

enum class RequestKind { Batch, Rpc };

// The whole token stream for one engine reply. DONE_MORE goes on every DONE-family token but
// the reply's last one, and on every DONEINPROC of an RPC reply. A reply that does not end
// with a DONE-family token gets a DONE (DONEPROC for an RPC), with DONE_ERROR when the reply
// held an error, so the client always sees the end of it.
QByteArray encodeReply(const Reply& reply, RequestKind kind, const TokenContext& ctx);

struct LoginReplyParams
{
    quint32 requestedVersion = Tds74; // what LOGIN7 asked for: tokens before LOGINACK
    quint32 answeredVersion = Tds74; // what LOGINACK says: LOGINACK and the tokens after it
    QString database = QStringLiteral("master");
    int packetSize = defaultPacketSize;
    int serverMajor = 16;
    int serverMinor = 0;
    int serverBuild = 1000;
    QString serverName;
    QByteArray collation = serverCollation();
};

// ENVCHANGE 1, INFO 5701, ENVCHANGE 7, ENVCHANGE 2, INFO 5703, LOGINACK, ENVCHANGE 4, DONE.
QByteArray encodeLoginReply(const LoginReplyParams& params);

// The refused login: the errors, then DONE with DONE_ERROR. The caller closes the connection.
QByteArray encodeLoginFailure(const QVector<Message>& errors, const TokenContext& ctx);

// The answer to an ATTENTION: DONE with DONE_ATTN.
QByteArray encodeAttentionAck(const TokenContext& ctx);

} // namespace standin::tds
