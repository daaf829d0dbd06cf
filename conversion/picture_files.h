// SPDX-License-Identifier: MIT
#pragma once

#include "picture.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
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

// The JPEG quality and subsampling the settings give.
int JpegQuality(const SaveSettings& settings);
bool JpegSubsamplesChroma(int quality);

// Pictures whose surface would need more than this are refused before any
// pixel memory is allocated.
inline constexpr std::uint64_t MaxSurfaceBytes = 512ull * 1024 * 1024;
// The pixels whose 32-bit words fill MaxSurfaceBytes: the most any load allows.
inline constexpr std::uint64_t MaxPicturePixels = MaxSurfaceBytes / 4;

// Reads a picture by its content, whatever its extension says. Failures raise
// a RuntimeError: File not found (53), Permission denied (70), Path/File
// access error (75), Out of memory (7) for a picture beyond the limit, and
// Invalid picture (481) for anything that is not a readable picture; the
// description gives the reason. The file is never changed.
PictureFile LoadPictureFile(const std::filesystem::path& path);

// The same from bytes in memory (the loader under LoadPictureFile).
PictureFile LoadPictureFromBytes(std::span<const std::uint8_t> bytes);
// The same into a picture file kept by the caller, whose pixel memory the
// PNG and Qt readers reuse when it is large enough. A picture of more than
// maxPixels, whatever its header said, raises PictureBeyondAllowance (an
// Out of memory (7) that tells its size) before its pixels are allocated.
void LoadPictureFromBytes(std::span<const std::uint8_t> bytes, PictureFile& into, std::uint64_t maxPixels = MaxPicturePixels);

// Writes the picture in the format its path's extension names (case ignored):
// JPEG at quality 100 without chroma subsampling for "jpg", "jpeg", "jpe" and
// "jfif"; a 24-bit bitmap for "bmp"; PNG, GIF, ICO, TIFF, WebP, AVIF, JPEG XL and the others
// with the alpha kept when hasAlpha. The file appears complete or not at all:
// on failure an older file of that name is left as it was. An extension no
// encoder knows raises Invalid procedure call (5) naming it.
void SavePictureFile(const Picture& picture, bool hasAlpha, const std::filesystem::path& path,
                     const SaveSettings& settings = {});

// What SavePictureFile writes, for a caller that writes the bytes itself;
// raises as it does.
std::vector<std::uint8_t> EncodePictureFile(const Picture& picture, bool hasAlpha, const std::filesystem::path& path,
                                            const SaveSettings& settings);
// The same for a JPEG output from the effect's surface, which holds the
// picture in its own layout; any other format raises Invalid procedure
// call (5).
class cDIBSection;
std::vector<std::uint8_t> EncodeSurfaceFile(const cDIBSection& surface, const std::filesystem::path& path, const SaveSettings& settings);

} // namespace tollamere
