// SPDX-License-Identifier: MIT
#include "format_guards.h"

#include "byte_order.h"
#include "picture_codec.h"
#include "picture_probe.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace tollamere {
namespace {

// libpng only warns about a text, palette or calibration chunk longer than
// its own 8 MB limit, then allocates all the length declares before reading
// it: a few bytes of file could claim gigabytes.
constexpr std::uint32_t MaxPngMetadataChunkBytes = 8u << 20;

// Image data (IDAT) is streamed by libpng, and the frames of an animated PNG
// (fdAT) are skipped unread, so their length costs no memory.
bool IsStreamedPngChunk(const std::uint8_t* type) noexcept
{
    return std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "fdAT", 4) == 0;
}

bool IsPngChunkType(const std::uint8_t* type) noexcept
{
    return std::all_of(type, type + 4, [](std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

// Walks the chunks from `at` to IEND or the end of the bytes. `walked`, when
// given, marks chunks already checked from another start: from there on the
// walk would repeat itself.
void CheckPngChunkLengths(std::span<const std::uint8_t> bytes, std::size_t at, std::vector<bool>* walked)
{
    WalkPngChunks(bytes, at, [&](std::size_t chunkAt, std::string_view type, std::uint32_t length) {
        if (walked) {
            if ((*walked)[chunkAt])
                return false;
            (*walked)[chunkAt] = true;
        }
        const auto* typeBytes = reinterpret_cast<const std::uint8_t*>(type.data());
        if (!IsPngChunkType(typeBytes))
            return false;  // libpng refuses the name before it reads the chunk
        if (length > MaxPngMetadataChunkBytes && !IsStreamedPngChunk(typeBytes))
            RaiseInvalidPicture("the PNG's " + std::string(type) + " chunk declares " + std::to_string(length) + " bytes, beyond the "
                                + std::to_string(MaxPngMetadataChunkBytes >> 20) + " MiB a picture's metadata may take");
        // A file cut short is for the decoder to judge.
        return type != "IEND";
    });
}

// Checks the PNG that starts at `start`. libpng refuses widths beyond a
// million itself, which Qt then reports as unreadable data; the header is
// read here so the reason is the size.
void CheckPng(std::span<const std::uint8_t> bytes, std::size_t start = 0, std::vector<bool>* walked = nullptr)
{
    const std::span<const std::uint8_t> png = bytes.subspan(start);
    if (png.size() < PngSignature.size() || !std::equal(PngSignature.begin(), PngSignature.end(), png.begin()))
        return;
    if (const std::optional<PictureSize> size = PngHeaderSize(png))
        CheckPictureDimensions(size->width, size->height);
    CheckPngChunkLengths(bytes, start + PngSignature.size(), walked);
}

// An icon or cursor may hold its pictures as whole PNG files, which Qt hands
// to the same PNG reader.
void CheckPngsInIcon(std::span<const std::uint8_t> bytes)
{
    constexpr std::size_t entriesAt = 6;
    constexpr std::size_t entrySize = 16;
    if (bytes.size() < entriesAt || LittleEndian(&bytes[0], 2) != 0)
        return;
    if (const std::uint32_t kind = LittleEndian(&bytes[2], 2); kind != 1 && kind != 2)
        return;
    const std::uint32_t count = LittleEndian(&bytes[4], 2);
    std::vector<bool> walked(bytes.size());  // entries may point into one another's data
    for (std::size_t i = 0; i < count && entriesAt + (i + 1) * entrySize <= bytes.size(); ++i) {
        const std::uint32_t imageAt = LittleEndian(&bytes[entriesAt + i * entrySize + 12], 4);
        if (imageAt < bytes.size())
            CheckPng(bytes, imageAt, &walked);
    }
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
    if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M')
        return;
    if (bytes.size() < BmpHeaderStartBytes)
        RaiseInvalidPicture("truncated BMP header");
    const std::optional<BmpHeader> header = ReadBmpHeader(bytes);
    if (!header)
        RaiseInvalidPicture("truncated or unknown BMP header");
    const auto [width, height, bitsPerPixel, compression, pixelsAt] = *header;
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
    CheckPngsInIcon(bytes);
    CheckBmp(bytes);
}

} // namespace tollamere
