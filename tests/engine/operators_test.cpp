#include "effect_operators.h"
#include "vector_math.h"
#include "runtime_error_matchers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace tollamere {
namespace {

ByteMap MapOf(std::int32_t width, std::int32_t height, std::uint8_t value)
{
    ByteMap map(width, height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            map(x, y) = value;
    return map;
}

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
    EffectState state;
    state.LightAngle = DegreesToRadians(135);
    state.LightElevation = DegreesToRadians(30);
    ComputeLightVector(state);
    EXPECT_NEAR(state.LightVector.x, -0.6124, 1e-4);
    EXPECT_NEAR(state.LightVector.y, -0.6124, 1e-4);
    EXPECT_NEAR(state.LightVector.z, 0.5, 1e-12);
    EXPECT_NEAR(VectorLength(state.LightVector), 1.0, 1e-15);

    state.LightAngle = 0;
    state.LightElevation = 0;
    ComputeLightVector(state);
    EXPECT_EQ(state.LightVector.x, 1.0);
    EXPECT_EQ(state.LightVector.y, 0.0);
    EXPECT_EQ(state.LightVector.z, 0.0);
}

TEST(NormalizeMapTest, RescalesDroppingFractions)
{
    ByteMap map(7, 1);
    for (std::int32_t x = 0; x < 7; ++x)
        map(x, 0) = static_cast<std::uint8_t>(x);
    NormalizeMap(map, 0, 6);
    const std::uint8_t expected[] = {0, 42, 85, 127, 170, 212, 255};
    for (std::int32_t x = 0; x < 7; ++x)
        EXPECT_EQ(map(x, 0), expected[x]);
}

TEST(NormalizeMapTest, FailuresComeInTheirOrder)
{
    ByteMap map = MapOf(3, 2, 4);
    EXPECT_RUNTIME_ERROR(NormalizeMap(map, 5, 6), ErrorNumber::Overflow);   // value below low
    EXPECT_RUNTIME_ERROR(NormalizeMap(map, 4, 3), ErrorNumber::Overflow);   // high below low
    EXPECT_RUNTIME_ERROR(NormalizeMap(map, 4, 4), ErrorNumber::DivisionByZero);
    EXPECT_RUNTIME_ERROR(NormalizeMap(map, 0, 3), ErrorNumber::Overflow);   // result above 255
    ByteMap lowFirst = MapOf(3, 2, 1);
    EXPECT_RUNTIME_ERROR(NormalizeMap(lowFirst, 2, 2), ErrorNumber::Overflow);
    ByteMap empty;
    EXPECT_NO_THROW(NormalizeMap(empty, 3, 3));
}

TEST(NormalizeMapTest, FailureInLaterElementRaisesToo)
{
    ByteMap map = MapOf(4, 4, 1);
    map(3, 3) = 9;
    EXPECT_RUNTIME_ERROR(NormalizeMap(map, 0, 6), ErrorNumber::Overflow);
}

TEST(BlurMapTest, SinglePixelSpreadsByTheWeights)
{
    ByteMap map(5, 5);
    map(2, 2) = 255;
    BlurMap(map);
    EXPECT_EQ(map(2, 2), 8);
    for (const auto& [x, y] : {std::pair{2, 1}, std::pair{1, 2}, std::pair{3, 2}, std::pair{2, 3}})
        EXPECT_EQ(map(x, y), 35);
    for (const auto& [x, y] : {std::pair{1, 1}, std::pair{3, 1}, std::pair{1, 3}, std::pair{3, 3}})
        EXPECT_EQ(map(x, y), 26);
    EXPECT_EQ(map(0, 0), 0);
}

TEST(BlurMapTest, UniformAreaKeepsValueAndRingBecomesZero)
{
    ByteMap map = MapOf(6, 4, 255);
    BlurMap(map);
    for (std::int32_t y = 0; y < 4; ++y)
        for (std::int32_t x = 0; x < 6; ++x) {
            const bool ring = x == 0 || y == 0 || x == 5 || y == 3;
            EXPECT_EQ(map(x, y), ring ? 0 : 255) << x << ',' << y;
        }
    ByteMap thin = MapOf(2, 9, 200);
    BlurMap(thin);
    EXPECT_EQ(thin, ByteMap(2, 9));
}

TEST(BlurMapTest, ReadsOnlyTheUnchangedInput)
{
    // A left-to-right ramp: a blur that read its own output would skew it.
    ByteMap map(5, 3);
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 5; ++x)
            map(x, y) = static_cast<std::uint8_t>(x * 60);
    BlurMap(map);
    // (3*(0+120)*2 + 4*(60+0+120+60) + 60) / 29 = 1740 / 29 = 60
    EXPECT_EQ(map(1, 1), 60);
    EXPECT_EQ(map(2, 1), 120);
    EXPECT_EQ(map(3, 1), 180);
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
