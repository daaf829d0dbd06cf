// SPDX-License-Identifier: MIT
#include "png_codec.h"

#include "picture_test_support.h"

#include <QImage>

namespace tollamere {
namespace {

using test::TempFolder;

// Every filter and both compressors give back the pixels, with and without
// alpha, as Qt's reader (libpng) sees them.
TEST(PngWriter, EveryTuningKeepsThePixels)
{
    TempFolder folder;
    Picture noisy = test::Gradient(37, 23);
    for (std::int32_t y = 0; y < noisy.Height(); ++y)
        for (std::int32_t x = 0; x < noisy.Width(); ++x)
            noisy.Pixel(x, y) ^= std::uint32_t(x * 7919 + y * 104729) & 0x3F3F3F;
    const std::pair<Picture, bool> pictures[] = {{noisy, false}, {test::LetterFWithAlpha(), true}, {test::LetterF(), false}};
    for (const auto compressor : {PngTuning::Compressor::Libdeflate, PngTuning::Compressor::Zlib})
        for (const auto filter : {PngTuning::Filter::None, PngTuning::Filter::Sub, PngTuning::Filter::Up, PngTuning::Filter::Paeth,
                                  PngTuning::Filter::Adaptive})
            for (const int level : {0, 1, 9})
                for (const auto& [picture, alpha] : pictures) {
                    SCOPED_TRACE(testing::Message() << int(compressor) << " " << int(filter) << " " << level << (alpha ? " alpha" : ""));
                    const EncodedBytes bytes = EncodePngTuned(picture, alpha, {}, {compressor, level, filter, 0});
                    EXPECT_TRUE(test::SamePixels(LoadPictureFromBytes(bytes).picture, picture));
                    QImage read;
                    ASSERT_TRUE(read.loadFromData(bytes.data(), int(bytes.size()), "png"));
                    EXPECT_EQ(read.hasAlphaChannel(), alpha);
                }
}

} // namespace
} // namespace tollamere
