#pragma once
// Reading and writing the primitive fields of TDS: little- and big-endian integers,
// UTF-16LE text, B_VARCHAR / US_VARCHAR strings.
//
// Writers append to a QByteArray. The reader is a cursor over a complete buffer; every read
// returns false (and leaves the cursor where it was) when the buffer holds too few bytes.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace standin::tds {

void putU8(QByteArray& out, quint8 v);
void putU16(QByteArray& out, quint16 v);
void putU16BE(QByteArray& out, quint16 v);
void putU32(QByteArray& out, quint32 v);
void putU32BE(QByteArray& out, quint32 v);
void putU64(QByteArray& out, quint64 v);
// UTF-16LE code units of `text`, no length, no terminator.
void putUtf16(QByteArray& out, const QString& text);
// One-byte character count + UTF-16LE. Longer text is cut at 255 characters.
void putBVarChar(QByteArray& out, const QString& text);
// Two-byte character count + UTF-16LE. Longer text is cut at 65535 characters.
void putUsVarChar(QByteArray& out, const QString& text);
// One-byte byte count + bytes (at most 255).
void putBVarByte(QByteArray& out, const QByteArray& bytes);
// Overwrites a little-endian u16 at `pos` (for lengths known only after the body is written).
void patchU16(QByteArray& out, int pos, quint16 v);
void patchU32(QByteArray& out, int pos, quint32 v);

QString fromUtf16Le(const char* data, int byteCount);

class Cursor
{
public:
    explicit Cursor(const QByteArray& data, int start = 0, int end = -1);

    int pos() const { return m_pos; }
    int end() const { return m_end; }
    int remaining() const { return m_end - m_pos; }
    bool atEnd() const { return m_pos >= m_end; }

    bool u8(quint8& v);
    bool peekU8(quint8& v) const;
    bool u16(quint16& v);
    bool u16BE(quint16& v);
    bool u32(quint32& v);
    bool u32BE(quint32& v);
    bool i32(qint32& v);
    bool u64(quint64& v);
    bool bytes(int count, QByteArray& v);
    bool skip(int count);
    bool utf16(int chars, QString& v);
    bool bVarChar(QString& v);
    bool usVarChar(QString& v);
    bool bVarByte(QByteArray& v);

private:
    const QByteArray& m_data;
    int m_pos;
    int m_end;
};

} // namespace standin::tds
