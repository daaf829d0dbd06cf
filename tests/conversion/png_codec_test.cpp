// SPDX-License-Identifier: MIT
#include "png_codec.h"

#include "crafted_files.h"
#include "picture_probe.h"
#include "picture_test_support.h"
#include "qt_codec.h"

#include <QColorSpace>
#include <QImage>

#include <functional>

namespace tollamere {
namespace {

using test::Bytes;
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

// Samples of every kind: each row filtered with a different one of the five
// filters, bytes that wrap when unfiltered, and transparent pixels whose
// colour is not black.
struct PngParts {
    std::uint32_t width = 13;
    std::uint32_t height = 11;
    std::uint8_t colourType = 6;
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
    const std::size_t rowBytes = parts.width * samples;
    std::vector<std::uint8_t> previous(rowBytes, 0);
    QByteArray rows;
    for (std::uint32_t y = 0; y < parts.height; ++y) {
        std::vector<std::uint8_t> row(rowBytes);
        for (std::size_t i = 0; i < rowBytes; ++i)
            row[i] = std::uint8_t((i * 2654435761u + y * 40503u) >> 11);
        if (samples % 2 == 0)
            for (std::size_t x = y % 3; x < parts.width; x += 3)
                row[x * samples + samples - 1] = 0;
        const int type = int(y % 5);
        rows.append(char(type));
        for (std::size_t i = 0; i < rowBytes; ++i) {
            const int left = i >= samples ? row[i - samples] : 0;
            const int up = previous[i];
            const int upLeft = i >= samples ? previous[i - samples] : 0;
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
    header.insert(header.end(), {8, parts.colourType, 0, 0, 0});
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
        {"16 bits", With([=](PngParts& p) { p.damageRows = header(8, 16); })},
        {"palette", With([=](PngParts& p) { p.colourType = 3; })},
        {"interlaced", With([=](PngParts& p) { p.damageRows = header(12, 1); })},
        {"colour key", With([=](PngParts& p) { p.colourType = 2; p.before = {{"tRNS", {0, 1, 0, 2, 0, 3}}}; })},
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

} // namespace
} // namespace tollamere
