// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace tollamere {

struct PictureSize {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
};

// The size in a PNG's IHDR chunk, from the bytes after the signature on;
// nothing when they end before it or the first chunk is not IHDR.
std::optional<PictureSize> PngHeaderSize(std::span<const std::uint8_t> png);

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

// How many bytes from the start of a file ProbePictureSize wants to see.
inline constexpr std::size_t ProbeBytes = 256 * 1024;

// The size a picture file's header declares, read from the first bytes of
// the file without decoding anything: JPEG, PNG, GIF, BMP, AVIF and JPEG XL
// here, other formats through Qt's readers. Nothing when the bytes do not tell.
std::optional<PictureSize> ProbePictureSize(std::span<const std::uint8_t> start);

} // namespace tollamere
