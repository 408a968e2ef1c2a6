#pragma once
// The terminal, for the command-line companion: a password typed without echo, a line of
// standard input read as text, and Ctrl+C held back while a statement runs.

#include <QByteArray>
#include <QString>
#include <optional>

namespace tp {

enum class InputLine {
    Read, // a line was read and decoded
    Ended, // end of input before a line (or, for the prompt, standard input is no terminal)
    NotText, // the bytes are neither UTF-8 nor text of inputCodePage()
};

// Writes `prompt` to the terminal (standard error), reads one line from standard input with
// echo switched off, switches echo back on and ends the line. Ended when standard input is
// not a terminal or the input ended before a line. While the prompt waits, Ctrl+C (and on
// POSIX SIGQUIT and SIGTERM) switches echo back on, then ends the program: on POSIX as the
// signal ends it (a shell sees status 130 for Ctrl+C), on Windows with status 130.
InputLine readPasswordNoEcho(const QString& prompt, QString* password);

// Reads one line from standard input (without its line end), decoded by decodeInputLine()
// with inputCodePage(). While it waits, Ctrl+C ends the program as at the prompt.
InputLine readLineFromStdin(QString* line);

// The code page that input bytes which are not UTF-8 are read in: on Windows the console's
// input code page (GetConsoleCP), or the ANSI code page when there is no console; 0 elsewhere,
// where input is UTF-8 only.
unsigned inputCodePage();

// One line of input bytes as text, a UTF-8 byte order mark at its start left out: as UTF-8
// when the bytes are valid UTF-8; else, when `codePage` is not 0 (Windows only), in that code
// page, refusing bytes it has no character for. nullopt when neither reads the bytes.
std::optional<QString> decodeInputLine(const QByteArray& bytes, unsigned codePage);

// Ctrl+C ends the program with this status once it has stopped at a safe point.
constexpr int interruptedExitStatus = 130;

// While an InterruptDeferral lives, Ctrl+C (SIGINT on POSIX; Ctrl+C and Ctrl+Break of the
// console on Windows) does not end the program: it is recorded for requested(), and `notice`
// goes to standard error at the first one. The program asks requested() before each
// statement, so a statement the server is carrying out is always answered. A password prompt
// within the deferral still ends the program at once (nothing has been sent yet). Not nested.
class InterruptDeferral {
public:
    explicit InterruptDeferral(const QString& notice);
    ~InterruptDeferral();
    InterruptDeferral(const InterruptDeferral&) = delete;
    InterruptDeferral& operator=(const InterruptDeferral&) = delete;

    static bool requested();
};

} // namespace tp
