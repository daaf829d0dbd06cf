// SPDX-License-Identifier: MIT
#pragma once

#include "picture_codec.h"
#include "picture_size.h"

#include <span>

namespace tollamere {

// A bare JPEG XL codestream (FF 0A) or one in the JPEG XL container (its
// 12-byte signature box).
bool LooksLikeJxl(std::span<const std::uint8_t> bytes) noexcept;

// Decodes the first frame (as displayed: oriented, animation frames of no
// duration merged), reduced to 8 bits per channel, grey expanded to RGB,
// alpha kept. metadata.iccProfile is the profile of the decoded colours when
// they are not sRGB: the embedded profile of a file stored in its own colour
// space, or libjxl's profile for a named space other than sRGB. A file stored
// in the XYB space under an embedded profile is decoded to sRGB, without it;
// grey profiles are left out, as the picture is RGB.
// Damage is an Invalid picture (481); a size beyond the limit, or memory
// running out, is Out of memory (7); more than maxPixels raises
// PictureBeyondAllowance.
PictureFile DecodeJxl(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels = MaxPicturePixels);

// The size the basic information declares, from the start of a file; nothing
// when the bytes end before it or are no JPEG XL.
std::optional<PictureSize> JxlImageSize(std::span<const std::uint8_t> start);

// Without a quality (or at 100), losslessly in the picture's own colour
// space; with a quality of 1..99, lossy at the distance cjxl gives that
// quality. Alpha is written when hasAlpha; the metadata's colour profile is
// embedded, sRGB declared when there is none.
EncodedBytes EncodeJxl(const Picture& picture, bool hasAlpha, const SaveSettings& settings = {});

// The Butteraugli distance (0 lossless .. 15) a quality of 1..100 gives.
float JxlDistanceForQuality(int quality) noexcept;

} // namespace tollamere
