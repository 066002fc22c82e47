#include "Secrets.h"

#include "CommandLine.h"

#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace tavctl {

namespace {

struct termios g_saved;
volatile sig_atomic_t g_echoOff = 0;

// Ctrl-C at the prompt must not leave the terminal without echo.
void restoreAndDie(int sig)
{
    if (g_echoOff)
        ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

std::string readTerminal(const std::string& prompt)
{
    std::fprintf(stderr, "%s", prompt.c_str());
    std::fflush(stderr);
    // Terminal signals are blocked for the library's sake (no thread runs
    // yet): let them end the process here, with the echo restored first.
    const int sigs[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction act = {}, old[3] = {};
    act.sa_handler = restoreAndDie;
    sigemptyset(&act.sa_mask);
    sigset_t set;
    sigemptyset(&set);
    for (int i = 0; i < 3; ++i) {
        ::sigaction(sigs[i], &act, &old[i]);
        sigaddset(&set, sigs[i]);
    }
    if (::tcgetattr(STDIN_FILENO, &g_saved) == 0) {
        struct termios quiet = g_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        if (::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0)
            g_echoOff = 1;
    }
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    if (g_echoOff) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
        g_echoOff = 0;
    }
    for (int i = 0; i < 3; ++i)
        ::sigaction(sigs[i], &old[i], nullptr);
    if (!got)
        throw UsageError("no password typed");
    return line;
}

} // namespace

bool SecretsFromTerminal() { return ::isatty(STDIN_FILENO) == 1; }

std::string ReadSecret(const std::string& prompt)
{
    if (SecretsFromTerminal())
        return readTerminal(prompt);
    std::string line;
    if (!std::getline(std::cin, line))
        throw UsageError("standard input ended before the password (" +
                         prompt.substr(0, prompt.find(':')) + ")");
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

} // namespace tavctl
