#include "Packets.h"

#include "Wire.h"

namespace standin::tds {

void putPacketHeader(QByteArray& out, const PacketHeader& header)
{
    putU8(out, header.type);
    putU8(out, header.status);
    putU16BE(out, header.length);
    putU16BE(out, header.spid);
    putU8(out, header.packetId);
    putU8(out, header.window);
}

Decoded<PacketHeader> readPacketHeader(const QByteArray& data, int pos)
{
    Cursor c(data, pos);
    PacketHeader h;
    if (!c.u8(h.type) || !c.u8(h.status) || !c.u16BE(h.length) || !c.u16BE(h.spid) || !c.u8(h.packetId)
        || !c.u8(h.window))
        return Decoded<PacketHeader>::needMore();
    if (h.length < packetHeaderSize)
        return Decoded<PacketHeader>::failure(
            QStringLiteral("packet length %1 is shorter than its header").arg(h.length));
    return Decoded<PacketHeader>::success(h);
}

QByteArray packetize(
    quint8 type, const QByteArray& payload, int packetSize, quint16 spid, quint8 firstPacketId, quint8 extraLastStatus)
{
    const int size = qBound(minPacketSize, packetSize, maxPacketSize);
    const int chunk = size - packetHeaderSize;
    QByteArray out;
    out.reserve(payload.size() + (payload.size() / chunk + 1) * packetHeaderSize);
    int pos = 0;
    quint8 id = firstPacketId;
    do {
        const int n = qMin(chunk, int(payload.size()) - pos);
        const bool last = pos + n >= payload.size();
        PacketHeader h;
        h.type = type;
        h.status = last ? quint8(StatusEom | extraLastStatus) : 0;
        h.length = quint16(packetHeaderSize + n);
        h.spid = spid;
        h.packetId = id++;
        putPacketHeader(out, h);
        out.append(payload.constData() + pos, n);
        pos += n;
    } while (pos < payload.size());
    return out;
}

bool MessageMemory::take(qsizetype bytes)
{
    if (bytes > m_capacity - m_used)
        return false;
    m_used += bytes;
    return true;
}

PacketReader::PacketReader(int maxMessage, MessageMemory* shared, qsizetype allowance)
    : m_maxMessage(maxMessage)
    , m_shared(shared)
    , m_allowance(allowance)
{
}

PacketReader::~PacketReader()
{
    release();
}

void PacketReader::release()
{
    if (m_shared)
        m_shared->give(m_reserved);
    m_reserved = 0;
}

void PacketReader::append(const QByteArray& bytes)
{
    if (m_failed)
        return;
    // Drop what was consumed before growing the buffer, so it never holds more than one
    // packet's worth of old bytes.
    if (m_pos > 0) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
    m_buffer.append(bytes);
}

Decoded<TdsMessage> PacketReader::fail(const QString& why)
{
    m_failed = true;
    m_error = why;
    m_buffer.clear();
    m_pos = 0;
    m_pending = TdsMessage();
    m_pendingSize = 0;
    release();
    return Decoded<TdsMessage>::failure(why);
}

Decoded<TdsMessage> PacketReader::next()
{
    if (m_failed)
        return Decoded<TdsMessage>::failure(m_error);
    for (;;) {
        const auto header = readPacketHeader(m_buffer, m_pos);
        if (header.status == DecodeStatus::NeedMore)
            return Decoded<TdsMessage>::needMore();
        if (!header.ok())
            return fail(header.error);
        const PacketHeader& h = header.value;
        if (!m_acceptedTypes.isEmpty() && !m_acceptedTypes.contains(char(h.type)))
            return fail(QStringLiteral("packet type 0x%1 is not accepted").arg(h.type, 2, 16, QLatin1Char('0')));
        if (m_inMessage && h.type != m_pending.type)
            return fail(QStringLiteral("packet of type 0x%1 inside a message of type 0x%2")
                            .arg(h.type, 2, 16, QLatin1Char('0'))
                            .arg(m_pending.type, 2, 16, QLatin1Char('0')));
        const int bodySize = h.length - packetHeaderSize;
        if (m_pendingSize + bodySize > m_maxMessage)
            return fail(QStringLiteral("message larger than %1 bytes").arg(m_maxMessage));
        if (m_buffer.size() - m_pos < h.length)
            return Decoded<TdsMessage>::needMore();

        if (!m_inMessage) {
            m_inMessage = true;
            m_pending.type = h.type;
            m_pending.firstStatus = h.status;
        }
        m_pendingSize += bodySize;
        if (!m_pending.dropped) {
            m_pending.payload.append(m_buffer.constData() + m_pos + packetHeaderSize, bodySize);
            // What the message holds is its buffer's capacity, which grows ahead of its size.
            const qsizetype held = qMax(m_pendingSize, m_pending.payload.capacity());
            const qsizetype needed = qMax<qsizetype>(0, held - m_allowance) - m_reserved;
            if (m_shared && needed > 0) {
                if (m_shared->take(needed)) {
                    m_reserved += needed;
                } else {
                    release();
                    m_pending.dropped = true;
                    m_pending.payload = QByteArray();
                }
            }
        }
        m_pending.status = h.status;
        m_pos += h.length;
        if (h.status & StatusEom) {
            TdsMessage done = std::move(m_pending);
            m_pending = TdsMessage();
            m_inMessage = false;
            m_pendingSize = 0;
            release();
            return Decoded<TdsMessage>::success(std::move(done));
        }
    }
}

} // namespace standin::tds
