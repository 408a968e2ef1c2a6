#include "TypeInfo.h"

#include "TdsProtocol.h"

#include <QDateTime>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cstring>
#include <limits>

namespace standin::tds {

namespace {

    // Code page 1252 differs from Latin-1 only in 0x80..0x9F.
    const char16_t cp1252High[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, //
    };

    bool isCp1252(const QByteArray& collation)
    {
        return codePageOfCollation(collation) == "windows-1252";
    }

    QString utf16Of(const QByteArray& bytes)
    {
        return fromUtf16Le(bytes.constData(), int(bytes.size()));
    }

    QByteArray utf16Bytes(const QString& text)
    {
        QByteArray b;
        putUtf16(b, text);
        return b;
    }

    bool readIntBytes(Cursor& c, int size, bool unsignedValue, qint64& v)
    {
        QByteArray b;
        if (!c.bytes(size, b))
            return false;
        quint64 u = 0;
        for (int i = 0; i < size; ++i)
            u |= quint64(quint8(b[i])) << (8 * i);
        if (!unsignedValue && size < 8 && (u >> (8 * size - 1)) & 1)
            u |= ~quint64(0) << (8 * size); // sign-extend
        v = qint64(u);
        return true;
    }

    void putIntBytes(QByteArray& out, int size, qint64 v)
    {
        for (int i = 0; i < size; ++i)
            out.append(char((quint64(v) >> (8 * i)) & 0xFF));
    }

    qint64 cellInt(const Cell& value)
    {
        if (const auto* i = std::get_if<qint64>(&value))
            return *i;
        if (const auto* s = std::get_if<QString>(&value))
            return s->trimmed().toLongLong();
        return 0;
    }

    DateTimeValue cellDateTime(const Cell& value)
    {
        if (const auto* d = std::get_if<DateTimeValue>(&value))
            return *d;
        return DateTimeValue();
    }

    QByteArray cellBytes(const Cell& value)
    {
        if (const auto* b = std::get_if<QByteArray>(&value))
            return *b;
        if (const auto* s = std::get_if<QString>(&value))
            return utf16Bytes(*s);
        return QByteArray();
    }

    bool readPlp(Cursor& c, QByteArray& data, bool& isNull, QString& error)
    {
        quint64 total = 0;
        if (!c.u64(total)) {
            error = QStringLiteral("PLP length is cut short");
            return false;
        }
        isNull = total == plpNull;
        data.clear();
        if (isNull)
            return true;
        if (total != plpUnknownLength && total > quint64(c.remaining())) {
            error = QStringLiteral("PLP length %1 runs past the end of the message").arg(total);
            return false;
        }
        for (;;) {
            quint32 chunk = 0;
            if (!c.u32(chunk)) {
                error = QStringLiteral("PLP chunk header is cut short");
                return false;
            }
            if (chunk == 0)
                break;
            QByteArray part;
            if (chunk > quint32(c.remaining()) || !c.bytes(int(chunk), part)) {
                error = QStringLiteral("PLP chunk runs past the end of the message");
                return false;
            }
            data.append(part);
        }
        if (total != plpUnknownLength && quint64(data.size()) != total) {
            error = QStringLiteral("PLP chunks hold %1 bytes, the length said %2").arg(data.size()).arg(total);
            return false;
        }
        return true;
    }

    void putPlp(QByteArray& out, const QByteArray* data)
    {
        if (!data) {
            putU64(out, plpNull);
            return;
        }
        putU64(out, quint64(data->size()));
        if (!data->isEmpty()) {
            putU32(out, quint32(data->size()));
            out.append(*data);
        }
        putU32(out, 0);
    }

    // Text or binary payload of a character/binary type in its on-wire form.
    QByteArray wireBytesOf(const TypeInfo& info, const Cell& value)
    {
        switch (info.type) {
        case TypeNVarChar:
        case TypeNChar:
        case TypeNText:
            return utf16Bytes(cellText(value));
        case TypeBigVarChar:
        case TypeBigChar:
        case TypeText:
            return encodeCodePage(cellText(value), info.collation);
        default:
            return cellBytes(value);
        }
    }

    Cell cellOfWireBytes(const TypeInfo& info, const QByteArray& bytes)
    {
        switch (info.type) {
        case TypeNVarChar:
        case TypeNChar:
        case TypeNText:
            return utf16Of(bytes);
        case TypeBigVarChar:
        case TypeBigChar:
        case TypeText:
            return decodeCodePage(bytes, info.collation);
        default:
            return bytes;
        }
    }

    bool readVariant(Cursor& c, Cell& value, QString& error)
    {
        quint32 total = 0;
        if (!c.u32(total)) {
            error = QStringLiteral("sql_variant length is cut short");
            return false;
        }
        if (total == 0) {
            value = std::monostate();
            return true;
        }
        if (total < 2 || total > quint32(c.remaining())) {
            error = QStringLiteral("sql_variant length %1 does not fit").arg(total);
            return false;
        }
        quint8 base = 0;
        quint8 propBytes = 0;
        c.u8(base);
        c.u8(propBytes);
        if (quint32(propBytes) + 2 > total) {
            error = QStringLiteral("sql_variant properties run past its value");
            return false;
        }
        QByteArray props;
        QByteArray data;
        c.bytes(propBytes, props);
        c.bytes(int(total - 2 - propBytes), data);
        TypeInfo inner;
        inner.type = base;
        switch (base) {
        case TypeInt1:
        case TypeInt2:
        case TypeInt4:
        case TypeInt8:
        case TypeBit: {
            const int size = base == TypeInt1 || base == TypeBit ? 1 : base == TypeInt2 ? 2 : base == TypeInt4 ? 4 : 8;
            if (data.size() != size) {
                error = QStringLiteral("sql_variant integer of %1 bytes").arg(data.size());
                return false;
            }
            Cursor dc(data);
            qint64 v = 0;
            readIntBytes(dc, size, base == TypeInt1 || base == TypeBit, v);
            value = v;
            return true;
        }
        case TypeDateTime: {
            if (data.size() != 8) {
                error = QStringLiteral("sql_variant datetime of %1 bytes").arg(data.size());
                return false;
            }
            Cursor dc(data);
            DateTimeValue d;
            dc.i32(d.days);
            dc.u32(d.ticks);
            value = d;
            return true;
        }
        case TypeNVarChar:
        case TypeNChar:
        case TypeBigVarChar:
        case TypeBigChar:
            if (props.size() != 7) {
                error = QStringLiteral("sql_variant text with %1 property bytes").arg(props.size());
                return false;
            }
            inner.collation = props.left(5);
            if ((base == TypeNVarChar || base == TypeNChar) && data.size() % 2) {
                error = QStringLiteral("sql_variant UTF-16 text of odd length");
                return false;
            }
            value = cellOfWireBytes(inner, data);
            return true;
        case TypeBigVarBinary:
        case TypeBigBinary:
            value = data;
            return true;
        default:
            error = QStringLiteral("sql_variant base type 0x%1 is not supported").arg(base, 2, 16, QLatin1Char('0'));
            return false;
        }
    }

    void putVariant(QByteArray& out, const Cell& value)
    {
        if (std::holds_alternative<std::monostate>(value)) {
            putU32(out, 0);
            return;
        }
        QByteArray body;
        if (const auto* i = std::get_if<qint64>(&value)) {
            if (*i >= std::numeric_limits<qint32>::min() && *i <= std::numeric_limits<qint32>::max()) {
                putU8(body, TypeInt4);
                putU8(body, 0);
                putIntBytes(body, 4, *i);
            } else {
                putU8(body, TypeInt8);
                putU8(body, 0);
                putIntBytes(body, 8, *i);
            }
        } else if (const auto* s = std::get_if<QString>(&value)) {
            const QByteArray text = utf16Bytes(s->left(4000));
            putU8(body, TypeNVarChar);
            putU8(body, 7);
            body.append(serverCollation());
            // The declared length of the nvarchar inside: sysname-sized values as nvarchar(128).
            putU16(body, quint16(qMax<qsizetype>(256, text.size())));
            body.append(text);
        } else if (const auto* b = std::get_if<QByteArray>(&value)) {
            const QByteArray bytes = b->left(8000);
            putU8(body, TypeBigVarBinary);
            putU8(body, 2);
            putU16(body, quint16(qMax<qsizetype>(1, bytes.size())));
            body.append(bytes);
        } else if (const auto* d = std::get_if<DateTimeValue>(&value)) {
            putU8(body, TypeDateTime);
            putU8(body, 0);
            putU32(body, quint32(d->days));
            putU32(body, d->ticks);
        }
        putU32(out, quint32(body.size()));
        out.append(body);
    }

} // namespace

bool TypeInfo::isPlp() const
{
    switch (type) {
    case TypeNVarChar:
    case TypeNChar:
    case TypeBigVarChar:
    case TypeBigChar:
    case TypeBigVarBinary:
    case TypeBigBinary:
        return maxLength == plpMaxLength;
    default:
        return false;
    }
}

bool isCharacterType(quint8 type)
{
    switch (type) {
    case TypeNVarChar:
    case TypeNChar:
    case TypeBigVarChar:
    case TypeBigChar:
    case TypeNText:
    case TypeText:
        return true;
    default:
        return false;
    }
}

QString cellText(const Cell& value)
{
    if (const auto* s = std::get_if<QString>(&value))
        return *s;
    if (const auto* i = std::get_if<qint64>(&value))
        return QString::number(*i);
    if (const auto* b = std::get_if<QByteArray>(&value))
        return QString::fromLatin1(b->toHex());
    return QString();
}

QString decodeCodePage(const QByteArray& bytes, const QByteArray& collation)
{
    if (isCp1252(collation)) {
        QString s;
        s.reserve(bytes.size());
        for (char ch : bytes) {
            const quint8 b = quint8(ch);
            s.append(b >= 0x80 && b < 0xA0 ? QChar(cp1252High[b - 0x80]) : QChar(b));
        }
        return s;
    }
    QStringDecoder decoder(codePageOfCollation(collation).constData());
    if (decoder.isValid())
        return decoder.decode(bytes);
    return QString::fromLatin1(bytes);
}

QByteArray encodeCodePage(const QString& text, const QByteArray& collation)
{
    if (isCp1252(collation)) {
        QByteArray out;
        out.reserve(text.size());
        for (QChar c : text) {
            const char16_t u = c.unicode();
            char b = '?';
            if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
                b = char(u);
            } else {
                for (int i = 0; i < 32; ++i) {
                    if (cp1252High[i] == u) {
                        b = char(0x80 + i);
                        break;
                    }
                }
            }
            out.append(b);
        }
        return out;
    }
    QStringEncoder encoder(codePageOfCollation(collation).constData());
    if (encoder.isValid())
        return encoder.encode(text);
    return text.toLatin1();
}

bool readTypeInfo(Cursor& c, quint32 tdsVersion, bool inColumnMetadata, TypeInfo& info, QString& error)
{
    auto cut = [&error]() {
        error = QStringLiteral("TYPE_INFO is cut short");
        return false;
    };
    info = TypeInfo();
    if (!c.u8(info.type))
        return cut();
    quint8 b = 0;
    quint16 w = 0;
    switch (info.type) {
    case TypeInt1:
    case TypeBit:
        info.maxLength = 1;
        return true;
    case TypeInt2:
        info.maxLength = 2;
        return true;
    case TypeInt4:
        info.maxLength = 4;
        return true;
    case TypeInt8:
    case TypeDateTime:
    case TypeFloat8:
        info.maxLength = 8;
        return true;
    case TypeIntN:
    case TypeBitN:
    case TypeFloatN:
    case TypeDateTimeN:
    case TypeGuid: {
        if (!c.u8(b))
            return cut();
        info.maxLength = b;
        const bool fits = (info.type == TypeIntN && (b == 1 || b == 2 || b == 4 || b == 8))
            || (info.type == TypeBitN && b == 1) || (info.type == TypeFloatN && (b == 4 || b == 8))
            || (info.type == TypeDateTimeN && (b == 4 || b == 8)) || (info.type == TypeGuid && b == 16);
        if (!fits) {
            error = QStringLiteral("type 0x%1 with size %2").arg(info.type, 2, 16, QLatin1Char('0')).arg(b);
            return false;
        }
        return true;
    }
    case TypeNVarChar:
    case TypeNChar:
    case TypeBigVarChar:
    case TypeBigChar:
    case TypeBigVarBinary:
    case TypeBigBinary:
        if (!c.u16(w))
            return cut();
        info.maxLength = w;
        if (isCharacterType(info.type) && is71OrLater(tdsVersion) && !c.bytes(5, info.collation))
            return cut();
        if (info.maxLength == plpMaxLength && !is72OrLater(tdsVersion)) {
            error = QStringLiteral("a (max) type before TDS 7.2");
            return false;
        }
        return true;
    case TypeNText:
    case TypeText: {
        if (!c.u32(info.maxLength))
            return cut();
        if (is71OrLater(tdsVersion) && !c.bytes(5, info.collation))
            return cut();
        if (inColumnMetadata) {
            quint8 parts = 1;
            if (is72OrLater(tdsVersion) && !c.u8(parts))
                return cut();
            for (int i = 0; i < parts; ++i) {
                QString part;
                if (!c.usVarChar(part))
                    return cut();
            }
        }
        return true;
    }
    case TypeVariant:
        if (!c.u32(info.maxLength))
            return cut();
        return true;
    case TypeDateTimeOffsetN:
        if (!c.u8(info.scale))
            return cut();
        if (info.scale > 7) {
            error = QStringLiteral("datetimeoffset with scale %1").arg(info.scale);
            return false;
        }
        info.maxLength = 10;
        return true;
    default:
        error = QStringLiteral("data type 0x%1 is not supported").arg(info.type, 2, 16, QLatin1Char('0'));
        return false;
    }
}

void putTypeInfo(QByteArray& out, const TypeInfo& info, quint32 tdsVersion)
{
    putU8(out, info.type);
    switch (info.type) {
    case TypeIntN:
    case TypeBitN:
    case TypeFloatN:
    case TypeDateTimeN:
    case TypeGuid:
        putU8(out, quint8(info.maxLength));
        break;
    case TypeNVarChar:
    case TypeNChar:
    case TypeBigVarChar:
    case TypeBigChar:
    case TypeBigVarBinary:
    case TypeBigBinary:
        putU16(out, quint16(info.maxLength));
        if (isCharacterType(info.type) && is71OrLater(tdsVersion))
            out.append(info.collation.leftJustified(5, '\0', true));
        break;
    case TypeNText:
    case TypeText:
        putU32(out, info.maxLength);
        if (is71OrLater(tdsVersion))
            out.append(info.collation.leftJustified(5, '\0', true));
        break;
    case TypeVariant:
        putU32(out, info.maxLength);
        break;
    case TypeDateTimeOffsetN:
        putU8(out, info.scale);
        break;
    default:
        break; // fixed-size types: the type byte is all
    }
}

bool readValue(Cursor& c, const TypeInfo& info, Cell& value, QString& error)
{
    auto cut = [&error]() {
        error = QStringLiteral("value is cut short");
        return false;
    };
    value = std::monostate();
    qint64 v = 0;
    switch (info.type) {
    case TypeInt1:
    case TypeBit:
    case TypeInt2:
    case TypeInt4:
    case TypeInt8:
        if (!readIntBytes(c, int(info.maxLength), info.type == TypeInt1 || info.type == TypeBit, v))
            return cut();
        value = v;
        return true;
    case TypeIntN:
    case TypeBitN: {
        quint8 n = 0;
        if (!c.u8(n))
            return cut();
        if (n == 0)
            return true;
        if (n != info.maxLength) {
            error = QStringLiteral("value of %1 bytes for a type of %2").arg(n).arg(info.maxLength);
            return false;
        }
        if (!readIntBytes(c, n, n == 1, v))
            return cut();
        value = v;
        return true;
    }
    case TypeFloat8:
    case TypeFloatN: {
        quint8 n = 8;
        if (info.type == TypeFloatN && !c.u8(n))
            return cut();
        if (n == 0)
            return true;
        if (n != 4 && n != 8) {
            error = QStringLiteral("float of %1 bytes").arg(n);
            return false;
        }
        if (!readIntBytes(c, n, true, v))
            return cut();
        double d = 0;
        if (n == 4) {
            const quint32 bits = quint32(v);
            float f = 0;
            std::memcpy(&f, &bits, 4);
            d = f;
        } else {
            std::memcpy(&d, &v, 8);
        }
        value = QString::number(d, 'g', n == 4 ? 9 : 17);
        return true;
    }
    case TypeDateTimeOffsetN: {
        quint8 n = 0;
        if (!c.u8(n))
            return cut();
        if (n == 0)
            return true;
        const int timeBytes = info.scale <= 2 ? 3 : (info.scale <= 4 ? 4 : 5);
        if (n != timeBytes + 5)
            return cut();
        quint64 units = 0;
        for (int i = 0; i < timeBytes; ++i) {
            quint8 b = 0;
            if (!c.u8(b))
                return cut();
            units |= quint64(b) << (8 * i);
        }
        quint32 days = 0;
        for (int i = 0; i < 3; ++i) {
            quint8 b = 0;
            if (!c.u8(b))
                return cut();
            days |= quint32(b) << (8 * i);
        }
        quint16 offset = 0;
        if (!c.u16(offset))
            return cut();
        qint64 perSecond = 1;
        for (int i = 0; i < info.scale; ++i)
            perSecond *= 10;
        // UTC on the wire; the value keeps the local time of its offset.
        const QDateTime utc(
            QDate(1, 1, 1).addDays(days), QTime(0, 0).addMSecs(qint64(units * 1000 / perSecond)), Qt::UTC);
        const qint16 minutes = qint16(offset);
        const QDateTime local = utc.addSecs(qint64(minutes) * 60);
        DateTimeValue d;
        d.days = qint32(QDate(1900, 1, 1).daysTo(local.date()));
        d.ticks = quint32(qint64(local.time().msecsSinceStartOfDay()) * 300 / 1000);
        d.offsetMinutes = minutes;
        value = d;
        return true;
    }
    case TypeDateTime:
    case TypeDateTimeN: {
        quint8 n = 8;
        if (info.type == TypeDateTimeN && !c.u8(n))
            return cut();
        if (n == 0)
            return true;
        DateTimeValue d;
        if (n == 8) {
            if (!c.i32(d.days) || !c.u32(d.ticks))
                return cut();
        } else if (n == 4) { // smalldatetime: days, minutes
            quint16 days = 0;
            quint16 minutes = 0;
            if (!c.u16(days) || !c.u16(minutes))
                return cut();
            d.days = days;
            d.ticks = quint32(minutes) * 60 * 300;
        } else {
            error = QStringLiteral("datetime of %1 bytes").arg(n);
            return false;
        }
        value = d;
        return true;
    }
    case TypeGuid: {
        quint8 n = 0;
        QByteArray b;
        if (!c.u8(n))
            return cut();
        if (n == 0)
            return true;
        if (n != 16 || !c.bytes(16, b))
            return cut();
        value = b;
        return true;
    }
    case TypeNVarChar:
    case TypeNChar:
    case TypeBigVarChar:
    case TypeBigChar:
    case TypeBigVarBinary:
    case TypeBigBinary: {
        QByteArray data;
        if (info.isPlp()) {
            bool isNull = false;
            if (!readPlp(c, data, isNull, error))
                return false;
            if (isNull)
                return true;
        } else {
            quint16 n = 0;
            if (!c.u16(n))
                return cut();
            if (n == 0xFFFF)
                return true;
            if (n > 8000) {
                error = QStringLiteral("value of %1 bytes in a non-(max) type").arg(n);
                return false;
            }
            if (!c.bytes(n, data))
                return cut();
        }
        if ((info.type == TypeNVarChar || info.type == TypeNChar) && data.size() % 2) {
            error = QStringLiteral("UTF-16 text of odd length");
            return false;
        }
        value = cellOfWireBytes(info, data);
        return true;
    }
    case TypeNText:
    case TypeText: {
        quint32 n = 0;
        if (!c.u32(n))
            return cut();
        if (n == 0xFFFFFFFF)
            return true;
        QByteArray data;
        if (n > quint32(c.remaining()) || !c.bytes(int(n), data))
            return cut();
        if (info.type == TypeNText && data.size() % 2) {
            error = QStringLiteral("UTF-16 text of odd length");
            return false;
        }
        value = cellOfWireBytes(info, data);
        return true;
    }
    case TypeVariant:
        return readVariant(c, value, error);
    default:
        error = QStringLiteral("data type 0x%1 is not supported").arg(info.type, 2, 16, QLatin1Char('0'));
        return false;
    }
}

void putValue(QByteArray& out, const TypeInfo& info, const Cell& value)
{
    const bool isNull = std::holds_alternative<std::monostate>(value);
    switch (info.type) {
    case TypeInt1:
    case TypeBit:
    case TypeInt2:
    case TypeInt4:
    case TypeInt8:
        putIntBytes(out, int(info.maxLength), isNull ? 0 : cellInt(value));
        return;
    case TypeIntN:
    case TypeBitN:
        if (isNull) {
            putU8(out, 0);
        } else {
            putU8(out, quint8(info.maxLength));
            putIntBytes(out, int(info.maxLength), cellInt(value));
        }
        return;
    case TypeFloat8:
    case TypeFloatN: {
        if (info.type == TypeFloatN) {
            if (isNull) {
                putU8(out, 0);
                return;
            }
            putU8(out, quint8(info.maxLength));
        }
        const double d
            = std::holds_alternative<qint64>(value) ? double(std::get<qint64>(value)) : cellText(value).toDouble();
        if (info.maxLength == 4) {
            const float f = float(d);
            quint32 bits = 0;
            std::memcpy(&bits, &f, 4);
            putU32(out, bits);
        } else {
            quint64 bits = 0;
            std::memcpy(&bits, &d, 8);
            putU64(out, bits);
        }
        return;
    }
    case TypeDateTimeOffsetN: {
        if (isNull) {
            putU8(out, 0);
            return;
        }
        // scale 7 (100 ns units): time 5 bytes, date 3 bytes, offset 2 bytes; time and date in UTC.
        const DateTimeValue d = cellDateTime(value);
        const QDateTime local(
            QDate(1900, 1, 1).addDays(d.days), QTime(0, 0).addMSecs(qint64(d.ticks) * 1000 / 300), Qt::UTC);
        const QDateTime utc = local.addSecs(-qint64(d.offsetMinutes) * 60);
        const quint64 units = quint64(utc.time().msecsSinceStartOfDay()) * 10000;
        const quint32 days = quint32(QDate(1, 1, 1).daysTo(utc.date()));
        putU8(out, 10);
        for (int i = 0; i < 5; ++i)
            putU8(out, quint8(units >> (8 * i)));
        for (int i = 0; i < 3; ++i)
            putU8(out, quint8(days >> (8 * i)));
        putU16(out, quint16(d.offsetMinutes));
        return;
    }
    case TypeDateTime:
    case TypeDateTimeN: {
        const DateTimeValue d = cellDateTime(value);
        if (info.type == TypeDateTimeN) {
            if (isNull) {
                putU8(out, 0);
                return;
            }
            putU8(out, quint8(info.maxLength));
            if (info.maxLength == 4) {
                putU16(out, quint16(d.days));
                putU16(out, quint16(d.ticks / 300 / 60));
                return;
            }
        }
        putU32(out, quint32(d.days));
        putU32(out, d.ticks);
        return;
    }
    case TypeGuid:
        if (isNull) {
            putU8(out, 0);
        } else {
            putU8(out, 16);
            out.append(cellBytes(value).leftJustified(16, '\0', true));
        }
        return;
    case TypeNVarChar:
    case TypeNChar:
    case TypeBigVarChar:
    case TypeBigChar:
    case TypeBigVarBinary:
    case TypeBigBinary: {
        if (info.isPlp()) {
            const QByteArray data = wireBytesOf(info, value);
            putPlp(out, isNull ? nullptr : &data);
            return;
        }
        if (isNull) {
            putU16(out, 0xFFFF);
            return;
        }
        QByteArray data = wireBytesOf(info, value);
        const int limit = int(qMin<quint32>(info.maxLength, 8000));
        if (data.size() > limit)
            data.truncate(limit & ~((info.type == TypeNVarChar || info.type == TypeNChar) ? 1 : 0));
        putU16(out, quint16(data.size()));
        out.append(data);
        return;
    }
    case TypeNText:
    case TypeText:
        if (isNull) {
            putU32(out, 0xFFFFFFFF);
        } else {
            const QByteArray data = wireBytesOf(info, value);
            putU32(out, quint32(data.size()));
            out.append(data);
        }
        return;
    case TypeVariant:
        putVariant(out, value);
        return;
    default:
        return;
    }
}

QString dateTimeOffsetText(const DateTimeValue& value)
{
    const QDateTime local(
        QDate(1900, 1, 1).addDays(value.days), QTime(0, 0).addMSecs(qint64(value.ticks) * 1000 / 300), Qt::UTC);
    const int minutes = qAbs(int(value.offsetMinutes));
    return local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + QStringLiteral("0000 ")
        + (value.offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace standin::tds
