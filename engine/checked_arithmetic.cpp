// SPDX-License-Identifier: MIT
#include "checked_arithmetic.h"

#include "runtime_error.h"

#include <cmath>
#include <limits>

namespace tollamere {

std::uint8_t CheckedByte(std::int64_t value)
{
    if (value < 0 || value > 255)
        Raise(ErrorNumber::Overflow);
    return static_cast<std::uint8_t>(value);
}

std::int32_t CheckedLong(std::int64_t value)
{
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        Raise(ErrorNumber::Overflow);
    return static_cast<std::int32_t>(value);
}

std::int32_t CheckedSum(std::int32_t a, std::int32_t b)
{
    return CheckedLong(std::int64_t{a} + b);
}

std::int32_t CheckedProduct(std::int32_t a, std::int32_t b)
{
    return CheckedLong(std::int64_t{a} * b);
}

std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c)
{
    if (c == 0)
        Raise(ErrorNumber::DivisionByZero);
    const std::int64_t product = std::int64_t{a} * b;
    const bool negative = (product < 0) != (c < 0);
    // |product| < 2^62 and |c| <= 2^31, so neither magnitude nor the doubled
    // remainder below overflows 64 bits.
    const std::uint64_t magnitude = product < 0 ? 0 - static_cast<std::uint64_t>(product) : static_cast<std::uint64_t>(product);
    const std::uint64_t divisor = c < 0 ? 0 - static_cast<std::uint64_t>(static_cast<std::int64_t>(c)) : static_cast<std::uint64_t>(c);
    std::uint64_t quotient = magnitude / divisor;
    if (2 * (magnitude % divisor) >= divisor)
        ++quotient;
    const std::int64_t result = negative ? -static_cast<std::int64_t>(quotient) : static_cast<std::int64_t>(quotient);
    return CheckedLong(result);
}

std::int32_t RoundToLong(double value)
{
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0))
        Raise(ErrorNumber::Overflow);
    return static_cast<std::int32_t>(rounded);
}

std::uint8_t RoundToByte(double value)
{
    const double rounded = std::nearbyint(value);
    if (!(rounded >= 0.0 && rounded <= 255.0))
        Raise(ErrorNumber::Overflow);
    return static_cast<std::uint8_t>(rounded);
}

} // namespace tollamere
