// SPDX-License-Identifier: MIT
#pragma once

#include "picture_files.h"
#include "runtime_error.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tollamere {

// A whole encoded file, built in memory before anything touches the disk.
using EncodedBytes = std::vector<std::uint8_t>;

// Raises Invalid picture (481) for a size without pixels, and Out of memory
// (7) when the picture's pixel words or its 24-bit surface would exceed
// MaxSurfaceBytes. Decoders call it with the header's size before allocating.
void CheckPictureDimensions(std::uint64_t width, std::uint64_t height);

[[noreturn]] void RaiseInvalidPicture(const std::string& reason);

// Raises Invalid picture (481) for a picture without pixels, or one wider or
// higher than the format can hold (formatName says which, e.g. "a GIF").
void CheckPictureFitsFormat(const Picture& picture, std::int32_t largestSide, const std::string& formatName);

// True for an ICC profile of RGB data: the only kind that can describe a
// picture's colour words. A decoder that expands grey to RGB, or turns CMYK
// into RGB, keeps no grey or CMYK profile.
bool IsRgbProfile(std::span<const std::uint8_t> profile) noexcept;

// A fully transparent pixel must read as black so that the effect counts it
// as outside the shape, whatever colour the file stored under it.
void BlackenTransparentPixels(Picture& picture) noexcept;

} // namespace tollamere
