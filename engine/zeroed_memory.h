// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tollamere {

// Gives back memory from AllocateZeroed; it keeps the size the system needs.
struct ZeroedMemoryDeleter {
    std::size_t bytes = 0;
    void operator()(std::uint8_t* memory) const noexcept;
};
using ZeroedMemory = std::unique_ptr<std::uint8_t[], ZeroedMemoryDeleter>;

// bytes of memory filled with 0, or an empty pointer when there is not
// enough. On Linux, blocks of 4 MiB and more are asked for in 2 MiB pages:
// with 4 KiB pages, first touching the maps of a 16-megapixel picture costs
// some 16000 page faults, as long as all the stages' arithmetic together.
ZeroedMemory AllocateZeroed(std::size_t bytes) noexcept;

} // namespace tollamere
