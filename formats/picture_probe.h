// SPDX-License-Identifier: MIT
#pragma once

#include "byte_order.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tollamere {

struct PictureSize {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
};

// The pixels of a picture of that size. Sides beyond 32 bits count as 32
// bits, so that no product wraps: either is far beyond any limit.
constexpr std::uint64_t PixelCount(PictureSize size) noexcept
{
    constexpr std::uint64_t largestSide = 0xFFFF'FFFF;
    return std::min(size.width, largestSide) * std::min(size.height, largestSide);
}

inline constexpr std::array<std::uint8_t, 8> PngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

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

// The size in a TGA's header when all its fields make sense. A TGA has no
// signature at its start, and a true-colour one starts like a cursor
// ("00 00 02 00"), so Qt's look at the content takes it for one.
std::optional<PictureSize> TgaHeaderSize(std::span<const std::uint8_t> tga);

// What a BMP's headers say of its pixels. Rows are stored top-down when the
// height is negative.
struct BmpHeader {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t compression = 0;
    std::uint32_t pixelsAt = 0;
};

// The smallest BMP the header reader looks at: the file header and the
// fields every info header starts with.
inline constexpr std::size_t BmpHeaderStartBytes = 30;

// Nothing when the bytes end before the info header they name, or it is of
// a size no BMP uses (neither the 12-byte core header nor 40 bytes or more).
std::optional<BmpHeader> ReadBmpHeader(std::span<const std::uint8_t> bmp);

// The size of each picture in an icon or cursor file, in directory order, as
// its data says: a PNG's header, or a bitmap's info header (whose height
// counts the mask too). The directory's sizes say at most 256 and need not
// be true; they stand only for data beyond the bytes given, and entries
// beyond them are left out. Empty when the bytes are no icon or cursor.
std::vector<PictureSize> IconPictureSizes(std::span<const std::uint8_t> bytes);

// How many bytes from the start of a file ProbePictureSize wants to see.
inline constexpr std::size_t ProbeBytes = 256 * 1024;

// The size a picture file's header declares, read from the first bytes of
// the file without decoding anything: JPEG, PNG, GIF, BMP, AVIF, JPEG XL,
// icons and cursors (their largest picture) here, other formats through Qt's
// readers. Nothing when the bytes do not tell.
std::optional<PictureSize> ProbePictureSize(std::span<const std::uint8_t> start);

} // namespace tollamere
