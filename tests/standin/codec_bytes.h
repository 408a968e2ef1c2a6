#pragma once
// Byte helpers the codec tests share: bytes written as hex text, UTF-16LE of a string, and
// COMPARE_BYTES, which on failure shows both buffers as hex from the first difference on.

#include "Wire.h"

#include <QByteArray>
#include <QString>
#include <QtTest>

namespace tp::test {

// The bytes of hex text such as "12 01 00 3A"; spaces are ignored.
inline QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

inline QByteArray utf16(const QString& s)
{
    QByteArray b;
    standin::tds::putUtf16(b, s);
    return b;
}

// A hex dump of both buffers from the first difference on, for failure messages.
inline QByteArray describeMismatch(const QByteArray& actual, const QByteArray& expected)
{
    int first = 0;
    while (first < actual.size() && first < expected.size() && actual[first] == expected[first])
        ++first;
    const int from = qMax(0, first - 8);
    return QStringLiteral("sizes %1 vs %2, first difference at offset %3\n actual:   %4\n expected: %5")
        .arg(actual.size())
        .arg(expected.size())
        .arg(first)
        .arg(QString::fromLatin1(actual.mid(from, 48).toHex(' ')),
            QString::fromLatin1(expected.mid(from, 48).toHex(' ')))
        .toUtf8();
}

} // namespace tp::test

#define COMPARE_BYTES(actual, expected)                                                                                \
    do {                                                                                                               \
        const QByteArray a_ = (actual);                                                                                \
        const QByteArray e_ = (expected);                                                                              \
        QVERIFY2(a_ == e_, ::tp::test::describeMismatch(a_, e_).constData());                                          \
    } while (false)
