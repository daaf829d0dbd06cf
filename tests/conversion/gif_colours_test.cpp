// SPDX-License-Identifier: MIT
// How the GIF writer chooses its palette: exact up to 256 colours (the
// transparent one counted), a median cut beyond.

#include "colour_quantiser.h"
#include "picture_files.h"

#include "picture_test_support.h"

#include <set>

namespace tollamere::test {
namespace {

PictureFile ThroughGif(const Picture& picture, bool hasAlpha)
{
    TempFolder folder;
    SavePictureFile(picture, hasAlpha, folder / "p.gif");
    return LoadPictureFile(folder / "p.gif");
}

// A picture of exactly `count` distinct opaque colours spread over the cube,
// in pairs one step apart so that no binning of colours can keep them all.
Picture DistinctColours(int count, std::int32_t width)
{
    std::mt19937 random(7);
    std::set<std::uint32_t> colours;
    while (int(colours.size()) < count) {
        const std::uint32_t colour = 0xFF000000u | (random() & 0xFEFEFEu);
        colours.insert(colour);
        if (int(colours.size()) < count)
            colours.insert(colour + 0x010101u);
    }
    const std::vector<std::uint32_t> list(colours.begin(), colours.end());
    const std::int32_t height = (count + width - 1) / width;
    Picture picture(width, height);
    for (std::int32_t i = 0; i < width * height; ++i)
        picture.Pixel(i % width, i / width) = list[std::size_t(i) % list.size()];
    return picture;
}

// What a fixed 6 x 6 x 6 cube would make of the picture: the bar to beat.
double CubeMeanError(const Picture& picture)
{
    Picture cube = picture;
    for (std::int32_t y = 0; y < cube.Height(); ++y)
        for (std::int32_t x = 0; x < cube.Width(); ++x) {
            std::uint32_t snapped = 0xFF000000u;
            for (int shift : {16, 8, 0})
                snapped |= std::uint32_t((int(picture.Pixel(x, y) >> shift & 0xFF) + 25) / 51 * 51) << shift;
            cube.Pixel(x, y) = snapped;
        }
    return MeanColourError(cube, picture);
}

TEST(GifColours, UpTo256ColoursComeBackExactly)
{
    const Picture full = DistinctColours(256, 16);
    EXPECT_TRUE(SamePixels(ThroughGif(full, false).picture, full));

    Picture withHole = DistinctColours(255, 16);
    withHole.Pixel(15, 15) = 0x00000000u;
    withHole.Pixel(3, 7) = 0x00000000u;
    const PictureFile loaded = ThroughGif(withHole, true);
    EXPECT_TRUE(loaded.hasAlpha);
    EXPECT_TRUE(SamePixels(loaded.picture, withHole)) << "255 colours and the transparent one";

    const Picture two = LetterF();
    EXPECT_TRUE(SamePixels(ThroughGif(two, false).picture, two));
}

TEST(GifColours, TransparencyTakesOneOfThe256)
{
    Picture picture = DistinctColours(256, 16);
    picture.Pixel(0, 0) = 0x00000000u;
    const Picture loaded = ThroughGif(picture, true).picture;
    EXPECT_EQ(loaded.Pixel(0, 0), 0x00000000u);
    std::set<std::uint32_t> colours;
    for (std::int32_t y = 0; y < 16; ++y)
        for (std::int32_t x = 0; x < 16; ++x) {
            colours.insert(loaded.Pixel(x, y));
            if (x + y != 0) {
                EXPECT_EQ(loaded.Pixel(x, y) >> 24, 0xFFu) << "opaque pixels stay opaque";
            }
        }
    EXPECT_LE(colours.size(), 256u);
    EXPECT_LT(MeanColourError(loaded, picture), 1.0) << "only two colours had to merge";
}

TEST(GifColours, ManyColoursAreReducedWell)
{
    const Picture gradient = Gradient(96, 64);
    const Picture loaded = ThroughGif(gradient, false).picture;
    const double mean = MeanColourError(loaded, gradient);
    EXPECT_LT(mean, 4.0);
    EXPECT_LT(mean, CubeMeanError(gradient) / 3) << "a fixed cube would do better";
    EXPECT_LE(MaxColourError(loaded, gradient), 16);

    // Colours clustered away from a fixed cube's levels.
    Picture clusters(64, 64);
    std::mt19937 random(3);
    const std::uint32_t centres[] = {0x203040u, 0xC08010u, 0x7070E0u, 0x10C060u};
    for (std::int32_t y = 0; y < 64; ++y)
        for (std::int32_t x = 0; x < 64; ++x) {
            const std::uint32_t centre = centres[(x / 32) + 2 * (y / 32)];
            std::uint32_t colour = 0xFF000000u;
            for (int shift : {16, 8, 0})
                colour |= std::uint32_t(int(centre >> shift & 0xFF) + int(random() % 24)) << shift;
            clusters.Pixel(x, y) = colour;
        }
    const Picture clustered = ThroughGif(clusters, false).picture;
    EXPECT_LT(MeanColourError(clustered, clusters), 2.0);
    EXPECT_LT(MeanColourError(clustered, clusters), CubeMeanError(clusters) / 4);
}

// Ten times as many shades of red as of blue: a cut halving the shades
// would split the reds, the cut that leaves the least error separates the two.
TEST(GifColours, MedianCutSeparatesUnevenClusters)
{
    ColourQuantiser quantiser(2);
    std::vector<std::uint32_t> reds;
    std::vector<std::uint32_t> blues;
    for (std::uint32_t i = 0; i < 200; ++i)
        reds.push_back((0xC0 + i % 8 * 4) << 16 | (i / 8 * 4) << 8);
    for (std::uint32_t i = 0; i < 20; ++i)
        blues.push_back((i % 4 * 4) << 8 | (0xC0 + i / 4 * 4));
    for (const auto* cluster : {&reds, &blues})
        for (std::uint32_t colour : *cluster)
            quantiser.Add(colour);
    const std::vector<std::uint32_t> palette = quantiser.MakePalette();
    ASSERT_EQ(palette.size(), 2u);
    const std::uint8_t redIndex = quantiser.IndexOf(reds.front());
    const std::uint8_t blueIndex = quantiser.IndexOf(blues.front());
    ASSERT_NE(redIndex, blueIndex);
    EXPECT_GE(palette[redIndex] >> 16, 0xC0u);
    EXPECT_GE(palette[blueIndex] & 0xFF, 0xC0u);
    for (std::uint32_t colour : reds)
        EXPECT_EQ(quantiser.IndexOf(colour), redIndex) << std::hex << colour;
    for (std::uint32_t colour : blues)
        EXPECT_EQ(quantiser.IndexOf(colour), blueIndex) << std::hex << colour;
}

} // namespace
} // namespace tollamere::test
