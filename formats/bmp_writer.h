// SPDX-License-Identifier: MIT
#pragma once

#include "picture_codec.h"

namespace tollamere {

// A bitmap file of 24 bits per pixel (blue, green, red; rows bottom-up and
// padded to 4 bytes), the alpha dropped.
EncodedBytes EncodeBmp24(const Picture& picture);

} // namespace tollamere
