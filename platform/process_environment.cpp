// SPDX-License-Identifier: MIT
#include "process_environment.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace tollamere {

ClosedStreams EnsureStandardStreamsOpen() noexcept
{
    ClosedStreams closed;
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        (fd == STDIN_FILENO ? closed.input : fd == STDOUT_FILENO ? closed.output : closed.error) = true;
        const int null = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        // open takes the lowest free descriptor, which is this one, as the
        // lower ones are open by now.
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
    return closed;
}

std::uint64_t PhysicalMemoryBytes() noexcept
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return std::uint64_t(pages) * std::uint64_t(pageSize);
}

namespace {

// Values at or beyond this say "no limit" (version 1 writes the largest page
// multiple of a 64-bit count).
constexpr std::uint64_t NoMemoryLimit = 1ull << 60;

std::optional<std::string> ReadSmallFile(const std::filesystem::path& path)
{
    std::ifstream file(path);
    if (!file)
        return std::nullopt;
    std::string text;
    std::getline(file, text);
    return file.bad() ? std::nullopt : std::optional<std::string>(text);
}

template <typename Number>
std::optional<Number> NumberIn(std::string_view text)
{
    Number number{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end == text.data())
        return std::nullopt;
    return number;
}

// The folder of the group and those of the groups above it, the group's
// own first; root itself last.
std::vector<std::filesystem::path> GroupFolders(const std::filesystem::path& root, std::string_view path)
{
    std::vector<std::filesystem::path> folders;
    std::filesystem::path relative = std::filesystem::path(path).relative_path();
    while (!relative.empty() && relative != relative.root_path()) {
        folders.push_back(root / relative);
        relative = relative.parent_path();
    }
    folders.push_back(root);
    return folders;
}

void TakeMemory(ControlGroupLimits& limits, std::optional<std::uint64_t> bytes)
{
    if (bytes && *bytes < NoMemoryLimit)
        limits.memoryBytes = std::min(limits.memoryBytes.value_or(*bytes), *bytes);
}

void TakeQuota(ControlGroupLimits& limits, std::optional<std::int64_t> quota, std::optional<std::int64_t> period)
{
    if (!quota || !period || *quota <= 0 || *period <= 0)
        return;
    const double processors = double(*quota) / double(*period);
    limits.processors = std::min(limits.processors.value_or(processors), processors);
}

// Version 2: memory.max ("max" or bytes) and cpu.max ("max 100000" or
// "quota period") in each group's folder.
void ReadUnifiedGroup(const std::filesystem::path& folder, ControlGroupLimits& limits)
{
    if (auto memory = ReadSmallFile(folder / "memory.max"))
        TakeMemory(limits, NumberIn<std::uint64_t>(*memory));
    if (auto cpu = ReadSmallFile(folder / "cpu.max")) {
        const std::size_t blank = cpu->find(' ');
        if (blank != std::string::npos)
            TakeQuota(limits, NumberIn<std::int64_t>(std::string_view(*cpu).substr(0, blank)),
                      NumberIn<std::int64_t>(std::string_view(*cpu).substr(blank + 1)));
    }
}

// Version 1: each controller in a folder of its own name (or of the names
// it is mounted with, such as "cpu,cpuacct").
void ReadControllerGroup(const std::filesystem::path& folder, std::string_view controller, ControlGroupLimits& limits)
{
    if (controller == "memory") {
        if (auto memory = ReadSmallFile(folder / "memory.limit_in_bytes"))
            TakeMemory(limits, NumberIn<std::uint64_t>(*memory));
    } else if (controller == "cpu") {
        const auto quota = ReadSmallFile(folder / "cpu.cfs_quota_us");
        const auto period = ReadSmallFile(folder / "cpu.cfs_period_us");
        if (quota && period)
            TakeQuota(limits, NumberIn<std::int64_t>(*quota), NumberIn<std::int64_t>(*period));
    }
}

} // namespace

ControlGroupLimits ReadControlGroupLimits(const std::filesystem::path& root, std::string_view selfCgroup)
{
    ControlGroupLimits limits;
    std::istringstream lines{std::string(selfCgroup)};
    std::string line;
    while (std::getline(lines, line)) {
        // "hierarchy:controllers:path"; version 2's line is "0::path".
        const std::size_t first = line.find(':');
        const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos)
            continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        if (controllers.empty()) {
            for (const auto& folder : GroupFolders(root, path))
                ReadUnifiedGroup(folder, limits);
            continue;
        }
        std::istringstream names(controllers);
        std::string name;
        while (std::getline(names, name, ',')) {
            for (const std::string& mount : {controllers, name})
                for (const auto& folder : GroupFolders(root / mount, path))
                    ReadControllerGroup(folder, name, limits);
        }
    }
    return limits;
}

namespace {

const ControlGroupLimits& OwnLimits()
{
    static const ControlGroupLimits limits = [] {
        std::ifstream file("/proc/self/cgroup");
        std::ostringstream text;
        text << file.rdbuf();
        return ReadControlGroupLimits("/sys/fs/cgroup", text.str());
    }();
    return limits;
}

} // namespace

unsigned UsableProcessors() noexcept
{
    try {
        unsigned count = std::max(1u, std::thread::hardware_concurrency());
        cpu_set_t bound;
        CPU_ZERO(&bound);
        if (sched_getaffinity(0, sizeof bound, &bound) == 0 && CPU_COUNT(&bound) > 0)
            count = std::min(count, unsigned(CPU_COUNT(&bound)));
        if (const std::optional<double> quota = OwnLimits().processors)
            count = std::min(count, unsigned(std::max(1.0, std::ceil(*quota))));
        return std::max(1u, count);
    } catch (...) {
        return std::max(1u, std::thread::hardware_concurrency());
    }
}

std::uint64_t UsableMemoryBytes() noexcept
{
    const std::uint64_t physical = PhysicalMemoryBytes();
    std::optional<std::uint64_t> limit;
    try {
        limit = OwnLimits().memoryBytes;
    } catch (...) {
    }
    if (!limit)
        return physical;
    return physical == 0 ? *limit : std::min(physical, *limit);
}

} // namespace tollamere
