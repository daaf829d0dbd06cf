// SPDX-License-Identifier: MIT
// The bevel's stages one at a time: the height field against the erosion
// passes it stands for, and the spans the light maps keep.

#include "bevel_stages.h"
#include "effect_operators.h"
#include "runtime_error_matchers.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <random>
#include <vector>

namespace tollamere {
namespace {

constexpr std::uint32_t Grey100 = 0xFF646464u;

// The surface and maps of the effect on a picture, run up to the height blur.
struct HeightStages {
    explicit HeightStages(const Picture& picture, std::int32_t bevelSize)
        : maps(picture.Width(), picture.Height()), bevelSize(bevelSize)
    {
        surface.CreateFromPicture(picture);
        pixels = {surface.DIBSectionBitsPtr(), surface.Width(), surface.Height()};
        BuildShapeMask(pixels, maps);
    }

    std::vector<int> Row(std::int32_t y) const
    {
        std::vector<int> values;
        for (std::int32_t x = 0; x < maps.heightMap.Width(); ++x)
            values.push_back(maps.heightMap(x, y));
        return values;
    }
    std::vector<int> Column(std::int32_t x) const
    {
        std::vector<int> values;
        for (std::int32_t y = 0; y < maps.heightMap.Height(); ++y)
            values.push_back(maps.heightMap(x, y));
        return values;
    }

    cDIBSection surface;
    PixelView pixels;
    BevelMaps maps;
    std::int32_t bevelSize;
};

TEST(BevelStagesTest, HeightFieldOfAFullSquare)
{
    HeightStages stages(Picture(16, 16, Grey100), 5);
    BuildHeightField(5, stages.maps);
    const std::vector<int> built = {1, 2, 3, 4, 5, 6, 6, 6, 6, 6, 6, 5, 4, 3, 2, 1};
    EXPECT_EQ(stages.Row(8), built);
    EXPECT_EQ(stages.Column(8), built);

    NormalizeHeightField(5, stages.maps);
    EXPECT_EQ(stages.Row(8), (std::vector<int>{42, 85, 127, 170, 212, 255, 255, 255, 255, 255, 255, 212, 170, 127, 85, 42}));

    BlurHeight(stages.maps);
    EXPECT_EQ(stages.Row(8), (std::vector<int>{0, 84, 127, 169, 212, 240, 255, 255, 255, 255, 240, 212, 169, 127, 84, 0}));
}

TEST(BevelStagesTest, ErosionTreatsTheBorderAsOutsideAfterTheFirstPass)
{
    // A shape touching the left border: the first pass sees the border pixels
    // as inside, later passes see the ring as outside.
    Picture picture(7, 5, 0xFF000000u);
    for (std::int32_t y = 0; y < 5; ++y)
        for (std::int32_t x = 0; x < 6; ++x)
            picture.Pixel(x, y) = Grey100;
    HeightStages stages(picture, 3);
    BuildHeightField(3, stages.maps);
    EXPECT_EQ(stages.Row(2), (std::vector<int>{1, 2, 3, 3, 2, 1, 0}));
    EXPECT_EQ(stages.Row(0), (std::vector<int>{1, 1, 1, 1, 1, 1, 0}));
}

// The height field as the erosion passes build it, written plainly: 1 inside
// and 0 outside, then each pass adds 1 where the pixel and its four
// neighbours are still inside, the outermost ring never surviving.
ByteMap ErodedHeights(const Picture& picture, std::int32_t passes)
{
    const std::int32_t width = picture.Width();
    const std::int32_t height = picture.Height();
    ByteMap heights(width, height);
    ByteMap inside(width, height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            heights(x, y) = inside(x, y) = ((picture.Pixel(x, y) >> 8) & 0xFF) != 0 ? 1 : 0;
    for (std::int32_t pass = 0; pass < passes; ++pass) {
        ByteMap eroded(width, height);
        for (std::int32_t y = 1; y < height - 1; ++y)
            for (std::int32_t x = 1; x < width - 1; ++x)
                if (inside(x, y) && inside(x, y - 1) && inside(x - 1, y) && inside(x + 1, y) && inside(x, y + 1)) {
                    eroded(x, y) = 1;
                    ++heights(x, y);
                }
        inside = eroded;
    }
    return heights;
}

// A picture of random discs and rectangles with holes, of width and height up to 90.
Picture RandomShapes(std::mt19937& rng)
{
    const auto uniform = [&rng](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    Picture picture(uniform(1, 90), uniform(1, 90), 0xFF000000u);
    for (int shape = uniform(0, 5); shape > 0; --shape) {
        const int cx = uniform(-5, picture.Width() + 5);
        const int cy = uniform(-5, picture.Height() + 5);
        const int size = uniform(0, 50);
        const bool disc = uniform(0, 1) == 0;
        const std::uint32_t colour = shape % 3 == 0 ? 0xFF300040u : 0xFF204080u;
        for (std::int32_t y = 0; y < picture.Height(); ++y)
            for (std::int32_t x = 0; x < picture.Width(); ++x) {
                const bool in = disc ? (x - cx) * (x - cx) + (y - cy) * (y - cy) <= size * size
                                     : std::abs(x - cx) <= size && std::abs(y - cy) <= size / 2;
                if (in)
                    picture.Pixel(x, y) = colour;
            }
    }
    for (int hole = uniform(0, 6); hole > 0; --hole)
        picture.Pixel(uniform(0, picture.Width() - 1), uniform(0, picture.Height() - 1)) = 0xFF800080u;
    return picture;
}

TEST(BevelStagesTest, HeightFieldIsWhatTheErosionPassesBuild)
{
    std::mt19937 rng(5150);
    for (int iteration = 0; iteration < 600; ++iteration) {
        const Picture picture = RandomShapes(rng);
        const std::int32_t bevelSize = std::array{-3, 0, 1, 2, 3, 5, 8, 13, 30, 254}[std::size_t(iteration) % 10];
        const unsigned threads = 1 + unsigned(iteration % 4);
        HeightStages stages(picture, bevelSize);
        BuildHeightField(bevelSize, stages.maps, threads);
        ASSERT_TRUE(stages.maps.heightMap == ErodedHeights(picture, bevelSize))
            << picture.Width() << " x " << picture.Height() << ", bevel size " << bevelSize << ", iteration " << iteration;
    }
}

TEST(BevelStagesTest, LightAndShadowStayZeroOutsideTheirSpans)
{
    std::mt19937 rng(6160);
    const Vector3 lightVector = ComputeLightVector(DegreesToRadians(200), DegreesToRadians(25));
    for (int iteration = 0; iteration < 200; ++iteration) {
        const Picture picture = RandomShapes(rng);
        const std::int32_t bevelSize = iteration % 7;
        HeightStages stages(picture, bevelSize);
        BevelMaps& maps = stages.maps;
        BuildHeightField(bevelSize, maps);
        NormalizeHeightField(bevelSize, maps);
        BlurHeight(maps);
        const auto checkSpans = [&](const char* after) {
            for (std::int32_t y = 0; y < maps.heightMap.Height(); ++y)
                for (std::int32_t x = 0; x < maps.heightMap.Width(); ++x) {
                    const RowSpan light = maps.lightSpans[std::size_t(y)];
                    const RowSpan shadow = maps.shadowSpans[std::size_t(y)];
                    if (x < light.begin || x >= light.end) {
                        ASSERT_EQ(maps.lightMap(x, y), 0) << after << ": light at " << x << ',' << y;
                    }
                    if (x < shadow.begin || x >= shadow.end) {
                        ASSERT_EQ(maps.shadowMap(x, y), 0) << after << ": shadow at " << x << ',' << y;
                    }
                }
        };
        CalculateLight(lightVector, maps);
        ASSERT_NO_FATAL_FAILURE(checkSpans("lighting"));
        BlurLights(maps);
        ASSERT_NO_FATAL_FAILURE(checkSpans("light blur"));
        MergeHeightLight(maps);
        ASSERT_NO_FATAL_FAILURE(checkSpans("merge"));
    }
}

TEST(BevelPipelineTest, SurfaceWithoutPixelsIsRefused)
{
    const BevelParameters parameters{5, DegreesToRadians(135), DegreesToRadians(30)};
    cDIBSection surface;
    EXPECT_RUNTIME_ERROR(ApplyBevel(surface, parameters), ErrorNumber::InvalidPicture);
    surface.Create(100000, 100000);
    EXPECT_RUNTIME_ERROR(ApplyBevel(surface, parameters), ErrorNumber::OutOfMemory);
}

} // namespace
} // namespace tollamere
