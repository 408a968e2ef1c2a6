#include "Console.h"

#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace tp {

bool readLineFromStdin(QString* line)
{
    std::string s;
    if (!std::getline(std::cin, s))
        return false;
    if (!s.empty() && s.back() == '\r')
        s.pop_back();
    *line = QString::fromStdString(s);
    return true;
}

bool readPasswordNoEcho(const QString& prompt, QString* password)
{
#ifdef Q_OS_WIN
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(in, &mode))
        return false;
    std::fputs(prompt.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    SetConsoleMode(in, mode & ~DWORD(ENABLE_ECHO_INPUT));
    // The console hands over UTF-16, so a password with Chinese characters arrives whole
    // whatever the console's code page; a byte read would go through that code page.
    std::wstring typed;
    wchar_t chunk[256];
    DWORD got = 0;
    bool ok = false;
    while (ReadConsoleW(in, chunk, DWORD(std::size(chunk)), &got, nullptr) && got > 0) {
        typed.append(chunk, got);
        if (typed.back() == L'\n') {
            ok = true;
            break;
        }
    }
    SetConsoleMode(in, mode);
    while (!typed.empty() && (typed.back() == L'\n' || typed.back() == L'\r'))
        typed.pop_back();
    *password = QString::fromWCharArray(typed.data(), qsizetype(typed.size()));
#else
    if (!isatty(STDIN_FILENO))
        return false;
    termios old {};
    if (tcgetattr(STDIN_FILENO, &old) != 0)
        return false;
    std::fputs(prompt.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    termios quiet = old;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    const bool ok = readLineFromStdin(password);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
#endif
    std::fputs("\n", stderr);
    return ok;
}

} // namespace tp
