// SPDX-License-Identifier: MIT
#include "checked_arithmetic.h"
#include "numeric_text.h"
#include "runtime_error.h"
#include "runtime_error_matchers.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace tollamere {
namespace {

TEST(RuntimeErrorTest, CarriesNumberAndStandardDescription)
{
    const RuntimeError overflow(ErrorNumber::Overflow);
    EXPECT_EQ(overflow.Description(), "Overflow");
    EXPECT_EQ(RuntimeError(ErrorNumber::InvalidPicture).Description(), "Invalid picture");
    EXPECT_EQ(RuntimeError(ErrorNumber::PathFileAccessError).Description(), "Path/File access error");
    const RuntimeError custom(ErrorNumber::InvalidProcedureCall, "Cannot save the image. GDI+ Error:7");
    EXPECT_EQ(custom.Number(), ErrorNumber::InvalidProcedureCall);
    EXPECT_EQ(custom.Description(), "Cannot save the image. GDI+ Error:7");
}

TEST(CheckedArithmeticTest, StoresOutOfRangeOverflow)
{
    EXPECT_EQ(CheckedByte(0), 0);
    EXPECT_EQ(CheckedByte(255), 255);
    EXPECT_RUNTIME_ERROR(CheckedByte(256), ErrorNumber::Overflow);
    EXPECT_RUNTIME_ERROR(CheckedByte(-1), ErrorNumber::Overflow);

    EXPECT_EQ(CheckedSum(2147483646, 1), 2147483647);
    EXPECT_RUNTIME_ERROR(CheckedSum(2147483647, 1), ErrorNumber::Overflow);
    EXPECT_RUNTIME_ERROR(CheckedSum(-2147483647 - 1, -1), ErrorNumber::Overflow);
    EXPECT_RUNTIME_ERROR(CheckedProduct(715827883, 3), ErrorNumber::Overflow);
    EXPECT_EQ(CheckedProduct(715827882, 3), 2147483646);
}

TEST(CheckedArithmeticTest, MulDivRoundsHalvesAwayFromZero)
{
    EXPECT_EQ(MulDiv(100, 204, 255), 80);
    EXPECT_EQ(MulDiv(1, 1, 2), 1);
    EXPECT_EQ(MulDiv(3, 1, 2), 2);
    EXPECT_EQ(MulDiv(-1, 1, 2), -1);
    EXPECT_EQ(MulDiv(1, -3, 2), -2);
    EXPECT_EQ(MulDiv(-5, -1, 2), 3);
    EXPECT_EQ(MulDiv(7, 1, 3), 2);
    EXPECT_EQ(MulDiv(8, 1, 3), 3);
    // No intermediate overflow: the product exceeds 32 bits.
    EXPECT_EQ(MulDiv(2000000000, 2000000000, 2000000000), 2000000000);
    EXPECT_RUNTIME_ERROR(MulDiv(1, 1, 0), ErrorNumber::DivisionByZero);
    EXPECT_RUNTIME_ERROR(MulDiv(2147483647, 2, 1), ErrorNumber::Overflow);
}

TEST(CheckedArithmeticTest, FloatingPointRoundsHalvesToEven)
{
    EXPECT_EQ(RoundToLong(0.5), 0);
    EXPECT_EQ(RoundToLong(1.5), 2);
    EXPECT_EQ(RoundToLong(2.5), 2);
    EXPECT_EQ(RoundToLong(-2.5), -2);
    EXPECT_EQ(RoundToLong(2.5000001), 3);
    EXPECT_EQ(RoundToLong(2147483647.4), 2147483647);
    EXPECT_RUNTIME_ERROR(RoundToLong(2147483647.5), ErrorNumber::Overflow);
    EXPECT_RUNTIME_ERROR(RoundToLong(std::numeric_limits<double>::quiet_NaN()), ErrorNumber::Overflow);
    EXPECT_EQ(RoundToByte(254.5), 254);
    EXPECT_EQ(RoundToByte(-0.5), 0);
    EXPECT_RUNTIME_ERROR(RoundToByte(255.5), ErrorNumber::Overflow);
}

TEST(NumericTextTest, ReadsNumbersWithTheGivenSeparator)
{
    EXPECT_DOUBLE_EQ(TextToDouble("135", "."), 135.0);
    EXPECT_DOUBLE_EQ(TextToDouble("  -12.25 ", "."), -12.25);
    EXPECT_DOUBLE_EQ(TextToDouble("+.5", "."), 0.5);
    EXPECT_DOUBLE_EQ(TextToDouble("7.", "."), 7.0);
    EXPECT_DOUBLE_EQ(TextToDouble("1.5e2", "."), 150.0);
    EXPECT_DOUBLE_EQ(TextToDouble("2E-1", "."), 0.2);
    EXPECT_DOUBLE_EQ(TextToDouble("12,75", ","), 12.75);
    EXPECT_DOUBLE_EQ(TextToDouble("1e-400", "."), 0.0);
    EXPECT_DOUBLE_EQ(TextToDouble("0.000000e-99999999999999", "."), 0.0);
}

TEST(NumericTextTest, RefusesTextThatIsNoNumber)
{
    for (const char* text : {"", "   ", "abc", "5px", "1.2.3", "--1", "e5", ".", "1e", "1e+", "inf", "nan", "0x10", "1 2"}) {
        SCOPED_TRACE(text);
        EXPECT_RUNTIME_ERROR(TextToDouble(text, "."), ErrorNumber::TypeMismatch);
    }
    // The other separator is no separator in this locale.
    EXPECT_RUNTIME_ERROR(TextToDouble("4.5", ","), ErrorNumber::TypeMismatch);
    EXPECT_RUNTIME_ERROR(TextToDouble("4,5", "."), ErrorNumber::TypeMismatch);
}

TEST(NumericTextTest, LargeNumbersOverflow)
{
    EXPECT_RUNTIME_ERROR(TextToDouble("1e400", "."), ErrorNumber::Overflow);
    EXPECT_RUNTIME_ERROR(TextToDouble("-123456789e9999", "."), ErrorNumber::Overflow);
    EXPECT_RUNTIME_ERROR(TextToLong("2147483648", "."), ErrorNumber::Overflow);
    EXPECT_EQ(TextToLong("-2147483648", "."), -2147483647 - 1);
}

TEST(NumericTextTest, IntegersRoundHalvesToEven)
{
    EXPECT_EQ(TextToLong("4.5", "."), 4);
    EXPECT_EQ(TextToLong("5.5", "."), 6);
    EXPECT_EQ(TextToLong("5.49", "."), 5);
    EXPECT_EQ(TextToLong("-0.5", "."), 0);
    EXPECT_EQ(TextToLong(" 254 ", "."), 254);
}

TEST(RuntimeErrorTest, PrintableEscapesInvalidBytesAndControlCharacters)
{
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"/caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80.png", "/caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80.png"},
        {"\xFF.png", "\\xFF.png"},
        {"latin1 \xE9t\xE9", "latin1 \\xE9t\\xE9"},
        // Only the lead byte is invalid; the byte after it is looked at anew.
        {"\xC3\xC3\xA9", "\\xC3\xC3\xA9"},
        {"overlong \xC0\xAF", "overlong \\xC0\\xAF"},
        {"surrogate \xED\xA0\x80", "surrogate \\xED\\xA0\\x80"},
        {"line\nbreak\x1B[2J\x7F", "line\\x0Abreak\\x1B[2J\\x7F"},
        {"c1 \xC2\x9B \xC2\xA0", "c1 \\xC2\\x9B \xC2\xA0"},
        {std::string("nul\0end", 7), "nul\\x00end"},
    };
    for (const auto& [path, shown] : rows)
        EXPECT_EQ(Printable(path), shown) << shown;
}

} // namespace
} // namespace tollamere
