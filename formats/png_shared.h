// SPDX-License-Identifier: MIT
#pragma once

#include "kernel_targets.h"
#include "picture_codec.h"

#include <cstdint>

namespace tollamere {

// What the PNG reader and writer share.

// The image data's rows as PNG stores them before compression, read or to be
// written: a picture's reading ends before any writing starts, so one buffer
// per thread serves both.
KeptBytes& PngRowBuffer();

// The distances from left + up - upLeft to each neighbour, simplified, and
// selections without branches, in 16 bits, so that the compiler can run a
// row's bytes side by side.
TOLLAMERE_KERNEL_BODY std::int16_t Abs16(std::int16_t value) noexcept
{
    return value < 0 ? std::int16_t(-value) : value;
}

TOLLAMERE_KERNEL_BODY std::uint8_t Paeth(std::int16_t left, std::int16_t up, std::int16_t upLeft) noexcept
{
    const std::int16_t toLeft = Abs16(std::int16_t(up - upLeft));
    const std::int16_t toUp = Abs16(std::int16_t(left - upLeft));
    const std::int16_t toUpLeft = Abs16(std::int16_t(left + up - 2 * upLeft));
    const std::int16_t upOrUpLeft = toUp <= toUpLeft ? up : upLeft;
    return std::uint8_t(toLeft <= toUp && toLeft <= toUpLeft ? left : upOrUpLeft);
}

} // namespace tollamere
