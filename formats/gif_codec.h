// SPDX-License-Identifier: MIT
#pragma once

#include "picture_codec.h"

#include <span>

namespace tollamere {

bool LooksLikeGif(std::span<const std::uint8_t> bytes) noexcept;

// Decodes the first frame, placed on a transparent canvas of the logical
// screen (grown to hold the frame when the screen is smaller). Pixels of the
// transparent index and canvas outside the frame read as alpha 0. A canvas of
// more than maxPixels raises PictureBeyondAllowance.
PictureFile DecodeGif(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels = MaxPicturePixels);

// Writes a GIF89a of one frame. With hasAlpha, pixels of alpha below 128 take
// a transparent index; other alpha is dropped. At most 256 colours (the
// transparent one included) are kept exactly, more are reduced by median cut.
EncodedBytes EncodeGif(const Picture& picture, bool hasAlpha);

} // namespace tollamere
