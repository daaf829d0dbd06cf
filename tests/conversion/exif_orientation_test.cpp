// SPDX-License-Identifier: MIT
#include "exif_orientation.h"
#include "picture_files.h"

#include "picture_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

namespace tollamere {
namespace {

// An EXIF block whose first directory holds the tags given, each SHORT.
std::vector<std::uint8_t> Exif(bool bigEndian, std::vector<std::pair<std::uint16_t, std::uint16_t>> tags,
                               std::uint16_t type = 3)
{
    std::vector<std::uint8_t> block{'E', 'x', 'i', 'f', 0, 0};
    const auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            block.push_back(std::uint8_t(value >> (8 * (bigEndian ? bytes - 1 - i : i))));
    };
    block.push_back(bigEndian ? 'M' : 'I');
    block.push_back(bigEndian ? 'M' : 'I');
    put(42, 2);
    put(8, 4);
    put(std::uint32_t(tags.size()), 2);
    for (const auto& [tag, value] : tags) {
        put(tag, 2);
        put(type, 2);
        put(1, 4);
        put(value, 2);
        put(0, 2);
    }
    put(0, 4);
    return block;
}

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> block, std::size_t size)
{
    block.resize(size);
    return block;
}

TEST(ExifOrientationTest, ReadsTheTagAndMarksItUprightInPlace)
{
    const struct {
        const char* name;
        std::vector<std::uint8_t> block;
        int orientation;
        // Bytes MarkExifUpright changes: the value's low byte where it has
        // one, nothing in a block it cannot read.
        std::size_t changes;
    } rows[] = {
        {"little-endian, after another tag", Exif(false, {{0x010F, 5}, {0x0112, 6}}), 6, 1},
        {"big-endian", Exif(true, {{0x0112, 8}}), 8, 1},
        {"out of range", Exif(false, {{0x0112, 9}}), 1, 1},
        {"no orientation tag", Exif(true, {{0x0110, 3}}), 1, 0},
        {"a LONG, not a SHORT", Exif(false, {{0x0112, 6}}, 4), 1, 0},
        {"cut inside the directory", Cut(Exif(false, {{0x0112, 6}}), 20), 1, 0},
        {"no EXIF header", {'I', 'I', 42, 0, 8, 0, 0, 0}, 1, 0},
        {"empty", {}, 1, 0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ExifOrientation(row.block), row.orientation) << row.name;
        std::vector<std::uint8_t> marked = row.block;
        MarkExifUpright(marked);
        EXPECT_EQ(ExifOrientation(marked), 1) << row.name;
        std::size_t changed = 0;
        for (std::size_t i = 0; i < marked.size(); ++i)
            changed += marked[i] != row.block[i];
        EXPECT_EQ(changed, row.changes) << row.name;
    }
}

// Where the stored picture's first pixel and the next one along its first
// row land once upright, by the EXIF table of the sides the first row and
// the first column show on.
TEST(ExifOrientationTest, EachOrientationTurnsTheStoredCornersUpright)
{
    const struct {
        int orientation;
        std::int32_t firstX, firstY, nextX, nextY;
    } rows[] = {
        {1, 0, 0, 1, 0}, {2, 2, 0, 1, 0}, {3, 2, 1, 1, 1}, {4, 0, 1, 1, 1},
        {5, 0, 0, 0, 1}, {6, 1, 0, 1, 1}, {7, 1, 2, 1, 1}, {8, 0, 2, 0, 1},
    };
    for (const auto& row : rows) {
        Picture picture(3, 2, 0xFF000000u);
        picture.Pixel(0, 0) = 0xFF0000FFu;
        picture.Pixel(1, 0) = 0xFF00FF00u;
        TurnUpright(picture, row.orientation);
        const bool quarter = row.orientation >= 5;
        ASSERT_EQ(picture.Width(), quarter ? 2 : 3) << row.orientation;
        EXPECT_EQ(picture.Pixel(row.firstX, row.firstY), 0xFF0000FFu) << row.orientation;
        EXPECT_EQ(picture.Pixel(row.nextX, row.nextY), 0xFF00FF00u) << row.orientation;
    }
}

// A photo stored sideways comes out upright, marked upright, its
// resolution turned with it; asked not to, it stays as stored.
TEST(ExifOrientationTest, APhotoStoredSidewaysIsTurnedUprightBeforeItIsUsed)
{
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("tollamere-exif-" + std::to_string(std::random_device{}()) + ".jpg");
    SaveSettings settings;
    settings.metadata.exif = Exif(false, {{0x0112, 6}});
    settings.metadata.dotsPerMetreX = 3780;
    settings.metadata.dotsPerMetreY = 7560;
    SavePictureFile(test::Gradient(16, 8), false, path, settings);
    PictureFile photo = LoadPictureFile(path);
    std::filesystem::remove(path);
    ASSERT_EQ(ExifOrientation(photo.metadata.exif), 6);
    TurnPictureUpright(photo);
    EXPECT_EQ(photo.picture.Width(), 8);
    EXPECT_EQ(photo.picture.Height(), 16);
    EXPECT_EQ(ExifOrientation(photo.metadata.exif), 1);
    EXPECT_GT(photo.metadata.dotsPerMetreX, photo.metadata.dotsPerMetreY);
}

} // namespace
} // namespace tollamere
