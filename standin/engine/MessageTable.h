#pragma once
// Every message the stand-in sends: number, severity, state and text, per server version.
// The texts, states and version splits are in one table in MessageTable.cpp, with the facts
// that are not confirmed marked there, so that a correction is one line.

#include "Reply.h"

#include <QStringList>

namespace standin {

// The message `number` as a server of major version `version` words it, with %1, %2 ...
// replaced by `args` in one pass (an argument containing "%1" stays as it is).
// An unknown number gives a severity 16 message saying so, never an empty one.
Message serverMessage(int number, int version, const QStringList& args = {});

// Whether the message table holds `number` (RAISERROR of a server message).
bool hasServerMessage(int number);

// Text of an operating system error as SQL Server quotes it inside 5120/5133: "2(The system
// cannot find the file specified.)".
// Operating system errors the stand-in knows: 2, 3, 4, 5, 19, 32, 80, 112, 206, 1117; any other
// number is reported as 5. Never a C library string.
QString osErrorText(int osError);

// The Windows error (as SQL Server quotes it) for a POSIX errno: EACCES/EPERM 5, ENOENT 2,
// ENOTDIR 3, EBUSY 32, EEXIST 80, ENOSPC 112, EROFS 19, EIO 1117, anything else 5.
int windowsError(int posixErrno);

// The parser's "Incorrect syntax near" error: 102 from 2005 on, 170 with the line on 2000.
Message syntaxErrorNear(int version, const QString& token, int line);

} // namespace standin
