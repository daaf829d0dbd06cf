// SPDX-License-Identifier: MIT
#include "numeric_text.h"

#include "checked_arithmetic.h"
#include "runtime_error.h"

#include <charconv>
#include <clocale>
#include <system_error>

namespace tollamere {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The power of ten of the first significant digit of a plain number such as
// "0.0012e-5" (here -8), saturated far beyond the double range.
long long DecimalMagnitude(std::string_view plain)
{
    long long integerDigits = 0;
    long long digitIndex = 0;
    long long firstNonZero = -1;
    bool inFraction = false;
    std::size_t position = 0;
    for (; position < plain.size() && plain[position] != 'e'; ++position) {
        if (plain[position] == '.') {
            inFraction = true;
            continue;
        }
        if (!inFraction)
            ++integerDigits;
        if (firstNonZero < 0 && plain[position] != '0')
            firstNonZero = digitIndex;
        ++digitIndex;
    }
    if (firstNonZero < 0)
        return -1;
    long long exponent = 0;
    bool exponentNegative = false;
    if (position < plain.size()) {
        ++position;
        if (position < plain.size() && (plain[position] == '+' || plain[position] == '-'))
            exponentNegative = plain[position++] == '-';
        for (; position < plain.size() && exponent < 1'000'000'000; ++position)
            exponent = exponent * 10 + (plain[position] - '0');
    }
    return integerDigits - 1 - firstNonZero + (exponentNegative ? -exponent : exponent);
}

} // namespace

std::string LocaleDecimalSeparator()
{
    const std::lconv* conventions = std::localeconv();
    if (conventions == nullptr || conventions->decimal_point == nullptr || *conventions->decimal_point == '\0')
        return ".";
    return conventions->decimal_point;
}

double TextToDouble(std::string_view text, std::string_view decimalSeparator)
{
    std::size_t position = 0;
    while (position < text.size() && IsBlank(text[position]))
        ++position;
    std::size_t end = text.size();
    while (end > position && IsBlank(text[end - 1]))
        --end;

    // Rewrite the number in the locale-free form that from_chars reads.
    std::string plain;
    bool negative = false;
    if (position < end && (text[position] == '+' || text[position] == '-')) {
        negative = text[position] == '-';
        ++position;
    }
    std::size_t mantissaDigits = 0;
    bool separatorSeen = false;
    while (position < end) {
        const char c = text[position];
        if (IsDigit(c)) {
            plain += c;
            ++mantissaDigits;
            ++position;
        } else if (!separatorSeen && !decimalSeparator.empty() && text.substr(position, decimalSeparator.size()) == decimalSeparator) {
            plain += '.';
            separatorSeen = true;
            position += decimalSeparator.size();
        } else {
            break;
        }
    }
    if (mantissaDigits == 0)
        Raise(ErrorNumber::TypeMismatch);
    if (position < end && (text[position] == 'e' || text[position] == 'E')) {
        plain += 'e';
        ++position;
        if (position < end && (text[position] == '+' || text[position] == '-'))
            plain += text[position++];
        std::size_t exponentDigits = 0;
        while (position < end && IsDigit(text[position])) {
            plain += text[position++];
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            Raise(ErrorNumber::TypeMismatch);
    }
    if (position != end)
        Raise(ErrorNumber::TypeMismatch);

    double value = 0.0;
    const auto [last, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value, std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        // from_chars leaves the value unset on both overflow and underflow:
        // a number too small for a double reads as 0, one too large overflows.
        if (DecimalMagnitude(plain) < 0)
            return 0.0;
        Raise(ErrorNumber::Overflow);
    }
    if (error != std::errc() || last != plain.data() + plain.size())
        Raise(ErrorNumber::TypeMismatch);
    return negative ? -value : value;
}

std::int32_t TextToLong(std::string_view text, std::string_view decimalSeparator)
{
    return RoundToLong(TextToDouble(text, decimalSeparator));
}

} // namespace tollamere
