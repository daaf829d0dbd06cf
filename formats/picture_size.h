// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstdint>

namespace tollamere {

struct PictureSize {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
};

// The pixels of a picture of that size. Sides beyond 32 bits count as 32
// bits, so that no product wraps: either is far beyond any limit.
constexpr std::uint64_t PixelCount(PictureSize size) noexcept
{
    constexpr std::uint64_t largestSide = 0xFFFF'FFFF;
    return std::min(size.width, largestSide) * std::min(size.height, largestSide);
}

} // namespace tollamere
