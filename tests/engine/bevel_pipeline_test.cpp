#include "bevel_pipeline.h"
#include "runtime_error_matchers.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

namespace tollamere {
namespace {

constexpr std::uint32_t Grey100 = 0xFF646464u;

BevelParameters Parameters(std::int32_t bevelSize, double angleDegrees = 135, double elevationDegrees = 30)
{
    return {bevelSize, DegreesToRadians(angleDegrees), DegreesToRadians(elevationDegrees)};
}

// The surface and maps of the effect on a picture, run up to the height blur.
struct HeightStages {
    explicit HeightStages(const Picture& picture, std::int32_t bevelSize)
        : maps(picture.Width(), picture.Height()), bevelSize(bevelSize)
    {
        surface.CreateFromPicture(picture);
        pixels = {surface.DIBSectionBitsPtr(), surface.BytesPerScanLine(), surface.Height()};
        BuildShapeMask(pixels, maps);
    }

    std::vector<int> Row(std::int32_t y) const
    {
        std::vector<int> values;
        for (std::int32_t x = 0; x < maps.HeightMap.Width(); ++x)
            values.push_back(maps.HeightMap(x, y));
        return values;
    }
    std::vector<int> Column(std::int32_t x) const
    {
        std::vector<int> values;
        for (std::int32_t y = 0; y < maps.HeightMap.Height(); ++y)
            values.push_back(maps.HeightMap(x, y));
        return values;
    }

    cDIBSection surface;
    PixelView pixels;
    BevelMaps maps;
    std::int32_t bevelSize;
};

std::vector<int> GreenRow(const Picture& picture, std::int32_t y)
{
    std::vector<int> values;
    for (std::int32_t x = 0; x < picture.Width(); ++x)
        values.push_back((picture.Pixel(x, y) >> 8) & 0xFF);
    return values;
}

std::vector<int> GreenColumn(const Picture& picture, std::int32_t x)
{
    std::vector<int> values;
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        values.push_back((picture.Pixel(x, y) >> 8) & 0xFF);
    return values;
}

Picture Bevelled(const Picture& input, const BevelParameters& parameters)
{
    Picture output = input;
    EffectState state;
    ApplyBevel(input, output, parameters, state);
    return output;
}

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
        ASSERT_TRUE(stages.maps.HeightMap == ErodedHeights(picture, bevelSize))
            << picture.Width() << " x " << picture.Height() << ", bevel size " << bevelSize << ", iteration " << iteration;
    }
}

TEST(BevelStagesTest, HeightFieldBeyondTheValidSizesWhileNoPixelGoesDeeperThanAByte)
{
    // 600 x 40: no pixel lies more than 20 pixels deep, so 300 passes leave
    // what 20 leave, without overflow.
    Picture picture(600, 40, Grey100);
    picture.Pixel(300, 20) = 0xFF000000u;
    HeightStages stages(picture, 300);
    BuildHeightField(300, stages.maps);
    EXPECT_TRUE(stages.maps.HeightMap == ErodedHeights(picture, 20));
    EXPECT_EQ(stages.Column(100)[20], 20);
}

TEST(BevelStagesTest, HeightBeyondAByteOverflows)
{
    // 255 passes on a 520-pixel square: the centre survives them all.
    HeightStages stages(Picture(520, 520, Grey100), 255);
    EXPECT_RUNTIME_ERROR(BuildHeightField(255, stages.maps), ErrorNumber::Overflow);
}

TEST(BevelPipelineTest, FullSquareIsLitFromTheTopLeft)
{
    const Picture output = Bevelled(Picture(16, 16, Grey100), Parameters(5));
    const std::vector<int> expected = {100, 127, 133, 124, 110, 102, 100, 100, 100, 100, 97, 90, 80, 74, 80, 100};
    EXPECT_EQ(GreenRow(output, 8), expected);
    EXPECT_EQ(GreenColumn(output, 8), expected);
    for (std::int32_t y = 0; y < 16; ++y)
        for (std::int32_t x = 0; x < 16; ++x) {
            const std::uint32_t pixel = output.Pixel(x, y);
            EXPECT_EQ(pixel & 0xFF, (pixel >> 8) & 0xFF);
            EXPECT_EQ((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF);
        }
}

TEST(BevelPipelineTest, PicturesWithoutInsideOrTooSmallComeOutUnchanged)
{
    std::vector<Picture> unchanged;
    for (std::uint32_t colour : {0xFF000000u, 0xFFFF0000u, 0xFF0000FFu, 0xFFFF00FFu})
        unchanged.emplace_back(12, 9, colour);
    unchanged.emplace_back(2, 40, Grey100);
    unchanged.emplace_back(40, 1, Grey100);
    unchanged.emplace_back(1, 1, Grey100);
    for (const Picture& picture : unchanged)
        EXPECT_EQ(Bevelled(picture, Parameters(5)), picture) << picture.Width() << 'x' << picture.Height();
}

TEST(BevelPipelineTest, OutermostRingNeverChanges)
{
    Picture picture(30, 20, 0xFF204080u);
    const Picture output = Bevelled(picture, Parameters(4, 300, 10));
    for (std::int32_t x = 0; x < 30; ++x) {
        EXPECT_EQ(output.Pixel(x, 0), picture.Pixel(x, 0));
        EXPECT_EQ(output.Pixel(x, 19), picture.Pixel(x, 19));
    }
    for (std::int32_t y = 0; y < 20; ++y) {
        EXPECT_EQ(output.Pixel(0, y), picture.Pixel(0, y));
        EXPECT_EQ(output.Pixel(29, y), picture.Pixel(29, y));
    }
    EXPECT_NE(output, picture);
}

TEST(BevelPipelineTest, BevelSizeZeroChangesOnlyPixelsTouchingAHole)
{
    EXPECT_EQ(Bevelled(Picture(10, 10, Grey100), Parameters(0)), Picture(10, 10, Grey100));

    Picture holed(11, 11, Grey100);
    holed.Pixel(5, 5) = 0xFF000000u;
    const Picture output = Bevelled(holed, Parameters(0));
    for (std::int32_t y = 0; y < 11; ++y)
        for (std::int32_t x = 0; x < 11; ++x) {
            const bool touchesHole = x >= 4 && x <= 6 && y >= 4 && y <= 6 && !(x == 5 && y == 5);
            if (touchesHole)
                EXPECT_NE(output.Pixel(x, y), holed.Pixel(x, y)) << x << ',' << y;
            else
                EXPECT_EQ(output.Pixel(x, y), holed.Pixel(x, y)) << x << ',' << y;
        }
}

TEST(BevelPipelineTest, LightDirectionFollowsTheAngle)
{
    // Light from the right: the right edge brightens, the left darkens.
    const Picture output = Bevelled(Picture(16, 16, Grey100), Parameters(5, 0, 0));
    const std::vector<int> row = GreenRow(output, 8);
    EXPECT_LT(row[2], 100);
    EXPECT_GT(row[13], 100);
    EXPECT_EQ(row[7], 100);
    EXPECT_EQ(row[0], 100);

    // Light from straight ahead only brightens.
    const Picture front = Bevelled(Picture(16, 16, Grey100), Parameters(5, 135, 90));
    for (std::int32_t y = 0; y < 16; ++y)
        for (int green : GreenRow(front, y))
            EXPECT_GE(green, 100);
    EXPECT_NE(front, Picture(16, 16, Grey100));
}

TEST(BevelStagesTest, LightAndShadowStayZeroOutsideTheirSpans)
{
    std::mt19937 rng(6160);
    EffectState state;
    state.LightAngle = DegreesToRadians(200);
    state.LightElevation = DegreesToRadians(25);
    ComputeLightVector(state);
    for (int iteration = 0; iteration < 200; ++iteration) {
        const Picture picture = RandomShapes(rng);
        const std::int32_t bevelSize = iteration % 7;
        HeightStages stages(picture, bevelSize);
        BevelMaps& maps = stages.maps;
        BuildHeightField(bevelSize, maps);
        NormalizeHeightField(bevelSize, maps);
        BlurHeight(maps);
        const auto checkSpans = [&](const char* after) {
            for (std::int32_t y = 0; y < maps.HeightMap.Height(); ++y)
                for (std::int32_t x = 0; x < maps.HeightMap.Width(); ++x) {
                    const RowSpan light = maps.LightSpans[std::size_t(y)];
                    const RowSpan shadow = maps.ShadowSpans[std::size_t(y)];
                    if (x < light.begin || x >= light.end) {
                        ASSERT_EQ(maps.LightMap(x, y), 0) << after << ": light at " << x << ',' << y;
                    }
                    if (x < shadow.begin || x >= shadow.end) {
                        ASSERT_EQ(maps.ShadowMap(x, y), 0) << after << ": shadow at " << x << ',' << y;
                    }
                }
        };
        CalculateLight(state.LightVector, maps);
        ASSERT_NO_FATAL_FAILURE(checkSpans("lighting"));
        BlurLights(maps);
        ASSERT_NO_FATAL_FAILURE(checkSpans("light blur"));
        MergeHeightLight(maps);
        ASSERT_NO_FATAL_FAILURE(checkSpans("merge"));
    }
}

TEST(BevelPipelineTest, NoThreadCountBehavesAsOne)
{
    Picture picture(40, 30, Grey100);
    picture.Pixel(20, 15) = 0xFF000000u;
    EffectState state;
    Picture none = picture;
    ApplyBevel(picture, none, Parameters(4), state, 0);
    EXPECT_EQ(none, Bevelled(picture, Parameters(4)));
    EXPECT_NE(none, picture);
}

TEST(BevelPipelineTest, BadInputFailsAndLeavesTheOutputUntouched)
{
    const Picture input(16, 16, Grey100);
    const Picture untouched(16, 16, 0xFF010203u);
    const struct {
        std::int32_t bevelSize;
        ErrorNumber error;
    } cases[] = {{-1, ErrorNumber::DivisionByZero}, {255, ErrorNumber::Overflow}, {-2, ErrorNumber::Overflow},
                 {1000000, ErrorNumber::Overflow}};
    for (const auto& [bevelSize, error] : cases) {
        Picture output = untouched;
        EffectState state;
        EXPECT_RUNTIME_ERROR(ApplyBevel(input, output, Parameters(bevelSize), state), error);
        EXPECT_EQ(output, untouched) << "bevel size " << bevelSize;
    }

    Picture output = untouched;
    EffectState state;
    EXPECT_RUNTIME_ERROR(ApplyBevel(Picture(), output, Parameters(5), state), ErrorNumber::InvalidPicture);
    EXPECT_EQ(output, untouched);

    // An angle or elevation whose radians are not finite gives a light vector
    // of NaN: the first bevel pixel overflows, on one thread or several, and
    // a picture with no bevel pixel has nothing to light.
    const double infinite = std::numeric_limits<double>::infinity();
    const Picture large(700, 500, Grey100);
    for (const BevelParameters bad : {BevelParameters{5, infinite, 0.5}, BevelParameters{5, 0.5, -infinite}}) {
        for (const unsigned threads : {1u, 4u}) {
            Picture result = untouched;
            EXPECT_RUNTIME_ERROR(ApplyBevel(input, result, bad, state, threads), ErrorNumber::Overflow);
            EXPECT_EQ(result, untouched);
            Picture largeResult(700, 500, 0xFF010203u);
            EXPECT_RUNTIME_ERROR(ApplyBevel(large, largeResult, bad, state, threads), ErrorNumber::Overflow);
        }
        const Picture black(16, 16, 0xFF000000u);
        Picture result = untouched;
        ApplyBevel(black, result, bad, state);
        EXPECT_EQ(result, black);
    }
}

TEST(BevelPipelineTest, SurfaceWithoutPixelsIsRefused)
{
    cDIBSection surface;
    EffectState state;
    EXPECT_RUNTIME_ERROR(ApplyBevel(surface, Parameters(5), state), ErrorNumber::InvalidPicture);
    surface.Create(100000, 100000);
    EXPECT_RUNTIME_ERROR(ApplyBevel(surface, Parameters(5), state), ErrorNumber::OutOfMemory);
}

TEST(BevelParametersTest, TextsAreConvertedInOrder)
{
    const BevelParameters parameters = ParseBevelParameters("4.5", "180", "90", ".");
    EXPECT_EQ(parameters.BevelSize, 4);
    EXPECT_EQ(parameters.LightAngle, 3.14159265358979);
    EXPECT_EQ(parameters.LightElevation, 3.14159265358979 * 90 / 180);
    EXPECT_EQ(ParseBevelParameters("5.5", "0", "0", ".").BevelSize, 6);
    EXPECT_DOUBLE_EQ(ParseBevelParameters("5", "22,5", "0", ",").LightAngle, DegreesToRadians(22.5));

    EXPECT_RUNTIME_ERROR(ParseBevelParameters("5", "abc", "30", "."), ErrorNumber::TypeMismatch);
    EXPECT_RUNTIME_ERROR(ParseBevelParameters("", "135", "30", "."), ErrorNumber::TypeMismatch);
    EXPECT_RUNTIME_ERROR(ParseBevelParameters("5", "135", " ", "."), ErrorNumber::TypeMismatch);
    EXPECT_RUNTIME_ERROR(ParseBevelParameters("3e9", "135", "30", "."), ErrorNumber::Overflow);
    // The bevel size is read first: its failure wins over the angle's.
    EXPECT_RUNTIME_ERROR(ParseBevelParameters("1e10", "abc", "30", "."), ErrorNumber::Overflow);
}

} // namespace
} // namespace tollamere
