#pragma once
// LOGIN7 (packet type 0x10). The server only decodes it; the encoder exists so tests can
// speak as a client.

#include "Decoded.h"
#include "TdsProtocol.h"

#include <QByteArray>
#include <QString>

namespace standin::tds {

struct Login7
{
    quint32 tdsVersion = Tds74; // as sent (LOGIN7 carries it little-endian)
    quint32 packetSize = 4096;
    quint32 clientProgVersion = 0;
    quint32 clientPid = 0;
    quint32 connectionId = 0;
    quint8 optionFlags1 = 0xE0;
    quint8 optionFlags2 = 0x03;
    quint8 typeFlags = 0;
    quint8 optionFlags3 = 0;
    qint32 clientTimeZone = 0;
    quint32 clientLcid = 0x0409;
    QString hostName;
    QString userName;
    QString password; // in clear text: decoded / obfuscated by the codec
    QString appName;
    QString serverName;
    QString clientInterfaceName;
    QString language;
    QString database;
    QByteArray clientId = QByteArray(6, '\0');
    QByteArray sspi;
    QString attachDbFile;
    QString changePassword; // 7.2+
    QByteArray featureExt; // 7.4, raw, terminator included; empty when none

    static constexpr quint8 integratedSecurityFlag = 0x80; // in optionFlags2
    static constexpr quint8 extensionFlag = 0x10; // in optionFlags3

    bool integratedSecurity() const { return (optionFlags2 & integratedSecurityFlag) || !sspi.isEmpty(); }
};

// Password obfuscation: swap the nibbles of every byte of the UTF-16LE text, XOR with 0xA5.
QByteArray obfuscatePassword(const QString& password);
QString deobfuscatePassword(const QByteArray& bytes);

// Decodes a LOGIN7 payload. Every string is read through its (offset, length) pair; a pair
// pointing outside the payload, a Length field larger than the payload or a fixed part that
// is cut short is an error.
Decoded<Login7> decodeLogin7(const QByteArray& payload);

// Writes the layout FreeTDS uses: the fixed part (94 bytes for 7.2+, 86 before), then
// HostName, UserName, Password, AppName, ServerName, [the extension offset], CltIntName,
// Language, Database, SSPI, AtchDBFile, ChangePassword, [FeatureExt].
QByteArray encodeLogin7(const Login7& login);

} // namespace standin::tds
