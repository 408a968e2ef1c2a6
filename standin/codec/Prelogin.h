#pragma once
// PRELOGIN (packet type 0x12) and the server's answer to it (sent as packet type 0x04).

#include "Decoded.h"

#include <QByteArray>
#include <QVector>

namespace standin::tds {

struct PreloginOption
{
    quint8 token = 0;
    QByteArray data;
};

// The options in the order they appear in the table.
struct Prelogin
{
    QVector<PreloginOption> options;

    bool has(quint8 token) const;
    QByteArray value(quint8 token) const;
    // ENCRYPTION byte, or EncryptOff when the option is missing or empty.
    quint8 encryption() const;
};

// Decodes a PRELOGIN payload. Fails when the option table has no terminator or an entry
// points outside the payload.
Decoded<Prelogin> decodePrelogin(const QByteArray& payload);

// Writes the option table followed by the data, in the given order (offsets count from the
// start of the payload, as both clients and servers write them).
QByteArray encodePrelogin(const Prelogin& prelogin);

// The server's answer: VERSION major.minor.build.0 (build big-endian), ENCRYPTION 0x02
// (not supported, so no TLS), INSTOPT 0, THREADID empty, MARS 0.
Prelogin serverPreloginAnswer(int major, int minor, int build);

} // namespace standin::tds
