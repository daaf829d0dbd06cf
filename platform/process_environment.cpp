// SPDX-License-Identifier: MIT
#include "process_environment.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace tollamere {

void EnsureStandardStreamsOpen() noexcept
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int null = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        // open takes the lowest free descriptor, which is this one, as the
        // lower ones are open by now.
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
}

std::uint64_t PhysicalMemoryBytes() noexcept
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return std::uint64_t(pages) * std::uint64_t(pageSize);
}

} // namespace tollamere
