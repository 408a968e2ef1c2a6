#include "Wire.h"

namespace standin::tds {

void putU8(QByteArray& out, quint8 v)
{
    out.append(char(v));
}

void putU16(QByteArray& out, quint16 v)
{
    out.append(char(v & 0xFF));
    out.append(char(v >> 8));
}

void putU16BE(QByteArray& out, quint16 v)
{
    out.append(char(v >> 8));
    out.append(char(v & 0xFF));
}

void putU32(QByteArray& out, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

void putU32BE(QByteArray& out, quint32 v)
{
    for (int i = 3; i >= 0; --i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

void putU64(QByteArray& out, quint64 v)
{
    for (int i = 0; i < 8; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

void putUtf16(QByteArray& out, const QString& text)
{
    out.reserve(out.size() + 2 * text.size());
    for (QChar c : text) {
        const ushort u = c.unicode();
        out.append(char(u & 0xFF));
        out.append(char(u >> 8));
    }
}

void putBVarChar(QByteArray& out, const QString& text)
{
    const QString cut = text.left(255);
    putU8(out, quint8(cut.size()));
    putUtf16(out, cut);
}

void putUsVarChar(QByteArray& out, const QString& text)
{
    const QString cut = text.left(65535);
    putU16(out, quint16(cut.size()));
    putUtf16(out, cut);
}

void putBVarByte(QByteArray& out, const QByteArray& bytes)
{
    const QByteArray cut = bytes.left(255);
    putU8(out, quint8(cut.size()));
    out.append(cut);
}

void patchU16(QByteArray& out, int pos, quint16 v)
{
    out[pos] = char(v & 0xFF);
    out[pos + 1] = char(v >> 8);
}

void patchU32(QByteArray& out, int pos, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out[pos + i] = char((v >> (8 * i)) & 0xFF);
}

QString fromUtf16Le(const char* data, int byteCount)
{
    QString s;
    s.resize(byteCount / 2);
    QChar* d = s.data();
    for (int i = 0; i + 1 < byteCount; i += 2)
        d[i / 2] = QChar(ushort(quint8(data[i]) | (quint8(data[i + 1]) << 8)));
    return s;
}

Cursor::Cursor(const QByteArray& data, int start, int end)
    : m_data(data)
    , m_pos(qBound(0, start, int(data.size())))
    , m_end(end < 0 ? int(data.size()) : qBound(m_pos, end, int(data.size())))
{
}

bool Cursor::u8(quint8& v)
{
    if (remaining() < 1)
        return false;
    v = quint8(m_data[m_pos++]);
    return true;
}

bool Cursor::peekU8(quint8& v) const
{
    if (remaining() < 1)
        return false;
    v = quint8(m_data[m_pos]);
    return true;
}

bool Cursor::u16(quint16& v)
{
    if (remaining() < 2)
        return false;
    v = quint16(quint8(m_data[m_pos]) | (quint8(m_data[m_pos + 1]) << 8));
    m_pos += 2;
    return true;
}

bool Cursor::u16BE(quint16& v)
{
    if (remaining() < 2)
        return false;
    v = quint16((quint8(m_data[m_pos]) << 8) | quint8(m_data[m_pos + 1]));
    m_pos += 2;
    return true;
}

bool Cursor::u32(quint32& v)
{
    if (remaining() < 4)
        return false;
    v = 0;
    for (int i = 0; i < 4; ++i)
        v |= quint32(quint8(m_data[m_pos + i])) << (8 * i);
    m_pos += 4;
    return true;
}

bool Cursor::u32BE(quint32& v)
{
    if (remaining() < 4)
        return false;
    v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | quint8(m_data[m_pos + i]);
    m_pos += 4;
    return true;
}

bool Cursor::i32(qint32& v)
{
    quint32 u = 0;
    if (!u32(u))
        return false;
    v = qint32(u);
    return true;
}

bool Cursor::u64(quint64& v)
{
    if (remaining() < 8)
        return false;
    v = 0;
    for (int i = 0; i < 8; ++i)
        v |= quint64(quint8(m_data[m_pos + i])) << (8 * i);
    m_pos += 8;
    return true;
}

bool Cursor::bytes(int count, QByteArray& v)
{
    if (count < 0 || remaining() < count)
        return false;
    v = m_data.mid(m_pos, count);
    m_pos += count;
    return true;
}

bool Cursor::skip(int count)
{
    if (count < 0 || remaining() < count)
        return false;
    m_pos += count;
    return true;
}

bool Cursor::utf16(int chars, QString& v)
{
    if (chars < 0 || remaining() / 2 < chars)
        return false;
    v = fromUtf16Le(m_data.constData() + m_pos, 2 * chars);
    m_pos += 2 * chars;
    return true;
}

bool Cursor::bVarChar(QString& v)
{
    const int start = m_pos;
    quint8 n = 0;
    if (!u8(n) || !utf16(n, v)) {
        m_pos = start;
        return false;
    }
    return true;
}

bool Cursor::usVarChar(QString& v)
{
    const int start = m_pos;
    quint16 n = 0;
    if (!u16(n) || !utf16(n, v)) {
        m_pos = start;
        return false;
    }
    return true;
}

bool Cursor::bVarByte(QByteArray& v)
{
    const int start = m_pos;
    quint8 n = 0;
    if (!u8(n) || !bytes(n, v)) {
        m_pos = start;
        return false;
    }
    return true;
}

} // namespace standin::tds
