// SPDX-License-Identifier: MIT
#include "descriptors.h"

#include <cerrno>

#include <unistd.h>

namespace tollamere {

void Descriptor::Reset(int fd) noexcept
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = fd;
}

ssize_t ReadSome(int fd, std::span<std::uint8_t> buffer) noexcept
{
    ssize_t got = 0;
    while ((got = read(fd, buffer.data(), buffer.size())) < 0 && errno == EINTR) {
    }
    return got;
}

int WriteAll(int fd, std::span<const std::uint8_t> bytes) noexcept
{
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : ENOSPC;
        bytes = bytes.subspan(std::size_t(written));
    }
    return 0;
}

} // namespace tollamere
