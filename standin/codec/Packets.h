#pragma once
// Packet framing: joining the packets of one client message, and cutting an answer into
// packets. Knows nothing about what the payloads mean.

#include "Decoded.h"
#include "TdsProtocol.h"

#include <QByteArray>

namespace standin::tds {

struct PacketHeader
{
    quint8 type = 0;
    quint8 status = 0;
    quint16 length = 0; // whole packet, header included
    quint16 spid = 0;
    quint8 packetId = 0;
    quint8 window = 0;
};

// One complete message: the payloads of its packets joined, up to the packet with EOM.
struct TdsMessage
{
    quint8 type = 0;
    quint8 status = 0; // status of the last packet (EOM, IGNORE ...)
    quint8 firstStatus = 0; // status of the first packet (RESETCONNECTION travels there)
    QByteArray payload;
    bool dropped = false; // there was no memory to hold it: read to its end, payload discarded
};

// Memory for messages still arriving, shared by all clients of a server. Pure accounting.
class MessageMemory
{
public:
    explicit MessageMemory(qsizetype capacity)
        : m_capacity(capacity)
    {
    }
    // Reserves `bytes`; false (nothing reserved) when that would pass the capacity.
    bool take(qsizetype bytes);
    void give(qsizetype bytes) { m_used -= bytes; }
    qsizetype used() const { return m_used; }
    qsizetype capacity() const { return m_capacity; }

private:
    qsizetype m_capacity;
    qsizetype m_used = 0;
};

void putPacketHeader(QByteArray& out, const PacketHeader& header);
// Reads an 8-byte header at `pos`. Fails on a length below 8.
Decoded<PacketHeader> readPacketHeader(const QByteArray& data, int pos = 0);

// Cuts `payload` into packets of at most `packetSize` bytes (header included). Every packet
// but the last has status 0, the last EOM. Packet ids count up from `firstPacketId`, mod 256.
// An empty payload still gives one packet. `packetSize` is clamped to 512 ... 32767.
QByteArray packetize(quint8 type, const QByteArray& payload, int packetSize, quint16 spid, quint8 firstPacketId = 1,
    quint8 extraLastStatus = 0);

// Accumulates bytes as they arrive and yields complete messages.
//
// next() returns a message, NeedMore when the buffered bytes end inside a message, or Error
// on a malformed header, a packet whose type differs from the message's first packet, or a
// message larger than the limit. After an error the reader stays failed: the stream can no
// longer be trusted.
//
// With `shared` memory, the part of a message in progress beyond `allowance` bytes is reserved
// there; when it cannot be, the rest of that message is read and thrown away, and next()
// yields it with `dropped` set. The reservation ends when the message is complete.
class PacketReader
{
public:
    explicit PacketReader(int maxMessage = maxMessageSize, MessageMemory* shared = nullptr, qsizetype allowance = 0);
    ~PacketReader();
    PacketReader(const PacketReader&) = delete;
    PacketReader& operator=(const PacketReader&) = delete;

    // When set, a packet of any other type is an error as soon as its header is in, without
    // waiting for the body (a TLS handshake sent to a plain TDS port, for example).
    void setAcceptedTypes(const QByteArray& types) { m_acceptedTypes = types; }

    void append(const QByteArray& bytes);
    Decoded<TdsMessage> next();

    bool failed() const { return m_failed; }
    // Bytes taken from the shared memory for the message in progress.
    qsizetype reserved() const { return m_reserved; }
    // Bytes held that do not yet form a complete message.
    qsizetype buffered() const { return m_buffer.size() - m_pos + m_pending.payload.size(); }

private:
    Decoded<TdsMessage> fail(const QString& why);
    void release();

    QByteArray m_buffer;
    int m_pos = 0; // first byte of m_buffer not yet consumed
    TdsMessage m_pending; // packets already joined for the message in progress
    bool m_inMessage = false;
    bool m_failed = false;
    QString m_error;
    QByteArray m_acceptedTypes;
    int m_maxMessage;
    MessageMemory* m_shared;
    qsizetype m_allowance;
    qsizetype m_reserved = 0; // taken from m_shared for the message in progress
    qsizetype m_pendingSize = 0; // bytes of the message in progress, kept or not
};

} // namespace standin::tds
