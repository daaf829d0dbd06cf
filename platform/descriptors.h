// SPDX-License-Identifier: MIT
#pragma once

// Reading and writing an open descriptor, a signal's interruption retried:
// what the files of platform/ share.

#include <cstddef>
#include <cstdint>
#include <span>

#include <sys/types.h>

namespace tollamere {

// Reads what is there; -1 with errno set on failure, 0 at the end.
ssize_t ReadSome(int fd, std::span<std::uint8_t> buffer) noexcept;

// Writes all the bytes. Answers 0, or the error of the write that failed
// (ENOSPC for one that took nothing).
int WriteAll(int fd, std::span<const std::uint8_t> bytes) noexcept;

} // namespace tollamere
