#include "terminal.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace tollamere {

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int)
{
    interrupted = 1;
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

void StopOnInterrupt(std::stop_source& source)
{
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
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

} // namespace tollamere
