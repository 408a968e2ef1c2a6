#pragma once
// The result of decoding: a value, "need more bytes" (only where input can be incomplete,
// as in the packet reader) or an error with a short description.

#include <QString>
#include <utility>

namespace standin::tds {

enum class DecodeStatus { Ok, NeedMore, Error };

template <typename T> struct Decoded
{
    DecodeStatus status = DecodeStatus::Error;
    T value {};
    QString error;

    bool ok() const { return status == DecodeStatus::Ok; }

    static Decoded success(T v)
    {
        Decoded d;
        d.status = DecodeStatus::Ok;
        d.value = std::move(v);
        return d;
    }
    static Decoded failure(QString why)
    {
        Decoded d;
        d.status = DecodeStatus::Error;
        d.error = std::move(why);
        return d;
    }
    static Decoded needMore()
    {
        Decoded d;
        d.status = DecodeStatus::NeedMore;
        return d;
    }
};

} // namespace standin::tds
