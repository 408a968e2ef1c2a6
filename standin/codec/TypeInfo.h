#pragma once
// TYPE_INFO (the type description in COLMETADATA, RETURNVALUE and RPC parameters) and the
// value encodings that go with it.

#include "../engine/Reply.h"
#include "Wire.h"

#include <QByteArray>
#include <QString>

namespace standin::tds {

struct TypeInfo
{
    quint8 type = 0; // one of DataType
    quint32 maxLength = 0; // INTN/BITN/FLTN/DATETIMN: value size; strings and binaries: bytes
    QByteArray collation; // 5 bytes for character types from 7.1 on
    quint8 precision = 0;
    quint8 scale = 0;
    bool isPlp() const; // (max) type: value chunked (7.2+)
};

constexpr quint32 plpMaxLength = 0xFFFF;
constexpr quint64 plpNull = 0xFFFFFFFFFFFFFFFFull;
constexpr quint64 plpUnknownLength = 0xFFFFFFFFFFFFFFFEull;
constexpr quint32 variantMaxLength = 8016;

bool isCharacterType(quint8 type);

// TYPE_INFO after the type byte. `inColumnMetadata`: TEXT/NTEXT/IMAGE then also carry a table
// name, which is read and dropped. Returns false with `error` set on a type the codec does
// not know or on a cut-short buffer.
bool readTypeInfo(Cursor& c, quint32 tdsVersion, bool inColumnMetadata, TypeInfo& info, QString& error);
void putTypeInfo(QByteArray& out, const TypeInfo& info, quint32 tdsVersion);

// Reads one value of `info`'s type. Text arrives as QString, integers and bits as qint64,
// binaries as QByteArray, DATETIME/DATETIMN as DateTimeValue, floats as their text.
bool readValue(Cursor& c, const TypeInfo& info, Cell& value, QString& error);
// Writes one value. A NULL for a type that has no NULL form (the fixed-size types) is written
// as zero. Text longer than a non-(max) type allows is cut at the maximum length.
void putValue(QByteArray& out, const TypeInfo& info, const Cell& value);

// Single-byte text in the code page of a collation (code page 1252 is built in; other code
// pages go through Qt's converters when available, else Latin-1).
QString decodeCodePage(const QByteArray& bytes, const QByteArray& collation);
QByteArray encodeCodePage(const QString& text, const QByteArray& collation);

// A cell's value as text (for string types given an integer, and similar).
QString cellText(const Cell& value);

// A DateTimeValue as SQL Server writes a datetimeoffset(7) for clients before TDS 7.3:
// "2024-05-06 07:08:09.1230000 +02:00".
QString dateTimeOffsetText(const DateTimeValue& value);

} // namespace standin::tds
