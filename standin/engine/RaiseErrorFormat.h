#pragma once
// RAISERROR's message text: printf-style conversion specifications filled from the arguments,
// as SQL Server formats them.
//
//   % [flag] [width] [.precision] [h | l | I64] type
//
// flags - + 0 # and blank; width and precision digits or * (taken from the next argument, which
// must be an integer); types d i (signed), u o x X (unsigned, 32 bits; h 16 bits, I64 64 bits) and
// s (text); %% is a percent sign. An argument that is missing or NULL prints as "(null)".

#include <QString>
#include <QVector>

namespace standin {

struct FormatArgument
{
    enum class Type { Null, Integer, Text, Binary, Unsupported };
    Type type = Type::Null;
    qint64 integer = 0;
    QString text; // Text: the value; Unsupported: the type's name (for 2748)
};

struct FormatResult
{
    QString text;
    // When non-zero the message cannot be built and this error is raised instead: 2748 (a type
    // that cannot be substituted; errorArgs: the type, RAISERROR's parameter number, from 4), 2786
    // (argument and specification do not match; the argument's number, from 1), 2787 (a
    // specification that is not one; the specification).
    int error = 0;
    QStringList errorArgs;
};

FormatResult formatRaiseError(const QString& format, const QVector<FormatArgument>& args);

// A message longer than RAISERROR keeps (2047 characters) is cut to 2044 and ends in "...".
QString limitRaiseErrorText(const QString& text);

} // namespace standin
