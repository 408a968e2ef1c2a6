#include "Console.h"

#include "ConsoleOutput.h"

#include <QStringDecoder>
#include <atomic>
#include <csignal>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace tp {

namespace {

    // Set while a prompt or a line of standard input is read: Ctrl+C then ends the program at
    // once, first restoring the terminal when g_restoreTerminal says so.
    std::atomic<bool> g_endsAtOnce { false };
    std::atomic<bool> g_restoreTerminal { false };
    std::atomic<bool> g_deferring { false };
    std::atomic<bool> g_requested { false };
    static_assert(std::atomic<bool>::is_always_lock_free, "the flags are read in a signal handler");

#ifdef Q_OS_WIN
    HANDLE g_promptInput = nullptr;
    DWORD g_promptMode = 0;
    QString g_notice;

    BOOL WINAPI onConsoleControl(DWORD type)
    {
        if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
            return FALSE;
        if (g_endsAtOnce) {
            if (g_restoreTerminal)
                SetConsoleMode(g_promptInput, g_promptMode);
            writeText(StdStream::Error, QStringLiteral("\n"));
            // Not left to the default handling, whose status is not the same everywhere (0 under wine).
            ExitProcess(UINT(interruptedExitStatus));
        }
        if (g_deferring) {
            if (!g_requested.exchange(true))
                writeText(StdStream::Error, g_notice);
            return TRUE;
        }
        return FALSE;
    }

    void installHandler()
    {
        static const bool installed = SetConsoleCtrlHandler(onConsoleControl, TRUE) != 0;
        Q_UNUSED(installed)
    }
#else
    termios g_promptTerminal {};
    char g_notice[2048];
    size_t g_noticeLength = 0;

    void onSignal(int signal)
    {
        if (g_endsAtOnce) {
            if (g_restoreTerminal)
                tcsetattr(STDIN_FILENO, TCSANOW, &g_promptTerminal);
            const ssize_t ignored = write(STDERR_FILENO, "\n", 1);
            Q_UNUSED(ignored)
        } else if (signal == SIGINT && g_deferring) {
            if (!g_requested.exchange(true)) {
                const ssize_t ignored = write(STDERR_FILENO, g_notice, g_noticeLength);
                Q_UNUSED(ignored)
            }
            return;
        }
        // As if there were no handler: the signal, blocked until this returns, ends the program.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }

    // Once per run, for the signals that end a prompt; a signal the program was started with
    // ignored stays ignored.
    void installHandler()
    {
        static const bool installed = [] {
            for (const int s : { SIGINT, SIGQUIT, SIGTERM }) {
                struct sigaction old {};
                if (sigaction(s, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
                    continue;
                struct sigaction sa {};
                sa.sa_handler = onSignal;
                sa.sa_flags = SA_RESTART;
                sigemptyset(&sa.sa_mask);
                sigaddset(&sa.sa_mask, SIGINT);
                sigaddset(&sa.sa_mask, SIGQUIT);
                sigaddset(&sa.sa_mask, SIGTERM);
                sigaction(s, &sa, nullptr);
            }
            return true;
        }();
        Q_UNUSED(installed)
    }
#endif

    // Marks a read of input for the handler while it lives.
    class EndsAtOnce {
    public:
        explicit EndsAtOnce(bool restoreTerminal)
        {
            installHandler();
            g_restoreTerminal = restoreTerminal;
            g_endsAtOnce = true;
        }
        ~EndsAtOnce()
        {
            g_endsAtOnce = false;
            g_restoreTerminal = false;
        }
        EndsAtOnce(const EndsAtOnce&) = delete;
        EndsAtOnce& operator=(const EndsAtOnce&) = delete;
    };

    InputLine readRawLine(QString* line)
    {
        std::string s;
        if (!std::getline(std::cin, s))
            return InputLine::Ended;
        if (!s.empty() && s.back() == '\r')
            s.pop_back();
        const std::optional<QString> text
            = decodeInputLine(QByteArray(s.data(), qsizetype(s.size())), inputCodePage());
        if (!text)
            return InputLine::NotText;
        *line = *text;
        return InputLine::Read;
    }

} // namespace

std::optional<QString> decodeInputLine(const QByteArray& bytes, unsigned codePage)
{
    QByteArray b = bytes;
    if (b.startsWith("\xEF\xBB\xBF"))
        b.remove(0, 3);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(b);
    if (!utf8.hasError())
        return text;
#ifdef Q_OS_WIN
    if (codePage != 0) {
        if (b.isEmpty())
            return QString();
        DWORD flags = MB_ERR_INVALID_CHARS;
        int n = MultiByteToWideChar(codePage, flags, b.constData(), int(b.size()), nullptr, 0);
        if (n == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
            // Code pages that take no flags (ISO-2022 and others) still decode.
            flags = 0;
            n = MultiByteToWideChar(codePage, flags, b.constData(), int(b.size()), nullptr, 0);
        }
        if (n > 0) {
            QString out(n, Qt::Uninitialized);
            MultiByteToWideChar(
                codePage, flags, b.constData(), int(b.size()), reinterpret_cast<wchar_t*>(out.data()), n);
            return out;
        }
    }
#else
    Q_UNUSED(codePage)
#endif
    return std::nullopt;
}

unsigned inputCodePage()
{
#ifdef Q_OS_WIN
    const UINT console = GetConsoleCP();
    return console != 0 ? console : GetACP();
#else
    return 0;
#endif
}

InputLine readLineFromStdin(QString* line)
{
    const EndsAtOnce reading(false);
    return readRawLine(line);
}

InputLine readPasswordNoEcho(const QString& prompt, QString* password)
{
#ifdef Q_OS_WIN
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(in, &mode))
        return InputLine::Ended;
    writeText(StdStream::Error, prompt);
    g_promptInput = in;
    g_promptMode = mode;
    InputLine result = InputLine::Ended;
    {
        const EndsAtOnce reading(true);
        SetConsoleMode(in, mode & ~DWORD(ENABLE_ECHO_INPUT));
        // The console hands over UTF-16, so a password with Chinese characters arrives whole
        // whatever the console's code page; a byte read would go through that code page.
        std::wstring typed;
        wchar_t chunk[256];
        DWORD got = 0;
        while (ReadConsoleW(in, chunk, DWORD(std::size(chunk)), &got, nullptr) && got > 0) {
            typed.append(chunk, got);
            if (typed.back() == L'\n') {
                result = InputLine::Read;
                break;
            }
        }
        SetConsoleMode(in, mode);
        while (!typed.empty() && (typed.back() == L'\n' || typed.back() == L'\r'))
            typed.pop_back();
        *password = QString::fromWCharArray(typed.data(), qsizetype(typed.size()));
    }
#else
    if (!isatty(STDIN_FILENO))
        return InputLine::Ended;
    termios old {};
    if (tcgetattr(STDIN_FILENO, &old) != 0)
        return InputLine::Ended;
    writeText(StdStream::Error, prompt);
    g_promptTerminal = old;
    InputLine result = InputLine::Ended;
    {
        const EndsAtOnce reading(true);
        termios quiet = old;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        result = readRawLine(password);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    }
#endif
    writeText(StdStream::Error, QStringLiteral("\n"));
    return result;
}

InterruptDeferral::InterruptDeferral(const QString& notice)
{
#ifdef Q_OS_WIN
    g_notice = notice;
#else
    const QByteArray bytes = notice.toUtf8();
    g_noticeLength = size_t(qMin<qsizetype>(bytes.size(), qsizetype(sizeof g_notice)));
    std::memcpy(g_notice, bytes.constData(), g_noticeLength);
#endif
    g_requested = false;
    installHandler();
    g_deferring = true;
}

InterruptDeferral::~InterruptDeferral()
{
    g_deferring = false;
}

bool InterruptDeferral::requested()
{
    return g_requested;
}

} // namespace tp
