// SPDX-License-Identifier: MIT
#pragma once

// The effect's defaults, as its three boxes show them when the window first
// opens and as the command line and a look file take them, and the bevel
// sizes it takes: the one place these numbers are written.

#include <cstdint>
#include <string>
#include <string_view>

namespace tollamere {

inline constexpr std::string_view DefaultBevelSizeText = "5";
inline constexpr std::string_view DefaultLightAngleText = "135";
inline constexpr std::string_view DefaultLightElevationText = "30";
inline constexpr std::int32_t DefaultBevelSize = 5;
inline constexpr double DefaultLightAngleDegrees = 135.0;
inline constexpr double DefaultLightElevationDegrees = 30.0;
// A bevel's rings are counted in a byte, with one value kept for the flat top.
inline constexpr std::int32_t MaxBevelSize = 254;

// "0 to 254", as messages say which bevel sizes are taken.
inline std::string BevelSizeRangeText()
{
    return "0 to " + std::to_string(MaxBevelSize);
}

} // namespace tollamere
