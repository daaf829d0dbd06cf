// SPDX-License-Identifier: MIT
#include "helper_process.h"

#include "descriptors.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

extern char** environ;

namespace tollamere {
namespace {

// A build with AddressSanitizer or ThreadSanitizer reserves terabytes of
// address space for its shadow memory, so its helpers cannot be held to a
// limit on it; their processor and wall time are still limited.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool AddressSpaceLimitWorks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool AddressSpaceLimitWorks = false;
#else
constexpr bool AddressSpaceLimitWorks = true;
#endif
#else
constexpr bool AddressSpaceLimitWorks = true;
#endif

// How often a waiting caller looks at the clock and at its abandon test.
constexpr int PollMilliseconds = 50;
// The end of a helper's standard error kept for the caller to read.
constexpr std::size_t KeptErrorBytes = 4096;

thread_local std::function<bool()> abandonedTest;

bool HoldsProgram(const std::filesystem::path& path)
{
    return ::access(path.c_str(), X_OK) == 0 && std::filesystem::is_regular_file(path);
}

// What fontconfig reads to find the user's fonts, its configuration and its
// cache; nothing else of the caller's environment reaches a helper.
std::vector<std::string> HelperEnvironment()
{
    constexpr std::string_view kept[] = {"HOME=", "XDG_DATA_HOME=", "XDG_DATA_DIRS=", "XDG_CONFIG_HOME=", "XDG_CONFIG_DIRS=",
                                         "XDG_CACHE_HOME=", "FONTCONFIG_FILE=", "FONTCONFIG_PATH=", "FONTCONFIG_SYSROOT="};
    std::vector<std::string> environment;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (std::any_of(std::begin(kept), std::end(kept), [&](std::string_view name) { return text.starts_with(name); }))
            environment.emplace_back(text);
    }
    return environment;
}

HelperOutcome NotStarted(std::string why)
{
    HelperOutcome outcome;
    outcome.errors = std::move(why);
    return outcome;
}

void SetLimit(pid_t pid, decltype(RLIMIT_AS) resource, rlim_t soft, rlim_t hard)
{
    const rlimit limit{soft, hard};
    if (::prlimit(pid, resource, &limit, nullptr) != 0)
        throw std::system_error(errno, std::generic_category(), "prlimit");
}

void LimitHelper(pid_t pid, const HelperLimits& limits)
{
    if (limits.addressSpaceBytes != 0 && AddressSpaceLimitWorks)
        SetLimit(pid, RLIMIT_AS, limits.addressSpaceBytes, limits.addressSpaceBytes);
    // SIGXCPU at the limit, SIGKILL a second later if it is caught.
    const auto seconds = rlim_t(std::max<std::chrono::seconds::rep>(limits.processorTime.count(), 1));
    SetLimit(pid, RLIMIT_CPU, seconds, seconds + 1);
    SetLimit(pid, RLIMIT_CORE, 0, 0);
    SetLimit(pid, RLIMIT_FSIZE, 0, 0);
}

double Seconds(const timeval& time)
{
    return double(time.tv_sec) + double(time.tv_usec) / 1e6;
}

// Reads what is there without waiting; false at the end of the stream.
bool Drain(Descriptor& from, std::vector<std::uint8_t>& into, std::size_t most, bool& tooMuch)
{
    std::array<std::uint8_t, 65536> chunk;
    for (;;) {
        const ssize_t got = ::recv(from.Get(), chunk.data(), chunk.size(), MSG_DONTWAIT);
        if (got > 0) {
            if (into.size() + std::size_t(got) > most) {
                tooMuch = true;
                return false;
            }
            into.insert(into.end(), chunk.begin(), chunk.begin() + got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

bool DrainErrors(Descriptor& from, std::string& into)
{
    std::array<char, 4096> chunk;
    for (;;) {
        const ssize_t got = ::read(from.Get(), chunk.data(), chunk.size());
        if (got > 0) {
            into.append(chunk.data(), std::size_t(got));
            if (into.size() > KeptErrorBytes)
                into.erase(0, into.size() - KeptErrorBytes);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

} // namespace

std::filesystem::path FindHelperProgram(std::string_view name)
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    const std::filesystem::path folder = self.parent_path();
    for (const std::filesystem::path& candidate :
         {folder / name, folder / "../lib/tollamere" / name, folder / "../../lib/tollamere" / name})
        if (HoldsProgram(candidate))
            return candidate.lexically_normal();
    return {};
}

AbandonHelpersWhen::AbandonHelpersWhen(std::function<bool()> abandoned) : previous_(std::move(abandonedTest))
{
    abandonedTest = std::move(abandoned);
}

AbandonHelpersWhen::~AbandonHelpersWhen()
{
    abandonedTest = std::move(previous_);
}

HelperOutcome RunHelper(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                        std::span<const std::uint8_t> input, std::size_t mostOutput, const HelperLimits& limits)
{
    // One socket both ways, so that writing to a helper that has gone fails
    // with EPIPE instead of raising SIGPIPE (MSG_NOSIGNAL); its standard
    // error on a pipe of its own.
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return NotStarted(std::strerror(errno));
    Descriptor ours(pair[0]), theirs(pair[1]);
    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0)
        return NotStarted(std::strerror(errno));
    Descriptor errorsRead(errorPipe[0]), errorsWrite(errorPipe[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, theirs.Get(), 0);
    posix_spawn_file_actions_adddup2(&actions, theirs.Get(), 1);
    posix_spawn_file_actions_adddup2(&actions, errorsWrite.Get(), 2);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    // Signals as a new program finds them, whatever this one ignores (the
    // command line ignores SIGPIPE) or blocks.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    // A process group of its own: Ctrl+C at a terminal reaches the caller,
    // which lets the pictures in progress finish, and not the helper, which
    // would end one of them.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    std::vector<std::string> texts{program.string()};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = HelperEnvironment();
    std::vector<char*> envp;
    for (std::string& text : environment)
        envp.push_back(text.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        return NotStarted(std::strerror(spawned));
    theirs.Close();
    errorsWrite.Close();

    HelperOutcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + limits.wallTime;
    bool killed = false;
    const auto kill = [&](HelperOutcome::End why) {
        ::kill(pid, SIGKILL);
        outcome.end = why;
        killed = true;
    };
    // Before the first byte goes in: the helper reads the whole drawing
    // before it parses any of it.
    try {
        LimitHelper(pid, limits);
    } catch (const std::system_error& error) {
        kill(HelperOutcome::End::NotStarted);
        outcome.errors = error.what();
    }
    ::fcntl(errorsRead.Get(), F_SETFL, O_NONBLOCK);

    std::size_t sent = 0;
    bool inputClosed = false;
    bool tooMuch = false;
    int status = 0;
    rusage usage{};
    bool reaped = false;
    while (!killed) {
        if (!inputClosed && sent == input.size()) {
            ::shutdown(ours.Get(), SHUT_WR);
            inputClosed = true;
        }
        std::array<pollfd, 2> watched{};
        nfds_t count = 0;
        if (ours.Open())
            watched[count++] = {ours.Get(), short(POLLIN | (inputClosed ? 0 : POLLOUT)), 0};
        if (errorsRead.Open())
            watched[count++] = {errorsRead.Get(), POLLIN, 0};
        ::poll(watched.data(), count, PollMilliseconds);

        if (ours.Open() && !inputClosed) {
            const ssize_t put = ::send(ours.Get(), input.data() + sent, std::min<std::size_t>(input.size() - sent, 1u << 16),
                                       MSG_NOSIGNAL | MSG_DONTWAIT);
            if (put > 0)
                sent += std::size_t(put);
            else if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                inputClosed = true;  // it stopped reading; its status says why
        }
        if (ours.Open() && !Drain(ours, outcome.output, mostOutput, tooMuch)) {
            if (tooMuch) {
                kill(HelperOutcome::End::Signalled);
                break;
            }
            ours.Close();
        }
        if (errorsRead.Open() && !DrainErrors(errorsRead, outcome.errors))
            errorsRead.Close();

        if (::wait4(pid, &status, WNOHANG, &usage) == pid) {
            reaped = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            kill(HelperOutcome::End::OutOfTime);
        else if (abandonedTest && abandonedTest())
            kill(HelperOutcome::End::Abandoned);
    }
    if (!reaped)
        while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
        }
    if (ours.Open())
        Drain(ours, outcome.output, mostOutput, tooMuch);
    if (errorsRead.Open())
        DrainErrors(errorsRead, outcome.errors);
    if (killed) {
        if (tooMuch)
            outcome.code = SIGKILL;
        return outcome;
    }

    const double processor = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    if (WIFEXITED(status)) {
        outcome.end = HelperOutcome::End::Exited;
        outcome.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        outcome.code = WTERMSIG(status);
        const bool processorSpent = outcome.code == SIGXCPU ||
                                    (outcome.code == SIGKILL && processor >= double(limits.processorTime.count()));
        outcome.end = processorSpent ? HelperOutcome::End::OutOfProcessor : HelperOutcome::End::Signalled;
    }
    return outcome;
}

} // namespace tollamere
