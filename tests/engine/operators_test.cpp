// SPDX-License-Identifier: MIT
#include "effect_operators.h"
#include "vector_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace tollamere {
namespace {

TEST(AnglesTest, UsesFifteenDigitPi)
{
    EXPECT_EQ(DegreesToRadians(180), 3.14159265358979);
    EXPECT_NE(DegreesToRadians(180), std::numbers::pi);
    EXPECT_EQ(DegreesToRadians(90), 3.14159265358979 * 90 / 180);
}

TEST(AnglesTest, VectorArithmetic)
{
    EXPECT_DOUBLE_EQ(VectorLength({3, 4, 12}), 13.0);
    EXPECT_DOUBLE_EQ(DotProduct({1, 2, 3}, {4, 5, 6}), 32.0);
    // z is added last: (1e16 - 1e16) + 1 is 1, where (-1e16 + 1) + 1e16 would be 0.
    EXPECT_EQ(DotProduct({-1e16, 1e16, 1}, {1, 1, 1}), 1.0);
}

TEST(LightVectorTest, PointsTowardTheLight)
{
    const Vector3 topLeft = ComputeLightVector(DegreesToRadians(135), DegreesToRadians(30));
    EXPECT_NEAR(topLeft.x, -0.6124, 1e-4);
    EXPECT_NEAR(topLeft.y, -0.6124, 1e-4);
    EXPECT_NEAR(topLeft.z, 0.5, 1e-12);
    EXPECT_NEAR(VectorLength(topLeft), 1.0, 1e-15);

    const Vector3 right = ComputeLightVector(0, 0);
    EXPECT_EQ(right.x, 1.0);
    EXPECT_EQ(right.y, 0.0);
    EXPECT_EQ(right.z, 0.0);
}

TEST(PixelOperatorsTest, DarkenAndLighten)
{
    std::uint8_t red = 100, green = 100, blue = 100;
    DarkenPixel(51, red, green, blue);
    EXPECT_EQ(red, 80);
    EXPECT_EQ(green, 80);
    EXPECT_EQ(blue, 80);

    red = 255, green = 17, blue = 1;
    DarkenPixel(255, red, green, blue);
    EXPECT_EQ(red | green | blue, 0);

    red = 100, green = 0, blue = 255;
    LightenPixel(128, red, green, blue);
    EXPECT_EQ(red, 178);
    EXPECT_EQ(green, 128);
    EXPECT_EQ(blue, 255);

    red = 0, green = 77, blue = 200;
    LightenPixel(255, red, green, blue);
    EXPECT_EQ(red & green & blue, 255);

    red = 13, green = 200, blue = 255;
    LightenPixel(0, red, green, blue);
    DarkenPixel(0, red, green, blue);
    EXPECT_EQ(red, 13);
    EXPECT_EQ(green, 200);
    EXPECT_EQ(blue, 255);
}

TEST(PixelOperatorsTest, NeverLeaveTheByteRange)
{
    for (int amount = 0; amount < 256; ++amount) {
        for (int value = 0; value < 256; ++value) {
            std::uint8_t red = static_cast<std::uint8_t>(value), green = red, blue = red;
            ASSERT_NO_THROW(LightenPixel(static_cast<std::uint8_t>(amount), red, green, blue));
            EXPECT_GE(red, value);
            std::uint8_t dark = static_cast<std::uint8_t>(value), g = dark, b = dark;
            ASSERT_NO_THROW(DarkenPixel(static_cast<std::uint8_t>(amount), dark, g, b));
            EXPECT_LE(dark, value);
        }
    }
}

} // namespace
} // namespace tollamere
