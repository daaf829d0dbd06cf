// SPDX-License-Identifier: MIT
#include "cDIBSection.h"
#include "letter_f.h"
#include "runtime_error_matchers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace tollamere {
namespace {

using test::LetterF;

TEST(cDIBSectionTest, BytesPerScanLineRoundsRowsUpToFourBytes)
{
    cDIBSection surface;
    const std::pair<std::int32_t, std::int32_t> expected[] = {{0, 0}, {1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {10, 32}};
    for (const auto& [width, rowBytes] : expected) {
        surface.Create(width, 1);
        EXPECT_EQ(surface.BytesPerScanLine(), rowBytes) << "width " << width;
    }
    EXPECT_RUNTIME_ERROR(surface.Create(715827883, 1), ErrorNumber::Overflow);

    // The 64-bit arithmetic goes on where the 32-bit row size overflows.
    const std::pair<std::int64_t, std::int64_t> wide[] = {
        {0, 0}, {1, 4}, {4, 12}, {5, 16}, {715827882, 2147483648}, {715827883, 2147483652}, {4294967295, 12884901888}};
    for (const auto& [width, rowBytes] : wide)
        EXPECT_EQ(cDIBSection::BytesPerScanLineFor(width), rowBytes) << "width " << width;
}

TEST(cDIBSectionTest, SurfaceLayoutIsBottomUpBlueGreenRed)
{
    Picture picture(10, 5, 0xFF000000u);
    picture.Pixel(0, 0) = 0xFF112233u;
    picture.Pixel(9, 4) = 0xFFAABBCCu;
    cDIBSection surface;
    surface.CreateFromPicture(picture);
    ASSERT_NE(surface.DIBSectionBitsPtr(), nullptr);
    EXPECT_EQ(surface.Width(), 10);
    EXPECT_EQ(surface.Height(), 5);
    EXPECT_EQ(surface.BytesPerScanLine(), 32);
    const std::uint8_t* bits = surface.DIBSectionBitsPtr();
    EXPECT_EQ(bits[128], 0x33);
    EXPECT_EQ(bits[129], 0x22);
    EXPECT_EQ(bits[130], 0x11);
    EXPECT_EQ(bits[27], 0xCC);
    EXPECT_EQ(bits[28], 0xBB);
    EXPECT_EQ(bits[29], 0xAA);
    EXPECT_EQ(surface.PixelOffset(0, 0), 128);
    EXPECT_EQ(surface.PixelOffset(9, 4), 27);
}

TEST(cDIBSectionTest, CreateWithoutSizeMakesNoPixels)
{
    cDIBSection surface;
    for (const auto& [width, height] : {std::pair{0, 7}, std::pair{7, 0}, std::pair{-3, 4}, std::pair{4, -3}}) {
        EXPECT_FALSE(surface.Create(width, height));
        EXPECT_EQ(surface.DIBSectionBitsPtr(), nullptr);
        EXPECT_EQ(surface.Width(), width);
        EXPECT_EQ(surface.Height(), height);
    }
    // Too large for one allocation: no pixels, the requested size is kept.
    EXPECT_FALSE(surface.Create(100000, 100000));
    EXPECT_EQ(surface.DIBSectionBitsPtr(), nullptr);
    EXPECT_EQ(surface.Width(), 100000);
}

TEST(cDIBSectionTest, ClearUpReleasesPixelsAndKeepsSize)
{
    cDIBSection surface;
    ASSERT_TRUE(surface.Create(4, 3));
    surface.ClearUp();
    EXPECT_EQ(surface.DIBSectionBitsPtr(), nullptr);
    EXPECT_EQ(surface.Width(), 4);
    EXPECT_EQ(surface.Height(), 3);
}

TEST(cDIBSectionTest, PictureWithoutBitmapGivesSurfaceWithoutPixels)
{
    cDIBSection surface;
    ASSERT_TRUE(surface.Create(8, 8));
    surface.CreateFromPicture(Picture());
    EXPECT_EQ(surface.DIBSectionBitsPtr(), nullptr);
    EXPECT_EQ(surface.Width(), 0);
    EXPECT_EQ(surface.Height(), 0);
}

TEST(cDIBSectionTest, RoundTripKeepsColoursAndDestinationAlpha)
{
    const Picture letter = LetterF();
    cDIBSection surface;
    surface.CreateFromPicture(letter);
    Picture painted(6, 5, 0x40FFFFFFu);
    surface.PaintPicture(painted);
    for (std::int32_t y = 0; y < 5; ++y) {
        for (std::int32_t x = 0; x < 6; ++x) {
            EXPECT_EQ(painted.Pixel(x, y) & 0x00FFFFFFu, letter.Pixel(x, y) & 0x00FFFFFFu) << x << ',' << y;
            EXPECT_EQ(painted.Pixel(x, y) >> 24, 0x40u);
        }
    }
}

TEST(cDIBSectionTest, NegativeSizesStandForTheSurfaceSize)
{
    cDIBSection surface;
    surface.CreateFromPicture(LetterF());
    for (std::int32_t size : {-1, -5}) {
        Picture target(8, 7, 0xFF00FF00u);
        surface.PaintPicture(target, 1, 1, size, size, 0, 0);
        EXPECT_EQ(target.Pixel(1, 1), 0xFFFF0000u);
        EXPECT_EQ(target.Pixel(6, 5), 0xFF0000FFu);
        // Just outside the 6 by 5 block nothing changed.
        EXPECT_EQ(target.Pixel(7, 1), 0xFF00FF00u);
        EXPECT_EQ(target.Pixel(1, 6), 0xFF00FF00u);
        EXPECT_EQ(target.Pixel(0, 0), 0xFF00FF00u);
    }
}

TEST(cDIBSectionTest, BlockCopiesClipToBothPictures)
{
    cDIBSection surface;
    ASSERT_TRUE(surface.Create(4, 4));
    const Picture letter = LetterF();
    // Source offset (2, 1), copied to the surface's (0, 0); only 4 by 4 fits.
    surface.LoadPictureBlt(letter, 2, 1, -1, -1);
    Picture back(4, 4, 0xFF000000u);
    surface.PaintPicture(back);
    EXPECT_EQ(back.Pixel(0, 0), letter.Pixel(2, 1));
    EXPECT_EQ(back.Pixel(0, 1), letter.Pixel(2, 2));
    EXPECT_EQ(back.Pixel(3, 3), letter.Pixel(5, 4));

    // A destination partly outside the picture, and a negative source corner.
    Picture small(3, 3, 0xFF123456u);
    surface.PaintPicture(small, 2, 2, -1, -1, 0, 0);
    EXPECT_EQ(small.Pixel(2, 2), letter.Pixel(2, 1));
    EXPECT_EQ(small.Pixel(1, 1), 0xFF123456u);
    surface.PaintPicture(small, 0, 0, 3, 3, -2, -2);
    EXPECT_EQ(small.Pixel(0, 0), 0xFF123456u);
    EXPECT_EQ(small.Pixel(2, 2), letter.Pixel(2, 1));
}

// Plain copies between pictures and surfaces of every small width, also of
// blocks that stop short of a row's end: the copied bytes follow the layout
// and nothing beyond the block (other pixels, row padding) changes.
TEST(cDIBSectionTest, PlainCopiesMoveExactlyTheBlock)
{
    std::mt19937 rng(77);
    const auto random = [&rng] { return static_cast<std::uint32_t>(rng()); };
    for (std::int32_t width = 1; width <= 9; ++width) {
        for (std::int32_t height = 1; height <= 3; ++height) {
            for (std::int32_t blockWidth = 1; blockWidth <= width; ++blockWidth) {
                Picture picture(width, height);
                for (std::int32_t y = 0; y < height; ++y)
                    for (std::int32_t x = 0; x < width; ++x)
                        picture.Pixel(x, y) = random();
                cDIBSection surface;
                ASSERT_TRUE(surface.Create(width, height));
                const std::size_t bytes = std::size_t(surface.BytesPerScanLine()) * std::size_t(height);
                std::vector<std::uint8_t> before(bytes);
                for (auto& byte : before)
                    byte = static_cast<std::uint8_t>(random());
                std::copy(before.begin(), before.end(), surface.DIBSectionBitsPtr());

                // Into the surface: picture column 0 onwards to surface column 0.
                surface.LoadPictureBlt(picture, 0, 0, blockWidth, -1);
                std::vector<std::uint8_t> expected = before;
                for (std::int32_t y = 0; y < height; ++y)
                    for (std::int32_t x = 0; x < blockWidth; ++x) {
                        const std::size_t rowStart = std::size_t(height - 1 - y) * std::size_t(surface.BytesPerScanLine());
                        const std::size_t at = rowStart + 3 * std::size_t(x);
                        expected[at] = static_cast<std::uint8_t>(picture.Pixel(x, y));
                        expected[at + 1] = static_cast<std::uint8_t>(picture.Pixel(x, y) >> 8);
                        expected[at + 2] = static_cast<std::uint8_t>(picture.Pixel(x, y) >> 16);
                    }
                const std::vector<std::uint8_t> after(surface.DIBSectionBitsPtr(), surface.DIBSectionBitsPtr() + bytes);
                ASSERT_EQ(after, expected) << width << " x " << height << ", block " << blockWidth;

                // Out of the surface: the same block back, the alpha bytes kept.
                Picture target(width, height);
                for (std::int32_t y = 0; y < height; ++y)
                    for (std::int32_t x = 0; x < width; ++x)
                        target.Pixel(x, y) = random();
                const Picture untouched = target;
                surface.PaintPicture(target, 0, 0, blockWidth, -1, 0, 0);
                for (std::int32_t y = 0; y < height; ++y)
                    for (std::int32_t x = 0; x < width; ++x) {
                        const std::uint32_t copied =
                            (untouched.Pixel(x, y) & 0xFF000000u) | (picture.Pixel(x, y) & 0x00FFFFFFu);
                        ASSERT_EQ(target.Pixel(x, y), x < blockWidth ? copied : untouched.Pixel(x, y))
                            << width << " x " << height << ", block " << blockWidth << ", at " << x << ',' << y;
                    }
            }
        }
    }
}

// The row copies of every set this processor runs, over every small width,
// so that both the vector loops and their byte-wise tails are exercised.
using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::mt19937& rng, std::int32_t count)
{
    Bytes bytes(static_cast<std::size_t>(count));
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(rng());
    return bytes;
}

struct CopySet {
    const char* name;
    const SurfaceCopies* copies;
};

std::vector<CopySet> CopySets()
{
    std::vector<CopySet> sets{{"portable", &PortableSurfaceCopies()}};
    if (Avx2SurfaceCopies() != nullptr)
        sets.push_back({"avx2", Avx2SurfaceCopies()});
    return sets;
}

class SurfaceCopiesTest : public ::testing::TestWithParam<CopySet> {
protected:
    const SurfaceCopies& Copies() const { return *GetParam().copies; }
};

TEST_P(SurfaceCopiesTest, ColourCopiesMoveTheColoursOfExactlyTheRow)
{
    std::mt19937 rng(28);
    for (std::int32_t width = 0; width < 70; ++width) {
        std::vector<std::uint32_t> words(static_cast<std::size_t>(width) + 2);
        for (auto& word : words)
            word = static_cast<std::uint32_t>(rng());
        // Into the surface: bytes blue, green, red; the bytes after the row stay.
        Bytes surface = RandomBytes(rng, 3 * width + 8);
        const Bytes before = surface;
        Copies().ColoursToSurface(words.data(), surface.data(), width);
        for (std::int32_t x = 0; x < width; ++x)
            for (int channel = 0; channel < 3; ++channel)
                ASSERT_EQ(surface[std::size_t(3 * x + channel)], (words[std::size_t(x)] >> (8 * channel)) & 0xFF)
                    << "width " << width << ", x " << x;
        for (std::size_t at = std::size_t(3 * width); at < surface.size(); ++at)
            ASSERT_EQ(surface[at], before[at]) << "written beyond the row, width " << width;

        // Back: the colours into the words, their alpha bytes kept.
        const Bytes colours = RandomBytes(rng, 3 * width);
        std::vector<std::uint32_t> copied = words;
        Copies().ColoursFromSurface(colours.data(), copied.data(), width);
        for (std::int32_t x = 0; x < width; ++x) {
            const auto at = std::size_t(x);
            const std::uint32_t colour = std::uint32_t{colours[3 * at]} | std::uint32_t{colours[3 * at + 1]} << 8 |
                                         std::uint32_t{colours[3 * at + 2]} << 16;
            ASSERT_EQ(copied[at], (words[at] & 0xFF000000u) | colour) << "width " << width << ", x " << x;
        }
        ASSERT_EQ(copied[std::size_t(width)], words[std::size_t(width)]) << "written beyond the row";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCopySet, SurfaceCopiesTest, ::testing::ValuesIn(CopySets()),
                         [](const ::testing::TestParamInfo<CopySet>& info) { return std::string(info.param.name); });

} // namespace
} // namespace tollamere
