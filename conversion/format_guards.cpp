#include "format_guards.h"

#include "picture_codec.h"

#include <cstring>

namespace tollamere {
namespace {

std::uint32_t BigEndian32(const std::uint8_t* at) noexcept
{
    return std::uint32_t(at[0]) << 24 | std::uint32_t(at[1]) << 16 | std::uint32_t(at[2]) << 8 | at[3];
}

std::uint32_t LittleEndian(const std::uint8_t* at, int byteCount) noexcept
{
    std::uint32_t value = 0;
    for (int i = byteCount - 1; i >= 0; --i)
        value = value << 8 | at[i];
    return value;
}

// libpng refuses widths beyond a million itself, which Qt then reports as
// unreadable data; the header is read here so the reason is the size.
void CheckPng(std::span<const std::uint8_t> bytes)
{
    constexpr std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    constexpr std::size_t sizeAt = 16;  // after the signature, IHDR's length and type
    if (bytes.size() < sizeAt + 8 || std::memcmp(bytes.data(), signature, sizeof signature) != 0 || std::memcmp(&bytes[12], "IHDR", 4) != 0)
        return;
    CheckPictureDimensions(BigEndian32(&bytes[sizeAt]), BigEndian32(&bytes[sizeAt + 4]));
}

enum BmpCompression : std::uint32_t { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, AlphaBitFields = 6 };

// Walks run-length data to its end-of-bitmap code; Qt stops quietly where
// the data ends and leaves the rest of the picture black.
bool RunLengthDataIsComplete(std::span<const std::uint8_t> bytes, std::size_t at, bool fourBit)
{
    while (at + 1 < bytes.size()) {
        const std::uint8_t count = bytes[at];
        const std::uint8_t code = bytes[at + 1];
        at += 2;
        if (count != 0 || code == 0)
            continue;
        if (code == 1)
            return true;
        if (code == 2) {
            at += 2;
            continue;
        }
        // An absolute run of `code` pixels, padded to a 16-bit boundary.
        const std::size_t runBytes = fourBit ? (std::size_t(code) + 1) / 2 : code;
        at += (runBytes + 1) & ~std::size_t{1};
    }
    return false;
}

void CheckBmp(std::span<const std::uint8_t> bytes)
{
    constexpr std::size_t fileHeaderSize = 14;
    if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M')
        return;
    if (bytes.size() < fileHeaderSize + 16)
        RaiseInvalidPicture("truncated BMP header");
    const std::uint32_t pixelsAt = LittleEndian(&bytes[10], 4);
    const std::uint32_t infoSize = LittleEndian(&bytes[14], 4);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t compression = Rgb;
    if (infoSize == 12) {
        width = LittleEndian(&bytes[18], 2);
        height = LittleEndian(&bytes[20], 2);
        bitsPerPixel = LittleEndian(&bytes[24], 2);
    } else {
        if (infoSize < 40 || bytes.size() < fileHeaderSize + 40)
            RaiseInvalidPicture("truncated or unknown BMP header");
        width = std::int32_t(LittleEndian(&bytes[18], 4));
        height = std::int32_t(LittleEndian(&bytes[22], 4));  // negative for rows stored top-down
        bitsPerPixel = LittleEndian(&bytes[28], 2);
        compression = LittleEndian(&bytes[30], 4);
    }
    if (width <= 0 || height == 0)
        RaiseInvalidPicture("BMP of " + std::to_string(width) + " x " + std::to_string(height) + " pixels has no pixels");
    const auto rows = std::uint64_t(height < 0 ? -height : height);
    CheckPictureDimensions(std::uint64_t(width), rows);

    if (compression == Rle8 || compression == Rle4) {
        if (!RunLengthDataIsComplete(bytes, pixelsAt, compression == Rle4))
            RaiseInvalidPicture("truncated BMP data: the run-length data has no end");
        return;
    }
    if (compression != Rgb && compression != BitFields && compression != AlphaBitFields)
        return;
    const std::uint64_t rowBytes = (std::uint64_t(width) * bitsPerPixel + 31) / 32 * 4;
    const std::uint64_t needed = std::uint64_t(pixelsAt) + rowBytes * rows;
    if (bytes.size() < needed)
        RaiseInvalidPicture("truncated BMP data: " + std::to_string(bytes.size()) + " bytes where the header needs " + std::to_string(needed));
}

} // namespace

void CheckBeforeQtDecodes(std::span<const std::uint8_t> bytes)
{
    CheckPng(bytes);
    CheckBmp(bytes);
}

} // namespace tollamere
