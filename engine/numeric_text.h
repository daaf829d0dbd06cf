// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tollamere {

// The decimal separator of the user's locale (the C library's current
// numeric locale): "." or "," for most users.
std::string LocaleDecimalSeparator();

// Reads a number typed by a user: optional blanks, an optional sign, digits
// with at most one decimal separator, an optional exponent ("1.5e2"), optional
// blanks. Any other text, the empty one included, raises Type mismatch (13);
// a number beyond the double range raises Overflow (6).
double TextToDouble(std::string_view text, std::string_view decimalSeparator);

// The same number rounded to a 32-bit integer, halves to the even one
// ("4.5" gives 4, "5.5" gives 6); beyond 32 bits it raises Overflow (6).
std::int32_t TextToLong(std::string_view text, std::string_view decimalSeparator);

} // namespace tollamere
