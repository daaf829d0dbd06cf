// SPDX-License-Identifier: MIT
#include "standard_streams.h"

#include "descriptors.h"
#include "runtime_error.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tollamere {

namespace {

constexpr std::size_t ChunkBytes = 1 << 16;

constexpr std::string_view PrivatePrefix = "tollamere-cli-";
// mkdtemp's six random characters.
constexpr std::size_t PrivateSuffixBytes = 6;
// How long a read of standard input waits before it looks for a stop.
constexpr int StopLookMilliseconds = 50;

std::string SystemReason(int error)
{
    return std::generic_category().message(error);
}

// Removes this user's private folders under base that no process holds
// locked: those of processes that were killed. The lock is taken with the
// folder open and without following a link; a folder another process has
// made but not locked yet is waited for, and then left alone.
void RemoveStalePrivateFolders(const std::string& base)
{
    DIR* listing = opendir(base.c_str());
    if (listing == nullptr)
        return;
    const int at = dirfd(listing);
    while (const dirent* entry = readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(PrivatePrefix) || name.size() != PrivatePrefix.size() + PrivateSuffixBytes)
            continue;
        const int folder = openat(at, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (folder < 0)
            continue;
        struct stat status {};
        if (fstat(folder, &status) == 0 && status.st_uid == geteuid() && flock(folder, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ignored;
            std::filesystem::remove_all(std::filesystem::path(base) / name, ignored);
        }
        close(folder);
    }
    closedir(listing);
}

} // namespace

PrivateFolder PrivateFolder::Make()
{
    const char* base = std::getenv("TMPDIR");
    const std::string folder = base != nullptr && *base != '\0' ? std::string(base) : std::string("/tmp");
    RemoveStalePrivateFolders(folder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string pattern = folder + "/" + std::string(PrivatePrefix) + std::string(PrivateSuffixBytes, 'X');
        if (mkdtemp(pattern.data()) == nullptr)
            RaiseWithReason(ErrorNumber::PathFileAccessError, "cannot make a temporary folder: " + SystemReason(errno));
        const int lock = open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (lock < 0)
            continue;
        while (flock(lock, LOCK_EX) != 0 && errno == EINTR) {
        }
        // Another process's clean-up may have taken the folder between its
        // making and the lock: it is then gone, and another is made.
        struct stat opened {};
        struct stat named {};
        if (fstat(lock, &opened) == 0 && lstat(pattern.c_str(), &named) == 0 && opened.st_ino == named.st_ino &&
            opened.st_dev == named.st_dev)
            return PrivateFolder(pattern, lock);
        close(lock);
    }
    RaiseWithReason(ErrorNumber::PathFileAccessError, "cannot make a temporary folder in " + folder);
}

PrivateFolder::PrivateFolder(PrivateFolder&& other) noexcept
    : path_(std::move(other.path_)), lock_(std::exchange(other.lock_, -1))
{
    other.path_.clear();
}

PrivateFolder::~PrivateFolder()
{
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    if (lock_ >= 0)
        close(lock_);
}

std::optional<std::uint64_t> CopyStandardInputTo(const std::filesystem::path& path, std::uint64_t maxBytes,
                                                 std::stop_token stop)
{
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (file < 0)
        RaiseWithReason(ErrorNumber::PathFileAccessError, "cannot make a temporary file: " + SystemReason(errno));
    std::vector<std::uint8_t> buffer(ChunkBytes);
    std::uint64_t total = 0;
    int error = 0;
    bool tooLarge = false;
    bool stopped = false;
    for (;;) {
        // A signal does not interrupt a read (handlers restart it), so the
        // read waits only as long as it takes to look for a stop again.
        pollfd ready{STDIN_FILENO, POLLIN, 0};
        const int waiting = poll(&ready, 1, StopLookMilliseconds);
        if ((stopped = stop.stop_requested()))
            break;
        if (waiting == 0 || (waiting < 0 && errno == EINTR))
            continue;
        const ssize_t got = ReadSome(STDIN_FILENO, buffer);
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        total += std::uint64_t(got);
        if (total > maxBytes) {
            tooLarge = true;
            break;
        }
        if ((error = WriteAll(file, std::span(buffer).first(std::size_t(got)))) != 0)
            break;
    }
    close(file);
    if (tooLarge || stopped || error != 0) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    if (stopped)
        return std::nullopt;
    if (tooLarge)
        RaiseWithReason(ErrorNumber::OutOfMemory,
                        "more than " + std::to_string(maxBytes >> 20) + " MiB, more than any picture read here needs");
    if (error != 0)
        RaiseWithReason(ErrorNumber::PathFileAccessError, "cannot read standard input: " + SystemReason(error));
    return total;
}

int CopyToStandardOutput(const std::filesystem::path& path) noexcept
{
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return errno;
    std::uint8_t buffer[ChunkBytes];
    int error = 0;
    for (;;) {
        const ssize_t got = ReadSome(file, buffer);
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        if ((error = WriteAll(STDOUT_FILENO, std::span(buffer).first(std::size_t(got)))) != 0)
            break;
    }
    close(file);
    return error;
}

} // namespace tollamere
