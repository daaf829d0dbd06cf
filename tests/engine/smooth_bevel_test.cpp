// SPDX-License-Identifier: MIT
// The smooth and chisel techniques: the measures of a good bevel on a disc,
// which side the light falls on, the sub-pixel edge, the shape sources, and
// what the classic technique keeps.

#include "bevel_measures.h"
#include "runtime_error_matchers.h"
#include "smooth_bevel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tollamere {
namespace {

using measures::Disc;

BevelParameters Parameters(std::int32_t bevelSize, double angleDegrees, double elevationDegrees = 30)
{
    return {bevelSize, DegreesToRadians(angleDegrees), DegreesToRadians(elevationDegrees)};
}

BevelLook Look(BevelTechnique technique, ShapeSourceKind source = ShapeSourceKind::Green,
               BevelDirection direction = BevelDirection::Up)
{
    BevelLook look;
    look.technique = technique;
    look.shapeSource.kind = source;
    look.direction = direction;
    return look;
}

Picture Bevelled(const Picture& input, const BevelParameters& parameters, const BevelLook& look, unsigned threads = 1)
{
    Picture output = input;
    ApplyBevel(input, output, parameters, look, threads);
    return output;
}

int Green(std::uint32_t word)
{
    return int(word >> 8 & 0xFF);
}

TEST(SmoothBevelTest, DiscsMeasureAsAGoodBevel)
{
    // Radius 240 on 560 by 560, bevel 30, elevation 30, as the classic
    // effect was measured (ripple 2.4 %, rotation 31 dB, span 88 levels).
    const Disc disc;
    for (const bool antiAliased : {false, true}) {
        SCOPED_TRACE(antiAliased ? "anti-aliased disc, alpha" : "hard disc, green");
        const Picture input = measures::DiscPicture(disc, antiAliased);
        const BevelLook look =
            Look(BevelTechnique::Smooth, antiAliased ? ShapeSourceKind::Alpha : ShapeSourceKind::Green);
        const Picture litFrom135 = Bevelled(input, Parameters(30, 135), look);
        const Picture litFrom90 = Bevelled(input, Parameters(30, 90), look);
        const measures::Shading shading = measures::ShadingRound(litFrom135, disc, 30);
        EXPECT_LE(shading.ripple, 0.005);
        EXPECT_GE(shading.span, 60);
        EXPECT_GE(measures::RotationPsnr(litFrom135, litFrom90, disc, 30), 50);
        int flatTopChange = 0;
        for (std::int32_t y = 0; y < disc.size; ++y)
            for (std::int32_t x = 0; x < disc.size; ++x)
                if (std::hypot(x - disc.Centre(), y - disc.Centre()) < disc.radius - 30)
                    flatTopChange = std::max(flatTopChange, std::abs(Green(litFrom135.Pixel(x, y)) - Green(input.Pixel(x, y))));
        EXPECT_LE(flatTopChange, 1);
    }
}

TEST(SmoothBevelTest, TheLitSideFacesTheLight)
{
    // Lit from 135 degrees: a raised band is lighter at the top left than at
    // the bottom right, a sunken one the reverse.
    const Disc disc{120, 50};
    const Picture input = measures::DiscPicture(disc, false);
    struct Row {
        BevelTechnique technique;
        BevelDirection direction;
        bool topLeftLighter;
    };
    for (const Row& row : {Row{BevelTechnique::Smooth, BevelDirection::Up, true},
                           Row{BevelTechnique::Smooth, BevelDirection::Down, false},
                           Row{BevelTechnique::Chisel, BevelDirection::Up, true},
                           Row{BevelTechnique::Chisel, BevelDirection::Down, false}}) {
        SCOPED_TRACE(::testing::Message() << "technique " << int(row.technique) << ", direction " << int(row.direction));
        const Picture output =
            Bevelled(input, Parameters(10, 135), Look(row.technique, ShapeSourceKind::Green, row.direction));
        const double offset = (disc.radius - 5) * std::sqrt(0.5);
        const double topLeft = measures::GreenAt(output, disc.Centre() - offset, disc.Centre() - offset);
        const double bottomRight = measures::GreenAt(output, disc.Centre() + offset, disc.Centre() + offset);
        EXPECT_EQ(topLeft > bottomRight + 20, row.topLeftLighter) << topLeft << " against " << bottomRight;
        EXPECT_EQ(bottomRight > topLeft + 20, !row.topLeftLighter) << topLeft << " against " << bottomRight;
    }
}

TEST(SmoothBevelTest, AStraightEdgeLiesBetweenThePixels)
{
    // Inside from column 10 on, hard: the edge lies at x = 9.5; with column 9
    // half covered in alpha, at x = 9. A tenth of a pixel is what the bevel
    // can tell from the pixel grid's half.
    struct Row {
        std::uint32_t edgeColumn;
        ShapeSourceKind source;
        double edge;
    };
    for (const Row& row : {Row{0xFF000000u, ShapeSourceKind::Green, 9.5}, Row{0x80FFFFFFu, ShapeSourceKind::Alpha, 9.0}}) {
        Picture picture(40, 31, 0x00000000u);
        for (std::int32_t y = 0; y < 31; ++y) {
            for (std::int32_t x = 10; x < 40; ++x)
                picture.Pixel(x, y) = 0xFFFFFFFFu;
            picture.Pixel(9, y) = row.edgeColumn;
        }
        SmoothMaps maps;
        maps.Reset(40, 31);
        BuildCoverage(picture, {row.source, 0}, maps);
        FindEdgePoints(maps);
        BuildDistanceField(maps);
        SmoothRowScratch scratch;
        std::vector<float> distances(40);
        DistanceRow(maps, 14, 100, scratch, distances.data());
        for (std::int32_t x = 10; x < 20; ++x)
            EXPECT_NEAR(distances[std::size_t(x)], x - row.edge, 0.1) << "at column " << x;
    }
}

TEST(SmoothBevelTest, TheShapeSourceChoosesThePixels)
{
    // Red (green 0, luminance 76, alpha one half) fills the picture; a grey
    // square sits in it. Where the red is part of the shape the grey lies on
    // the flat top.
    Picture picture(60, 60, 0x80FF0000u);
    for (std::int32_t y = 20; y < 40; ++y)
        for (std::int32_t x = 20; x < 40; ++x)
            picture.Pixel(x, y) = 0xFF808080u;
    struct Row {
        ShapeSource source;
        bool redChanges;
        bool greyChanges;
    };
    for (const Row& row : {Row{{ShapeSourceKind::Green, 0}, false, true}, Row{{ShapeSourceKind::Luma, 50}, true, false},
                           Row{{ShapeSourceKind::Luma, 100}, false, true}, Row{{ShapeSourceKind::Alpha, 0}, true, false}}) {
        SCOPED_TRACE(::testing::Message() << "source " << int(row.source.kind) << ", threshold " << row.source.lumaThreshold);
        BevelLook look = Look(BevelTechnique::Smooth);
        look.shapeSource = row.source;
        const Picture output = Bevelled(picture, Parameters(4, 135), look);
        EXPECT_EQ(output.Pixel(1, 30) != picture.Pixel(1, 30), row.redChanges);
        EXPECT_EQ(output.Pixel(21, 30) != picture.Pixel(21, 30), row.greyChanges);
        EXPECT_EQ(output.Pixel(1, 30) >> 24, 0x80u);
    }
}

TEST(SmoothBevelTest, ClassicLookAndThreadsChangeNothing)
{
    const Disc disc;
    const Picture input = measures::DiscPicture(disc, true);
    Picture classic = input;
    ApplyBevel(input, classic, Parameters(7, 135));
    EXPECT_EQ(Bevelled(input, Parameters(7, 135), Look(BevelTechnique::Classic)), classic);
    for (const BevelTechnique technique : {BevelTechnique::Smooth, BevelTechnique::Chisel}) {
        BevelLook look = Look(technique, ShapeSourceKind::Alpha);
        look.profile = BevelProfile::Round;
        look.softenRadius = 2;
        EXPECT_EQ(Bevelled(input, Parameters(20, 60), look, 1), Bevelled(input, Parameters(20, 60), look, 3));
    }
}

TEST(SmoothBevelTest, RefusesWhatTheClassicEffectRefusesAndLooksOutOfRange)
{
    const Picture picture(8, 8, 0xFF808080u);
    const BevelLook smooth = Look(BevelTechnique::Smooth);
    EXPECT_RUNTIME_ERROR(Bevelled(Picture(), Parameters(5, 135), smooth), ErrorNumber::InvalidPicture);
    EXPECT_RUNTIME_ERROR(Bevelled(picture, Parameters(255, 135), smooth), ErrorNumber::Overflow);
    EXPECT_RUNTIME_ERROR(Bevelled(picture, Parameters(-1, 135), smooth), ErrorNumber::DivisionByZero);
    const auto with = [&](auto change) {
        BevelLook look = smooth;
        change(look);
        return look;
    };
    for (const BevelLook& look : {with([](BevelLook& l) { l.depthPercent = -1; }),
                                  with([](BevelLook& l) { l.depthPercent = 1001; }),
                                  with([](BevelLook& l) { l.softenRadius = 65; }),
                                  with([](BevelLook& l) { l.shapeSource.lumaThreshold = 256; }),
                                  with([](BevelLook& l) { l.profile = static_cast<BevelProfile>(9); })})
        EXPECT_RUNTIME_ERROR(Bevelled(picture, Parameters(5, 135), look), ErrorNumber::Overflow);
}

} // namespace
} // namespace tollamere
