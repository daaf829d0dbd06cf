// SPDX-License-Identifier: MIT
// The bevel effect through the program's own entry, picture to picture.

#include "bevel.h"
#include "runtime_error_matchers.h"
#include "vector_math.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace tollamere {
namespace {

constexpr std::uint32_t Grey100 = 0xFF646464u;

BevelParameters Parameters(std::int32_t bevelSize, double angleDegrees = 135, double elevationDegrees = 30)
{
    return {bevelSize, DegreesToRadians(angleDegrees), DegreesToRadians(elevationDegrees)};
}

std::vector<int> GreenRow(const Picture& picture, std::int32_t y)
{
    std::vector<int> values;
    for (std::int32_t x = 0; x < picture.Width(); ++x)
        values.push_back((picture.Pixel(x, y) >> 8) & 0xFF);
    return values;
}

Picture Bevelled(const Picture& input, const BevelParameters& parameters)
{
    Picture output = input;
    ApplyBevel(input, output, parameters);
    return output;
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

TEST(BevelPipelineTest, LightDirectionFollowsTheAngle)
{
    // Light from the right: the right edge brightens, the left darkens.
    const Picture output = Bevelled(Picture(16, 16, Grey100), Parameters(5, 0, 0));
    const std::vector<int> row = GreenRow(output, 8);
    EXPECT_LT(row[2], 100);
    EXPECT_GT(row[13], 100);
    EXPECT_EQ(row[7], 100);
    EXPECT_EQ(row[0], 100);
}

TEST(BevelPipelineTest, NoThreadCountBehavesAsOne)
{
    Picture picture(40, 30, Grey100);
    picture.Pixel(20, 15) = 0xFF000000u;
    Picture none = picture;
    ApplyBevel(picture, none, Parameters(4), 0);
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
        EXPECT_RUNTIME_ERROR(ApplyBevel(input, output, Parameters(bevelSize)), error);
        EXPECT_RUNTIME_ERROR(CheckBevelParameters(Parameters(bevelSize)), error);
        EXPECT_EQ(output, untouched) << "bevel size " << bevelSize;
    }
    for (const std::int32_t bevelSize : {0, 5, 254})
        EXPECT_NO_THROW(CheckBevelParameters(Parameters(bevelSize)));

    Picture output = untouched;
    EXPECT_RUNTIME_ERROR(ApplyBevel(Picture(), output, Parameters(5)), ErrorNumber::InvalidPicture);
    EXPECT_EQ(output, untouched);

    // An angle or elevation whose radians are not finite gives a light vector
    // of NaN: the first bevel pixel overflows, on one thread or several, and
    // a picture with no bevel pixel has nothing to light.
    const double infinite = std::numeric_limits<double>::infinity();
    const Picture large(700, 500, Grey100);
    for (const BevelParameters bad : {BevelParameters{5, infinite, 0.5}, BevelParameters{5, 0.5, -infinite}}) {
        for (const unsigned threads : {1u, 4u}) {
            Picture result = untouched;
            EXPECT_RUNTIME_ERROR(ApplyBevel(input, result, bad, threads), ErrorNumber::Overflow);
            EXPECT_EQ(result, untouched);
            Picture largeResult(700, 500, 0xFF010203u);
            EXPECT_RUNTIME_ERROR(ApplyBevel(large, largeResult, bad, threads), ErrorNumber::Overflow);
        }
        EXPECT_RUNTIME_ERROR(CheckBevelParameters(bad), ErrorNumber::Overflow);
        const Picture black(16, 16, 0xFF000000u);
        Picture result = untouched;
        ApplyBevel(black, result, bad);
        EXPECT_EQ(result, black);
    }
}

// One workspace through pictures of changing sizes, a failure among them,
// gives what a fresh call gives each: nothing of an earlier picture stays in
// the maps or the surface.
TEST(BevelPipelineTest, AWorkspaceKeptBetweenPicturesChangesNothing)
{
    const auto disc = [](std::int32_t width, std::int32_t height, std::uint32_t colour) {
        Picture picture(width, height, 0xFF000000u);
        for (std::int32_t y = 0; y < height; ++y)
            for (std::int32_t x = 0; x < width; ++x)
                if ((x - width / 2) * (x - width / 2) + (y - height / 2) * (y - height / 2) < width * height / 6)
                    picture.Pixel(x, y) = colour;
        return picture;
    };
    BevelWorkspace workspace;
    const std::vector<Picture> pictures = {disc(90, 70, 0xFF40C080u), disc(31, 47, 0xFFFFFFFFu), disc(90, 70, Grey100),
                                           disc(120, 20, 0xFF10F010u)};
    for (int round = 0; round < 2; ++round)
        for (const Picture& picture : pictures) {
            Picture inPlace = picture;
            ApplyBevel(inPlace, inPlace, Parameters(7 + round * 20), 2, workspace);
            EXPECT_TRUE(std::equal(inPlace.Row(0), inPlace.Row(0) + picture.Width() * picture.Height(),
                                   Bevelled(picture, Parameters(7 + round * 20)).Row(0)));
        }
    Picture refused = pictures[0];
    EXPECT_THROW(ApplyBevel(pictures[0], refused, Parameters(300), 1, workspace), RuntimeError);
    Picture after = pictures[1];
    ApplyBevel(after, after, Parameters(7), 1, workspace);
    EXPECT_TRUE(std::equal(after.Row(0), after.Row(0) + 31 * 47, Bevelled(pictures[1], Parameters(7)).Row(0)));
    EXPECT_GE(workspace.Bytes(), 90u * 70 * 6);
}

TEST(BevelParametersTest, TextsAreConvertedInOrder)
{
    const BevelParameters parameters = ParseBevelParameters("4.5", "180", "90", ".");
    EXPECT_EQ(parameters.bevelSize, 4);
    EXPECT_EQ(parameters.lightAngle, 3.14159265358979);
    EXPECT_EQ(parameters.lightElevation, 3.14159265358979 * 90 / 180);
    EXPECT_EQ(ParseBevelParameters("5.5", "0", "0", ".").bevelSize, 6);
    EXPECT_DOUBLE_EQ(ParseBevelParameters("5", "22,5", "0", ",").lightAngle, DegreesToRadians(22.5));

    EXPECT_RUNTIME_ERROR(ParseBevelParameters("5", "abc", "30", "."), ErrorNumber::TypeMismatch);
    EXPECT_RUNTIME_ERROR(ParseBevelParameters("", "135", "30", "."), ErrorNumber::TypeMismatch);
    EXPECT_RUNTIME_ERROR(ParseBevelParameters("5", "135", " ", "."), ErrorNumber::TypeMismatch);
    EXPECT_RUNTIME_ERROR(ParseBevelParameters("3e9", "135", "30", "."), ErrorNumber::Overflow);
    // The bevel size is read first: its failure wins over the angle's.
    EXPECT_RUNTIME_ERROR(ParseBevelParameters("1e10", "abc", "30", "."), ErrorNumber::Overflow);
}

} // namespace
} // namespace tollamere
