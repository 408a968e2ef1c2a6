#include "Prelogin.h"

#include "TdsProtocol.h"
#include "Wire.h"

namespace standin::tds {

bool Prelogin::has(quint8 token) const
{
    for (const PreloginOption& o : options) {
        if (o.token == token)
            return true;
    }
    return false;
}

QByteArray Prelogin::value(quint8 token) const
{
    for (const PreloginOption& o : options) {
        if (o.token == token)
            return o.data;
    }
    return QByteArray();
}

quint8 Prelogin::encryption() const
{
    const QByteArray v = value(PreloginEncryption);
    return v.isEmpty() ? quint8(EncryptOff) : quint8(v[0]);
}

Decoded<Prelogin> decodePrelogin(const QByteArray& payload)
{
    Cursor c(payload);
    Prelogin p;
    for (;;) {
        quint8 token = 0;
        if (!c.u8(token))
            return Decoded<Prelogin>::failure(QStringLiteral("PRELOGIN option table has no terminator"));
        if (token == PreloginTerminator)
            break;
        quint16 offset = 0;
        quint16 length = 0;
        if (!c.u16BE(offset) || !c.u16BE(length))
            return Decoded<Prelogin>::failure(QStringLiteral("PRELOGIN option table is cut short"));
        if (int(offset) + int(length) > payload.size())
            return Decoded<Prelogin>::failure(
                QStringLiteral("PRELOGIN option 0x%1 points outside the message").arg(token, 2, 16, QLatin1Char('0')));
        if (p.options.size() >= 64)
            return Decoded<Prelogin>::failure(QStringLiteral("PRELOGIN has too many options"));
        p.options.append({ token, payload.mid(offset, length) });
    }
    return Decoded<Prelogin>::success(p);
}

QByteArray encodePrelogin(const Prelogin& prelogin)
{
    QByteArray out;
    int dataOffset = 5 * int(prelogin.options.size()) + 1;
    for (const PreloginOption& o : prelogin.options) {
        putU8(out, o.token);
        putU16BE(out, quint16(dataOffset));
        putU16BE(out, quint16(o.data.size()));
        dataOffset += int(o.data.size());
    }
    putU8(out, PreloginTerminator);
    for (const PreloginOption& o : prelogin.options)
        out.append(o.data);
    return out;
}

Prelogin serverPreloginAnswer(int major, int minor, int build)
{
    QByteArray version;
    putU8(version, quint8(major));
    putU8(version, quint8(minor));
    putU16BE(version, quint16(build));
    putU16(version, 0);
    Prelogin p;
    p.options = {
        { PreloginVersion, version },
        { PreloginEncryption, QByteArray(1, char(EncryptNotSupported)) },
        { PreloginInstOpt, QByteArray(1, '\0') },
        { PreloginThreadId, QByteArray() },
        { PreloginMars, QByteArray(1, '\0') },
    };
    return p;
}

} // namespace standin::tds
