// SPDX-License-Identifier: MIT
#include "picture_files.h"

#include <gtest/gtest.h>

#include <QColorSpace>
#include <QImage>

#include <filesystem>
#include <random>
#include <string>

namespace tollamere {
namespace {

// A picture in Adobe RGB written where the profile has no place keeps the
// colours Qt's own conversion to sRGB gives; where it has one, the profile
// travels and the colours stay as they were.
TEST(ColourProfileTest, ColoursAreConvertedToSrgbWhereTheProfileCannotGo)
{
    const QByteArray adobe = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    constexpr std::uint32_t Colour = 0xFF3C96C8u;  // 60, 150, 200
    QImage reference(1, 1, QImage::Format_ARGB32);
    reference.setPixel(0, 0, Colour);
    reference.setColorSpace(QColorSpace::AdobeRgb);
    reference.convertToColorSpace(QColorSpace::SRgb);
    const QRgb expected = reference.pixel(0, 0);
    ASSERT_NE(expected, Colour) << "the two spaces must differ for this colour";

    const auto folder = std::filesystem::temp_directory_path() / ("tollamere-icc-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder);
    SaveSettings settings;
    settings.metadata.iccProfile.assign(adobe.begin(), adobe.end());
    for (const char* name : {"a.bmp", "a.gif", "a.ico", "a.png"}) {
        SavePictureFile(Picture(8, 8, Colour), false, folder / name, settings);
        const PictureFile written = LoadPictureFile(folder / name);
        const std::uint32_t pixel = written.picture.Pixel(4, 4);
        if (std::string(name) == "a.png") {
            EXPECT_EQ(pixel, Colour);
            EXPECT_EQ(written.metadata.iccProfile, settings.metadata.iccProfile);
            continue;
        }
        EXPECT_TRUE(written.metadata.iccProfile.empty()) << name;
        for (const int shift : {0, 8, 16})
            EXPECT_NEAR(int(pixel >> shift & 0xFF), int(expected >> shift & 0xFF), 2) << name << " channel " << shift;
    }
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace tollamere
