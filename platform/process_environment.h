// SPDX-License-Identifier: MIT
#pragma once

// What a process finds around it when it starts: its standard descriptors,
// and the processors and memory it may use (the machine's, narrowed by the
// processors it is bound to and by the limits of its control group, as in a
// container).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace tollamere {

// The standard descriptors a caller left closed.
struct ClosedStreams {
    bool input = false;
    bool output = false;
    bool error = false;
};

// Opens the null device on whichever of the standard input, output and error
// the caller left closed, so that no file this process opens later takes
// their place and receives text meant for them; answers which they were, so
// that what is meant for a closed standard output fails rather than vanish.
// Call first thing in main.
ClosedStreams EnsureStandardStreamsOpen() noexcept;

// The machine's physical memory in bytes, 0 when the system does not say.
std::uint64_t PhysicalMemoryBytes() noexcept;

// What the control groups a process is in allow it: memory in bytes, and
// processors' time as a number of processors (1.5 for a quota of 150 ms
// every 100 ms). Nothing where no limit is set or none can be read.
struct ControlGroupLimits {
    std::optional<std::uint64_t> memoryBytes;
    std::optional<double> processors;
};

// The limits set in the tree of control groups under root (version 2, or
// version 1's per-controller folders), for a process whose
// /proc/self/cgroup reads selfCgroup: the least of those set on its group
// and on each group above it. A container that mounts its own group as the
// root (its path under the root not there) gets the root's.
ControlGroupLimits ReadControlGroupLimits(const std::filesystem::path& root, std::string_view selfCgroup);

// The processors this process may run on (those it is bound to, as taskset
// binds them), fewer when its control group's quota allows less; at least 1.
unsigned UsableProcessors() noexcept;

// The memory this process may use: the physical memory, or its control
// group's limit when that is lower; 0 when neither can be read.
std::uint64_t UsableMemoryBytes() noexcept;

} // namespace tollamere
