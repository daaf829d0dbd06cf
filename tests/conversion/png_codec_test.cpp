// SPDX-License-Identifier: MIT
#include "png_codec.h"
#include "png_format.h"

#include "crafted_files.h"
#include "picture_size.h"
#include "picture_test_support.h"
#include "qt_codec.h"

#include <QColorSpace>
#include <QImage>

#include <cmath>
#include <functional>

namespace tollamere {
namespace {

using test::Bytes;
using test::TempFolder;

// Every filter and every compressor give back the pixels, with and without
// alpha, as Qt's reader (libpng) sees them.
TEST(PngWriter, EveryTuningKeepsThePixels)
{
    TempFolder folder;
    Picture noisy = test::Gradient(37, 23);
    for (std::int32_t y = 0; y < noisy.Height(); ++y)
        for (std::int32_t x = 0; x < noisy.Width(); ++x)
            noisy.Pixel(x, y) ^= std::uint32_t(x * 7919 + y * 104729) & 0x3F3F3F;
    const std::pair<Picture, bool> pictures[] = {{noisy, false}, {test::LetterFWithAlpha(), true}, {test::LetterF(), false}};
    for (const auto compressor : {PngTuning::Compressor::Chosen, PngTuning::Compressor::Libdeflate, PngTuning::Compressor::Zlib})
        for (const auto filter : {PngTuning::Filter::None, PngTuning::Filter::Sub, PngTuning::Filter::Up, PngTuning::Filter::Average,
                                  PngTuning::Filter::Paeth, PngTuning::Filter::Adaptive})
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

// Without a level, a picture (beyond the small ones, which take a higher
// level) is compressed the way that suits what it holds: never larger than
// libdeflate's level 7 (smooth buttons) or zlib's runs (grain), whichever it
// is, and a mixture takes the smaller of the two. A level of one's own stays
// libdeflate's level.
TEST(PngWriter, TheDefaultTakesTheWayThatSuitsThePicture)
{
    std::uint32_t state = 12345;
    const auto noise = [&] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    const auto button = [](std::int32_t width, std::int32_t height) {
        Picture picture(width, height, 0);
        for (std::int32_t y = 0; y < height; ++y)
            for (std::int32_t x = 0; x < width; ++x)
                if (std::hypot(x - width / 2.0, y - height / 2.0) < std::min(width, height) * 0.45)
                    picture.Pixel(x, y) = 0xFF204080u + std::uint32_t(x / 3) * 0x10000u + std::uint32_t(y / 5) * 0x100u;
        return picture;
    };
    Picture grain(300, 300);
    for (std::int32_t y = 0; y < grain.Height(); ++y)
        for (std::int32_t x = 0; x < grain.Width(); ++x)
            grain.Pixel(x, y) = 0xFF000000u | (0x606060u + (noise() & 0x1F1F1Fu));
    Picture mixed = button(400, 300);
    for (std::int32_t y = 0; y < mixed.Height(); ++y)
        for (std::int32_t x = 0; x < mixed.Width() / 4; ++x)
            mixed.Pixel(x, y) = 0xFF000000u | (noise() & 0x0F0F0Fu);
    const std::pair<const char*, Picture> pictures[] = {
        {"button", button(400, 300)}, {"grain", grain}, {"mixture", mixed}};
    const PngTuning matches{PngTuning::Compressor::Libdeflate, 7, PngTuning::Filter::Adaptive, 0};
    const PngTuning runs{PngTuning::Compressor::Zlib, 6, PngTuning::Filter::Adaptive, 3};  // Z_RLE
    for (const auto& [name, picture] : pictures)
        for (const bool alpha : {false, true}) {
            SCOPED_TRACE(testing::Message() << name << (alpha ? " alpha" : ""));
            const std::size_t chosen = EncodePng(picture, alpha, {}).size();
            EXPECT_LE(chosen, EncodePngTuned(picture, alpha, {}, matches).size());
            EXPECT_LE(chosen, EncodePngTuned(picture, alpha, {}, runs).size());
        }
    SaveSettings level5;
    level5.pngLevel = 5;
    EXPECT_EQ(EncodePng(grain, false, level5), EncodePngTuned(grain, false, {}, {PngTuning::Compressor::Libdeflate, 5, PngTuning::Filter::Adaptive, 0}));
}

// Samples of every kind: each row filtered with a different one of the five
// filters, bytes that wrap when unfiltered, and transparent pixels whose
// colour is not black.
struct PngParts {
    std::uint32_t width = 13;
    std::uint32_t height = 11;
    std::uint8_t colourType = 6;
    std::uint8_t depth = 8;
    std::vector<test::PngChunk> before;  // between the header and the image data
    std::size_t dataChunks = 1;
    std::function<void(Bytes& header, QByteArray& rows)> damageRows = [](Bytes&, QByteArray&) {};
    std::function<void(Bytes& stream)> damageStream = [](Bytes&) {};
};

PngParts With(const std::function<void(PngParts&)>& change)
{
    PngParts parts;
    change(parts);
    return parts;
}

std::size_t SamplesOf(std::uint8_t colourType)
{
    return colourType == 0 ? 1 : colourType == 4 ? 2 : colourType == 2 ? 3 : 4;
}

Bytes MakePng(const PngParts& parts)
{
    const std::size_t samples = SamplesOf(parts.colourType);
    const std::size_t sampleBytes = parts.depth / 8u;
    const std::size_t step = samples * sampleBytes;  // the bytes of a pixel
    const std::size_t rowBytes = parts.width * step;
    std::vector<std::uint8_t> previous(rowBytes, 0);
    QByteArray rows;
    for (std::uint32_t y = 0; y < parts.height; ++y) {
        std::vector<std::uint8_t> row(rowBytes);
        for (std::size_t i = 0; i < rowBytes; ++i)
            row[i] = std::uint8_t((i * 2654435761u + y * 40503u) >> 11);
        if (samples % 2 == 0)
            for (std::size_t x = y % 3; x < parts.width; x += 3)
                std::fill_n(&row[(x + 1) * step - sampleBytes], sampleBytes, 0);
        const int type = int(y % 5);
        rows.append(char(type));
        for (std::size_t i = 0; i < rowBytes; ++i) {
            const int left = i >= step ? row[i - step] : 0;
            const int up = previous[i];
            const int upLeft = i >= step ? previous[i - step] : 0;
            const int p = left + up - upLeft;
            const int paeth = std::abs(p - left) <= std::abs(p - up) && std::abs(p - left) <= std::abs(p - upLeft) ? left
                              : std::abs(p - up) <= std::abs(p - upLeft)                                          ? up
                                                                                                                   : upLeft;
            const int predicted[] = {0, left, up, (left + up) / 2, paeth};
            rows.append(char(row[i] - predicted[type]));
        }
        previous = row;
    }
    Bytes header;
    test::PutBig32(header, parts.width);
    test::PutBig32(header, parts.height);
    header.insert(header.end(), {parts.depth, parts.colourType, 0, 0, 0});
    parts.damageRows(header, rows);
    const QByteArray zlib = qCompress(rows, 6).sliced(4);  // Qt puts the length before the zlib stream
    Bytes stream(zlib.begin(), zlib.end());
    parts.damageStream(stream);

    Bytes png(PngSignature.begin(), PngSignature.end());
    test::PutPngChunk(png, "IHDR", header);
    for (const test::PngChunk& chunk : parts.before)
        test::PutPngChunk(png, chunk.type, chunk.data);
    const std::size_t piece = stream.size() / parts.dataChunks + 1;
    for (std::size_t at = 0; at < stream.size(); at += piece)
        test::PutPngChunk(png, "IDAT", Bytes(stream.begin() + std::ptrdiff_t(at), stream.begin() + std::ptrdiff_t(std::min(stream.size(), at + piece))));
    test::PutPngChunk(png, "IEND", Bytes{});
    return png;
}

Bytes IccChunk(const QByteArray& profile, const std::string& name = "icc")
{
    Bytes chunk(name.begin(), name.end());
    chunk.insert(chunk.end(), {0, 0});
    const QByteArray zlib = qCompress(profile, 9).sliced(4);
    chunk.insert(chunk.end(), zlib.begin(), zlib.end());
    return chunk;
}

// The program's reader gives what Qt's (libpng) gives for every PNG it takes:
// pixels, alpha, profile and resolution.
TEST(PngReader, ReadsWhatQtReads)
{
    const QByteArray adobe = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    const Bytes dpi150{0, 0, 0x17, 0x11, 0, 0, 0x17, 0x11, 1};
    const std::pair<const char*, PngParts> cases[] = {
        {"grey", With([=](PngParts& p) { p.colourType = 0; })},
        {"grey and alpha", With([=](PngParts& p) { p.colourType = 4; })},
        {"RGB", With([=](PngParts& p) { p.colourType = 2; })},
        {"RGBA", With([=](PngParts& p) { p.colourType = 6; })},
        {"one pixel", With([=](PngParts& p) { p.width = 1; p.height = 1; })},
        {"16-bit grey", With([=](PngParts& p) { p.colourType = 0; p.depth = 16; })},
        {"16-bit grey and alpha", With([=](PngParts& p) { p.colourType = 4; p.depth = 16; })},
        {"16-bit RGB", With([=](PngParts& p) { p.colourType = 2; p.depth = 16; })},
        {"16-bit RGBA", With([=](PngParts& p) { p.colourType = 6; p.depth = 16; })},
        {"grey under a colour key", With([=](PngParts& p) { p.colourType = 0; p.before = {{"tRNS", {0, 0x37}}}; })},
        {"RGB under a colour key", With([=](PngParts& p) { p.colourType = 2; p.before = {{"tRNS", {0, 0x37, 0, 0x15, 0, 0xF3}}}; })},
        {"data in three chunks", With([=](PngParts& p) { p.dataChunks = 3; })},
        {"profile, resolution and the chunks that change no pixel",
         With([=](PngParts& p) {
             p.colourType = 2;
             p.before = {{"iCCP", IccChunk(adobe)}, {"pHYs", dpi150}, {"gAMA", {0, 0, 0xB1, 0x8F}}, {"sRGB", {0}}, {"tEXt", {'a', 0, 'b'}}};
         })},
        {"profile without a name", With([=](PngParts& p) { p.before = {{"iCCP", IccChunk(adobe, "")}}; })},
        {"profile with too long a name", With([=](PngParts& p) { p.before = {{"iCCP", IccChunk(adobe, std::string(80, 'n'))}}; })},
        {"suggested palette", With([=](PngParts& p) { p.colourType = 2; p.before = {{"PLTE", {1, 2, 3}}}; })},
    };
    for (const auto& [name, parts] : cases) {
        SCOPED_TRACE(name);
        const Bytes png = MakePng(parts);
        PictureFile ours;
        PictureFile qts;
        ASSERT_TRUE(DecodePng(png, ours));
        DecodeWithQt(png, qts);
        EXPECT_TRUE(test::SamePixels(ours.picture, qts.picture));
        EXPECT_EQ(ours.hasAlpha, qts.hasAlpha);
        EXPECT_EQ(ours.metadata.iccProfile, qts.metadata.iccProfile);
        EXPECT_EQ(ours.metadata.dotsPerMetreX, qts.metadata.dotsPerMetreX);
        EXPECT_EQ(ours.metadata.dotsPerMetreY, qts.metadata.dotsPerMetreY);
    }
}

// Every other PNG, and any damage, is left to Qt's reader, which has the
// last word on it as before.
TEST(PngReader, LeavesTheRestToQt)
{
    const auto header = [](std::size_t at, std::uint8_t value) {
        return [=](Bytes& ihdr, QByteArray&) { ihdr[at] = value; };
    };
    const std::pair<const char*, PngParts> cases[] = {
        {"2 bits", With([=](PngParts& p) { p.colourType = 0; p.damageRows = header(8, 2); })},
        {"palette", With([=](PngParts& p) { p.colourType = 3; })},
        {"interlaced", With([=](PngParts& p) { p.damageRows = header(12, 1); })},
        {"colour key beside alpha", With([=](PngParts& p) { p.before = {{"tRNS", {0, 1, 0, 2, 0, 3}}}; })},
        {"colour key beyond 8 bits", With([=](PngParts& p) { p.colourType = 0; p.before = {{"tRNS", {1, 0}}}; })},
        {"unknown critical chunk", With([=](PngParts& p) { p.before = {{"ABCD", {}}}; })},
        {"filter type 5", With([=](PngParts& p) { p.damageRows = [](Bytes&, QByteArray& rows) { rows[0] = 5; }; })},
        {"a row short", With([=](PngParts& p) { p.damageRows = [](Bytes&, QByteArray& rows) { rows.chop(13 * 4 + 1); }; })},
        {"image data cut short", With([=](PngParts& p) { p.damageStream = [](Bytes& stream) { stream.resize(stream.size() - 6); }; })},
        {"bytes after the image data", With([=](PngParts& p) { p.damageStream = [](Bytes& stream) { stream.push_back(0); }; })},
        {"wrong data checksum", With([=](PngParts& p) { p.damageStream = [](Bytes& stream) { stream.back() ^= 1; }; })},
    };
    for (const auto& [name, parts] : cases) {
        SCOPED_TRACE(name);
        PictureFile ours;
        EXPECT_FALSE(DecodePng(MakePng(parts), ours));
    }
    // A chunk whose checksum is wrong.
    Bytes png = MakePng({});
    png[PngSignature.size() + 8 + 13] ^= 1;
    PictureFile ours;
    EXPECT_FALSE(DecodePng(png, ours));
}

// A colour key makes transparent exactly the pixels whose samples equal it at
// their full depth: 16-bit samples that differ from it only in their low
// byte stay opaque, and are then rounded to 8 bits.
TEST(PngReader, ColourKeysMatchAtTheSamplesFullDepth)
{
    constexpr std::uint32_t Clear = 0;
    const std::vector<std::uint16_t> rgb16{0x1111, 0x2222, 0x3333, 0x1111, 0x2222, 0x3334, 0xFFFF, 0x0000, 0x8080,
                                           0x1110, 0x2222, 0x3333, 0x0000, 0x0000, 0x0000, 0x1111, 0x2222, 0x3333};
    const std::vector<std::uint16_t> grey16{0x4242, 0x4243, 0xFFFF, 0x4142, 0x0000, 0x4242};
    const std::vector<std::uint16_t> rgb8{0x10, 0x20, 0x30, 0x10, 0x20, 0x31, 0xFF, 0x00, 0x80,
                                          0x11, 0x20, 0x30, 0x00, 0x00, 0x00, 0x10, 0x20, 0x30};
    const struct {
        const char* name;
        Bytes png;
        std::array<std::uint32_t, 6> expected;  // 3 x 2 pixels
    } files[] = {
        {"16-bit RGB", test::MakePngOfSamples(3, 2, 16, 2, rgb16, {{"tRNS", {0x11, 0x11, 0x22, 0x22, 0x33, 0x33}}}),
         {Clear, 0xFF112233u, 0xFFFF0080u, 0xFF112233u, 0xFF000000u, Clear}},
        {"16-bit grey", test::MakePngOfSamples(3, 2, 16, 0, grey16, {{"tRNS", {0x42, 0x42}}}),
         {Clear, 0xFF424242u, 0xFFFFFFFFu, 0xFF414141u, 0xFF000000u, Clear}},
        {"8-bit RGB", test::MakePngOfSamples(3, 2, 8, 2, rgb8, {{"tRNS", {0, 0x10, 0, 0x20, 0, 0x30}}}),
         {Clear, 0xFF102031u, 0xFFFF0080u, 0xFF112030u, 0xFF000000u, Clear}},
    };
    for (const auto& [name, png, expected] : files) {
        SCOPED_TRACE(name);
        const PictureFile loaded = LoadPictureFromBytes(png);
        EXPECT_TRUE(loaded.hasAlpha);
        Picture wanted(3, 2);
        for (std::int32_t i = 0; i < 6; ++i)
            wanted.Pixel(i % 3, i / 3) = expected[std::size_t(i)];
        EXPECT_TRUE(test::SamePixels(loaded.picture, wanted));
    }
}

} // namespace
} // namespace tollamere
