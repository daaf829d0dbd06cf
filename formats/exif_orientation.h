// SPDX-License-Identifier: MIT
#pragma once

// The orientation an EXIF block gives its picture (tag 0x0112 of its first
// directory): how the stored rows are to be turned to stand upright.

#include <cstdint>
#include <span>

namespace tollamere {

// 1 (upright, as stored) to 8, as EXIF numbers them: 2 mirrored left to
// right, 3 turned half round, 4 mirrored top to bottom, 5 mirrored along
// the main diagonal, 6 to be turned a quarter clockwise, 7 mirrored along
// the other diagonal, 8 to be turned a quarter anticlockwise. A block
// without the tag, damaged, or with a value out of range gives 1. The block
// starts with "Exif\0\0", as a JPEG's APP1 segment holds it.
int ExifOrientation(std::span<const std::uint8_t> exif) noexcept;

// Writes 1 into the block's orientation tag, where it has one that
// ExifOrientation reads; the rest of the block is left as it was.
void MarkExifUpright(std::span<std::uint8_t> exif) noexcept;

} // namespace tollamere
