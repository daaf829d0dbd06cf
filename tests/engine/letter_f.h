// SPDX-License-Identifier: MIT
#pragma once

#include "picture.h"

#include <cstdint>

namespace tollamere::test {

inline constexpr std::uint32_t Red = 0xFFFF0000u;
inline constexpr std::uint32_t Blue = 0xFF0000FFu;

// An "F" in red on blue, 6 by 5: asymmetric, so flips and swapped channels show.
inline Picture LetterF()
{
    const char* rows[] = {"#####.", "#.....", "####..", "#.....", "#....."};
    Picture picture(6, 5, Blue);
    for (std::int32_t y = 0; y < 5; ++y)
        for (std::int32_t x = 0; x < 6; ++x)
            if (rows[y][x] == '#')
                picture.Pixel(x, y) = Red;
    return picture;
}

} // namespace tollamere::test
