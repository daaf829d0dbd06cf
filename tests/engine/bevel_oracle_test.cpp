// SPDX-License-Identifier: MIT
// The bevel engine against the literal oracle in bevel_oracle.cpp, byte for
// byte, over thousands of small random pictures and a few larger ones. The
// first group checks the oracle itself against known reference results, so
// that a disagreement below points at the engine and not at the oracle.

#include "bevel_oracle.h"

#include "bevel.h"
#include "effect_operators.h"
#include "picture.h"
#include "runtime_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <random>
#include <string>
#include <vector>

namespace {

using tollamere::Picture;
namespace oracle = tollamere::oracle;

// Degrees to radians as the program converts them: with pi to 15 digits.
double Radians(double degrees)
{
    return degrees * 3.14159265358979 / 180.0;
}

std::uint32_t Argb(std::uint32_t alpha, std::uint32_t red, std::uint32_t green, std::uint32_t blue)
{
    return (alpha << 24) | (red << 16) | (green << 8) | blue;
}

std::uint32_t GreenOf(std::uint32_t argb)
{
    return (argb >> 8) & 0xFFu;
}

std::string Hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string Real(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// ---------------------------------------------------------------------------
// Random cases
// ---------------------------------------------------------------------------

enum class Kind { Noise, Shapes, Lines, AllInside, AllOutside, Tiny };

const char* KindName(Kind kind)
{
    switch (kind) {
    case Kind::Noise: return "noise";
    case Kind::Shapes: return "shapes with holes";
    case Kind::Lines: return "thin lines";
    case Kind::AllInside: return "all inside";
    case Kind::AllOutside: return "all outside";
    case Kind::Tiny: return "tiny";
    }
    return "?";
}

struct Case {
    std::string label;
    Picture picture;
    std::int32_t bevelSize = 0;
    double angleDegrees = 0.0;
    double elevationDegrees = 0.0;
    double angle = 0.0;     // radians
    double elevation = 0.0; // radians
};

int Uniform(std::mt19937& rng, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(rng);
}

double UniformReal(std::mt19937& rng, double low, double high)
{
    return std::uniform_real_distribution<double>(low, high)(rng);
}

bool Chance(std::mt19937& rng, int percent)
{
    return Uniform(rng, 0, 99) < percent;
}

// How the colours of one picture are drawn.
struct Palette {
    enum Mode { PerPixel, Uniform, Extremes } mode = PerPixel;
    bool opaque = true;
    std::uint32_t insideColour = 0;
    std::uint32_t outsideColour = 0;
};

std::uint32_t Channel(std::mt19937& rng, Palette::Mode mode)
{
    static constexpr std::array<std::uint32_t, 8> extremes{0, 1, 2, 127, 128, 253, 254, 255};
    if (mode == Palette::Extremes) {
        return extremes[static_cast<std::size_t>(Uniform(rng, 0, 7))];
    }
    return static_cast<std::uint32_t>(Uniform(rng, 0, 255));
}

std::uint32_t Alpha(std::mt19937& rng, const Palette& palette)
{
    return palette.opaque ? 0xFFu : static_cast<std::uint32_t>(Uniform(rng, 0, 255));
}

std::uint32_t DrawInside(std::mt19937& rng, Palette::Mode mode, const Palette& palette)
{
    std::uint32_t green = Channel(rng, mode);
    if (green == 0) {
        green = static_cast<std::uint32_t>(Uniform(rng, 1, 255));
    }
    return Argb(Alpha(rng, palette), Channel(rng, mode), green, Channel(rng, mode));
}

std::uint32_t DrawOutside(std::mt19937& rng, Palette::Mode mode, const Palette& palette)
{
    return Argb(Alpha(rng, palette), Channel(rng, mode), 0, Channel(rng, mode));
}

Palette MakePalette(std::mt19937& rng)
{
    Palette palette;
    const int pick = Uniform(rng, 0, 9);
    palette.mode = pick < 5 ? Palette::PerPixel : (pick < 8 ? Palette::Uniform : Palette::Extremes);
    palette.opaque = Chance(rng, 70);
    palette.insideColour = DrawInside(rng, Palette::PerPixel, palette);
    palette.outsideColour = DrawOutside(rng, Palette::PerPixel, palette);
    return palette;
}

std::uint32_t InsideColour(std::mt19937& rng, const Palette& palette)
{
    if (palette.mode == Palette::Uniform) {
        return palette.insideColour;
    }
    return DrawInside(rng, palette.mode, palette);
}

std::uint32_t OutsideColour(std::mt19937& rng, const Palette& palette)
{
    if (palette.mode == Palette::Uniform) {
        return palette.outsideColour;
    }
    return DrawOutside(rng, palette.mode, palette);
}

int Dimension(std::mt19937& rng)
{
    const int pick = Uniform(rng, 0, 99);
    if (pick < 30) {
        return Uniform(rng, 1, 3);
    }
    if (pick < 40) {
        return Uniform(rng, 4, 6);
    }
    return Uniform(rng, 1, 24);
}

std::int32_t BevelSize(std::mt19937& rng)
{
    const int pick = Uniform(rng, 0, 99);
    if (pick < 12) return 0;
    if (pick < 27) return 1;
    if (pick < 37) return 2;
    if (pick < 70) return Uniform(rng, 3, 10);
    if (pick < 84) return Uniform(rng, 11, 40);
    if (pick < 92) return Uniform(rng, 41, 253);
    return 254;
}

double AngleDegrees(std::mt19937& rng)
{
    static constexpr std::array<double, 15> special{0, 45, 90, 135, 180, 225, 270, 315, 360, -45, -90, -135, -180, 720, -720};
    const int pick = Uniform(rng, 0, 9);
    if (pick < 2) return special[static_cast<std::size_t>(Uniform(rng, 0, int(special.size()) - 1))];
    if (pick < 5) return Uniform(rng, -720, 720);
    return UniformReal(rng, -720.0, 720.0);
}

double ElevationDegrees(std::mt19937& rng)
{
    static constexpr std::array<double, 11> special{0, 90, -90, 30, 45, 60, -30, 89, 1, -1, -89};
    const int pick = Uniform(rng, 0, 9);
    if (pick < 2) return special[static_cast<std::size_t>(Uniform(rng, 0, int(special.size()) - 1))];
    if (pick < 5) return Uniform(rng, -90, 90);
    return UniformReal(rng, -90.0, 90.0);
}

void FillRectangle(Picture& picture, int left, int top, int right, int bottom, std::mt19937& rng,
                   const Palette& palette, bool inside)
{
    for (int y = std::max(top, 0); y <= std::min(bottom, picture.Height() - 1); ++y) {
        for (int x = std::max(left, 0); x <= std::min(right, picture.Width() - 1); ++x) {
            picture.Pixel(x, y) = inside ? InsideColour(rng, palette) : OutsideColour(rng, palette);
        }
    }
}

void FillDisc(Picture& picture, int cx, int cy, int radius, std::mt19937& rng, const Palette& palette, bool inside)
{
    for (int y = 0; y < picture.Height(); ++y) {
        for (int x = 0; x < picture.Width(); ++x) {
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius) {
                picture.Pixel(x, y) = inside ? InsideColour(rng, palette) : OutsideColour(rng, palette);
            }
        }
    }
}

void DrawLine(Picture& picture, int x0, int y0, int x1, int y1, std::mt19937& rng, const Palette& palette,
              bool inside)
{
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int error = dx + dy;
    for (;;) {
        if (x0 >= 0 && x0 < picture.Width() && y0 >= 0 && y0 < picture.Height()) {
            picture.Pixel(x0, y0) = inside ? InsideColour(rng, palette) : OutsideColour(rng, palette);
        }
        if (x0 == x1 && y0 == y1) {
            break;
        }
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x0 += sx;
        }
        if (twice <= dx) {
            error += dx;
            y0 += sy;
        }
    }
}

void FillAll(Picture& picture, std::mt19937& rng, const Palette& palette, bool inside)
{
    FillRectangle(picture, 0, 0, picture.Width() - 1, picture.Height() - 1, rng, palette, inside);
}

void AddShapes(Picture& picture, std::mt19937& rng, const Palette& palette, bool inside, int count)
{
    const int W = picture.Width();
    const int H = picture.Height();
    for (int i = 0; i < count; ++i) {
        if (Chance(rng, 50)) {
            const int left = Uniform(rng, -2, W - 1);
            const int top = Uniform(rng, -2, H - 1);
            FillRectangle(picture, left, top, left + Uniform(rng, 0, W), top + Uniform(rng, 0, H), rng, palette, inside);
        } else {
            FillDisc(picture, Uniform(rng, -1, W), Uniform(rng, -1, H), Uniform(rng, 0, std::max(W, H) / 2 + 1), rng,
                     palette, inside);
        }
    }
}

void AddLines(Picture& picture, std::mt19937& rng, const Palette& palette, bool inside, int count)
{
    const int W = picture.Width();
    const int H = picture.Height();
    for (int i = 0; i < count; ++i) {
        const int shape = Uniform(rng, 0, 2);
        if (shape == 0) { // horizontal
            const int y = Uniform(rng, 0, H - 1);
            DrawLine(picture, Uniform(rng, 0, W - 1), y, Uniform(rng, 0, W - 1), y, rng, palette, inside);
        } else if (shape == 1) { // vertical
            const int x = Uniform(rng, 0, W - 1);
            DrawLine(picture, x, Uniform(rng, 0, H - 1), x, Uniform(rng, 0, H - 1), rng, palette, inside);
        } else { // any slope
            DrawLine(picture, Uniform(rng, 0, W - 1), Uniform(rng, 0, H - 1), Uniform(rng, 0, W - 1),
                     Uniform(rng, 0, H - 1), rng, palette, inside);
        }
    }
}

Picture MakePicture(std::mt19937& rng, Kind kind, int W, int H)
{
    const Palette palette = MakePalette(rng);
    Picture picture(W, H);
    switch (kind) {
    case Kind::Noise: {
        const int outsidePercent = Uniform(rng, 2, 60);
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                picture.Pixel(x, y) = Chance(rng, outsidePercent) ? OutsideColour(rng, palette) : InsideColour(rng, palette);
            }
        }
        break;
    }
    case Kind::Shapes:
        FillAll(picture, rng, palette, false);
        AddShapes(picture, rng, palette, true, Uniform(rng, 1, 4));
        // Holes: small shapes and single pixels of green 0 punched into the shapes.
        AddShapes(picture, rng, palette, false, Uniform(rng, 0, 2));
        for (int i = Uniform(rng, 0, 4); i > 0; --i) {
            picture.Pixel(Uniform(rng, 0, W - 1), Uniform(rng, 0, H - 1)) = OutsideColour(rng, palette);
        }
        break;
    case Kind::Lines:
        if (Chance(rng, 60)) {
            // Thin shapes on an outside background.
            FillAll(picture, rng, palette, false);
            AddLines(picture, rng, palette, true, Uniform(rng, 1, 5));
        } else {
            // Thin cracks through an inside background.
            FillAll(picture, rng, palette, true);
            AddLines(picture, rng, palette, false, Uniform(rng, 1, 4));
        }
        break;
    case Kind::AllInside:
        FillAll(picture, rng, palette, true);
        break;
    case Kind::AllOutside:
        FillAll(picture, rng, palette, false);
        break;
    case Kind::Tiny: {
        // Width or height of 1 to 3, any content.
        const int outsidePercent = Uniform(rng, 0, 100);
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                picture.Pixel(x, y) = Chance(rng, outsidePercent) ? OutsideColour(rng, palette) : InsideColour(rng, palette);
            }
        }
        break;
    }
    }
    return picture;
}

Case MakeCase(std::mt19937& rng, Kind kind, std::uint32_t seed, int iteration)
{
    Case c;
    int W = Dimension(rng);
    int H = Dimension(rng);
    if (kind == Kind::Tiny) {
        if (Chance(rng, 50)) {
            W = Uniform(rng, 1, 3);
        } else {
            H = Uniform(rng, 1, 3);
        }
    }
    c.picture = MakePicture(rng, kind, W, H);
    c.bevelSize = BevelSize(rng);
    c.angleDegrees = AngleDegrees(rng);
    c.elevationDegrees = ElevationDegrees(rng);
    c.angle = Radians(c.angleDegrees);
    c.elevation = Radians(c.elevationDegrees);
    c.label = std::string(KindName(kind)) + ", seed " + std::to_string(seed) + ", iteration " + std::to_string(iteration);
    return c;
}

// ---------------------------------------------------------------------------
// Comparison
// ---------------------------------------------------------------------------

std::string DescribeCase(const Case& c)
{
    return c.label + ": " + std::to_string(c.picture.Width()) + " x " + std::to_string(c.picture.Height()) +
           ", bevel size " + std::to_string(c.bevelSize) + ", angle " + Real(c.angleDegrees) + " deg (" +
           Real(c.angle) + " rad), elevation " + Real(c.elevationDegrees) + " deg (" + Real(c.elevation) + " rad)";
}

// The shape as text: '#' inside, '.' outside; a pixel that differs is shown
// as 'X' (inside) or 'o' (outside).
std::string DrawMask(const Picture& input, const Picture& expected, const Picture& actual)
{
    if (input.Width() > 64 || input.Height() > 64) {
        return {};
    }
    std::string text = "\nshape ('#' inside, '.' outside, 'X'/'o' differing):\n";
    for (int y = 0; y < input.Height(); ++y) {
        for (int x = 0; x < input.Width(); ++x) {
            const bool inside = GreenOf(input.Pixel(x, y)) != 0;
            const bool differs = expected.Pixel(x, y) != actual.Pixel(x, y);
            text += differs ? (inside ? 'X' : 'o') : (inside ? '#' : '.');
        }
        text += '\n';
    }
    return text;
}

// Empty when the engine's result equals the oracle's in every byte.
// changed, when given, is set to whether the effect changed any pixel.
std::string CompareWithOracle(const Case& c, bool* changed = nullptr, unsigned threads = 1)
{
    Picture expected;
    try {
        expected = oracle::LiteralBevel(c.picture, c.bevelSize, c.angle, c.elevation);
    } catch (const std::exception& e) {
        return DescribeCase(c) + "\nthe oracle failed: " + e.what();
    }

    Picture actual = c.picture;
    const tollamere::BevelParameters parameters{c.bevelSize, c.angle, c.elevation};
    try {
        tollamere::ApplyBevel(c.picture, actual, parameters, threads);
    } catch (const tollamere::RuntimeError& e) {
        return DescribeCase(c) + "\nthe engine raised error " + std::to_string(int(e.Number())) + " (" +
               e.Description() + ")";
    } catch (const std::exception& e) {
        return DescribeCase(c) + "\nthe engine threw: " + e.what();
    }

    if (actual.Width() != expected.Width() || actual.Height() != expected.Height()) {
        return DescribeCase(c) + "\noutput size " + std::to_string(actual.Width()) + " x " +
               std::to_string(actual.Height()) + " differs from the input's";
    }
    int differing = 0;
    std::string first;
    for (int y = 0; y < expected.Height(); ++y) {
        for (int x = 0; x < expected.Width(); ++x) {
            if (expected.Pixel(x, y) != actual.Pixel(x, y)) {
                if (differing == 0) {
                    first = "first differing pixel (" + std::to_string(x) + ", " + std::to_string(y) + "): input " +
                            Hex(c.picture.Pixel(x, y)) + ", oracle " + Hex(expected.Pixel(x, y)) + ", engine " +
                            Hex(actual.Pixel(x, y));
                }
                ++differing;
            }
        }
    }
    if (differing == 0) {
        if (changed != nullptr) {
            *changed = !(expected == c.picture);
        }
        return {};
    }
    return DescribeCase(c) + ", " + std::to_string(threads) + " thread(s)\n" + first + "\n" + std::to_string(differing) +
           " pixel(s) differ" + DrawMask(c.picture, expected, actual);
}

// A case on a given picture, with the angle and elevation in degrees.
Case FixedCase(const std::string& label, const Picture& picture, std::int32_t bevelSize, double angleDegrees,
               double elevationDegrees)
{
    Case c;
    c.label = label;
    c.picture = picture;
    c.bevelSize = bevelSize;
    c.angleDegrees = angleDegrees;
    c.elevationDegrees = elevationDegrees;
    c.angle = Radians(angleDegrees);
    c.elevation = Radians(elevationDegrees);
    return c;
}

// The uniform 16 x 16 reference picture: every colour byte 100.
Picture Uniform16(std::uint32_t alpha = 0xFF)
{
    return Picture(16, 16, Argb(alpha, 100, 100, 100));
}

std::vector<int> Row(const oracle::Map& map, int y)
{
    std::vector<int> values;
    for (const auto& column : map) {
        values.push_back(column[static_cast<std::size_t>(y)]);
    }
    return values;
}

// ---------------------------------------------------------------------------
// The oracle against known reference results
// ---------------------------------------------------------------------------

TEST(BevelOracleSelfCheck, MulDivAndRoundingFollowTheArithmeticConventions)
{
    // MulDiv rounds halves away from zero.
    EXPECT_EQ(oracle::LiteralMulDiv(1, 1, 2), 1);
    EXPECT_EQ(oracle::LiteralMulDiv(3, 1, 2), 2);
    EXPECT_EQ(oracle::LiteralMulDiv(5, 1, 2), 3);
    EXPECT_EQ(oracle::LiteralMulDiv(-5, 1, 2), -3);
    EXPECT_EQ(oracle::LiteralMulDiv(5, -1, 2), -3);
    EXPECT_EQ(oracle::LiteralMulDiv(7, 1, 3), 2);
    EXPECT_EQ(oracle::LiteralMulDiv(8, 1, 3), 3);
    // The 64-bit product does not overflow.
    EXPECT_EQ(oracle::LiteralMulDiv(2000000000, 2000000000, 2000000000), 2000000000);
    // Darkening by 51 turns 100 into 80; lightening by 128 turns 100 into 178 and 0 into 128.
    EXPECT_EQ(oracle::LiteralMulDiv(100, 255 - 51, 255), 80);
    EXPECT_EQ(128 + oracle::LiteralMulDiv(100, 255 - 128, 255), 178);
    EXPECT_EQ(128 + oracle::LiteralMulDiv(0, 255 - 128, 255), 128);

    // Floating point to integer: halves to even.
    EXPECT_EQ(oracle::LiteralRoundHalfEven(0.5), 0);
    EXPECT_EQ(oracle::LiteralRoundHalfEven(1.5), 2);
    EXPECT_EQ(oracle::LiteralRoundHalfEven(2.5), 2);
    EXPECT_EQ(oracle::LiteralRoundHalfEven(2.5000001), 3);
    EXPECT_EQ(oracle::LiteralRoundHalfEven(-1.5), -2);
    EXPECT_EQ(oracle::LiteralRoundHalfEven(254.49), 254);
}

TEST(BevelOracleSelfCheck, LightVectorPointsTowardTheLight)
{
    const auto topLeft = oracle::LiteralLightVector(Radians(135), Radians(30));
    EXPECT_NEAR(topLeft[0], -0.6124, 1e-4);
    EXPECT_NEAR(topLeft[1], -0.6124, 1e-4);
    EXPECT_NEAR(topLeft[2], 0.5, 1e-12);

    const auto right = oracle::LiteralLightVector(0.0, 0.0);
    EXPECT_EQ(right[0], 1.0);
    EXPECT_EQ(right[1], 0.0);
    EXPECT_EQ(right[2], 0.0);

    // 90 degrees is light from the top: y points up the screen (negative).
    const auto top = oracle::LiteralLightVector(Radians(90), Radians(0));
    EXPECT_NEAR(top[0], 0.0, 1e-12);
    EXPECT_NEAR(top[1], -1.0, 1e-12);
}

TEST(BevelOracleSelfCheck, UniformSixteenBySixteenGivesTheReferenceBevel)
{
    oracle::LiteralTrace trace;
    const Picture output = oracle::LiteralBevel(Uniform16(), 5, Radians(135), Radians(30), &trace);

    EXPECT_EQ(Row(trace.heightAfterErosion, 8), (std::vector<int>{1, 2, 3, 4, 5, 6, 6, 6, 6, 6, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(Row(trace.heightAfterNormalise, 8),
              (std::vector<int>{42, 85, 127, 170, 212, 255, 255, 255, 255, 255, 255, 212, 170, 127, 85, 42}));
    EXPECT_EQ(Row(trace.heightAfterBlur, 8),
              (std::vector<int>{0, 84, 127, 169, 212, 240, 255, 255, 255, 255, 240, 212, 169, 127, 84, 0}));

    const std::vector<std::uint32_t> expected{100, 127, 133, 124, 110, 102, 100, 100,
                                              100, 100, 97,  90,  80,  74,  80,  100};
    for (int i = 0; i < 16; ++i) {
        const std::uint32_t grey = expected[static_cast<std::size_t>(i)];
        EXPECT_EQ(output.Pixel(i, 8), Argb(0xFF, grey, grey, grey)) << "row 8, x " << i;
        EXPECT_EQ(output.Pixel(8, i), Argb(0xFF, grey, grey, grey)) << "column 8, y " << i;
    }
}

TEST(BevelOracleSelfCheck, PicturesWithoutABevelBandComeOutUnchanged)
{
    std::mt19937 rng(7);
    // No inside at all.
    Picture outside(12, 9);
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 12; ++x) {
            outside.Pixel(x, y) = Argb(0xFF, std::uint32_t(Uniform(rng, 0, 255)), 0, std::uint32_t(Uniform(rng, 0, 255)));
        }
    }
    EXPECT_EQ(oracle::LiteralBevel(outside, 5, Radians(135), Radians(30)), outside);
    EXPECT_EQ(CompareWithOracle(FixedCase("no inside", outside, 5, 135, 30)), "");

    // Narrower or lower than 3 pixels.
    for (const auto& [W, H] : std::vector<std::pair<int, int>>{{1, 10}, {2, 10}, {10, 1}, {10, 2}, {2, 2}}) {
        Picture narrow(W, H);
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                narrow.Pixel(x, y) = Argb(0x80, std::uint32_t(Uniform(rng, 0, 255)), std::uint32_t(Uniform(rng, 1, 255)),
                                          std::uint32_t(Uniform(rng, 0, 255)));
            }
        }
        EXPECT_EQ(oracle::LiteralBevel(narrow, 3, Radians(45), Radians(20)), narrow) << W << " x " << H;
        EXPECT_EQ(CompareWithOracle(FixedCase("narrow", narrow, 3, 45, 20)), "");
    }

    // Bevel size 0 and a shape as large as the picture.
    const Picture full = Uniform16();
    EXPECT_EQ(oracle::LiteralBevel(full, 0, Radians(135), Radians(30)), full);
    EXPECT_EQ(CompareWithOracle(FixedCase("bevel size 0, no hole", full, 0, 135, 30)), "");
}

TEST(BevelOracleSelfCheck, BevelSizeZeroChangesOnlyPixelsTouchingAHole)
{
    Picture picture = Uniform16(0x40);
    const std::vector<std::pair<int, int>> holes{{5, 5}, {6, 5}, {10, 11}};
    for (const auto& [x, y] : holes) {
        picture.Pixel(x, y) = Argb(0x40, 100, 0, 100);
    }
    const Picture output = oracle::LiteralBevel(picture, 0, Radians(135), Radians(30));
    EXPECT_EQ(CompareWithOracle(FixedCase("bevel size 0, three holes", picture, 0, 135, 30)), "");
    int changed = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            bool touchesHole = false;
            for (const auto& [hx, hy] : holes) {
                touchesHole = touchesHole || (std::abs(hx - x) <= 1 && std::abs(hy - y) <= 1 && !(hx == x && hy == y));
            }
            const bool isHole = std::find(holes.begin(), holes.end(), std::make_pair(x, y)) != holes.end();
            if (output.Pixel(x, y) != picture.Pixel(x, y)) {
                ++changed;
                EXPECT_TRUE(touchesHole && !isHole) << "pixel (" << x << ", " << y << ") changed";
            }
            EXPECT_EQ(output.Pixel(x, y) >> 24, 0x40u);
        }
    }
    EXPECT_GT(changed, 0);

    // A lone hole: each of its eight neighbours changes, and nothing else.
    Picture lone(11, 11, Argb(0xFF, 100, 100, 100));
    lone.Pixel(5, 5) = Argb(0xFF, 0, 0, 0);
    const Picture loneOutput = oracle::LiteralBevel(lone, 0, Radians(135), Radians(30));
    EXPECT_EQ(CompareWithOracle(FixedCase("bevel size 0, a lone hole", lone, 0, 135, 30)), "");
    for (int y = 0; y < 11; ++y) {
        for (int x = 0; x < 11; ++x) {
            const bool touchesHole = std::abs(x - 5) <= 1 && std::abs(y - 5) <= 1 && !(x == 5 && y == 5);
            EXPECT_EQ(loneOutput.Pixel(x, y) != lone.Pixel(x, y), touchesHole) << "pixel (" << x << ", " << y << ")";
        }
    }
}

TEST(BevelOracleSelfCheck, ElevationNinetyOnlyBrightens)
{
    Picture picture(20, 14, Argb(0xFF, 90, 90, 90));
    for (int y = 4; y < 9; ++y) {
        for (int x = 6; x < 12; ++x) {
            picture.Pixel(x, y) = Argb(0xFF, 90, 0, 90);
        }
    }
    oracle::LiteralTrace trace;
    const Picture output = oracle::LiteralBevel(picture, 4, Radians(200), Radians(90), &trace);
    EXPECT_EQ(CompareWithOracle(FixedCase("elevation 90", picture, 4, 200, 90)), "");
    int brightened = 0;
    for (int y = 0; y < 14; ++y) {
        for (int x = 0; x < 20; ++x) {
            EXPECT_EQ(trace.shadowAfterMerge[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)], 0);
            EXPECT_GE(GreenOf(output.Pixel(x, y)), GreenOf(picture.Pixel(x, y)));
            brightened += GreenOf(output.Pixel(x, y)) > GreenOf(picture.Pixel(x, y)) ? 1 : 0;
        }
    }
    EXPECT_GT(brightened, 0);
}

// ---------------------------------------------------------------------------
// The engine against the oracle
// ---------------------------------------------------------------------------

TEST(BevelOracleDifferential, UniformSixteenBySixteenMatches)
{
    EXPECT_EQ(CompareWithOracle(FixedCase("uniform 16 x 16 reference", Uniform16(), 5, 135, 30)), "");
}

// Families of random cases: the kinds of picture drawn in turn, the seed,
// how many cases, on how many threads, and more than how many of them must
// change the picture, which guards the generator (enough cases must bevel
// something); -1: none may.
struct RandomFamily {
    const char* name;
    std::vector<Kind> kinds;
    std::uint32_t seed;
    int count;
    unsigned threads;
    int changedAbove;
};

// The stages split their sweeps into bands of rows (or of columns) for
// threads. On small pictures the bands run one after the other, which checks
// where they meet; from a quarter megapixel on they run on their own threads.
const std::vector<Kind> MixedKinds{Kind::Noise, Kind::Shapes, Kind::Lines, Kind::AllInside, Kind::Tiny};

const RandomFamily RandomFamilies[] = {
    {"Noise", {Kind::Noise}, 1001u, 20000, 1, 20000 / 3},
    {"ShapesWithHoles", {Kind::Shapes}, 2002u, 20000, 1, 20000 / 4},
    {"ThinLines", {Kind::Lines}, 3003u, 15000, 1, 15000 / 4},
    {"AllInside", {Kind::AllInside}, 4004u, 6000, 1, 6000 / 4},
    // Without an inside there is nothing to bevel.
    {"AllOutside", {Kind::AllOutside}, 5005u, 2000, 1, -1},
    {"TinyPictures", {Kind::Tiny}, 6006u, 8000, 1, 8000 / 20},
    {"BandsOnTwoThreads", MixedKinds, 11011u + 2, 1500, 2, 400},
    {"BandsOnThreeThreads", MixedKinds, 11011u + 3, 1500, 3, 400},
    {"BandsOnSevenThreads", MixedKinds, 11011u + 7, 1500, 7, 400},
};

class BevelOracleRandomCases : public testing::TestWithParam<RandomFamily> {};

// Stops at the first mismatch.
TEST_P(BevelOracleRandomCases, EngineMatchesTheOracle)
{
    const RandomFamily& family = GetParam();
    std::mt19937 rng(family.seed);
    int changed = 0;
    for (int iteration = 0; iteration < family.count; ++iteration) {
        const Kind kind = family.kinds[std::size_t(iteration) % family.kinds.size()];
        const Case c = MakeCase(rng, kind, family.seed, iteration);
        bool caseChanged = false;
        const std::string mismatch = CompareWithOracle(c, &caseChanged, family.threads);
        if (!mismatch.empty())
            FAIL() << mismatch;
        changed += caseChanged ? 1 : 0;
    }
    if (family.changedAbove < 0)
        EXPECT_EQ(changed, 0);
    else
        EXPECT_GT(changed, family.changedAbove);
}

INSTANTIATE_TEST_SUITE_P(Families, BevelOracleRandomCases, testing::ValuesIn(RandomFamilies),
                         [](const testing::TestParamInfo<RandomFamily>& info) { return std::string(info.param.name); });

TEST(BevelOracleDifferential, LargerShapes)
{
    std::mt19937 rng(7007u);
    const std::vector<std::int32_t> bevelSizes{1, 5, 20, 254};
    int iteration = 0;
    for (const std::int32_t bevelSize : bevelSizes) {
        for (int repeat = 0; repeat < 6; ++repeat, ++iteration) {
            Case c;
            const Kind kind = repeat % 3 == 2 ? Kind::Lines : Kind::Shapes;
            c.picture = MakePicture(rng, kind, 64, 48);
            c.bevelSize = bevelSize;
            c.angleDegrees = repeat == 0 ? 135.0 : AngleDegrees(rng);
            c.elevationDegrees = repeat == 0 ? 30.0 : ElevationDegrees(rng);
            c.angle = Radians(c.angleDegrees);
            c.elevation = Radians(c.elevationDegrees);
            c.label = std::string("larger ") + KindName(kind) + ", seed 7007, iteration " + std::to_string(iteration);
            const std::string mismatch = CompareWithOracle(c);
            if (!mismatch.empty()) {
                FAIL() << mismatch;
            }
        }
    }
    // One large disc deep enough for many erosion passes.
    Case disc;
    Palette palette;
    palette.mode = Palette::Uniform;
    palette.insideColour = Argb(0xFF, 200, 120, 40);
    palette.outsideColour = Argb(0xFF, 30, 0, 60);
    disc.picture = Picture(96, 80, palette.outsideColour);
    FillDisc(disc.picture, 48, 40, 37, rng, palette, true);
    disc.bevelSize = 254;
    disc.angleDegrees = 135;
    disc.elevationDegrees = 30;
    disc.angle = Radians(135);
    disc.elevation = Radians(30);
    disc.label = "large disc";
    const std::string mismatch = CompareWithOracle(disc);
    EXPECT_TRUE(mismatch.empty()) << mismatch;
}

// The light and shadow strengths are v * 255 rounded; when v * 255 lies
// within a few units in the last place of a half, the order of the sums in
// DotProduct and VectorLength and the exact light vector decide the byte.
// Random angles almost never come that close, so here the angle is solved for
// one bevel pixel's normal to put v * 255 on a half (up to rounding).
TEST(BevelOracleDifferential, LightingNearRoundingHalves)
{
    constexpr std::uint32_t seed = 10010u;
    std::mt19937 rng(seed);
    int built = 0;
    for (int iteration = 0; iteration < 10000; ++iteration) {
        Case c;
        c.picture = MakePicture(rng, Chance(rng, 70) ? Kind::Shapes : Kind::Lines, Uniform(rng, 6, 24), Uniform(rng, 6, 24));
        c.bevelSize = Uniform(rng, 0, 8);
        c.elevationDegrees = ElevationDegrees(rng);
        c.elevation = Radians(c.elevationDegrees);

        oracle::LiteralTrace trace;
        oracle::LiteralBevel(c.picture, c.bevelSize, 0.0, c.elevation, &trace);
        const oracle::Map& height = trace.heightAfterBlur;
        std::vector<std::pair<int, int>> band;
        for (int y = 1; y + 1 < c.picture.Height(); ++y) {
            for (int x = 1; x + 1 < c.picture.Width(); ++x) {
                const int h = height[std::size_t(x)][std::size_t(y)];
                if (h != 0 && h != 255 && GreenOf(c.picture.Pixel(x, y)) != 0) {
                    band.emplace_back(x, y);
                }
            }
        }
        if (band.empty()) {
            continue;
        }
        const auto [x, y] = band[std::size_t(Uniform(rng, 0, int(band.size()) - 1))];
        auto at = [&](int dx, int dy) { return double(height[std::size_t(x + dx)][std::size_t(y + dy)]); };
        const double nx = at(0, 0) - (2 * at(1, 0) + at(1, -1) + at(1, 1)) * 0.25;
        const double ny = at(0, 0) - (2 * at(0, 1) + at(-1, 1) + at(1, 1)) * 0.25;
        // v = (cos e * (nx cos a - ny sin a) + sin e) / |N|, and
        // nx cos a - ny sin a = R cos(a + phi).
        const double R = std::hypot(nx, ny);
        const double length = std::sqrt(nx * nx + ny * ny + 1.0);
        const double ce = std::cos(c.elevation);
        const double se = std::sin(c.elevation);
        if (R == 0.0 || ce < 1e-6) {
            continue;
        }
        const double lowest = (se - ce * R) / length * 255.0;
        const double highest = (se + ce * R) / length * 255.0;
        const double firstHalf = std::ceil(lowest - 0.5) + 0.5;
        if (firstHalf > highest) {
            continue;
        }
        const int halves = int(std::floor(highest - firstHalf));
        const double target = (firstHalf + Uniform(rng, 0, halves)) / 255.0;
        const double cosine = std::clamp((target * length - se) / (ce * R), -1.0, 1.0);
        const double phi = std::atan2(ny, nx);
        const double half = target * 255.0;
        double angle = (Chance(rng, 50) ? 1.0 : -1.0) * std::acos(cosine) - phi;
        // acos and atan2 leave v * 255 some hundred units in the last place
        // away from the half: a few Newton steps, then the best of the
        // neighbouring angles, one unit in the last place apart.
        auto offHalf = [&](double a) {
            const double lx = std::cos(c.elevation) * std::cos(a);
            const double ly = -(std::cos(c.elevation)) * std::sin(a);
            const double lz = std::sin(c.elevation);
            const double v = (ny * ly + nx * lx + lz) / std::sqrt(nx * nx + ny * ny + 1.0);
            return v * 255.0 - half;
        };
        for (int step = 0; step < 4; ++step) {
            const double slope = -255.0 * ce * R * std::sin(angle + phi) / length;
            if (slope == 0.0) {
                break;
            }
            angle -= offHalf(angle) / slope;
        }
        double candidate = angle;
        for (int step = 0; step < 64; ++step) {
            candidate = std::nextafter(candidate, -HUGE_VAL);
        }
        double nearest = std::fabs(offHalf(angle));
        for (int step = 0; step <= 128; ++step, candidate = std::nextafter(candidate, HUGE_VAL)) {
            const double distance = std::fabs(offHalf(candidate));
            if (distance < nearest) {
                nearest = distance;
                angle = candidate;
            }
        }
        c.angle = angle;
        c.angleDegrees = c.angle * 180.0 / 3.14159265358979;
        c.label = "near half at (" + std::to_string(x) + ", " + std::to_string(y) + "), seed " + std::to_string(seed) +
                  ", iteration " + std::to_string(iteration);
        ++built;
        const std::string mismatch = CompareWithOracle(c);
        if (!mismatch.empty()) {
            FAIL() << mismatch;
        }
    }
    EXPECT_GT(built, 7000) << "too few near-half cases could be built";
}

TEST(BevelOracleDifferential, LightVectorIsTheOraclesToTheLastBit)
{
    std::mt19937 rng(8008u);
    for (int iteration = 0; iteration < 200; ++iteration) {
        const Case c = MakeCase(rng, Kind::Shapes, 8008u, iteration);
        Picture out = c.picture;
        const tollamere::BevelParameters parameters{c.bevelSize, c.angle, c.elevation};
        ASSERT_NO_THROW(tollamere::ApplyBevel(c.picture, out, parameters)) << DescribeCase(c);
        const auto expected = oracle::LiteralLightVector(c.angle, c.elevation);
        const tollamere::Vector3 lightVector = tollamere::ComputeLightVector(c.angle, c.elevation);
        ASSERT_EQ(lightVector.x, expected[0]) << DescribeCase(c);
        ASSERT_EQ(lightVector.y, expected[1]) << DescribeCase(c);
        ASSERT_EQ(lightVector.z, expected[2]) << DescribeCase(c);
    }
}

TEST(BevelOracleDifferential, LargerOutputPictureReceivesOnlyTheTopLeftColours)
{
    std::mt19937 rng(9009u);
    for (int iteration = 0; iteration < 300; ++iteration) {
        const Case c = MakeCase(rng, Kind::Shapes, 9009u, iteration);
        const int W = c.picture.Width();
        const int H = c.picture.Height();
        Picture out(W + Uniform(rng, 0, 5), H + Uniform(rng, 0, 5));
        for (int y = 0; y < out.Height(); ++y) {
            for (int x = 0; x < out.Width(); ++x) {
                out.Pixel(x, y) = static_cast<std::uint32_t>(rng());
            }
        }
        const Picture before = out;
        const Picture effect = oracle::LiteralBevel(c.picture, c.bevelSize, c.angle, c.elevation);
        const tollamere::BevelParameters parameters{c.bevelSize, c.angle, c.elevation};
        ASSERT_NO_THROW(tollamere::ApplyBevel(c.picture, out, parameters)) << DescribeCase(c);
        ASSERT_EQ(out.Width(), before.Width());
        ASSERT_EQ(out.Height(), before.Height());
        for (int y = 0; y < out.Height(); ++y) {
            for (int x = 0; x < out.Width(); ++x) {
                // The copy brings the effect's colours and keeps the output's alpha.
                const std::uint32_t expected = x < W && y < H
                                                   ? (before.Pixel(x, y) & 0xFF000000u) | (effect.Pixel(x, y) & 0x00FFFFFFu)
                                                   : before.Pixel(x, y);
                ASSERT_EQ(Hex(out.Pixel(x, y)), Hex(expected))
                    << DescribeCase(c) << "\nat (" << x << ", " << y << ") of a " << out.Width() << " x "
                    << out.Height() << " output";
            }
        }
    }
}

// Pictures up to 200 x 150, where bevels of every size have room to form.
TEST(BevelOracleDifferential, RandomPicturesUpTo200By150)
{
    constexpr std::uint32_t seed = 12012u;
    std::mt19937 rng(seed);
    constexpr std::array<Kind, 4> kinds{Kind::Noise, Kind::Shapes, Kind::Lines, Kind::AllInside};
    int changed = 0;
    const int count = 2000;
    for (int iteration = 0; iteration < count; ++iteration) {
        const Kind kind = kinds[std::size_t(iteration) % kinds.size()];
        Case c;
        c.picture = MakePicture(rng, kind, Uniform(rng, 1, 200), Uniform(rng, 1, 150));
        c.bevelSize = BevelSize(rng);
        c.angleDegrees = AngleDegrees(rng);
        c.elevationDegrees = ElevationDegrees(rng);
        c.angle = Radians(c.angleDegrees);
        c.elevation = Radians(c.elevationDegrees);
        c.label = std::string("up to 200 x 150, ") + KindName(kind) + ", seed " + std::to_string(seed) + ", iteration " +
                  std::to_string(iteration);
        bool caseChanged = false;
        const std::string mismatch = CompareWithOracle(c, &caseChanged, 1 + unsigned(iteration % 3));
        if (!mismatch.empty()) {
            FAIL() << mismatch;
        }
        changed += caseChanged ? 1 : 0;
    }
    // Guards the generator: enough of the cases must actually bevel something.
    EXPECT_GT(changed, count / 2);
}

TEST(BevelOracleDifferential, LargePicturesOnSeveralThreads)
{
    constexpr std::uint32_t seed = 13013u;
    std::mt19937 rng(seed);
    const std::vector<std::int32_t> bevelSizes{0, 1, 5, 30, 254};
    int iteration = 0;
    for (const unsigned threads : {2u, 3u, 7u}) {
        for (int repeat = 0; repeat < 2; ++repeat, ++iteration) {
            Case c;
            const Kind kind = repeat == 0 ? Kind::Shapes : Kind::Noise;
            // 640 x 480 is above the size from which bands run on threads.
            c.picture = MakePicture(rng, kind, 640, 480);
            c.bevelSize = bevelSizes[std::size_t(Uniform(rng, 0, int(bevelSizes.size()) - 1))];
            c.angleDegrees = AngleDegrees(rng);
            c.elevationDegrees = ElevationDegrees(rng);
            c.angle = Radians(c.angleDegrees);
            c.elevation = Radians(c.elevationDegrees);
            c.label = std::string("large ") + KindName(kind) + ", seed " + std::to_string(seed) + ", iteration " +
                      std::to_string(iteration);
            const std::string mismatch = CompareWithOracle(c, nullptr, threads);
            if (!mismatch.empty()) {
                FAIL() << mismatch;
            }
        }
    }
}

// Beyond what the oracle can check quickly: larger pictures on 2, 3 and 7
// threads give what they give on one.
TEST(BevelThreads, ResultDoesNotDependOnTheNumberOfThreads)
{
    std::mt19937 rng(14014u);
    for (const std::int32_t bevelSize : {3, 40, 254}) {
        const Picture input = MakePicture(rng, Kind::Shapes, 1500, 1100);
        const tollamere::BevelParameters parameters{bevelSize, Radians(135), Radians(30)};
        Picture single = input;
        tollamere::ApplyBevel(input, single, parameters, 1);
        ASSERT_NE(single, input) << "bevel size " << bevelSize;
        for (const unsigned threads : {0u, 2u, 3u, 7u}) {
            Picture several = input;
            tollamere::ApplyBevel(input, several, parameters, threads);
            ASSERT_TRUE(several == single) << threads << " threads, bevel size " << bevelSize;
        }
    }
}

} // namespace
