// SPDX-License-Identifier: MIT
#pragma once

// Colours from an embedded profile to sRGB, for an output whose format has
// no place for the profile: without it the picture would be shown as if its
// colours were sRGB already, too dull or too bright.

#include "picture.h"

#include <cstdint>
#include <span>

namespace tollamere {

// Converts the picture's colours from the RGB profile to sRGB, its alpha
// kept (perceptual intent). False, the picture left as it was, when the
// profile cannot be read or makes no transform; raises Out of memory (7).
bool ConvertToSrgb(Picture& picture, std::span<const std::uint8_t> profile);

} // namespace tollamere
