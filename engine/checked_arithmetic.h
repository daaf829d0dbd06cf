// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace tollamere {

// Stores into unsigned 8-bit values and 32-bit integers are range-checked:
// a value out of range raises Overflow (6).
std::uint8_t CheckedByte(std::int64_t value);
std::int32_t CheckedLong(std::int64_t value);
std::int32_t CheckedSum(std::int32_t a, std::int32_t b);
std::int32_t CheckedProduct(std::int32_t a, std::int32_t b);

// (a * b) / c without intermediate overflow, rounded to the nearest integer
// with halves away from zero. A zero divisor raises Division by zero (11), a
// result beyond 32 bits raises Overflow (6).
std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c);

// Floating point to integer: nearest value, halves to the even one; NaN or a
// value beyond the target's range raises Overflow (6).
std::int32_t RoundToLong(double value);
std::uint8_t RoundToByte(double value);

} // namespace tollamere
