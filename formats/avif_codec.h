// SPDX-License-Identifier: MIT
#pragma once

#include "picture_codec.h"

#include <span>

namespace tollamere {

// Without a quality, losslessly: 8-bit 4:4:4 with the identity matrix, full
// range, quantizer 0 for colour and alpha. With a quality (1..100), lossy at
// the quantizer that quality maps to, in 4:4:4 with BT.601 coefficients.
// Alpha is written when hasAlpha; the metadata's colour profile is embedded,
// sRGB declared when there is none.
EncodedBytes EncodeAvif(const Picture& picture, bool hasAlpha, const SaveSettings& settings = {});

// The quantizer (0 best .. 63 worst) a quality of 1..100 gives.
int AvifQuantizerForQuality(int quality) noexcept;

} // namespace tollamere
