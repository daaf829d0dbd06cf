// SPDX-License-Identifier: MIT
#pragma once

// What the codecs read into and write from: a picture with its alpha and
// metadata, how an output is encoded, and the limits every reader keeps.

#include "picture.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tollamere {

// A picture as read from a file: its colours, and its alpha in the top byte
// of each pixel word when the file carries transparency (0xFF everywhere
// otherwise). A fully transparent pixel reads as black, so the effect counts
// it as outside the shape.
struct PictureFile {
    Picture picture;
    bool hasAlpha = false;
    // What the file says about its pixels besides their values.
    struct Metadata {
        // The colour profile, as embedded (ICC); empty when the file has none.
        std::vector<std::uint8_t> iccProfile;
        // The resolution the file states, in dots per metre; 0 when it
        // states none.
        std::uint32_t dotsPerMetreX = 0;
        std::uint32_t dotsPerMetreY = 0;
        bool HasResolution() const noexcept { return dotsPerMetreX != 0 && dotsPerMetreY != 0; }
        // A JPEG's EXIF block (from the "Exif\0\0" header on); empty for
        // every other format.
        std::vector<std::uint8_t> exif;
    } metadata;
};

using PictureMetadata = PictureFile::Metadata;

// The resolution the writers put in a file whose picture states none: 96 dpi,
// what the platform's picture saving always wrote.
inline constexpr std::uint32_t DefaultDotsPerMetre = 3780;

// How an output is encoded beyond its format.
struct SaveSettings {
    // JPEG: 1 to 100, 100 when not given; colours are not subsampled at 90
    // and above, 4:2:0 below. WebP, AVIF and JPEG XL are lossless when not
    // given and lossy at this quality when given.
    std::optional<int> quality;
    // PNG: the compression level, 0 (none) to 9 (smallest); nothing keeps
    // the writer's default.
    std::optional<int> pngLevel;
    // Carried into every output format that can hold it; EXIF into JPEG only.
    PictureMetadata metadata;
};

// The ranges of the quality and the PNG compression level.
inline constexpr int MinQuality = 1;
inline constexpr int MaxQuality = 100;
inline constexpr int MinPngLevel = 0;
inline constexpr int MaxPngLevel = 9;

// The JPEG quality and subsampling the settings give.
int JpegQuality(const SaveSettings& settings);
bool JpegSubsamplesChroma(int quality);

// Pictures whose surface would need more than this are refused before any
// pixel memory is allocated.
inline constexpr std::uint64_t MaxSurfaceBytes = 512ull * 1024 * 1024;
// The pixels whose 32-bit words fill MaxSurfaceBytes: the most any load allows.
inline constexpr std::uint64_t MaxPicturePixels = MaxSurfaceBytes / 4;

} // namespace tollamere
