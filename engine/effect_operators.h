// SPDX-License-Identifier: MIT
#pragma once

#include "vector_math.h"

#include <cstdint>

namespace tollamere {

// The unit vector from the surface toward the light, x to the right and y
// downward, for angle a and elevation e in radians: (cos e cos a, -cos e sin a, sin e).
Vector3 ComputeLightVector(double lightAngle, double lightElevation);

// Each byte c becomes MulDiv(c, 255 - amount, 255).
void DarkenPixel(std::uint8_t amount, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue);
// Each byte c becomes amount + MulDiv(c, 255 - amount, 255).
void LightenPixel(std::uint8_t amount, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue);

} // namespace tollamere
