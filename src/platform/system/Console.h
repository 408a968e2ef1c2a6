#pragma once
// The terminal, for the command-line companion: a password typed without echo.

#include <QString>

namespace tp {

// Writes `prompt` to the terminal (standard error), reads one line from standard input with
// echo switched off, switches echo back on and ends the line. Returns false when standard
// input is not a terminal or the input ended before a line.
bool readPasswordNoEcho(const QString& prompt, QString* password);

// Reads one line from standard input (without its line end); false at end of input.
bool readLineFromStdin(QString* line);

} // namespace tp
