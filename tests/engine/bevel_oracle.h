// SPDX-License-Identifier: MIT
#pragma once

// A slow, literal second implementation of the bevel effect, written
// separately from the engine so that the two can be compared pixel for pixel.
// It shares nothing with the engine but the Picture class: its maps, its
// pixel buffer, its MulDiv, its rounding and its vector arithmetic are its own.

#include "picture.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tollamere::oracle {

// A map indexed [x][y], x from the left and y from the top. Values are kept
// as int; every store that stands for a byte store is range-checked.
using Map = std::vector<std::vector<int>>;

// The intermediate results of one run, for checking the oracle itself
// against known reference results.
struct LiteralTrace {
    Map heightAfterErosion;   // 1 + passes survived (0 outside)
    Map heightAfterNormalise; // rescaled to 0..255
    Map heightAfterBlur;      // after the single height blur
    Map lightAfterLighting;
    Map shadowAfterLighting;
    Map lightAfterBlur;
    Map shadowAfterBlur;
    Map lightAfterMerge;
    Map shadowAfterMerge;
    std::array<double, 3> lightVector{};
};

// (a * b) / c with a 64-bit product, rounded to the nearest integer with
// halves away from zero.
std::int32_t LiteralMulDiv(std::int32_t a, std::int32_t b, std::int32_t c);

// Rounds to the nearest integer, halves to the even one.
std::int32_t LiteralRoundHalfEven(double value);

// (cos e * cos a, -(cos e) * sin a, sin e) for angle a and elevation e in radians.
std::array<double, 3> LiteralLightVector(double lightAngleRadians, double lightElevationRadians);

// The whole effect applied to a copy of input. Colours are the effect's, the
// alpha bytes those of input. bevelSize must lie in 0..254 and input must
// have pixels; otherwise std::invalid_argument. A byte store out of range
// (which the effect never makes for valid input) raises std::out_of_range.
Picture LiteralBevel(const Picture& input, std::int32_t bevelSize, double lightAngleRadians,
                     double lightElevationRadians);

// The same, also recording the intermediate maps when trace is not null.
Picture LiteralBevel(const Picture& input, std::int32_t bevelSize, double lightAngleRadians,
                     double lightElevationRadians, LiteralTrace* trace);

} // namespace tollamere::oracle
