#pragma once
// Text for standard output and standard error of the command line. A Windows console takes
// the text as UTF-16 (WriteConsoleW), so Chinese reads right whatever the console's code page
// (936 on a Chinese Windows); a pipe, a file, or any terminal elsewhere gets UTF-8 bytes.

#include <QString>
#include <QStringList>

namespace tp {

enum class StdStream { Output, Error };

// Writes `text` to the stream and flushes it. Lines end in "\n"; a Windows console and the
// C runtime's text mode on Windows make them CR LF.
void writeText(StdStream stream, const QString& text);

// True once a write to the stream has failed (a pipe whose reader has gone, a full disk):
// what was written after that is lost, and the program has not said everything it meant to.
bool outputFailed(StdStream stream);

// Makes a write into a pipe whose reader has gone fail (outputFailed) instead of ending the
// program with SIGPIPE, so that a command finishes the work it has begun. Nothing to do on
// Windows, where such a write fails all the same.
void ignoreBrokenPipe();

// True when the stream is a Windows console (GetConsoleMode succeeds on its handle), so that
// writeText() hands it UTF-16; always false elsewhere.
bool isWindowsConsole(StdStream stream);

// The pieces writeText() hands a console, in order: "\n" turned into "\r\n" (a "\r\n" already
// there is kept as it is), each piece at most `maxUnits` UTF-16 units (at least 2), a
// surrogate pair never split between two pieces. Empty for an empty text.
QStringList consoleChunks(const QString& text, qsizetype maxUnits);

} // namespace tp
