// SPDX-License-Identifier: MIT
#pragma once

#include "byte_order.h"
#include "picture_size.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tollamere {

// What the PNG reader, its guards and the formats that hold PNGs (icons)
// share of a PNG's layout.

inline constexpr std::array<std::uint8_t, 8> PngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool LooksLikePng(std::span<const std::uint8_t> bytes) noexcept;

// Hands each PNG chunk from `at` (just after the signature, say) to
// chunk(at, type, length) until it answers false, the bytes end or less
// than a chunk's length and type remain. A chunk whose data runs past the
// end is handed on, and is the last.
template <typename Chunk>
void WalkPngChunks(std::span<const std::uint8_t> bytes, std::size_t at, const Chunk& chunk)
{
    while (at < bytes.size() && bytes.size() - at >= 8) {
        const std::uint32_t length = BigEndian(&bytes[at], 4);
        const std::string_view type(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
        if (!chunk(at, type, length))
            return;
        const std::uint64_t next = std::uint64_t(at) + 12 + length;  // length and type, data, CRC
        if (next >= bytes.size())
            return;
        at = std::size_t(next);
    }
}

// The size in a PNG's IHDR chunk, from the signature on;
// nothing when they end before it or the first chunk is not IHDR.
std::optional<PictureSize> PngHeaderSize(std::span<const std::uint8_t> png);

// The guards of the PNG that starts at `start`, when one does: the size its
// header declares, and the length of each chunk libpng would allocate
// before reading. `walked`, when given, marks chunks already checked from
// another start (PNGs in one file may point into one another).
void CheckPngAt(std::span<const std::uint8_t> bytes, std::size_t start, std::vector<bool>* walked = nullptr);

} // namespace tollamere
