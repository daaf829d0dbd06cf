// SPDX-License-Identifier: MIT
#include "drop_shadow.h"

#include "bevel.h"
#include "bevel_look.h"
#include "effect_operators.h"
#include "look_text.h"
#include "runtime_error_matchers.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <optional>
#include <random>
#include <vector>

namespace tollamere {
namespace {

constexpr std::uint32_t Ink = 0xFF30C050u;  // green not 0: the classic rule's shape

// An "F" in Ink, 6 by 5, at (2, 2) of a 10 by 9 picture filled with `around`.
Picture FramedF(std::uint32_t around)
{
    const char* rows[] = {"#####.", "#.....", "####..", "#.....", "#....."};
    Picture picture(10, 9, around);
    for (std::int32_t y = 0; y < 5; ++y)
        for (std::int32_t x = 0; x < 6; ++x)
            if (rows[y][x] == '#')
                picture.Pixel(x + 2, y + 2) = Ink;
    return picture;
}

Picture Decorated(const Picture& input, const Decoration& decoration, bool keepsAlpha, unsigned threads = 1)
{
    ShapeMask shape;
    ReadShapeMask(input, ShapeSource{}, shape, threads);
    Picture output = input;
    Decorate(output, shape, decoration, keepsAlpha, threads);
    return output;
}

// The blur's weights from -radius to radius: three boxes in turn, their
// reaches adding up to the radius.
std::vector<double> ThreeBoxes(std::int32_t radius)
{
    std::vector<double> weights{1.0};
    for (const std::int32_t reach : {radius / 3 + (radius % 3 > 0), radius / 3 + (radius % 3 > 1), radius / 3}) {
        std::vector<double> wider(weights.size() + 2 * std::size_t(reach), 0.0);
        for (std::size_t i = 0; i < weights.size(); ++i)
            for (std::size_t j = 0; j <= 2 * std::size_t(reach); ++j)
                wider[i + j] += weights[i] / double(2 * reach + 1);
        weights = std::move(wider);
    }
    return weights;
}

// The shadow's alpha (0 to 255) at a canvas pixel, summed literally over the
// shape's pixels moved by `shift`; nothing when none is within the reach.
std::optional<double> ExpectedAlpha(const Picture& input, std::int32_t x, std::int32_t y, std::int32_t shift[2],
                                    std::int32_t radius, std::int32_t opacity)
{
    const std::vector<double> weights = ThreeBoxes(radius);
    std::optional<double> sum;
    for (std::int32_t sy = 0; sy < input.Height(); ++sy) {
        for (std::int32_t sx = 0; sx < input.Width(); ++sx) {
            const std::int32_t dx = x - sx - shift[0], dy = y - sy - shift[1];
            if (input.Pixel(sx, sy) == Ink && std::abs(dx) <= radius && std::abs(dy) <= radius)
                sum = sum.value_or(0.0) + weights[std::size_t(dx + radius)] * weights[std::size_t(dy + radius)];
        }
    }
    if (sum)
        *sum *= 255.0 * opacity / 100.0;
    return sum;
}

// On a transparent picture the shadow is the moved shape blurred, in its
// colour and opacity, nothing beyond the blur's reach, and the shape's own
// pixels are as they were.
TEST(DropShadowTest, FallsWhereTheOffsetAndTheBlurPutIt)
{
    const struct {
        std::int32_t margin, offsetX, offsetY, blur, opacity;
        std::uint32_t rgb;
    } rows[] = {
        {0, 0, 0, 0, 60, 0x000000}, {3, 2, 1, 0, 100, 0x102030}, {4, 3, 2, 2, 60, 0x000000},
        {5, -4, 3, 4, 45, 0xFF8800}, {2, 1, -6, 7, 100, 0xFFFFFF}, {0, 20, 0, 3, 80, 0x000000},
    };
    const Picture input = FramedF(0x00000000u);
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "margin " << row.margin << ", offset " << row.offsetX << "," << row.offsetY
                                        << ", blur " << row.blur);
        Decoration decoration{row.margin, DropShadow{row.offsetX, row.offsetY, row.blur, {row.rgb, row.opacity}}};
        const Picture output = Decorated(input, decoration, true);
        ASSERT_EQ(output.Width(), input.Width() + 2 * row.margin);
        ASSERT_EQ(output.Height(), input.Height() + 2 * row.margin);
        for (std::int32_t y = 0; y < output.Height(); ++y) {
            for (std::int32_t x = 0; x < output.Width(); ++x) {
                const std::uint32_t pixel = output.Pixel(x, y);
                const std::int32_t sx = x - row.margin, sy = y - row.margin;
                if (sx >= 0 && sy >= 0 && sx < input.Width() && sy < input.Height() && input.Pixel(sx, sy) == Ink) {
                    ASSERT_EQ(pixel, Ink) << x << "," << y;
                    continue;
                }
                std::int32_t shift[2] = {row.margin + row.offsetX, row.margin + row.offsetY};
                const std::optional<double> expected = ExpectedAlpha(input, x, y, shift, row.blur, row.opacity);
                if (!expected) {
                    ASSERT_EQ(pixel, 0u) << x << "," << y;
                    continue;
                }
                ASSERT_NEAR(double(pixel >> 24), *expected, 0.5 + 1e-6) << x << "," << y;
                if (pixel >> 24 != 0) {
                    ASSERT_EQ(pixel & 0xFFFFFFu, row.rgb) << x << "," << y;
                }
            }
        }
    }
}

// Composites, pixel by pixel: the second pixel of a 2 by 1 picture, under
// the first one's shadow moved onto it at full strength.
TEST(DropShadowTest, BlendsOntoTheBackgroundAndBeneathTheShape)
{
    const struct {
        const char* what;
        std::uint32_t pixel;
        ShapeSource source;
        std::int32_t opacity;
        bool keepsAlpha;
        std::uint32_t expected;
    } rows[] = {
        // Opaque background (green 0): the shadow is blended onto it.
        {"opaque background", 0xFFFF0000u, {}, 50, false, 0xFF800000u},
        {"opaque background, alpha output", 0xFFFF00FFu, {}, 25, true, 0xFFBF00BFu},
        // The shape's own opaque pixels are not touched.
        {"opaque shape", 0xFF10FF10u, {}, 100, true, 0xFF10FF10u},
        // A partly transparent shape pixel is composited over the shadow.
        {"half transparent shape", 0x80FF4020u, {}, 100, true, 0xFF802010u},
        {"transparent", 0x00FFFFFFu, {ShapeSourceKind::Alpha, 0}, 60, true, 0x99000000u},
        // With alpha as the shape, a half covered pixel is all shape.
        {"alpha shape", 0x80FF4020u, {ShapeSourceKind::Alpha, 0}, 100, true, 0xFF802010u},
        // Without alpha in the output the transparent part shows the top
        // left pixel's colour (Ink's).
        {"transparent, opaque output", 0x00FFFFFFu, {ShapeSourceKind::Alpha, 0}, 40, false, 0xFF1D7330u},
    };
    for (const auto& row : rows) {
        Picture picture(2, 1, Ink);
        picture.Pixel(1, 0) = row.pixel;
        ShapeMask shape;
        ReadShapeMask(picture, row.source, shape);
        Decorate(picture, shape, Decoration{0, DropShadow{1, 0, 0, {0x000000, row.opacity}}}, row.keepsAlpha);
        EXPECT_EQ(picture.Pixel(1, 0), row.expected) << row.what << ": " << std::hex << picture.Pixel(1, 0);
        EXPECT_EQ(picture.Pixel(0, 0), Ink) << row.what;
    }
}

// The margin alone: transparent new pixels where the output keeps alpha,
// else the top left pixel's colour; the picture itself moved, not changed.
TEST(DropShadowTest, MarginGrowsTheCanvas)
{
    const Picture opaque = FramedF(0xFF0000FFu);
    const struct {
        std::int32_t margin;
        bool keepsAlpha;
        std::uint32_t fill;
    } rows[] = {{1, true, 0x00000000u}, {7, false, 0xFF0000FFu}, {0, false, 0}};
    for (const auto& row : rows) {
        const Picture output = Decorated(opaque, Decoration{row.margin, std::nullopt}, row.keepsAlpha);
        ASSERT_EQ(output.Width(), 10 + 2 * row.margin);
        ASSERT_EQ(output.Height(), 9 + 2 * row.margin);
        for (std::int32_t y = 0; y < output.Height(); ++y) {
            for (std::int32_t x = 0; x < output.Width(); ++x) {
                const std::int32_t sx = x - row.margin, sy = y - row.margin;
                const bool inside = sx >= 0 && sy >= 0 && sx < 10 && sy < 9;
                ASSERT_EQ(output.Pixel(x, y), inside ? opaque.Pixel(sx, sy) : row.fill) << x << "," << y;
            }
        }
    }
}

TEST(DropShadowTest, RefusesWhatIsOutOfRange)
{
    const Decoration refused[] = {
        {MaxMargin + 1, std::nullopt},
        {-1, std::nullopt},
        {0, DropShadow{MaxShadowOffset + 1, 0, 0}},
        {0, DropShadow{0, -MaxShadowOffset - 1, 0}},
        {0, DropShadow{0, 0, MaxShadowBlur + 1}},
        {0, DropShadow{0, 0, 0, {0, 101}}},
        {0, DropShadow{0, 0, 0, {0x1000000, 50}}},
    };
    const Picture input = FramedF(0x00000000u);
    for (const Decoration& decoration : refused) {
        Picture picture = input;
        ShapeMask shape;
        ReadShapeMask(picture, ShapeSource{}, shape);
        EXPECT_RUNTIME_ERROR(Decorate(picture, shape, decoration, true), ErrorNumber::Overflow);
        EXPECT_TRUE(picture == input);
    }
    EXPECT_NO_THROW(CheckDecoration({MaxMargin, DropShadow{-MaxShadowOffset, MaxShadowOffset, MaxShadowBlur, {0xFFFFFF, 100}}}));
    // The grown size is exact even beyond 32 bits, for the caller to refuse.
    const GrownSize grown = GrowBy(INT32_MAX, 1, MaxMargin);
    EXPECT_EQ(grown.width, std::uint64_t(INT32_MAX) + 2 * MaxMargin);
    EXPECT_EQ(grown.height, 1u + 2 * MaxMargin);
}

// Large enough to run on several threads; the result does not depend on how many.
TEST(DropShadowTest, ThreadsDoNotChangeTheResult)
{
    std::mt19937 random(7);
    Picture input(700, 420, 0);
    for (std::int32_t y = 0; y < input.Height(); ++y)
        for (std::int32_t x = 0; x < input.Width(); ++x)
            input.Pixel(x, y) = std::uint32_t((x / 37 + y / 23) % 3 == 0 ? random() | 0xFF000100u : random() & 0x7FFF00FFu);
    const Decoration decoration{9, DropShadow{-5, 7, 40, {0x204060, 70}}};
    const Picture alone = Decorated(input, decoration, true, 1);
    EXPECT_TRUE(Decorated(input, decoration, true, 3) == alone);
    EXPECT_TRUE(Decorated(input, decoration, true, 8) == alone);
}

// What LookChoiceTexts writes, ReadLookChoice reads back to the same look.
TEST(DropShadowTest, LookTextsReadBackToTheSameDecoration)
{
    const Decoration decorations[] = {
        {},
        {MaxMargin, std::nullopt},
        {10, DropShadow{4, 4, 6}},
        {0, DropShadow{-MaxShadowOffset, MaxShadowOffset, MaxShadowBlur, {0xA0B1C2, 0}}},
    };
    for (const Decoration& decoration : decorations) {
        BevelLook look;
        look.decoration = decoration;
        BevelLook read;
        read.decoration = {3, DropShadow{1, 1, 1, {0xFFFFFF, 100}}};
        for (const auto& [name, text] : LookChoiceTexts(look))
            ASSERT_EQ(ReadLookChoice(name, text, read), std::nullopt) << name << " " << text;
        EXPECT_EQ(read.decoration, decoration);
    }
}

// A band outside the shape reaches into the margin: a disc two pixels from
// the picture's top edge, an outer band of 8 and a margin of 10 show light
// above the old edge, for an output with alpha and one without.
TEST(DecorateTest, OuterBandReachesIntoTheMargin)
{
    Picture input(40, 40, 0x00000000u);
    for (std::int32_t y = 0; y < 40; ++y)
        for (std::int32_t x = 0; x < 40; ++x)
            if ((x - 20) * (x - 20) + (y - 20) * (y - 20) < 18 * 18)
                input.Pixel(x, y) = Ink;
    BevelLook look;
    look.technique = BevelTechnique::Smooth;
    look.style = BevelStyle::Outer;
    look.decoration.margin = 10;
    for (const bool keepsAlpha : {true, false}) {
        SCOPED_TRACE(keepsAlpha ? "alpha kept" : "alpha dropped");
        Picture output = input;
        BevelWorkspace workspace;
        ApplyLook(output, BevelParameters{8, DegreesToRadians(135), DegreesToRadians(30)}, look, keepsAlpha, 1,
                  workspace);
        ASSERT_EQ(output.Width(), 60);
        // Four pixels above the disc's top, six beyond the old edge.
        EXPECT_NE(output.Pixel(30, 6), keepsAlpha ? 0x00000000u : 0xFF000000u);
        EXPECT_EQ(output.Pixel(1, 1), keepsAlpha ? 0x00000000u : 0xFF000000u);
    }
}

} // namespace
} // namespace tollamere
