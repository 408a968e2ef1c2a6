#include "ConsoleOutput.h"

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#endif

namespace tp {

namespace {

    // Older consoles refuse a WriteConsoleW of more than about 64 KB at once.
    constexpr qsizetype consoleChunkUnits = 8192;

    FILE* fileOf(StdStream stream)
    {
        return stream == StdStream::Output ? stdout : stderr;
    }

    bool g_failed[2] = { false, false };

    void markFailed(StdStream stream)
    {
        g_failed[stream == StdStream::Output ? 0 : 1] = true;
    }

#ifdef Q_OS_WIN
    HANDLE handleOf(StdStream stream)
    {
        return GetStdHandle(stream == StdStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    }

    // False when the console refused the first piece (the caller then writes bytes instead);
    // a console that fails later loses the rest, which is not written twice.
    bool writeConsole(HANDLE h, const QString& text)
    {
        bool wroteAny = false;
        for (const QString& chunk : consoleChunks(text, consoleChunkUnits)) {
            const wchar_t* data = reinterpret_cast<const wchar_t*>(chunk.utf16());
            DWORD left = DWORD(chunk.size());
            while (left > 0) {
                DWORD written = 0;
                if (!WriteConsoleW(h, data, left, &written, nullptr) || written == 0) {
                    if (wroteAny)
                        markFailed(h == handleOf(StdStream::Output) ? StdStream::Output : StdStream::Error);
                    return wroteAny;
                }
                wroteAny = true;
                data += written;
                left -= written;
            }
        }
        return true;
    }
#endif

} // namespace

QStringList consoleChunks(const QString& text, qsizetype maxUnits)
{
    maxUnits = qMax<qsizetype>(maxUnits, 2);
    QString crlf;
    crlf.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\n') && (i == 0 || text.at(i - 1) != QLatin1Char('\r')))
            crlf += QLatin1Char('\r');
        crlf += text.at(i);
    }
    QStringList chunks;
    qsizetype at = 0;
    while (at < crlf.size()) {
        qsizetype n = qMin(maxUnits, crlf.size() - at);
        if (at + n < crlf.size() && crlf.at(at + n - 1).isHighSurrogate() && crlf.at(at + n).isLowSurrogate())
            --n;
        chunks << crlf.mid(at, n);
        at += n;
    }
    return chunks;
}

bool outputFailed(StdStream stream)
{
    return g_failed[stream == StdStream::Output ? 0 : 1];
}

void ignoreBrokenPipe()
{
#ifndef Q_OS_WIN
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

bool isWindowsConsole(StdStream stream)
{
#ifdef Q_OS_WIN
    DWORD mode = 0;
    return GetConsoleMode(handleOf(stream), &mode) != 0;
#else
    Q_UNUSED(stream)
    return false;
#endif
}

void writeText(StdStream stream, const QString& text)
{
    FILE* f = fileOf(stream);
#ifdef Q_OS_WIN
    if (isWindowsConsole(stream)) {
        // Whatever the C runtime still holds goes first, so the order stays as written.
        std::fflush(f);
        if (writeConsole(handleOf(stream), text))
            return;
    }
#endif
    const QByteArray bytes = text.toUtf8();
    const size_t written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
    if (std::fflush(f) != 0 || written != size_t(bytes.size()))
        markFailed(stream);
}

} // namespace tp
