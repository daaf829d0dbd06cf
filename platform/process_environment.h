// SPDX-License-Identifier: MIT
#pragma once

// What a process finds around it when it starts: its standard descriptors and
// the machine's memory.

#include <cstdint>

namespace tollamere {

// Opens the null device on whichever of the standard input, output and error
// the caller left closed, so that no file this process opens later takes
// their place and receives text meant for them. Call first thing in main.
void EnsureStandardStreamsOpen() noexcept;

// The machine's physical memory in bytes, 0 when the system does not say.
std::uint64_t PhysicalMemoryBytes() noexcept;

} // namespace tollamere
