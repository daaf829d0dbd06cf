// SPDX-License-Identifier: MIT
#pragma once

#include "picture.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace tollamere {

// A picture as read from a file: its colours, and its alpha in the top byte
// of each pixel word when the file carries transparency (0xFF everywhere
// otherwise). A fully transparent pixel reads as black, so the effect counts
// it as outside the shape.
struct PictureFile {
    Picture picture;
    bool hasAlpha = false;
};

// Pictures whose surface would need more than this are refused before any
// pixel memory is allocated.
inline constexpr std::uint64_t MaxSurfaceBytes = 512ull * 1024 * 1024;

// Reads a picture by its content, whatever its extension says. Failures raise
// a RuntimeError: File not found (53), Permission denied (70), Path/File
// access error (75), Out of memory (7) for a picture beyond the limit, and
// Invalid picture (481) for anything that is not a readable picture; the
// description gives the reason. The file is never changed.
PictureFile LoadPictureFile(const std::filesystem::path& path);

// The same from bytes in memory (the loader under LoadPictureFile).
PictureFile LoadPictureFromBytes(std::span<const std::uint8_t> bytes);

// Writes the picture in the format its path's extension names (case ignored):
// JPEG at quality 100 without chroma subsampling for "jpg", "jpeg", "jpe" and
// "jfif"; a 24-bit bitmap for "bmp"; PNG, GIF, ICO, TIFF, WebP and the others
// with the alpha kept when hasAlpha. The file appears complete or not at all:
// on failure an older file of that name is left as it was. An extension no
// encoder knows raises Invalid procedure call (5) naming it.
void SavePictureFile(const Picture& picture, bool hasAlpha, const std::filesystem::path& path);

} // namespace tollamere
