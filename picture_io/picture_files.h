// SPDX-License-Identifier: MIT
#pragma once

#include "bevel.h"
#include "format_registry.h"
#include "picture_file.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tollamere {

// Reads a picture by its content, whatever its extension says. Failures raise
// a RuntimeError: File not found (53), Permission denied (70), Path/File
// access error (75), Out of memory (7) for a picture beyond the limit, and
// Invalid picture (481) for anything that is not a readable picture; the
// description gives the reason. The file is never changed.
PictureFile LoadPictureFile(const std::filesystem::path& path);

// Turns a picture whose EXIF block gives it an orientation other than
// upright (a phone's photo stored sideways) upright, and marks the block
// upright, so that a viewer does not turn the output again. Raises Out of
// memory (7).
void TurnPictureUpright(PictureFile& file);

// The same from bytes in memory (the loader under LoadPictureFile).
PictureFile LoadPictureFromBytes(std::span<const std::uint8_t> bytes);
// The same into a picture file kept by the caller, whose pixel memory the
// PNG and Qt readers reuse when it is large enough. A picture of more than
// maxPixels, whatever its header said, raises PictureBeyondAllowance (an
// Out of memory (7) that tells its size) before its pixels are allocated.
void LoadPictureFromBytes(std::span<const std::uint8_t> bytes, PictureFile& into, std::uint64_t maxPixels = MaxPicturePixels);

// A JPEG loaded for the classic effect, which bevels the workspace's 24-bit
// surface: straight into the surface when it can stay there (no inks to
// convert to RGB, nor, with autoOrient, a photo to turn upright), its
// metadata into `into`: true. Otherwise into `into`'s picture, from the
// headers already read: false. Raises as LoadPictureFromBytes.
bool LoadJpegOntoSurface(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels, bool autoOrient,
                         BevelWorkspace& space, PictureFile& into);

// Writes the picture in the format its path's extension names (case ignored)
// in the format table: JPEG at quality 100 without chroma subsampling, BMP
// as 24 bits, the others with the alpha kept when hasAlpha. The file appears complete or not at all:
// on failure an older file of that name is left as it was. An extension no
// encoder knows raises Invalid procedure call (5) naming it.
void SavePictureFile(const Picture& picture, bool hasAlpha, const std::filesystem::path& path,
                     const SaveSettings& settings = {});

// What SavePictureFile writes, for a caller that writes the bytes itself;
// raises as it does.
std::vector<std::uint8_t> EncodePictureFile(const Picture& picture, bool hasAlpha, const std::filesystem::path& path,
                                            const SaveSettings& settings);
// The same from pixels in any layout (the effect's surface, for one), which
// only JPEG encodes straight from; any other format raises Invalid
// procedure call (5).
std::vector<std::uint8_t> EncodePictureFile(const ConstPixelLayout& pixels, const std::filesystem::path& path,
                                            const SaveSettings& settings);

// The two in a format the caller has looked up already (the run's plan).
std::vector<std::uint8_t> EncodePictureFile(const Picture& picture, bool hasAlpha, const PictureFormat& format,
                                            const SaveSettings& settings);
std::vector<std::uint8_t> EncodePictureFile(const ConstPixelLayout& pixels, const PictureFormat& format,
                                            const SaveSettings& settings);

// One file holding the picture at several sizes, for a format that has an
// encodeSizes (ICO, CUR); converts the pictures to sRGB in place when they
// have a profile the format cannot carry. Any other format raises Invalid
// procedure call (5).
std::vector<std::uint8_t> EncodePictureSizes(std::vector<Picture>& pictures, bool hasAlpha, const PictureFormat& format,
                                             const SaveSettings& settings);

} // namespace tollamere
