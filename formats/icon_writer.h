// SPDX-License-Identifier: MIT
#pragma once

#include "picture_codec.h"

#include <span>

namespace tollamere {

enum class IconKind { Icon = 1, Cursor = 2 };

// An icon or cursor file of one 32-bit image (blue, green, red, alpha) with
// its AND mask, as Windows has read them since XP. Pictures larger than 256
// pixels either way are refused: the format cannot hold them, and shrinking
// them would write a file that is not the picture. A cursor's hot spot is (0, 0).
EncodedBytes EncodeIcon(const Picture& picture, bool hasAlpha, IconKind kind);

// The same holding every picture, in the order given: those of a side of 256
// as whole PNG files (as Windows Vista and later read them, and a quarter of
// the size of the bitmap), the others as bitmaps with their masks. Refuses
// what EncodeIcon refuses, and an empty list.
EncodedBytes EncodeIconSet(std::span<const Picture> pictures, bool hasAlpha, IconKind kind);

} // namespace tollamere
