// SPDX-License-Identifier: MIT
#include "child_process.h"

#include "descriptors.h"
#include "runtime_error.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tollamere {

std::string ChildEnd::How() const
{
    if (signal != 0) {
        const char* name = strsignal(signal);
        return name != nullptr ? std::string(name) : "signal " + std::to_string(signal);
    }
    return "exit status " + std::to_string(exitStatus);
}

bool SendOnChannel(int channel, std::string_view bytes) noexcept
{
    return WriteAll(channel, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}) == 0;
}

ChildEnd RunInChildProcess(const std::function<int(int channel)>& work)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        RaiseWithReason(ErrorNumber::PathFileAccessError,
                        "cannot make a channel to a process: " + std::generic_category().message(errno));
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        const int error = errno;
        close(ends[0]);
        close(ends[1]);
        RaiseWithReason(ErrorNumber::PathFileAccessError, "cannot start a process: " + std::generic_category().message(error));
    }
    if (child == 0) {
        close(ends[0]);
        // Killed with this process, so that nothing goes on unwatched; a
        // parent gone before this line is noticed at once.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(EXIT_FAILURE);
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        int status = EXIT_FAILURE;
        try {
            status = work(ends[1]);
        } catch (...) {
        }
        std::fflush(stdout);
        // Neither the parent's exit handlers nor its statics' destructors:
        // they belong to the parent.
        _exit(status);
    }
    close(ends[1]);
    ChildEnd end;
    std::uint8_t buffer[4096];
    for (ssize_t got = 0; (got = ReadSome(ends[0], buffer)) > 0;)
        end.sent.append(reinterpret_cast<const char*>(buffer), std::size_t(got));
    close(ends[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status))
        end.signal = WTERMSIG(status);
    else
        end.exitStatus = WEXITSTATUS(status);
    return end;
}

} // namespace tollamere
