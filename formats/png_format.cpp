// SPDX-License-Identifier: MIT
#include "png_format.h"

#include "format_registry.h"
#include "png_codec.h"

#include <algorithm>
#include <cstring>
#include <string>

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

// Walks the chunks from `at` to IEND or the end of the bytes.
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

void CheckPng(ByteSpan bytes)
{
    CheckPngAt(bytes, 0);
}

// Qt builds a colour space from a PNG's gamma and chromaticity chunks too,
// which is no embedded profile: only an iCCP chunk before the image data is.
bool EmbedsProfile(ByteSpan bytes)
{
    bool found = false;
    WalkPngChunks(bytes, PngSignature.size(), [&](std::size_t, std::string_view chunk, std::uint32_t) {
        found = chunk == "iCCP";
        return !found && chunk != "IDAT";
    });
    return found;
}

constexpr std::string_view Extensions[] = {"png"};
constexpr std::string_view QtNames[] = {"png"};

} // namespace

bool LooksLikePng(std::span<const std::uint8_t> bytes) noexcept
{
    return bytes.size() >= PngSignature.size() && std::equal(PngSignature.begin(), PngSignature.end(), bytes.begin());
}

std::optional<PictureSize> PngHeaderSize(std::span<const std::uint8_t> png)
{
    constexpr std::size_t sizeAt = 16;  // after the signature, IHDR's length and type
    if (png.size() < sizeAt + 8 || std::memcmp(&png[12], "IHDR", 4) != 0)
        return std::nullopt;
    return PictureSize{BigEndian(&png[sizeAt], 4), BigEndian(&png[sizeAt + 4], 4)};
}

// libpng refuses widths beyond a million itself, which Qt then reports as
// unreadable data; the header is read here so the reason is the size.
void CheckPngAt(std::span<const std::uint8_t> bytes, std::size_t start, std::vector<bool>* walked)
{
    const std::span<const std::uint8_t> png = bytes.subspan(start);
    if (!LooksLikePng(png))
        return;
    if (const std::optional<PictureSize> size = PngHeaderSize(png))
        CheckPictureDimensions(size->width, size->height);
    CheckPngChunkLengths(bytes, start + PngSignature.size(), walked);
}

// The common PNGs are read here; Qt's reader takes the rest and any damage.
extern constinit const FileFormat PngFormat{
    .name = "PNG",
    .extensions = Extensions,
    .looksLike = LooksLikePng,
    .headerSize = PngHeaderSize,
    .guard = CheckPng,
    .decode = DecodePng,
    .qtReading = {.formats = QtNames, .embedsProfile = EmbedsProfile},
    .encode = EncodePng,
    .keepsAlpha = true,
    .largestProfile = CommonReadersProfileBytes,
    .metadata = CarriesProfile | CarriesResolution,
    .mimeType = "image/png",
};

} // namespace tollamere
