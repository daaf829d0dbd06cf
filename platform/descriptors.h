// SPDX-License-Identifier: MIT
#pragma once

// Reading and writing an open descriptor, a signal's interruption retried:
// what the files of platform/ share.

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include <sys/types.h>

namespace tollamere {

// An open descriptor, closed when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) noexcept : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { Reset(); }

    int Get() const noexcept { return fd_; }
    bool Open() const noexcept { return fd_ >= 0; }
    // Hands the descriptor to the caller, who closes it.
    int Release() noexcept { return std::exchange(fd_, -1); }
    // Closes the descriptor held, and holds fd instead.
    void Reset(int fd = -1) noexcept;
    void Close() noexcept { Reset(); }

private:
    int fd_;
};

// Reads what is there; -1 with errno set on failure, 0 at the end.
ssize_t ReadSome(int fd, std::span<std::uint8_t> buffer) noexcept;

// Writes all the bytes. Answers 0, or the error of the write that failed
// (ENOSPC for one that took nothing).
int WriteAll(int fd, std::span<const std::uint8_t> bytes) noexcept;

} // namespace tollamere
