#include "Requests.h"

#include "TypeInfo.h"
#include "Wire.h"

namespace standin::tds {

int skipAllHeaders(const QByteArray& payload)
{
    Cursor c(payload);
    quint32 total = 0;
    if (!c.u32(total) || total < 4 || total > quint32(payload.size()))
        return -1;
    // Each header: u32 length (itself included), u16 type, data. They must tile the block.
    quint32 pos = 4;
    while (pos < total) {
        Cursor hc(payload, int(pos), int(total));
        quint32 length = 0;
        if (!hc.u32(length) || length < 6 || length > total - pos)
            return -1;
        pos += length;
    }
    return int(total);
}

QByteArray defaultAllHeaders()
{
    QByteArray h;
    putU32(h, 22);
    putU32(h, 18);
    putU16(h, 2); // transaction descriptor
    putU64(h, 0);
    putU32(h, 1); // outstanding requests
    return h;
}

Decoded<QString> decodeSqlBatch(const QByteArray& payload, quint32 tdsVersion)
{
    int start = 0;
    if (is72OrLater(tdsVersion)) {
        start = skipAllHeaders(payload);
        if (start < 0)
            return Decoded<QString>::failure(QStringLiteral("SQL batch ALL_HEADERS do not fit the message"));
    }
    const int bytes = int(payload.size()) - start;
    if (bytes % 2)
        return Decoded<QString>::failure(QStringLiteral("SQL batch text has an odd number of bytes"));
    return Decoded<QString>::success(fromUtf16Le(payload.constData() + start, bytes));
}

QByteArray encodeSqlBatch(const QString& sql, quint32 tdsVersion)
{
    QByteArray out;
    if (is72OrLater(tdsVersion))
        out = defaultAllHeaders();
    putUtf16(out, sql);
    return out;
}

namespace {

    bool isCallSeparator(quint8 b, quint32 tdsVersion)
    {
        if (is72OrLater(tdsVersion))
            return b == 0xFF || b == 0xFE;
        return b == 0x80;
    }

} // namespace

Decoded<QVector<RpcCall>> decodeRpc(const QByteArray& payload, quint32 tdsVersion)
{
    using D = Decoded<QVector<RpcCall>>;
    int start = 0;
    if (is72OrLater(tdsVersion)) {
        start = skipAllHeaders(payload);
        if (start < 0)
            return D::failure(QStringLiteral("RPC ALL_HEADERS do not fit the message"));
    }
    Cursor c(payload, start);
    QVector<RpcCall> calls;
    QString error;
    do {
        RpcCall call;
        quint16 nameLength = 0;
        if (!c.u16(nameLength))
            return D::failure(QStringLiteral("RPC call is cut short before its name"));
        if (nameLength == 0xFFFF) {
            quint16 id = 0;
            if (!c.u16(id))
                return D::failure(QStringLiteral("RPC procedure id is cut short"));
            call.procId = id;
        } else if (nameLength == 0 || !c.utf16(nameLength, call.procName)) {
            return D::failure(QStringLiteral("RPC procedure name is empty or cut short"));
        }
        quint16 options = 0;
        if (!c.u16(options))
            return D::failure(QStringLiteral("RPC option flags are cut short"));

        quint8 next = 0;
        while (c.peekU8(next) && !isCallSeparator(next, tdsVersion)) {
            RpcParam param;
            quint8 status = 0;
            if (!c.bVarChar(param.name) || !c.u8(status))
                return D::failure(QStringLiteral("RPC parameter %1 is cut short").arg(call.params.size() + 1));
            param.output = status & 0x01;
            TypeInfo info;
            if (!readTypeInfo(c, tdsVersion, false, info, error) || !readValue(c, info, param.value, error))
                return D::failure(QStringLiteral("RPC parameter %1: %2").arg(call.params.size() + 1).arg(error));
            call.params.append(param);
            if (call.params.size() > 2100)
                return D::failure(QStringLiteral("RPC call has more than 2100 parameters"));
        }
        calls.append(call);
        if (!c.atEnd())
            c.skip(1); // the separator; another call follows
        else
            break;
    } while (true);
    return D::success(calls);
}

QByteArray encodeRpc(const QVector<RpcCallWire>& calls, quint32 tdsVersion)
{
    QByteArray out;
    if (is72OrLater(tdsVersion))
        out = defaultAllHeaders();
    for (int i = 0; i < calls.size(); ++i) {
        const RpcCallWire& call = calls[i];
        if (i > 0)
            putU8(out, is72OrLater(tdsVersion) ? 0xFF : 0x80);
        if (call.procId >= 0) {
            putU16(out, 0xFFFF);
            putU16(out, quint16(call.procId));
        } else {
            putUsVarChar(out, call.procName);
        }
        putU16(out, call.optionFlags);
        for (const RpcParamWire& p : call.params) {
            putBVarChar(out, p.name);
            putU8(out, p.output ? 0x01 : 0x00);
            TypeInfo info;
            info.type = p.type;
            info.maxLength = p.maxLength;
            info.collation = p.collation;
            putTypeInfo(out, info, tdsVersion);
            putValue(out, info, p.value);
        }
    }
    return out;
}

} // namespace standin::tds
