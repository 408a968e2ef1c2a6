#include "Login7.h"

#include "Wire.h"

namespace standin::tds {

namespace {

    constexpr int fixedSize71 = 86;
    constexpr int fixedSize72 = 94;
    // Offsets of the (offset, length) pairs in the fixed part.
    constexpr int offHostName = 36;
    constexpr int offUserName = 40;
    constexpr int offPassword = 44;
    constexpr int offAppName = 48;
    constexpr int offServerName = 52;
    constexpr int offExtension = 56;
    constexpr int offCltIntName = 60;
    constexpr int offLanguage = 64;
    constexpr int offDatabase = 68;
    constexpr int offClientId = 72;
    constexpr int offSspi = 78;
    constexpr int offAtchDbFile = 82;
    constexpr int offChangePassword = 86;
    constexpr int offSspiLong = 90;

    quint8 swapNibbles(quint8 b)
    {
        return quint8(((b << 4) | (b >> 4)) & 0xFF);
    }

    struct Span
    {
        quint16 offset = 0;
        quint16 length = 0;
    };

    bool readSpan(const QByteArray& payload, int at, Span& s)
    {
        Cursor c(payload, at);
        return c.u16(s.offset) && c.u16(s.length);
    }

    // Reads `chars` UTF-16 characters at `offset`; false when they lie outside the payload.
    bool readText(const QByteArray& payload, const Span& s, QString& out)
    {
        if (s.length == 0) {
            out.clear();
            return true;
        }
        Cursor c(payload, s.offset);
        if (s.offset > payload.size())
            return false;
        return c.utf16(s.length, out);
    }

    bool readBytes(const QByteArray& payload, quint16 offset, quint32 length, QByteArray& out)
    {
        if (length == 0) {
            out.clear();
            return true;
        }
        if (quint64(offset) + length > quint64(payload.size()))
            return false;
        out = payload.mid(offset, int(length));
        return true;
    }

} // namespace

QByteArray obfuscatePassword(const QString& password)
{
    QByteArray bytes;
    putUtf16(bytes, password);
    for (char& b : bytes)
        b = char(swapNibbles(quint8(b)) ^ 0xA5);
    return bytes;
}

QString deobfuscatePassword(const QByteArray& bytes)
{
    QByteArray clear = bytes;
    for (char& b : clear)
        b = char(swapNibbles(quint8(b) ^ 0xA5));
    return fromUtf16Le(clear.constData(), int(clear.size()));
}

Decoded<Login7> decodeLogin7(const QByteArray& payload)
{
    using D = Decoded<Login7>;
    if (payload.size() < fixedSize71)
        return D::failure(QStringLiteral("LOGIN7 is shorter than its fixed part"));
    Login7 l;
    Cursor c(payload);
    quint32 length = 0;
    c.u32(length);
    if (length > quint32(payload.size()) || length < quint32(fixedSize71))
        return D::failure(QStringLiteral("LOGIN7 length field %1 does not fit a message of %2 bytes")
                              .arg(length)
                              .arg(payload.size()));
    // Only the bytes the Length field claims belong to the login.
    const QByteArray body = payload.left(int(length));
    c.u32(l.tdsVersion);
    c.u32(l.packetSize);
    c.u32(l.clientProgVersion);
    c.u32(l.clientPid);
    c.u32(l.connectionId);
    c.u8(l.optionFlags1);
    c.u8(l.optionFlags2);
    c.u8(l.typeFlags);
    c.u8(l.optionFlags3);
    c.i32(l.clientTimeZone);
    c.u32(l.clientLcid);

    struct TextField
    {
        int at;
        QString* out;
        const char* name;
    };
    const TextField fields[] = {
        { offHostName, &l.hostName, "HostName" },
        { offUserName, &l.userName, "UserName" },
        { offAppName, &l.appName, "AppName" },
        { offServerName, &l.serverName, "ServerName" },
        { offCltIntName, &l.clientInterfaceName, "CltIntName" },
        { offLanguage, &l.language, "Language" },
        { offDatabase, &l.database, "Database" },
        { offAtchDbFile, &l.attachDbFile, "AtchDBFile" },
    };
    for (const TextField& f : fields) {
        Span s;
        readSpan(body, f.at, s);
        if (!readText(body, s, *f.out))
            return D::failure(QStringLiteral("LOGIN7 %1 points outside the message").arg(QLatin1String(f.name)));
    }

    Span pw;
    readSpan(body, offPassword, pw);
    QByteArray pwBytes;
    if (!readBytes(body, pw.offset, quint32(pw.length) * 2, pwBytes))
        return D::failure(QStringLiteral("LOGIN7 Password points outside the message"));
    l.password = deobfuscatePassword(pwBytes);

    l.clientId = body.mid(offClientId, 6);

    Span sspi;
    readSpan(body, offSspi, sspi);
    quint32 sspiLength = sspi.length;
    const bool is72 = is72OrLater(l.tdsVersion) && body.size() >= fixedSize72;
    if (is72) {
        Span change;
        readSpan(body, offChangePassword, change);
        QByteArray changeBytes;
        if (!readBytes(body, change.offset, quint32(change.length) * 2, changeBytes))
            return D::failure(QStringLiteral("LOGIN7 ChangePassword points outside the message"));
        l.changePassword = deobfuscatePassword(changeBytes);
        Cursor lc(body, offSspiLong);
        quint32 sspiLong = 0;
        lc.u32(sspiLong);
        if (sspiLength == 0xFFFF && sspiLong > 0)
            sspiLength = sspiLong;
    }
    if (!readBytes(body, sspi.offset, sspiLength, l.sspi))
        return D::failure(QStringLiteral("LOGIN7 SSPI points outside the message"));

    // 7.4 FeatureExt: the extension slot holds a 4-byte offset of the feature list.
    if ((l.optionFlags3 & Login7::extensionFlag) && (l.tdsVersion >> 24) >= 0x74) {
        Span ext;
        readSpan(body, offExtension, ext);
        if (ext.length >= 4) {
            QByteArray where;
            if (!readBytes(body, ext.offset, 4, where))
                return D::failure(QStringLiteral("LOGIN7 extension points outside the message"));
            Cursor wc(where);
            quint32 featureOffset = 0;
            wc.u32(featureOffset);
            if (featureOffset >= quint32(body.size()))
                return D::failure(QStringLiteral("LOGIN7 FeatureExt points outside the message"));
            Cursor fc(body, int(featureOffset));
            for (;;) {
                quint8 id = 0;
                if (!fc.u8(id))
                    return D::failure(QStringLiteral("LOGIN7 FeatureExt has no terminator"));
                if (id == 0xFF)
                    break;
                quint32 n = 0;
                if (!fc.u32(n) || n > quint32(fc.remaining()) || !fc.skip(int(n)))
                    return D::failure(QStringLiteral("LOGIN7 FeatureExt entry is cut short"));
            }
            l.featureExt = body.mid(int(featureOffset), fc.pos() - int(featureOffset));
        }
    }
    return D::success(l);
}

QByteArray encodeLogin7(const Login7& l)
{
    const bool is72 = is72OrLater(l.tdsVersion);
    const bool withExtension = (l.tdsVersion >> 24) >= 0x74 && !l.featureExt.isEmpty();
    const int fixed = is72 ? fixedSize72 : fixedSize71;

    QByteArray out(fixed, '\0');
    QByteArray data;
    auto addText = [&](int at, const QString& text) {
        patchU16(out, at, quint16(fixed + data.size()));
        patchU16(out, at + 2, quint16(text.size()));
        putUtf16(data, text);
    };
    auto addRaw = [&](int at, const QByteArray& bytes, quint16 count) {
        patchU16(out, at, quint16(fixed + data.size()));
        patchU16(out, at + 2, count);
        data.append(bytes);
    };

    addText(offHostName, l.hostName);
    addText(offUserName, l.userName);
    addRaw(offPassword, obfuscatePassword(l.password), quint16(l.password.size()));
    addText(offAppName, l.appName);
    addText(offServerName, l.serverName);
    int extensionPatch = -1;
    if (withExtension) {
        extensionPatch = int(data.size());
        addRaw(offExtension, QByteArray(4, '\0'), 4);
    } else {
        patchU16(out, offExtension, quint16(fixed + data.size()));
    }
    addText(offCltIntName, l.clientInterfaceName);
    addText(offLanguage, l.language);
    addText(offDatabase, l.database);
    addRaw(offSspi, l.sspi, quint16(qMin<qsizetype>(l.sspi.size(), 0xFFFF)));
    addText(offAtchDbFile, l.attachDbFile);
    if (is72)
        addRaw(offChangePassword, obfuscatePassword(l.changePassword), quint16(l.changePassword.size()));
    if (withExtension) {
        patchU32(data, extensionPatch, quint32(fixed + data.size()));
        data.append(l.featureExt);
    }

    quint8 flags3 = l.optionFlags3;
    if (withExtension)
        flags3 |= Login7::extensionFlag;
    QByteArray head;
    putU32(head, quint32(fixed + data.size()));
    putU32(head, l.tdsVersion);
    putU32(head, l.packetSize);
    putU32(head, l.clientProgVersion);
    putU32(head, l.clientPid);
    putU32(head, l.connectionId);
    putU8(head, l.optionFlags1);
    putU8(head, l.optionFlags2);
    putU8(head, l.typeFlags);
    putU8(head, flags3);
    putU32(head, quint32(l.clientTimeZone));
    putU32(head, l.clientLcid);
    out.replace(0, head.size(), head);
    out.replace(offClientId, 6, l.clientId.leftJustified(6, '\0', true));
    if (is72)
        patchU32(out, offSspiLong, 0);
    return out + data;
}

} // namespace standin::tds
