// SPDX-License-Identifier: MIT
#include "format_registry.h"

#include <cstring>

namespace tollamere {
namespace {

// The formats read and written by Qt's plugins that the window and the
// Options dialog name. Qt's look at the content tells their sizes.

bool LooksLikeWebp(ByteSpan bytes)
{
    return bytes.size() >= 12 && std::memcmp(bytes.data(), "RIFF", 4) == 0 && std::memcmp(bytes.data() + 8, "WEBP", 4) == 0;
}

// Little- or big-endian, then 42.
bool LooksLikeTiff(ByteSpan bytes)
{
    return bytes.size() >= 4 && (std::memcmp(bytes.data(), "II*\0", 4) == 0 || std::memcmp(bytes.data(), "MM\0*", 4) == 0);
}

constexpr std::string_view WebpExtensions[] = {"webp"};
constexpr std::string_view TiffExtensions[] = {"tif", "tiff"};

// Qt's WebP writer turns a quality of 100 into lossless; TIFF is written
// with LZW (Qt's compression 1).
constexpr QtWriting WebpWriting{.defaultQuality = 100};
constexpr QtWriting TiffWriting{.compression = 1};

} // namespace

// Its encoder takes far more than most while it works.
extern constinit const FileFormat WebpFormat{
    .name = "WebP",
    .extensions = WebpExtensions,
    .looksLike = LooksLikeWebp,
    .qtWriting = WebpWriting,
    .writtenByQt = true,
    .keepsAlpha = true,
    .largestProfile = LargeProfileBytes,
    .metadata = CarriesProfile,
    .peakBytesPerPixel = 48,
    .mimeType = "image/webp",
};

extern constinit const FileFormat TiffFormat{
    .name = "TIFF",
    .extensions = TiffExtensions,
    .looksLike = LooksLikeTiff,
    .qtWriting = TiffWriting,
    .writtenByQt = true,
    .keepsAlpha = true,
    .largestProfile = LargeProfileBytes,
    .metadata = CarriesProfile | CarriesResolution,
    .listedExtensions = 2,
    .mimeType = "image/tiff",
};

} // namespace tollamere
