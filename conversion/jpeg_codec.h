#pragma once

#include "picture_codec.h"

#include <span>

namespace tollamere {

bool LooksLikeJpeg(std::span<const std::uint8_t> bytes) noexcept;

// Decodes a baseline or progressive JPEG (grey, YCbCr, RGB, CMYK or YCCK).
// A truncated stream or damaged entropy data is an Invalid picture (481);
// only warnings about metadata are tolerated.
PictureFile DecodeJpeg(std::span<const std::uint8_t> bytes);

// Encodes the colours (alpha is dropped) with every component sampled 1x1,
// at the quality clamped to 0..100.
EncodedBytes EncodeJpeg(const Picture& picture, int quality);

} // namespace tollamere
