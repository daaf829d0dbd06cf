// SPDX-License-Identifier: MIT
#include "effect_operators.h"

#include "checked_arithmetic.h"

#include <cmath>

namespace tollamere {

Vector3 ComputeLightVector(double lightAngle, double lightElevation)
{
    const double a = lightAngle;
    const double e = lightElevation;
    Vector3 lightVector;
    lightVector.x = std::cos(e) * std::cos(a);
    lightVector.y = -std::cos(e) * std::sin(a);
    lightVector.z = std::sin(e);
    return lightVector;
}

void DarkenPixel(std::uint8_t amount, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue)
{
    const std::int32_t keep = 255 - amount;
    red = CheckedByte(MulDiv(red, keep, 255));
    green = CheckedByte(MulDiv(green, keep, 255));
    blue = CheckedByte(MulDiv(blue, keep, 255));
}

void LightenPixel(std::uint8_t amount, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue)
{
    const std::int32_t keep = 255 - amount;
    red = CheckedByte(amount + MulDiv(red, keep, 255));
    green = CheckedByte(amount + MulDiv(green, keep, 255));
    blue = CheckedByte(amount + MulDiv(blue, keep, 255));
}

} // namespace tollamere
