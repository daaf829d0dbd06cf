// SPDX-License-Identifier: MIT
#include "picture_files.h"
#include "bevel.h"
#include "cDIBSection.h"
#include "jpeg_codec.h"
#include "format_registry.h"
#include "picture_size.h"

#include "crafted_files.h"
#include "picture_test_support.h"
#include "runtime_error_matchers.h"

#include <QBuffer>
#include <QColorSpace>
#include <QCoreApplication>
#include <QImage>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include <turbojpeg.h>

#if defined(__unix__)
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tollamere::test {
namespace {

Bytes QtEncoded(const QImage& image, const char* format)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    const auto* first = reinterpret_cast<const std::uint8_t*>(data.constData());
    return Bytes(first, first + data.size());
}

Bytes TurboJpegEncoded(const std::vector<std::uint8_t>& pixels, int width, int height, int pixelFormat, int subsampling, int flags = 0)
{
    tjhandle encoder = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int status = tjCompress2(encoder, pixels.data(), width, 0, height, pixelFormat, &jpeg, &size, subsampling, 100, flags);
    EXPECT_EQ(status, 0) << tjGetErrorStr2(encoder);
    Bytes bytes(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(encoder);
    return bytes;
}

int JpegSubsampling(const Bytes& jpeg)
{
    tjhandle decoder = tjInitDecompress();
    int width = 0, height = 0, subsampling = -1, colourspace = -1;
    EXPECT_EQ(tjDecompressHeader3(decoder, jpeg.data(), jpeg.size(), &width, &height, &subsampling, &colourspace), 0);
    tjDestroy(decoder);
    return subsampling;
}

std::uint32_t Alpha(std::uint32_t pixel)
{
    return pixel >> 24;
}

// ---------------------------------------------------------------- round trips

class PictureFileLosslessRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(PictureFileLosslessRoundTrip, KeepsEveryPixelOfTheLetterF)
{
    TempFolder folder;
    const auto path = folder / ("f." + GetParam());
    SavePictureFile(LetterF(), false, path);
    const PictureFile loaded = LoadPictureFile(path);
    EXPECT_TRUE(SamePixels(loaded.picture, LetterF()));
    EXPECT_EQ(EntryNames(folder.Path()), std::vector<std::string>{"f." + GetParam()}) << "only the target, under its own name";
}

// Every format written without loss, under each of its extensions.
INSTANTIATE_TEST_SUITE_P(Formats, PictureFileLosslessRoundTrip,
                         ::testing::ValuesIn(Joined(WrittenExtensions([](const FileFormat& format) { return format.lossless; }, true),
                                                    Joined(OtherQtExtensions, {"Png"}))));

TEST(PictureFileRoundTrip, GreyAndBlackWhiteFormatsKeepPicturesTheyCanHold)
{
    TempFolder folder;
    Picture grey(7, 3);
    for (std::int32_t x = 0; x < 7; ++x)
        for (std::int32_t y = 0; y < 3; ++y) {
            const auto level = std::uint32_t(x * 40 + y);
            grey.Pixel(x, y) = 0xFF000000u | level * 0x010101u;
        }
    SavePictureFile(grey, false, folder / "g.pgm");
    EXPECT_TRUE(SamePixels(LoadPictureFile(folder / "g.pgm").picture, grey));

    Picture blackWhite(9, 4, 0xFFFFFFFFu);
    blackWhite.Pixel(0, 0) = blackWhite.Pixel(8, 3) = blackWhite.Pixel(3, 1) = 0xFF000000u;
    for (const char* extension : {"pbm", "xbm"}) {
        const auto path = folder / (std::string("b.") + extension);
        SavePictureFile(blackWhite, false, path);
        EXPECT_TRUE(SamePixels(LoadPictureFile(path).picture, blackWhite)) << extension;
    }
}

// 24 bits per pixel unless alpha is in use; then 32 under a version 5
// header that names the alpha byte, read back exactly.
TEST(PictureFileRoundTrip, BmpIsTwentyFourBitsBottomUpOrThirtyTwoWithAlpha)
{
    TempFolder folder;
    const struct {
        Picture picture;
        bool hasAlpha;
        std::size_t headerSize;
        std::uint8_t bitsPerPixel;
    } rows[] = {
        {LetterF(), true, 40, 24},
        {LetterFWithAlpha(), false, 40, 24},
        {LetterFWithAlpha(), true, 124, 32},
    };
    for (const auto& row : rows) {
        SavePictureFile(row.picture, row.hasAlpha, folder / "F.BMP");
        const Bytes bmp = ReadBytes(folder / "F.BMP");
        const std::size_t rowBytes = row.bitsPerPixel == 24 ? 20 : 24;  // 18 bytes padded to 20, or 6 pixels of 4
        ASSERT_EQ(bmp.size(), 14 + row.headerSize + 5 * rowBytes);
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(bmp[1], 'M');
        EXPECT_EQ(bmp[14], row.headerSize);
        EXPECT_EQ(bmp[28], row.bitsPerPixel);
        EXPECT_EQ(bmp[30], row.bitsPerPixel == 24 ? 0 : 3) << "uncompressed, or bit fields";
        // The first stored row is the bottom one, "#.....": red, then blue.
        const auto first = bmp.begin() + std::ptrdiff_t(14 + row.headerSize);
        const std::size_t pixel = row.bitsPerPixel / 8;
        EXPECT_EQ((Bytes{first, first + 3}), (Bytes{0x00, 0x00, 0xFF}));
        EXPECT_EQ((Bytes{first + std::ptrdiff_t(pixel), first + std::ptrdiff_t(pixel + 3)}), (Bytes{0xFF, 0x00, 0x00}));
        const PictureFile loaded = LoadPictureFile(folder / "F.BMP");
        EXPECT_EQ(loaded.hasAlpha, row.bitsPerPixel == 32);
        if (row.bitsPerPixel == 32) {
            EXPECT_TRUE(loaded.picture == row.picture);
        } else {
            EXPECT_EQ(loaded.picture.Pixel(5, 0), row.picture.Pixel(5, 0) | 0xFF000000u) << "alpha dropped, colour kept";
            EXPECT_EQ(loaded.picture.Pixel(4, 4), row.picture.Pixel(4, 4) | 0xFF000000u);
        }
    }
}

TEST(PictureFileRoundTrip, JpegIsCloseAndSampledFourFourFour)
{
    TempFolder folder;
    for (const char* extension : {"jpg", "jpeg", "jpe", "jfif", "JPG"}) {
        const auto path = folder / (std::string("f.") + extension);
        SavePictureFile(LetterF(), false, path);
        const Bytes jpeg = ReadBytes(path);
        ASSERT_GE(jpeg.size(), 2u);
        EXPECT_EQ(jpeg[0], 0xFF);
        EXPECT_EQ(jpeg[1], 0xD8);
        EXPECT_EQ(JpegSubsampling(jpeg), TJSAMP_444) << extension;
        const PictureFile loaded = LoadPictureFile(path);
        EXPECT_FALSE(loaded.hasAlpha);
        EXPECT_LE(MaxColourError(loaded.picture, LetterF()), 6) << extension;
        EXPECT_EQ(loaded.picture.Pixel(3, 3) >> 24, 0xFFu);
    }
}

TEST(PictureFileRoundTrip, PhotoLikeJpegStaysClose)
{
    TempFolder folder;
    const Picture gradient = Gradient(64, 48);
    SavePictureFile(gradient, false, folder / "g.jpg");
    const Picture loaded = LoadPictureFile(folder / "g.jpg").picture;
    EXPECT_LE(MaxColourError(loaded, gradient), 4);
    EXPECT_LT(MeanColourError(loaded, gradient), 1.0);
}

// ---------------------------------------------------------------- alpha

class PictureFileAlphaRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(PictureFileAlphaRoundTrip, KeepsAlphaAndTheColoursItShows)
{
    TempFolder folder;
    const auto path = folder / ("a." + GetParam());
    const Picture original = LetterFWithAlpha();
    SavePictureFile(original, true, path);
    const PictureFile loaded = LoadPictureFile(path);
    ASSERT_TRUE(loaded.hasAlpha);
    ASSERT_EQ(loaded.picture.Width(), 6);
    ASSERT_EQ(loaded.picture.Height(), 5);
    for (std::int32_t y = 0; y < 5; ++y)
        for (std::int32_t x = 0; x < 6; ++x) {
            const std::uint32_t expected = original.Pixel(x, y);
            const std::uint32_t actual = loaded.picture.Pixel(x, y);
            EXPECT_EQ(Alpha(actual), Alpha(expected)) << x << ", " << y;
            // Readers that premultiply lose a little colour where alpha is partial.
            const int tolerance = Alpha(expected) == 0xFF || Alpha(expected) == 0 ? 0 : 2;
            for (int shift : {0, 8, 16})
                EXPECT_LE(ChannelDifference(actual, expected, shift), tolerance) << x << ", " << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Formats, PictureFileAlphaRoundTrip,
                         ::testing::ValuesIn(WrittenExtensions([](const FileFormat& format) { return format.keepsAlpha; })));

TEST(PictureFileAlpha, GifMakesAlphaBelowHalfTransparentAndTheRestOpaque)
{
    TempFolder folder;
    Picture picture = LetterFWithAlpha();
    picture.Pixel(0, 4) = 0x7FFF0000u;
    SavePictureFile(picture, true, folder / "a.gif");
    const PictureFile loaded = LoadPictureFile(folder / "a.gif");
    EXPECT_TRUE(loaded.hasAlpha);
    Picture expected = picture;
    expected.Pixel(4, 4) = 0xFF00FF00u;
    expected.Pixel(0, 4) = 0x00000000u;
    EXPECT_TRUE(SamePixels(loaded.picture, expected));
}

TEST(PictureFileAlpha, WithoutAlphaTheAlphaBytesAreIgnored)
{
    TempFolder folder;
    // An icon's or cursor's pictures always carry alpha.
    const auto tellsNoAlpha = [](const FileFormat& format) { return format.lossless && format.name != "ICO" && format.name != "CUR"; };
    for (const std::string& extension : WrittenExtensions(tellsNoAlpha)) {
        const auto path = folder / ("o." + extension);
        SavePictureFile(LetterFWithAlpha(), false, path);
        const PictureFile loaded = LoadPictureFile(path);
        EXPECT_FALSE(loaded.hasAlpha) << extension;
        EXPECT_EQ(loaded.picture.Pixel(5, 0), 0xFF000000u) << extension;
        EXPECT_EQ(loaded.picture.Pixel(4, 4), 0xFF00FF00u) << extension;
    }
}

TEST(PictureFileAlpha, FullyTransparentPixelsLoadAsBlack)
{
    QImage image(3, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, 0x00FF0000u);
    image.setPixel(1, 0, 0x01FF0000u);
    image.setPixel(2, 0, 0xFF00FF00u);
    const PictureFile png = LoadPictureFromBytes(QtEncoded(image, "PNG"));
    EXPECT_TRUE(png.hasAlpha);
    EXPECT_EQ(png.picture.Pixel(0, 0), 0x00000000u);
    EXPECT_EQ(png.picture.Pixel(1, 0), 0x01FF0000u) << "only alpha 0 counts as outside";
    EXPECT_EQ(png.picture.Pixel(2, 0), 0xFF00FF00u);

    GifLayout layout{.screenWidth = 2, .screenHeight = 1, .palette = {0xFF0000, 0x00FF00}, .transparentIndex = 0, .width = 2, .height = 1, .indices = {0, 1}};
    const PictureFile gif = LoadPictureFromBytes(MakeGif(layout));
    EXPECT_TRUE(gif.hasAlpha);
    EXPECT_EQ(gif.picture.Pixel(0, 0), 0x00000000u) << "the transparent index is red in the table";
    EXPECT_EQ(gif.picture.Pixel(1, 0), 0xFF00FF00u);
}

// ---------------------------------------------------------------- loading by content

TEST(PictureFileLoad, ContentDecidesTheFormatNotTheExtension)
{
    TempFolder folder;
    const Bytes png = EncodedAs(LetterF(), false, "png", folder.Path());
    const Bytes gif = EncodedAs(LetterF(), false, "gif", folder.Path());
    const Bytes jpeg = EncodedAs(LetterF(), false, "jpg", folder.Path());
    WriteBytes(folder / "png.jpg", png);
    WriteBytes(folder / "gif.bmp", gif);
    WriteBytes(folder / "jpeg.png", jpeg);
    WriteBytes(folder / "tga.png", MakeTga(LetterF()));
    EXPECT_TRUE(SamePixels(LoadPictureFile(folder / "png.jpg").picture, LetterF()));
    EXPECT_TRUE(SamePixels(LoadPictureFile(folder / "gif.bmp").picture, LetterF()));
    EXPECT_TRUE(SamePixels(LoadPictureFile(folder / "tga.png").picture, LetterF()));
    // The original TGA has no footer, and its true-colour header starts like a cursor's.
    for (const bool topDown : {true, false})
        for (const bool footer : {true, false}) {
            const Bytes tga = MakeTga(LetterF(), topDown, footer);
            EXPECT_TRUE(SamePixels(LoadPictureFromBytes(tga).picture, LetterF())) << "top-down " << topDown << ", footer " << footer;
            const std::optional<PictureSize> size = ProbePictureSize(tga);
            EXPECT_TRUE(size && size->width == 6 && size->height == 5) << "top-down " << topDown << ", footer " << footer;
        }
    EXPECT_LE(MaxColourError(LoadPictureFile(folder / "jpeg.png").picture, LetterF()), 6);
}

TEST(PictureFileLoad, IconGivesItsLargestImage)
{
    TempFolder folder;
    const Bytes small = EncodedAs(Picture(2, 2, Blue), false, "ico", folder.Path());
    const Bytes large = EncodedAs(LetterF(), false, "ico", folder.Path());
    // One directory of two entries, each entry copied from its own file with the image offset moved.
    constexpr std::size_t header = 6, entry = 16;
    Bytes icon{0, 0, 1, 0, 2, 0};
    const std::uint32_t smallAt = header + 2 * entry;
    const auto largeAt = std::uint32_t(smallAt + small.size() - header - entry);
    for (const auto& [file, at] : {std::pair{&small, smallAt}, std::pair{&large, largeAt}}) {
        icon.insert(icon.end(), file->begin() + header, file->begin() + header + 12);
        PutLittle32(icon, at);
    }
    icon.insert(icon.end(), small.begin() + header + entry, small.end());
    icon.insert(icon.end(), large.begin() + header + entry, large.end());
    EXPECT_TRUE(SamePixels(LoadPictureFromBytes(icon).picture, LetterF()));
}

TEST(PictureFileLoad, JpegKindsOtherThanYCbCrLoad)
{
    // Photoshop's CMYK convention stores inverted inks: 255 means no ink.
    const std::vector<std::uint8_t> inks = {255, 0, 0, 255, /* red */ 0, 0, 0, 255, /* black */ 255, 255, 255, 255, /* white */ 255, 255, 255, 128 /* grey */};
    std::vector<std::uint8_t> cmyk;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            cmyk.insert(cmyk.end(), inks.begin() + (x / 4) * 4, inks.begin() + (x / 4) * 4 + 4);
    const Picture fromCmyk = LoadPictureFromBytes(TurboJpegEncoded(cmyk, 16, 8, TJPF_CMYK, TJSAMP_444)).picture;
    const std::uint32_t expected[] = {0xFFFF0000u, 0xFF000000u, 0xFFFFFFFFu, 0xFF808080u};
    for (int block = 0; block < 4; ++block)
        for (int shift : {0, 8, 16})
            EXPECT_LE(ChannelDifference(fromCmyk.Pixel(block * 4 + 1, 3), expected[block], shift), 3) << "block " << block;

    std::vector<std::uint8_t> grey(16 * 8);
    for (std::size_t i = 0; i < grey.size(); ++i)
        grey[i] = std::uint8_t(i * 2);
    const Picture fromGrey = LoadPictureFromBytes(TurboJpegEncoded(grey, 16, 8, TJPF_GRAY, TJSAMP_GRAY)).picture;
    EXPECT_LE(ChannelDifference(fromGrey.Pixel(5, 2), 0xFF000000u | 74u * 0x010101u, 16), 2);
    EXPECT_EQ(fromGrey.Pixel(5, 2) & 0xFF, fromGrey.Pixel(5, 2) >> 16 & 0xFF) << "grey stays grey";

    std::vector<std::uint8_t> bgr;
    const Picture letter = LetterF();
    for (std::int32_t y = 0; y < 5; ++y)
        for (std::int32_t x = 0; x < 6; ++x)
            bgr.insert(bgr.end(), {std::uint8_t(letter.Pixel(x, y)), std::uint8_t(letter.Pixel(x, y) >> 8), std::uint8_t(letter.Pixel(x, y) >> 16)});
    const Picture progressive = LoadPictureFromBytes(TurboJpegEncoded(bgr, 6, 5, TJPF_BGR, TJSAMP_444, TJFLAG_PROGRESSIVE)).picture;
    EXPECT_LE(MaxColourError(progressive, letter), 6);
}

Bytes ProfileBytes(const QColorSpace& space)
{
    const QByteArray profile = space.iccProfile();
    return Bytes(profile.begin(), profile.end());
}

// One decoder and one encoder for every layout: a picture's words top-down,
// the surface's bytes bottom-up (rows padded to 4 bytes at this odd width),
// and words bottom-up in rows with room to spare; grey, colour and CMYK.
TEST(JpegLayouts, EveryLayoutHoldsTheSamePixelsAndEncodesToTheSameBytes)
{
    const Picture gradient = Gradient(37, 23);
    std::vector<std::uint8_t> inks(std::size_t(37) * 23 * 4);
    std::vector<std::uint8_t> greys(std::size_t(37) * 23);
    for (std::size_t i = 0; i < greys.size(); ++i) {
        greys[i] = std::uint8_t(i * 7);
        for (std::size_t ink = 0; ink < 4; ++ink)
            inks[4 * i + ink] = std::uint8_t(i * (ink + 3));
    }
    const struct {
        const char* name;
        Bytes file;
    } rows[] = {
        {"colour", EncodedAs(gradient, false, "jpg", TempFolder().Path())},
        {"grey", TurboJpegEncoded(greys, 37, 23, TJPF_GRAY, TJSAMP_GRAY)},
        {"CMYK", TurboJpegEncoded(inks, 37, 23, TJPF_CMYK, TJSAMP_444)},
    };
    for (const auto& [name, file] : rows) {
        SCOPED_TRACE(name);
        const PictureFile loaded = LoadPictureFromBytes(file);
        const JpegHeader header = ReadJpegHeader(file);
        EXPECT_EQ(header.inks, std::string(name) == "CMYK");

        cDIBSection surface;
        ASSERT_TRUE(surface.Create(header.width, header.height));
        DecodeJpeg(file, header, surface.Layout());
        Picture fromSurface(header.width, header.height);
        surface.PaintPicture(fromSurface);
        EXPECT_TRUE(SamePixels(fromSurface, loaded.picture));

        std::vector<std::uint32_t> spare(std::size_t(header.width + 3) * std::size_t(header.height));
        const PixelLayout wordsBottomUp{header.width, header.height, std::int64_t(header.width + 3) * 4, PixelOrder::ArgbWords, true,
                                        reinterpret_cast<std::uint8_t*>(spare.data())};
        DecodeJpeg(file, header, wordsBottomUp);
        for (std::int32_t y = 0; y < header.height; ++y)
            EXPECT_TRUE(std::equal(loaded.picture.Row(y), loaded.picture.Row(y) + header.width,
                                   reinterpret_cast<const std::uint32_t*>(wordsBottomUp.Row(y))))
                << "row " << y;

        for (const int quality : {100, 75}) {
            const Bytes fromPicture = EncodeJpeg(loaded.picture.Layout(), quality, loaded.metadata);
            EXPECT_EQ(EncodeJpeg(surface.Layout(), quality, loaded.metadata), fromPicture) << "quality " << quality;
            EXPECT_EQ(EncodeJpeg(wordsBottomUp, quality, loaded.metadata), fromPicture) << "quality " << quality;
        }
    }
}

TEST(JpegLayouts, MemoryThatDoesNotFitIsRefused)
{
    const Bytes file = EncodedAs(LetterF(), false, "jpg", TempFolder().Path());
    const JpegHeader header = ReadJpegHeader(file);
    Picture other(header.width + 1, header.height);
    EXPECT_RUNTIME_ERROR(DecodeJpeg(file, header, other.Layout()), ErrorNumber::InvalidProcedureCall);
    Picture fits(header.width, header.height, Blue);
    PixelLayout shortRows = fits.Layout();
    shortRows.stride -= 1;
    EXPECT_RUNTIME_ERROR(DecodeJpeg(file, header, shortRows), ErrorNumber::InvalidProcedureCall);
    EXPECT_RUNTIME_ERROR(EncodeJpeg(shortRows, 100), ErrorNumber::InvalidProcedureCall);
    EXPECT_EQ(fits, Picture(header.width, header.height, Blue)) << "nothing was written";
    EXPECT_RUNTIME_ERROR(DecodeJpeg(file, header, PixelLayout{}), ErrorNumber::InvalidProcedureCall);

    cDIBSection surface;
    ASSERT_TRUE(surface.Create(header.width, header.height));
    EXPECT_RUNTIME_ERROR(EncodePictureFile(surface.Layout(), "f.png", {}), ErrorNumber::InvalidProcedureCall);
    EXPECT_RUNTIME_ERROR(EncodeJpeg(cDIBSection().Layout(), 100), ErrorNumber::InvalidPicture);
}

// A reader keeps a profile only when it describes the RGB colours it gives:
// not a grey profile of grey pixels, a CMYK one of colours turned into RGB,
// nor bytes whose header does not hold together; whichever reader takes the
// file, and on the way straight into the effect's surface too.
TEST(PictureFileLoad, OnlyProfilesOfTheRgbColoursGivenAreKept)
{
    TempFolder folder;
    const Bytes rgb = ProfileBytes(QColorSpace(QColorSpace::AdobeRgb));
    Bytes longerThanStated = rgb;
    longerThanStated.resize(rgb.size() + 100, 0);
    Bytes withoutSignature = rgb;
    withoutSignature[36] = 'x';
    const Bytes colourJpeg = EncodedAs(LetterF(), false, "jpg", folder.Path());
    const Bytes greyJpeg = TurboJpegEncoded(std::vector<std::uint8_t>(6 * 5, 0x80), 6, 5, TJPF_GRAY, TJSAMP_GRAY);
    QImage underGrey(6, 5, QImage::Format_RGB32);
    underGrey.fill(Qt::red);
    const Bytes grey = IccProfileOf("GRAY");
    underGrey.setColorSpace(QColorSpace::fromIccProfile(QByteArray(reinterpret_cast<const char*>(grey.data()), qsizetype(grey.size()))));
    ASSERT_TRUE(underGrey.colorSpace().isValid());

    const struct {
        const char* name;
        Bytes file;
        bool kept;
    } rows[] = {
        {"grey JPEG under a grey profile", JpegWithProfile(greyJpeg, grey), false},
        {"colour JPEG under a CMYK profile", JpegWithProfile(colourJpeg, IccProfileOf("CMYK")), false},
        {"colour JPEG, profile longer than its size field", JpegWithProfile(colourJpeg, longerThanStated), false},
        {"colour JPEG, profile without its signature", JpegWithProfile(colourJpeg, withoutSignature), false},
        {"colour JPEG under an RGB profile", JpegWithProfile(colourJpeg, rgb), true},
        {"TIFF under a grey profile", QtEncoded(underGrey, "tiff"), false},
        {"WebP under a grey profile", QtEncoded(underGrey, "webp"), false},
    };
    for (const auto& [name, file, kept] : rows) {
        SCOPED_TRACE(name);
        const PictureFile loaded = LoadPictureFromBytes(file);
        ASSERT_TRUE(loaded.picture.HasBitmap());
        EXPECT_EQ(loaded.metadata.iccProfile, kept ? rgb : Bytes{});
        if (LooksLikeJpeg(file)) {
            EXPECT_EQ(ReadJpegHeader(file).metadata.iccProfile, kept ? rgb : Bytes{}) << "the header the surface's path reads";
        }
    }
}

TEST(PictureFileLoad, GifFrameIsPlacedOnATransparentCanvas)
{
    GifLayout layout{.screenWidth = 4, .screenHeight = 3, .palette = {0xFF0000, 0x0000FF}, .left = 1, .top = 1, .width = 2, .height = 1, .indices = {0, 1}};
    const PictureFile placed = LoadPictureFromBytes(MakeGif(layout));
    ASSERT_EQ(placed.picture.Width(), 4);
    ASSERT_EQ(placed.picture.Height(), 3);
    EXPECT_TRUE(placed.hasAlpha);
    Picture expected(4, 3, 0x00000000u);
    expected.Pixel(1, 1) = Red;
    expected.Pixel(2, 1) = Blue;
    EXPECT_TRUE(SamePixels(placed.picture, expected));

    layout.left = 3;
    layout.top = 2;
    const PictureFile grown = LoadPictureFromBytes(MakeGif(layout));
    EXPECT_EQ(grown.picture.Width(), 5) << "a frame beyond the screen grows the canvas";
    EXPECT_EQ(grown.picture.Height(), 3);
    EXPECT_EQ(grown.picture.Pixel(4, 2), Blue);

    layout = GifLayout{.screenWidth = 2, .screenHeight = 1, .palette = {0xFF0000, 0x0000FF}, .width = 2, .height = 1, .indices = {1, 0}};
    const PictureFile opaque = LoadPictureFromBytes(MakeGif(layout));
    EXPECT_FALSE(opaque.hasAlpha) << "a full frame without a transparent index";
    EXPECT_EQ(opaque.picture.Pixel(0, 0), Blue);
}

TEST(PictureFileLoad, InterlacedGifRowsLandInPlace)
{
    constexpr std::int32_t height = 11;
    GifLayout layout{.screenWidth = 1, .screenHeight = height, .palette = {}, .width = 1, .height = height, .interlaced = true, .indices = {}};
    for (std::uint32_t i = 0; i < height; ++i)
        layout.palette.push_back(i * 0x101010u);
    // Stored order of an interlaced GIF: rows 0, 8; 4; 2, 6, 10; 1, 3, 5, 7, 9.
    layout.indices = {0, 8, 4, 2, 6, 10, 1, 3, 5, 7, 9};
    const Picture picture = LoadPictureFromBytes(MakeGif(layout)).picture;
    for (std::int32_t y = 0; y < height; ++y)
        EXPECT_EQ(picture.Pixel(0, y), 0xFF000000u | std::uint32_t(y) * 0x101010u) << "row " << y;
}

// ---------------------------------------------------------------- load failures

TEST(PictureFileLoad, FailuresCarryTheirNumbers)
{
    TempFolder folder;
    EXPECT_RUNTIME_ERROR(LoadPictureFile(folder / "missing.png"), ErrorNumber::FileNotFound);
    EXPECT_RUNTIME_ERROR(LoadPictureFile(folder / "missing" / "f.png"), ErrorNumber::FileNotFound);
    EXPECT_RUNTIME_ERROR(LoadPictureFile(folder.Path()), ErrorNumber::PathFileAccessError);

    WriteBytes(folder / "empty.png", {});
    WriteText(folder / "text.png", "This is not a picture.\n");
    WriteText(folder / "text.jpg", "hello");
    // A drawing is rendered at the size it states; one that states none has no size to render at.
    WriteText(folder / "drawing.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"><rect width=\"5\" height=\"5\"/></svg>");
    for (const char* name : {"empty.png", "text.png", "text.jpg", "drawing.svg"})
        EXPECT_RUNTIME_ERROR(LoadPictureFile(folder / name), ErrorNumber::InvalidPicture);
    EXPECT_RUNTIME_ERROR(LoadPictureFromBytes({}), ErrorNumber::InvalidPicture);

    try {
        LoadPictureFile(folder / "nowhere.png");
        ADD_FAILURE() << "a missing file was loaded";
    } catch (const RuntimeError& error) {
        EXPECT_NE(error.Description().find("nowhere.png"), std::string::npos) << "the path is named: " << error.Description();
    }
}

// An input swapped for a named pipe at any moment, even between a look at
// it and its opening, fails at once instead of waiting for a writer.
TEST(PictureFileLoad, PipeSwappedInNeverBlocks)
{
    TempFolder folder;
    const std::filesystem::path path = folder / "f.png";
    const std::filesystem::path pipe = folder / "pipe";
    const std::filesystem::path picture = folder / "picture.png";
    SavePictureFile(LetterF(), false, picture);
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::filesystem::create_hard_link(pipe, path);
    EXPECT_RUNTIME_ERROR(LoadPictureFile(path), ErrorNumber::PathFileAccessError);

    std::atomic<bool> done = false;
    std::thread swapper([&] {
        for (int i = 0; !done; ++i) {
            std::filesystem::remove(path);
            std::filesystem::create_hard_link(i % 2 ? pipe : picture, path);
        }
    });
    auto loads = std::async(std::launch::async, [&] {
        for (int i = 0; i < 3000; ++i) {
            try {
                LoadPictureFile(path);
            } catch (const RuntimeError&) {
            }
        }
    });
    const bool finished = loads.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    done = true;
    swapper.join();
    if (!finished) {
        // Frees the blocked reader so that the test can end.
        const int writer = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        ADD_FAILURE() << "a load waited on the pipe";
        loads.wait();
        close(writer);
    }
}

TEST(PictureFileLoad, UnreadableFileIsPermissionDenied)
{
    TempFolder folder;
    if (!PermissionsAreEnforced(folder.Path()))
        GTEST_SKIP() << RootSkipReason;
    SavePictureFile(LetterF(), false, folder / "f.png");
    std::filesystem::permissions(folder / "f.png", std::filesystem::perms::none);
    EXPECT_RUNTIME_ERROR(LoadPictureFile(folder / "f.png"), ErrorNumber::PermissionDenied);
}

TEST(PictureFileLoad, LeavesTheFileAsItWas)
{
    TempFolder folder;
    for (const char* name : {"f.png", "f.jpg", "f.gif"}) {
        SavePictureFile(LetterF(), false, folder / name);
        const Bytes before = ReadBytes(folder / name);
        const auto written = std::filesystem::last_write_time(folder / name);
        LoadPictureFile(folder / name);
        EXPECT_EQ(ReadBytes(folder / name), before) << name;
        EXPECT_EQ(std::filesystem::last_write_time(folder / name), written) << name;
    }
    EXPECT_EQ(EntryNames(folder.Path()), (std::vector<std::string>{"f.gif", "f.jpg", "f.png"}));
}

// The run estimates each item's memory from the size its header declares.
TEST(PictureFileLoad, HeadersTellTheSizeWithoutDecoding)
{
    TempFolder folder;
    for (const std::string& extension : WrittenExtensions(AnyFormat)) {
        const std::string name = "f." + extension;
        SavePictureFile(LetterF(), false, folder / name);
        const Bytes bytes = ReadBytes(folder / name);
        const std::optional<PictureSize> size = ProbePictureSize(bytes);
        ASSERT_TRUE(size) << name;
        EXPECT_EQ(size->width, 6u) << name;
        EXPECT_EQ(size->height, 5u) << name;
        // Cut before the size, the header tells nothing; a JPEG XL's size
        // follows its two-byte signature.
        EXPECT_FALSE(ProbePictureSize(std::span(bytes).first(extension == "jxl" ? 2 : 6))) << name;
    }
    EXPECT_FALSE(ProbePictureSize(Bytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'}));
}

// ---------------------------------------------------------------- saving

TEST(PictureFileSave, UnknownExtensionWritesNothing)
{
    TempFolder folder;
    for (const char* name : {"f.xyz", "f.svg", "noextension", "f."}) {
        try {
            SavePictureFile(LetterF(), false, folder / name);
            ADD_FAILURE() << name << " was accepted";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.Number(), ErrorNumber::InvalidProcedureCall) << name;
            if (std::string(name) == "f.xyz") {
                EXPECT_NE(error.Description().find("xyz"), std::string::npos) << error.Description();
            }
        }
    }
    EXPECT_TRUE(EntryNames(folder.Path()).empty());

    // A name that is only a dot and an extension still names its format.
    SavePictureFile(LetterF(), false, folder / ".png");
    EXPECT_TRUE(SamePixels(LoadPictureFile(folder / ".png").picture, LetterF()));
}

// Qt's image plugins (TIFF, WebP) must be found without an application object.
TEST(PictureFileSave, CanWritePictureExtensionKnowsTheEncoders)
{
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    for (const std::string& extension : Joined(WrittenExtensions(AnyFormat, true), {"JPEG", "ppm", "pgm", "pbm", "xbm", "xpm"}))
        EXPECT_TRUE(CanWritePictureExtension(extension)) << extension;
    EXPECT_GE(WrittenExtensions(AnyFormat).size(), 10u) << "JPEG, PNG, BMP, GIF, icons, cursors, AVIF and JPEG XL are written here; WebP and TIFF by Qt";
    for (const char* extension : {"", "xyz", "svg", ".png", "png ", "wmf", "pdf", "icns"})
        EXPECT_FALSE(CanWritePictureExtension(extension)) << '"' << extension << '"';
}

TEST(PictureFileSave, ReplacesAnOlderFile)
{
    TempFolder folder;
    WriteText(folder / "f.png", "an older file");
    SavePictureFile(LetterF(), false, folder / "f.png");
    EXPECT_TRUE(SamePixels(LoadPictureFile(folder / "f.png").picture, LetterF()));
    EXPECT_EQ(EntryNames(folder.Path()), std::vector<std::string>{"f.png"});
}

TEST(PictureFileSave, FailureLeavesNoFileBehind)
{
    TempFolder folder;
    WriteText(folder / "blocker", "a file where a folder should be");
    EXPECT_RUNTIME_ERROR(SavePictureFile(LetterF(), false, folder / "blocker" / "f.png"), ErrorNumber::PathFileAccessError);
    EXPECT_RUNTIME_ERROR(SavePictureFile(LetterF(), false, folder / "missing" / "f.png"), ErrorNumber::PathFileAccessError);
    std::filesystem::create_directory(folder / "f.png");
    EXPECT_RUNTIME_ERROR(SavePictureFile(LetterF(), false, folder / "f.png"), ErrorNumber::PathFileAccessError);
    EXPECT_EQ(EntryNames(folder.Path()), (std::vector<std::string>{"blocker", "f.png"}));
    EXPECT_TRUE(EntryNames(folder / "f.png").empty());
    EXPECT_EQ(ReadBytes(folder / "blocker"), (Bytes{std::string_view("a file where a folder should be").begin(), std::string_view("a file where a folder should be").end()}));
}

TEST(PictureFileSave, ReadOnlyFolderKeepsTheOlderFile)
{
    TempFolder folder;
    if (!PermissionsAreEnforced(folder.Path()))
        GTEST_SKIP() << RootSkipReason;
    SavePictureFile(Picture(3, 3, Blue), false, folder / "f.png");
    const Bytes older = ReadBytes(folder / "f.png");
    std::filesystem::permissions(folder.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_RUNTIME_ERROR(SavePictureFile(LetterF(), false, folder / "f.png"), ErrorNumber::PermissionDenied);
    EXPECT_RUNTIME_ERROR(SavePictureFile(LetterF(), false, folder / "new.gif"), ErrorNumber::PermissionDenied);
    std::filesystem::permissions(folder.Path(), std::filesystem::perms::owner_all);
    EXPECT_EQ(ReadBytes(folder / "f.png"), older);
    EXPECT_EQ(EntryNames(folder.Path()), std::vector<std::string>{"f.png"});
}

#if defined(__unix__)
// A limit on the size of files this process may write stands in for a full
// disk: writes beyond it come back short, as they do when the disk fills.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST(PictureFileSave, FullDiskKeepsTheOlderFile)
{
    TempFolder folder;
    WriteText(folder / "f.png", "older");
    WriteText(folder / "f.bmp", "older");
    {
        const FileSizeLimit limit(64);
        // The PNG is small enough to sit in a write buffer until the commit;
        // the bitmap is written in one go.
        EXPECT_RUNTIME_ERROR(SavePictureFile(LetterF(), false, folder / "f.png"), ErrorNumber::PathFileAccessError);
        EXPECT_RUNTIME_ERROR(SavePictureFile(Picture(64, 64, Blue), false, folder / "f.bmp"), ErrorNumber::PathFileAccessError);
    }
    EXPECT_EQ(ReadBytes(folder / "f.png"), (Bytes{'o', 'l', 'd', 'e', 'r'}));
    EXPECT_EQ(ReadBytes(folder / "f.bmp"), (Bytes{'o', 'l', 'd', 'e', 'r'}));
    EXPECT_EQ(EntryNames(folder.Path()), (std::vector<std::string>{"f.bmp", "f.png"}));
}
#endif

TEST(PictureFileSave, PicturesAFormatCannotHoldAreRefused)
{
    TempFolder folder;
    for (const char* name : {"none.png", "none.jpg", "none.gif", "none.bmp"})
        EXPECT_RUNTIME_ERROR(SavePictureFile(Picture(), false, folder / name), ErrorNumber::InvalidPicture);
    EXPECT_RUNTIME_ERROR(SavePictureFile(Picture(257, 4, Blue), false, folder / "wide.ico"), ErrorNumber::InvalidPicture);
    EXPECT_RUNTIME_ERROR(SavePictureFile(Picture(4, 300, Blue), false, folder / "tall.cur"), ErrorNumber::InvalidPicture);
    EXPECT_TRUE(EntryNames(folder.Path()).empty());

    SavePictureFile(Picture(256, 256, Red), false, folder / "largest.ico");
    EXPECT_TRUE(SamePixels(LoadPictureFile(folder / "largest.ico").picture, Picture(256, 256, Red)));
}

// An RGB profile of that size, padded with random bytes or zeros.
Bytes PaddedProfile(std::size_t size, bool zeros)
{
    Bytes profile = ProfileBytes(QColorSpace(QColorSpace::AdobeRgb));
    std::mt19937 random(3);
    while (profile.size() < size)
        profile.push_back(zeros ? 0 : std::uint8_t(random()));
    for (std::size_t i = 0; i < 4; ++i)
        profile[i] = std::uint8_t(size >> (24 - 8 * i));
    return profile;
}

// A profile goes only where the format carries it at its size, and only one
// of RGB data; otherwise the picture is written without it. A JPEG XL whose
// profile its decoder cannot read back (libjxl 0.7 corrupts long runs of
// equal bytes in one) fails instead of being written.
TEST(PictureFileSave, ProfilesGoOnlyWhereTheFormatCarriesThem)
{
    TempFolder folder;
    const std::size_t pngLargest = 1u << 20;
    const std::size_t largest = 255u * 65'519u;
    const struct {
        const char* name;
        Bytes profile;
        bool kept;
    } rows[] = {
        {"at.png", PaddedProfile(pngLargest, false), true},
        {"beyond.png", PaddedProfile(pngLargest + 1, false), false},
        {"beyond.tiff", PaddedProfile(largest + 1, false), false},
        {"grey.jxl", IccProfileOf("GRAY"), false},
    };
    for (const auto& [name, profile, kept] : rows) {
        SCOPED_TRACE(name);
        SaveSettings settings;
        settings.metadata.iccProfile = profile;
        SavePictureFile(LetterF(), false, folder / name, settings);
        const PictureFile loaded = LoadPictureFile(folder / name);
        EXPECT_EQ(loaded.metadata.iccProfile, kept ? profile : Bytes{});
        EXPECT_LE(MaxColourError(loaded.picture, LetterF()), 6);
    }

    SaveSettings padded;
    padded.metadata.iccProfile = PaddedProfile(256u << 10, true);
    EXPECT_RUNTIME_ERROR(SavePictureFile(LetterF(), false, folder / "padded.jxl", padded), ErrorNumber::InvalidPicture);
    EXPECT_FALSE(std::filesystem::exists(folder / "padded.jxl"));
}

TEST(PictureFileSave, IconsCarryAMaskOfTheTransparentPixels)
{
    TempFolder folder;
    SavePictureFile(LetterFWithAlpha(), true, folder / "f.ico");
    SavePictureFile(LetterF(), false, folder / "f.cur");
    const Bytes icon = ReadBytes(folder / "f.ico");
    const Bytes cursor = ReadBytes(folder / "f.cur");
    EXPECT_EQ(icon[2], 1) << "resource type 1 is an icon";
    EXPECT_EQ(cursor[2], 2) << "resource type 2 is a cursor";
    EXPECT_TRUE(SamePixels(LoadPictureFile(folder / "f.cur").picture, LetterF()));

    // After the directory (22 bytes), the header (40) and 6 x 5 colour words
    // come five mask rows of 4 bytes, bottom-up: only column 5 is transparent.
    constexpr std::size_t maskAt = 22 + 40 + 6 * 5 * 4;
    ASSERT_EQ(icon.size(), maskAt + 5 * 4);
    for (std::size_t row = 0; row < 5; ++row)
        EXPECT_EQ((Bytes{icon.begin() + std::ptrdiff_t(maskAt + row * 4), icon.begin() + std::ptrdiff_t(maskAt + row * 4 + 4)}),
                  (Bytes{0x04, 0x00, 0x00, 0x00}))
            << "mask row " << row;
}

// Conversions run on several threads at once; the codecs must share nothing,
// and the same picture must always give the same bytes.
TEST(PictureFileThreads, ParallelSavesAndLoadsMatchOneAtATime)
{
    TempFolder folder;
    const std::vector<std::string> extensions = WrittenExtensions(AnyFormat);
    const Picture picture = Gradient(48, 40);
    std::vector<Bytes> expected;
    for (const std::string& extension : extensions)
        expected.push_back(EncodedAs(picture, false, extension, folder.Path()));

    std::vector<std::thread> threads;
    std::vector<std::vector<std::string>> mismatches(4);
    for (std::size_t t = 0; t < mismatches.size(); ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 5; ++round)
                for (std::size_t i = 0; i < extensions.size(); ++i) {
                    const auto path = (folder / ("thread" + std::to_string(t))).replace_extension(extensions[i]);
                    SavePictureFile(picture, false, path);
                    const Bytes written = ReadBytes(path);
                    if (written != expected[i] || !(LoadPictureFromBytes(written).picture == LoadPictureFromBytes(expected[i]).picture))
                        mismatches[t].push_back(extensions[i] + " in round " + std::to_string(round));
                }
        });
    for (std::thread& thread : threads)
        thread.join();
    for (const auto& threadMismatches : mismatches)
        EXPECT_TRUE(threadMismatches.empty()) << ::testing::PrintToString(threadMismatches);
}

// ---------------------------------------------------------------- 32-bit BMP alpha

// The F as a program that ignores the fourth byte writes it: alpha 0 everywhere.
Picture LetterFWithAlphaZero()
{
    Picture picture = LetterF();
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        for (std::int32_t x = 0; x < picture.Width(); ++x)
            picture.Pixel(x, y) &= 0x00FF'FFFFu;
    return picture;
}

TEST(PictureFileAlpha, BmpAlphaOfZeroEverywhereMeansOpaque)
{
    // The file keeps blue under the transparent column, which loading blackens.
    Picture mixed = LetterFWithAlpha();
    for (std::int32_t y = 0; y < mixed.Height(); ++y)
        mixed.Pixel(5, y) = Blue & 0x00FF'FFFFu;
    const std::pair<std::uint32_t, std::uint32_t> headers[] = {{108, 3}, {124, 3}, {124, 0}};
    for (const auto& [headerSize, compression] : headers) {
        SCOPED_TRACE("header of " + std::to_string(headerSize) + " bytes, compression " + std::to_string(compression));
        const PictureFile unused = LoadPictureFromBytes(MakeBmp32(LetterFWithAlphaZero(), headerSize, compression));
        EXPECT_FALSE(unused.hasAlpha);
        EXPECT_TRUE(SamePixels(unused.picture, LetterF()));
        const PictureFile kept = LoadPictureFromBytes(MakeBmp32(mixed, headerSize, compression));
        EXPECT_TRUE(kept.hasAlpha);
        EXPECT_TRUE(SamePixels(kept.picture, LetterFWithAlpha()));
    }
}

TEST(PictureFileAlpha, PngAlphaOfZeroEverywhereStaysTransparent)
{
    const Picture source = LetterFWithAlphaZero();
    const QImage image(reinterpret_cast<const uchar*>(source.Row(0)), source.Width(), source.Height(), QImage::Format_ARGB32);
    const PictureFile loaded = LoadPictureFromBytes(QtEncoded(image, "PNG"));
    EXPECT_TRUE(loaded.hasAlpha);
    EXPECT_TRUE(SamePixels(loaded.picture, Picture(6, 5, 0x0000'0000u)));
}

} // namespace
} // namespace tollamere::test
