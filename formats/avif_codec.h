// SPDX-License-Identifier: MIT
#pragma once

#include "picture_codec.h"
#include "picture_size.h"

#include <span>

namespace tollamere {

// An ISO media file whose file-type box names the AVIF still ("avif") or
// sequence ("avis") brand, as major or compatible brand.
bool LooksLikeAvif(std::span<const std::uint8_t> bytes) noexcept;

// Decodes the primary picture (a sequence's first frame), reduced to 8 bits
// per channel, grey expanded to RGB, alpha kept, turned and mirrored as the
// file says; the colour profile when the file embeds one of RGB data. Damage is an Invalid picture (481); a size beyond the
// limit, or memory running out, is Out of memory (7). A declared or coded
// frame of more than maxPixels raises PictureBeyondAllowance, or is refused
// by the AV1 decoder, before the frame is allocated.
PictureFile DecodeAvif(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels = MaxPicturePixels);

// The largest size an image spatial extents property ("ispe") of the file's
// item properties declares: the primary picture's, since its alpha, tiles and
// thumbnails are no larger. Nothing when the bytes end before one or are no AVIF.
std::optional<PictureSize> AvifImageSize(std::span<const std::uint8_t> start);

// Without a quality, losslessly: 8-bit 4:4:4 with the identity matrix, full
// range, quantizer 0 for colour and alpha. With a quality (1..100), lossy at
// the quantizer that quality maps to, in 4:4:4 with BT.601 coefficients.
// Alpha is written when hasAlpha; the metadata's colour profile is embedded,
// sRGB declared when there is none.
EncodedBytes EncodeAvif(const Picture& picture, bool hasAlpha, const SaveSettings& settings = {});

// The quantizer (0 best .. 63 worst) a quality of 1..100 gives.
int AvifQuantizerForQuality(int quality) noexcept;

} // namespace tollamere
