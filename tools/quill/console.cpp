// console.cpp - the terminal: questions without echo, width, Ctrl-C.
#include "quill/console.h"

#include <csignal>
#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace quill {

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

#ifdef _WIN32

void OnStopSignal(int)
{
    g_stopRequested = 1;
    std::signal(SIGINT, SIG_DFL);
}

bool IsTerminal(FILE *stream) { return _isatty(_fileno(stream)) != 0; }

std::optional<std::string> ReadLine(const std::string &prompt, bool secret)
{
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool haveMode = GetConsoleMode(input, &mode) != 0;
    if (secret && haveMode)
        SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    if (secret && haveMode) {
        SetConsoleMode(input, mode);
        std::fputs("\n", stderr);
    }
    if (!got || g_stopRequested)
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

#else

void OnStopSignal(int) { g_stopRequested = 1; }

bool IsTerminal(FILE *stream) { return isatty(fileno(stream)) != 0; }

// Echo goes off before the prompt shows, so that an answer typed ahead is
// not shown either, and nothing typed ahead is thrown away.  Reads byte by
// byte so that nothing of a later answer is buffered away.
//
// Ctrl-C must end the question even when it comes between the check of the
// stop flag and the wait for input.  The stop signals are therefore blocked
// while the flag is checked and let through only inside pselect, which
// unblocks them and starts waiting in one step.
std::optional<std::string> ReadLine(const std::string &prompt, bool secret)
{
    termios saved{};
    const bool haveTermios = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (secret && haveTermios) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    sigset_t stopSignals;
    sigset_t callerMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSignals, &callerMask);
    sigset_t waitMask = callerMask;
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGHUP);

    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    std::string line;
    bool ended = false;
    while (!g_stopRequested) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(STDIN_FILENO, &readable);
        const int ready = pselect(STDIN_FILENO + 1, &readable, nullptr, nullptr, nullptr, &waitMask);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            ended = true;
            break;
        }
        char c;
        const ssize_t got = read(STDIN_FILENO, &c, 1);
        if (got == 1) {
            if (c == '\n')
                break;
            line += c;
            continue;
        }
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        ended = true;
        break;
    }
    sigprocmask(SIG_SETMASK, &callerMask, nullptr);
    if (secret && haveTermios)
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    if (ended || g_stopRequested) {
        std::fputs("\n", stderr);
        return std::nullopt;
    }
    return line;
}

#endif

}  // namespace

TerminalConsole::TerminalConsole()
    : Console(std::cout, std::cerr),
      canAsk_(IsTerminal(stdin) && IsTerminal(stderr)),
      canShowProgress_(IsTerminal(stderr))
{
}

std::optional<std::string> TerminalConsole::Ask(const std::string &prompt, bool secret)
{
    if (!canAsk_)
        return std::nullopt;
    std::cout.flush();
    std::cerr.flush();
    return ReadLine(prompt, secret);
}

int TerminalConsole::Width() const
{
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return info.srWindow.Right - info.srWindow.Left + 1;
#else
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#endif
    return 80;
}

bool TerminalConsole::StopRequested() const { return g_stopRequested != 0; }

void CatchStopRequests()
{
#ifdef _WIN32
    std::signal(SIGINT, OnStopSignal);
#else
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // The first stop signal ends the run at the library's next progress
    // step, which removes the entry's temporary file; a second one ends
    // quill at once.  Either way no partial file stands under a final name:
    // an entry is renamed into place only once it is complete.
    action.sa_flags = static_cast<int>(SA_RESETHAND);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
#endif
}

}  // namespace quill
