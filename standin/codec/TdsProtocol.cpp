#include "TdsProtocol.h"

namespace standin::tds {

quint32 normaliseClientVersion(quint32 claimed)
{
    if (claimed == Tds71Rev0)
        return Tds71;
    const quint32 known[] = { Tds74, Tds73B, Tds73A, Tds72, Tds71, Tds70 };
    for (quint32 v : known) {
        if (claimed >= v)
            return v;
    }
    // Below 7.0 (or a byte order we do not know): treat as the oldest version.
    return Tds70;
}

quint32 highestVersionForServer(int majorVersion, int minorVersion)
{
    if (majorVersion <= 8)
        return Tds71;
    if (majorVersion == 9)
        return Tds72;
    if (majorVersion == 10)
        return minorVersion >= 50 ? Tds73B : Tds73A;
    return Tds74;
}

quint32 answeredVersion(quint32 clientVersion, int serverMajor, int serverMinor)
{
    const quint32 client = normaliseClientVersion(clientVersion);
    const quint32 server = highestVersionForServer(serverMajor, serverMinor);
    return client < server ? client : server;
}

QString versionName(quint32 tdsVersion)
{
    switch (normaliseClientVersion(tdsVersion)) {
    case Tds70:
        return QStringLiteral("7.0");
    case Tds71:
        return QStringLiteral("7.1");
    case Tds72:
        return QStringLiteral("7.2");
    case Tds73A:
        return QStringLiteral("7.3A");
    case Tds73B:
        return QStringLiteral("7.3B");
    default:
        return QStringLiteral("7.4");
    }
}

QByteArray serverCollation()
{
    return QByteArray::fromHex("0904D00034");
}

QByteArray codePageOfCollation(const QByteArray& collation)
{
    if (collation.size() != 5)
        return "windows-1252";
    const quint8 sortId = quint8(collation[4]);
    const quint32 lcid = quint8(collation[0]) | (quint8(collation[1]) << 8) | ((quint8(collation[2]) & 0x0F) << 16);
    if (sortId != 0) {
        // SQL collations: the sort order names the code page. Only the Latin-1 family is
        // distinguished; everything else the stand-in meets is code page 1252 as well.
        return "windows-1252";
    }
    switch (lcid & 0xFFFF) {
    case 0x0804: // Chinese (PRC)
    case 0x1004: // Chinese (Singapore)
        return "GBK";
    case 0x0404: // Chinese (Taiwan)
        return "Big5";
    case 0x0411:
        return "Shift_JIS";
    case 0x0412:
        return "EUC-KR";
    default:
        return "windows-1252";
    }
}

} // namespace standin::tds
