#pragma once
// Reading a server's token stream, as a client does. The stand-in itself never needs this;
// tests, the fuzz target and the network tests that speak raw TDS do.

#include "../engine/Reply.h"
#include "Decoded.h"
#include "TdsProtocol.h"
#include "TypeInfo.h"

#include <QByteArray>
#include <QVector>
#include <variant>

namespace standin::tds {

struct EnvChangeData
{
    quint8 type = 0;
    QByteArray newValue; // B_VARCHAR types: UTF-16LE bytes; collation: the raw bytes
    QByteArray oldValue;
    QString newText() const;
    QString oldText() const;
};

struct LoginAckData
{
    quint8 interface = 0;
    quint32 tdsVersion = 0;
    QString programName;
    quint8 major = 0;
    quint8 minor = 0;
    quint16 build = 0;
};

struct ColMetadataData
{
    QVector<Column> columns;
    QVector<TypeInfo> types;
};

struct RowData
{
    QVector<Cell> cells;
};

struct DoneData
{
    quint8 token = DoneToken;
    quint16 status = 0; // as on the wire, MORE included
    quint16 curCmd = 0;
    quint64 rowCount = 0;
};

struct DecodedToken
{
    quint8 type = 0;
    std::variant<EnvChangeData, Message, LoginAckData, ColMetadataData, RowData, DoneData, ReturnStatus, ReturnValue>
        value;
};

// Decodes a complete reply message. `tdsVersion` is the version the client asked for; from a
// LOGINACK on, the version it names is used. Fails on an unknown token, a row before any
// COLMETADATA, or a token that does not fit.
Decoded<QVector<DecodedToken>> decodeTokens(const QByteArray& payload, quint32 tdsVersion);

// Folds decoded tokens back into engine events: COLMETADATA + ROWs into a ResultSet, ENVCHANGE 1
// into DatabaseChange, DONE-family tokens with MORE removed. Other ENVCHANGEs and LOGINACK
// are dropped.
Reply replyFromTokens(const QVector<DecodedToken>& tokens);

} // namespace standin::tds
