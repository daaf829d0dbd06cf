// SPDX-License-Identifier: MIT
#pragma once

#include "picture_codec.h"

namespace tollamere {

enum class IconKind { Icon = 1, Cursor = 2 };

// An icon or cursor file of one 32-bit image (blue, green, red, alpha) with
// its AND mask, as Windows has read them since XP. Pictures larger than 256
// pixels either way are refused: the format cannot hold them, and shrinking
// them would write a file that is not the picture. A cursor's hot spot is (0, 0).
EncodedBytes EncodeIcon(const Picture& picture, bool hasAlpha, IconKind kind);

} // namespace tollamere
