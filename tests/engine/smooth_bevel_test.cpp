// SPDX-License-Identifier: MIT
// The smooth and chisel techniques: the measures of a good bevel on a disc,
// which side the light falls on, the sub-pixel edge, the shape sources, what
// the classic technique keeps, the kernels and threads that must agree, the
// profiles, the maps' memory, and pictures a pixel wide.

#include "bevel_measures.h"
#include "runtime_error_matchers.h"
#include "smooth_bevel.h"
#include "smooth_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
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
    // Chisel's light ends in a hard line at the flat top, a pixel's width
    // either way of it; unblurred, its facets' slopes showed as rays across
    // the band (ripple 0.6 %, rotation 42 dB).
    const Disc disc;
    struct Row {
        BevelTechnique technique;
        double ripple;
        double rotation;
        double band;
    };
    for (const Row& row : {Row{BevelTechnique::Smooth, 0.005, 50, 30}, Row{BevelTechnique::Chisel, 0.005, 45, 31}})
        for (const bool antiAliased : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "technique " << int(row.technique)
                                              << (antiAliased ? ", anti-aliased disc, alpha" : ", hard disc, green"));
            const Picture input = measures::DiscPicture(disc, antiAliased);
            const BevelLook look = Look(row.technique, antiAliased ? ShapeSourceKind::Alpha : ShapeSourceKind::Green);
            const Picture litFrom135 = Bevelled(input, Parameters(30, 135), look);
            const Picture litFrom90 = Bevelled(input, Parameters(30, 90), look);
            const measures::Shading shading = measures::ShadingRound(litFrom135, disc, 30);
            EXPECT_LE(shading.ripple, row.ripple);
            EXPECT_GE(shading.span, 60);
            const double rotation = measures::RotationPsnr(litFrom135, litFrom90, disc, 30);
            EXPECT_GE(rotation, row.rotation);
            int flatTopChange = 0;
            for (std::int32_t y = 0; y < disc.size; ++y)
                for (std::int32_t x = 0; x < disc.size; ++x)
                    if (std::hypot(x - disc.Centre(), y - disc.Centre()) < disc.radius - row.band)
                        flatTopChange =
                            std::max(flatTopChange, std::abs(Green(litFrom135.Pixel(x, y)) - Green(input.Pixel(x, y))));
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

// Each style on a disc on a see-through ground, raised and sunk: the band
// lies inside, outside or on both sides of the edge, and nowhere else; each
// half of it turns to the light as its slope says; outside the shape the
// light and the shade go in as colour over the ground, on both sides.
TEST(SmoothBevelTest, StylesPutTheBandWhereTheySay)
{
    const Disc disc{120, 40};
    constexpr std::int32_t Bevel = 10;
    struct Probe {
        // Into the shape from its edge (outside below 0).
        double depth;
        // The half's slope, raised: rising inward faces the top left.
        bool risesInward;
    };
    struct Row {
        BevelStyle style;
        BevelTechnique technique;
        bool antiAliased;
        // How far the band reaches inside and outside the edge.
        double inside;
        double outside;
        std::vector<Probe> probes;
    };
    const std::vector<Row> rows{
        {BevelStyle::Inner, BevelTechnique::Smooth, false, Bevel, 0, {{Bevel / 2.0, true}}},
        {BevelStyle::Outer, BevelTechnique::Smooth, false, 0, Bevel, {{-Bevel / 2.0, true}}},
        {BevelStyle::Outer, BevelTechnique::Smooth, true, 0, Bevel, {{-Bevel / 2.0, true}}},
        {BevelStyle::Outer, BevelTechnique::Chisel, false, 0, Bevel, {{-Bevel / 2.0, true}}},
        {BevelStyle::Emboss, BevelTechnique::Smooth, false, Bevel / 2.0, Bevel / 2.0, {{2, true}, {-2, true}}},
        {BevelStyle::Emboss, BevelTechnique::Smooth, true, Bevel / 2.0, Bevel / 2.0, {{2, true}, {-2, true}}},
        {BevelStyle::Pillow, BevelTechnique::Smooth, false, Bevel / 2.0, Bevel / 2.0, {{2, true}, {-2, false}}},
        {BevelStyle::Pillow, BevelTechnique::Chisel, true, Bevel / 2.0, Bevel / 2.0, {{2, true}, {-2, false}}},
    };
    const double c = disc.Centre();
    for (const Row& row : rows) {
        const Picture input = measures::DiscPicture(disc, row.antiAliased);
        for (const BevelDirection direction : {BevelDirection::Up, BevelDirection::Down}) {
            SCOPED_TRACE(::testing::Message() << "style " << int(row.style) << ", technique " << int(row.technique)
                                              << (row.antiAliased ? ", anti-aliased" : "") << ", direction "
                                              << int(direction));
            BevelLook look = Look(row.technique, row.antiAliased ? ShapeSourceKind::Alpha : ShapeSourceKind::Green,
                                  direction);
            const Picture plain = Bevelled(input, Parameters(Bevel, 135), look);
            look.style = row.style;
            const Picture output = Bevelled(input, Parameters(Bevel, 135), look);
            if (row.style == BevelStyle::Inner) {
                EXPECT_EQ(output, plain);
            }
            std::int32_t changedInside = 0;
            std::int32_t changedOutside = 0;
            for (std::int32_t y = 0; y < disc.size; ++y)
                for (std::int32_t x = 0; x < disc.size; ++x) {
                    const double depth = disc.radius - std::hypot(x - c, y - c);
                    const bool changed = output.Pixel(x, y) != input.Pixel(x, y);
                    changedInside += changed && depth > row.inside + 2;
                    changedOutside += changed && depth < -row.outside - 2;
                }
            EXPECT_EQ(changedInside, 0);
            EXPECT_EQ(changedOutside, 0);
            for (const Probe& probe : row.probes) {
                const double offset = (disc.radius - probe.depth) * std::sqrt(0.5);
                const auto at = [&](double sign) {
                    return output.Pixel(static_cast<std::int32_t>(std::lround(c + sign * offset)),
                                        static_cast<std::int32_t>(std::lround(c + sign * offset)));
                };
                const std::uint32_t topLeft = at(-1);
                const std::uint32_t bottomRight = at(1);
                const bool topLeftLit = probe.risesInward == (direction == BevelDirection::Up);
                const int lighter = (topLeftLit ? 1 : -1) * (Green(topLeft) - Green(bottomRight));
                EXPECT_GT(lighter, 40) << "at depth " << probe.depth << ": " << std::hex << topLeft << " against "
                                       << bottomRight;
                if (probe.depth < 0) {
                    EXPECT_GT(topLeft >> 24, 0x20u) << std::hex << topLeft;
                    EXPECT_GT(bottomRight >> 24, 0x20u) << std::hex << bottomRight;
                }
            }
            // Just outside the edge the inner style leaves the ground as it
            // is; the others lay their light on it.
            const double justOutside = c + (disc.radius + 1.5) * std::sqrt(0.5);
            const std::uint32_t ground = output.Pixel(std::int32_t(justOutside), std::int32_t(justOutside));
            EXPECT_EQ(ground >> 24 != 0, row.outside > 0) << std::hex << ground;
        }
    }
}

// The band's tones: white and black laid on by screen and multiply are the
// default light within rounding; no opacity leaves the picture; a coloured
// highlight and shadow land on their own sides, each in its own channel.
TEST(SmoothBevelTest, TonesColourTheirOwnSide)
{
    const Disc disc{120, 50};
    const Picture input = measures::DiscPicture(disc, false);
    const BevelLook plain = Look(BevelTechnique::Smooth);
    const Picture reference = Bevelled(input, Parameters(10, 135), plain);
    const auto toned = [&](BandTone highlight, BandTone shadow) {
        BevelLook look = plain;
        look.highlight = highlight;
        look.shadow = shadow;
        return Bevelled(input, Parameters(10, 135), look);
    };
    const auto largestDifference = [](const Picture& a, const Picture& b) {
        int largest = 0;
        for (std::int32_t y = 0; y < a.Height(); ++y)
            for (std::int32_t x = 0; x < a.Width(); ++x)
                for (const int shift : {0, 8, 16})
                    largest = std::max(largest, std::abs(int(a.Pixel(x, y) >> shift & 0xFF) - int(b.Pixel(x, y) >> shift & 0xFF)));
        return largest;
    };
    EXPECT_LE(largestDifference(toned({{0xFFFFFF, 100}, BlendMode::Screen}, {{0, 100}, BlendMode::Multiply}), reference), 1);
    EXPECT_EQ(largestDifference(toned({{0xFFFFFF, 0}, BlendMode::Normal}, {{0, 0}, BlendMode::Overlay}), input), 0);

    const Picture coloured = toned({{0xFF0000, 100}, BlendMode::Normal}, {{0x0000FF, 100}, BlendMode::Normal});
    const double offset = (disc.radius - 3) * std::sqrt(0.5);
    const std::uint32_t lit = coloured.Pixel(std::int32_t(disc.Centre() - offset), std::int32_t(disc.Centre() - offset));
    const std::uint32_t shaded = coloured.Pixel(std::int32_t(disc.Centre() + offset), std::int32_t(disc.Centre() + offset));
    EXPECT_GT(int(lit >> 16 & 0xFF), int(lit & 0xFF) + 40) << std::hex << lit;
    EXPECT_GT(int(shaded & 0xFF), int(shaded >> 16 & 0xFF) + 40) << std::hex << shaded;
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
        // The row and a guard beyond it that must stay as it is.
        std::vector<float> distances(44, -99.0f);
        DistanceRow(maps, 14, 100, scratch, distances.data());
        for (std::int32_t x = 10; x < 20; ++x)
            EXPECT_NEAR(distances[std::size_t(x)], x - row.edge, 0.1) << "at column " << x;
        EXPECT_NEAR(distances[39], 0.5, 0.1);
        for (std::size_t x = 40; x < distances.size(); ++x)
            EXPECT_EQ(distances[x], -99.0f) << "at column " << x;
        // Outside, down to -4 unless asked to reach further.
        EXPECT_EQ(distances[0], -4.0f);
        DistanceRow(maps, 14, 100, scratch, distances.data(), 8);
        for (std::int32_t x = 2; x < 10; ++x)
            EXPECT_NEAR(distances[std::size_t(x)], std::max(x - row.edge, -8.0), 0.1) << "at column " << x;
    }
}

TEST(SmoothBevelTest, ARowOfDistancesEndsAtThePicturesEdge)
{
    // In row 14 the boundary pixels of columns 38 and 39 lie 12 rows up, so
    // that the stretch of column 36's reaches past the picture's last
    // column, which it serves.
    Picture picture(40, 31, 0x00000000u);
    for (std::int32_t y = 6; y <= 24; ++y)
        for (std::int32_t x = 20; x <= 36; ++x)
            picture.Pixel(x, y) = 0xFFFFFFFFu;
    for (std::int32_t y = 0; y <= 1; ++y)
        for (std::int32_t x = 38; x <= 39; ++x)
            picture.Pixel(x, y) = 0xFFFFFFFFu;
    SmoothMaps maps;
    maps.Reset(40, 31);
    BuildCoverage(picture, {ShapeSourceKind::Alpha, 0}, maps);
    FindEdgePoints(maps);
    BuildDistanceField(maps);
    SmoothRowScratch scratch;
    std::vector<float> distances(44, -99.0f);
    DistanceRow(maps, 14, 100, scratch, distances.data());
    EXPECT_NEAR(distances[36], 0.5, 0.1);
    EXPECT_NEAR(distances[39], -2.5, 0.1);
    for (std::size_t x = 40; x < distances.size(); ++x)
        EXPECT_EQ(distances[x], -99.0f) << "at column " << x;
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

// An anti-aliased ring, a square and a thin slanted bar in alpha, colours
// that differ by channel, on a picture of odd size above the size at which
// the stages start threads.
Picture Shapes(std::int32_t width, std::int32_t height)
{
    Picture picture(width, height, 0x00000000u);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            const double r = std::hypot(x - width * 0.4, y - height * 0.45);
            double coverage = std::clamp(std::min(r - 60, 170 - r) + 0.5, 0.0, 1.0);
            if (x > width * 0.75 && x < width - 10 && y > 20 && y < height / 3)
                coverage = 1;
            if (std::abs(y - 0.3 * x - height * 0.7) < 2.5)
                coverage = std::max(coverage, 0.6);
            const auto alpha = static_cast<std::uint32_t>(std::lround(255 * coverage));
            picture.Pixel(x, y) = alpha << 24 | std::uint32_t(x & 0xFF) << 16 | (alpha != 0 ? 0xC000u : 0u)
                                  | std::uint32_t(y & 0xFF);
        }
    return picture;
}

Picture WithKernels(const Picture& input, const BevelParameters& parameters, const BevelLook& look, unsigned threads,
                    const SmoothKernels& kernels)
{
    Picture output = input;
    SmoothMaps maps;
    ApplySmoothBevel(input, output, parameters, look, threads, maps, kernels);
    return output;
}

TEST(SmoothBevelTest, TurnedEdgesGiveTurnedBands)
{
    // A horizontal and a vertical straight edge, each the other turned
    // about the diagonal, lit from 135 degrees, which that turn keeps: the
    // rows and columns worked out and those taken as the mean of their
    // neighbours must give the same band.
    constexpr std::int32_t Size = 41;
    Picture below(Size, Size, 0xFF000000u);
    Picture right(Size, Size, 0xFF000000u);
    for (std::int32_t y = 0; y < Size; ++y)
        for (std::int32_t x = 0; x < Size; ++x) {
            if (y >= 15)
                below.Pixel(x, y) = 0xFF808080u;
            if (x >= 15)
                right.Pixel(x, y) = 0xFF808080u;
        }
    for (const BevelTechnique technique : {BevelTechnique::Smooth, BevelTechnique::Chisel}) {
        SCOPED_TRACE(::testing::Message() << "technique " << int(technique));
        const Picture fromBelow = Bevelled(below, Parameters(6, 135), Look(technique));
        const Picture fromRight = Bevelled(right, Parameters(6, 135), Look(technique));
        int largest = 0;
        for (std::int32_t y = 0; y < Size; ++y)
            for (std::int32_t x = 0; x < Size; ++x)
                largest = std::max(largest, std::abs(Green(fromBelow.Pixel(x, y)) - Green(fromRight.Pixel(y, x))));
        EXPECT_LE(largest, 1);
        EXPECT_NE(fromBelow, below);
    }
}

TEST(SmoothBevelTest, KernelSetsThreadsAndBandsGiveTheSameBytes)
{
    const Picture input = Shapes(521, 509);
    struct Row {
        BevelTechnique technique;
        BevelProfile profile;
        std::int32_t soften;
        std::int32_t bevel;
        BevelDirection direction;
        ShapeSource source;
        BevelStyle style = BevelStyle::Inner;
    };
    for (const Row& row : {Row{BevelTechnique::Smooth, BevelProfile::Linear, 0, 12, BevelDirection::Up, {ShapeSourceKind::Alpha, 0}},
                           Row{BevelTechnique::Smooth, BevelProfile::Round, 7, 30, BevelDirection::Up, {ShapeSourceKind::Alpha, 0}},
                           Row{BevelTechnique::Smooth, BevelProfile::Cove, 1, 3, BevelDirection::Down, {ShapeSourceKind::Green, 0}},
                           Row{BevelTechnique::Smooth, BevelProfile::Ridge, 64, 254, BevelDirection::Up, {ShapeSourceKind::Luma, 60}},
                           Row{BevelTechnique::Smooth, BevelProfile::Linear, 0, 0, BevelDirection::Up, {ShapeSourceKind::Green, 0}},
                           Row{BevelTechnique::Chisel, BevelProfile::Round, 9, 20, BevelDirection::Down, {ShapeSourceKind::Alpha, 0}},
                           Row{BevelTechnique::Smooth, BevelProfile::Round, 7, 40, BevelDirection::Up, {ShapeSourceKind::Alpha, 0}, BevelStyle::Outer},
                           Row{BevelTechnique::Smooth, BevelProfile::Cove, 0, 9, BevelDirection::Down, {ShapeSourceKind::Green, 0}, BevelStyle::Emboss},
                           Row{BevelTechnique::Chisel, BevelProfile::Linear, 0, 30, BevelDirection::Up, {ShapeSourceKind::Alpha, 0}, BevelStyle::Pillow}}) {
        SCOPED_TRACE(::testing::Message() << "technique " << int(row.technique) << ", profile " << int(row.profile)
                                          << ", soften " << row.soften << ", bevel " << row.bevel << ", style "
                                          << int(row.style));
        BevelLook look = Look(row.technique, row.source.kind, row.direction);
        look.shapeSource = row.source;
        look.profile = row.profile;
        look.softenRadius = row.soften;
        look.style = row.style;
        const BevelParameters parameters = Parameters(row.bevel, 120, 40);
        const Picture reference = WithKernels(input, parameters, look, 1, PortableSmoothKernels());
        EXPECT_NE(reference, input);
        if (const SmoothKernels* avx2 = Avx2SmoothKernels()) {
            EXPECT_EQ(WithKernels(input, parameters, look, 1, *avx2), reference);
        }
        for (const unsigned threads : {2u, 5u})
            EXPECT_EQ(WithKernels(input, parameters, look, threads, FastestSmoothKernels()), reference)
                << threads << " threads";
    }
}

TEST(SmoothBevelTest, ProfilesFollowTheirCurves)
{
    constexpr double Pi = std::numbers::pi;
    struct Row {
        BevelProfile profile;
        BevelDirection direction;
        std::int32_t depth;
        double (*curve)(double);
    };
    for (const Row& row : {Row{BevelProfile::Linear, BevelDirection::Up, 100, [](double u) { return u; }},
                           Row{BevelProfile::Round, BevelDirection::Up, 100, [](double u) { return std::sin(u * Pi / 2); }},
                           Row{BevelProfile::Cove, BevelDirection::Down, 250, [](double u) { return 1 - std::cos(u * Pi / 2); }},
                           Row{BevelProfile::Ridge, BevelDirection::Up, 40, [](double u) { return std::sin(u * Pi); }}}) {
        SCOPED_TRACE(::testing::Message() << "profile " << int(row.profile));
        BevelLook look = Look(BevelTechnique::Smooth, ShapeSourceKind::Green, row.direction);
        look.profile = row.profile;
        look.depthPercent = row.depth;
        const double scale = (row.direction == BevelDirection::Down ? -255.0 : 255.0) * row.depth / 100;
        for (const std::int32_t bevel : {0, 17}) {
            // From outside the band (-2) to beyond the flat top's start.
            std::vector<float> distances;
            for (int i = 0; i <= 120; ++i)
                distances.push_back(float(i) * 0.2f - 2);
            std::vector<float> heights(distances.size());
            const HeightRule rule(bevel, look);
            PortableSmoothKernels().HeightsRow(distances.data(), heights.data(), std::int32_t(distances.size()), rule);
            for (std::size_t i = 0; i < distances.size(); ++i) {
                const double u = bevel == 0 ? (distances[i] > 0 ? 1.0 : 0.0) : std::clamp(distances[i] / double(bevel), 0.0, 1.0);
                EXPECT_NEAR(heights[i], scale * row.curve(u), 1e-3) << "bevel " << bevel << ", distance " << distances[i];
            }
        }
    }
}

template <typename T>
std::uint64_t Held(const std::vector<T>& memory)
{
    return memory.capacity() * sizeof(T);
}

TEST(SmoothBevelTest, TheMapsHoldNoMoreThanTheirBudget)
{
    // A checkerboard makes every pixel a boundary pixel, the maps' worst.
    Picture checkerboard(67, 45, 0xFF000000u);
    for (std::int32_t y = 0; y < 45; ++y)
        for (std::int32_t x = 0; x < 67; ++x)
            checkerboard.Pixel(x, y) = (x + y) % 2 == 0 ? 0xFFFFFFFFu : 0xFF000000u;
    struct Row {
        const Picture* picture;
        std::int32_t soften;
        unsigned threads;
    };
    const Picture disc = measures::DiscPicture({300, 120}, true);
    const Picture line = Shapes(700, 1);
    for (const Row& row : {Row{&checkerboard, 0, 1}, Row{&checkerboard, 64, 3}, Row{&disc, 5, 2}, Row{&line, 64, 4}}) {
        const Picture& input = *row.picture;
        SCOPED_TRACE(::testing::Message() << input.Width() << " by " << input.Height() << ", soften " << row.soften);
        BevelLook look = Look(BevelTechnique::Smooth, &input == &checkerboard ? ShapeSourceKind::Green : ShapeSourceKind::Alpha);
        look.softenRadius = row.soften;
        SmoothMaps maps;
        Picture output = input;
        ApplySmoothBevel(input, output, Parameters(40, 135), look, row.threads, maps);
        if (&input == &checkerboard) {
            EXPECT_EQ(maps.rowFirstEdge[std::size_t(input.Height())], std::uint32_t(input.Width() * input.Height()));
        }
        const std::uint64_t perPicture = Held(maps.coverage) + Held(maps.insideBits) + Held(maps.boundaryBits)
                                         + Held(maps.wordFirstEdge) + Held(maps.rowFirstEdge) + Held(maps.rawEdgePoints)
                                         + Held(maps.edgePoints) + Held(maps.columnOffset) + Held(maps.nearestRows);
        EXPECT_LE(perPicture, SmoothMapsBytes(input.Width(), input.Height()));
        std::uint64_t perRow = 0;
        for (const SmoothRowScratch& rows : maps.rows)
            perRow += Held(rows.candidates) + Held(rows.vertices) + Held(rows.spans) + Held(rows.crossings) + Held(rows.levels) + Held(rows.points)
                      + Held(rows.floats) + Held(rows.ints) + Held(rows.sums) + Held(rows.coverageRows);
        EXPECT_LE(perRow, SmoothRowBytes(input.Width(), row.soften, row.threads));
    }
}

TEST(SmoothBevelTest, PicturesAPixelWideOrHigh)
{
    // Inside everywhere, the frame makes every pixel of such a picture a
    // boundary pixel; outside everywhere, nothing changes.
    for (const auto& [width, height] : {std::pair{1, 1}, std::pair{1, 9}, std::pair{9, 1}, std::pair{2, 3},
                                        std::pair{65, 2}, std::pair{2, 65}}) {
        for (const auto& [technique, style] : {std::pair{BevelTechnique::Smooth, BevelStyle::Inner},
                                               std::pair{BevelTechnique::Chisel, BevelStyle::Inner},
                                               std::pair{BevelTechnique::Smooth, BevelStyle::Pillow},
                                               std::pair{BevelTechnique::Chisel, BevelStyle::Emboss}}) {
            SCOPED_TRACE(::testing::Message() << width << " by " << height << ", technique " << int(technique)
                                              << ", style " << int(style));
            BevelLook look = Look(technique, ShapeSourceKind::Alpha);
            look.softenRadius = 3;
            look.style = style;
            const Picture outside(width, height, 0x00336699u);
            EXPECT_EQ(Bevelled(outside, Parameters(5, 135), look), outside);
            const Picture inside(width, height, 0x80336699u);
            const Picture lit = Bevelled(inside, Parameters(5, 135), look);
            EXPECT_NE(lit, inside);
            EXPECT_EQ(Bevelled(inside, Parameters(5, 135), look, 3), lit);
            for (std::int32_t y = 0; y < height; ++y)
                for (std::int32_t x = 0; x < width; ++x)
                    EXPECT_EQ(lit.Pixel(x, y) >> 24, 0x80u);
        }
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
                                  with([](BevelLook& l) { l.profile = static_cast<BevelProfile>(9); }),
                                  with([](BevelLook& l) { l.style = static_cast<BevelStyle>(4); })})
        EXPECT_RUNTIME_ERROR(Bevelled(picture, Parameters(5, 135), look), ErrorNumber::Overflow);
}

} // namespace
} // namespace tollamere
