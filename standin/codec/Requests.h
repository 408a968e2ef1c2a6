#pragma once
// The two request messages after login: SQL batch (type 0x01) and RPC (type 0x03).
// Both start with ALL_HEADERS from TDS 7.2 on and have none before.

#include "../engine/Reply.h"
#include "Decoded.h"
#include "TdsProtocol.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace standin::tds {

// Skips ALL_HEADERS at the start of a 7.2+ request; returns the offset of the body, or -1
// when the headers' total length does not fit the message.
int skipAllHeaders(const QByteArray& payload);
// The 22 bytes both clients send: one transaction descriptor header (descriptor 0,
// one outstanding request).
QByteArray defaultAllHeaders();

// SQL batch: UTF-16LE text running to the end of the message.
Decoded<QString> decodeSqlBatch(const QByteArray& payload, quint32 tdsVersion);
QByteArray encodeSqlBatch(const QString& sql, quint32 tdsVersion);

// RPC: one or more calls, separated by 0xFF (7.2+; 0xFE "no exec" is taken as a separator as
// well) or 0x80 (7.1). Parameter types understood: INTN, INT1/2/4/8, BIT, BITN, FLTN/FLT8
// (the value arrives as text), DATETIME, DATETIMN, NVARCHAR, NCHAR, BIGVARCHAR, BIGCHAR,
// NTEXT, TEXT, BIGVARBINARY, BIGBINARY, and the (max) forms of the variable ones (PLP).
// Any other type byte is an error: nothing after it could be read.
Decoded<QVector<RpcCall>> decodeRpc(const QByteArray& payload, quint32 tdsVersion);

// How one parameter goes on the wire, for the test client's encoder.
struct RpcParamWire
{
    QString name;
    bool output = false;
    quint8 type = TypeIntN;
    quint32 maxLength = 4; // INTN: value size; strings/binaries: bytes, 0xFFFF for (max); NTEXT/TEXT: u32 max
    Cell value;
    QByteArray collation = serverCollation();
};

struct RpcCallWire
{
    int procId = -1;
    QString procName;
    quint16 optionFlags = 0;
    QVector<RpcParamWire> params;
};

QByteArray encodeRpc(const QVector<RpcCallWire>& calls, quint32 tdsVersion);

} // namespace standin::tds
