// SPDX-License-Identifier: MIT
#include "standard_streams.h"

#include "runtime_error.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace tollamere {

namespace {

constexpr std::size_t ChunkBytes = 1 << 16;

std::string SystemReason(int error)
{
    return std::generic_category().message(error);
}

// Reads what is there, retrying after a signal; -1 with errno set on failure.
ssize_t ReadSome(int fd, std::uint8_t* buffer, std::size_t size) noexcept
{
    ssize_t got = 0;
    while ((got = read(fd, buffer, size)) < 0 && errno == EINTR) {
    }
    return got;
}

int WriteAll(int fd, const std::uint8_t* bytes, std::size_t size) noexcept
{
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : ENOSPC;
        bytes += written;
        size -= std::size_t(written);
    }
    return 0;
}

} // namespace

PrivateFolder PrivateFolder::Make()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = (base != nullptr && *base != '\0' ? std::string(base) : std::string("/tmp")) +
                          "/tollamere-cli-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        RaiseWithReason(ErrorNumber::PathFileAccessError, "cannot make a temporary folder: " + SystemReason(errno));
    return PrivateFolder(pattern);
}

PrivateFolder::PrivateFolder(PrivateFolder&& other) noexcept : path_(std::move(other.path_))
{
    other.path_.clear();
}

PrivateFolder::~PrivateFolder()
{
    if (path_.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::uint64_t CopyStandardInputTo(const std::filesystem::path& path, std::uint64_t maxBytes)
{
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (file < 0)
        RaiseWithReason(ErrorNumber::PathFileAccessError, "cannot make a temporary file: " + SystemReason(errno));
    std::vector<std::uint8_t> buffer(ChunkBytes);
    std::uint64_t total = 0;
    int error = 0;
    bool tooLarge = false;
    for (;;) {
        const ssize_t got = ReadSome(STDIN_FILENO, buffer.data(), buffer.size());
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        total += std::uint64_t(got);
        if (total > maxBytes) {
            tooLarge = true;
            break;
        }
        if ((error = WriteAll(file, buffer.data(), std::size_t(got))) != 0)
            break;
    }
    close(file);
    if (tooLarge || error != 0) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
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
        const ssize_t got = ReadSome(file, buffer, sizeof buffer);
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        if ((error = WriteAll(STDOUT_FILENO, buffer, std::size_t(got))) != 0)
            break;
    }
    close(file);
    return error;
}

} // namespace tollamere
