// SPDX-License-Identifier: MIT
#include "terminal.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define fdopen _fdopen
#define STDERR_FILENO 2
constexpr const char* NullDevice = "NUL";
#else
#include <poll.h>
#include <unistd.h>
constexpr const char* NullDevice = "/dev/null";
#endif

namespace tollamere {

namespace {

// The signal's number. A handler may store only into a lock-free atomic (or
// a volatile sig_atomic_t, which other threads may not read).
std::atomic<int> interrupted = 0;
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnInterrupt(int signal)
{
    interrupted = signal;
}

} // namespace

bool StandardErrorIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

std::size_t LongestPathBytes()
{
#ifdef _WIN32
    return _MAX_PATH - 1;
#else
    // The figure counts the ending NUL. -1 means the system sets none (or
    // the call failed): the compiled-in figure is then the safe one.
    const long longest = pathconf("/", _PC_PATH_MAX);
    return static_cast<std::size_t>(longest > 0 ? longest : PATH_MAX) - 1;
#endif
}

bool ReadingMayWait(const std::string& source)
{
#ifdef _WIN32
    return source == "-" && _isatty(_fileno(stdin)) != 0;
#else
    const bool standardInput = source == "-";
    struct stat status {};
    if ((standardInput ? fstat(STDIN_FILENO, &status) : stat(source.c_str(), &status)) != 0)
        return false;
    if (standardInput && isatty(STDIN_FILENO) != 0)
        return true;
    if (!S_ISFIFO(status.st_mode) && !S_ISSOCK(status.st_mode))
        return false;
    // A named pipe cannot be looked into without opening it, and an open and
    // close here could let its writer go before the list is read: it waits.
    if (!standardInput)
        return true;
    pollfd ready{STDIN_FILENO, POLLIN, 0};
    constexpr int lookMilliseconds = 200;
    int result = 0;
    while ((result = poll(&ready, 1, lookMilliseconds)) < 0 && errno == EINTR) {
    }
    return result == 0;
#endif
}

std::FILE* TakeStandardErrorForMessages()
{
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    if (saved < 0)
        return stderr;
    std::FILE* messages = fdopen(saved, "w");
    const int null = open(NullDevice, O_WRONLY);
    if (messages == nullptr || null < 0) {
        if (messages != nullptr)
            std::fclose(messages);
        if (null >= 0)
            close(null);
        return stderr;
    }
    dup2(null, STDERR_FILENO);
    close(null);
    std::setvbuf(messages, nullptr, _IONBF, 0);
    return messages;
}

void StopOnInterrupt(std::stop_source& source)
{
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    // A reader of the report that goes away must not kill the program in the
    // middle of a write; the failed write says so instead.
    std::signal(SIGPIPE, SIG_IGN);
    // A signal handler may only set a flag; this watcher passes it on.
    std::thread([source]() mutable {
        while (interrupted == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        source.request_stop();
        // A second Ctrl+C ends the program at once.
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }).detach();
}

int InterruptSignal()
{
    return interrupted;
}

} // namespace tollamere
