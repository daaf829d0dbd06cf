// SPDX-License-Identifier: MIT
#pragma once

#include "picture_codec.h"

#include <span>

namespace tollamere {

// Without a quality (or at 100), losslessly in the picture's own colour
// space; with a quality of 1..99, lossy at the distance cjxl gives that
// quality. Alpha is written when hasAlpha; the metadata's colour profile is
// embedded, sRGB declared when there is none.
EncodedBytes EncodeJxl(const Picture& picture, bool hasAlpha, const SaveSettings& settings = {});

// The Butteraugli distance (0 lossless .. 15) a quality of 1..100 gives.
float JxlDistanceForQuality(int quality) noexcept;

} // namespace tollamere
