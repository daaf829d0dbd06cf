// SPDX-License-Identifier: MIT
// AVIF and JPEG XL: exact lossless round trips, what a quality does, colour
// profiles, and the files of other depths and of grey that other writers make.
#include "avif_codec.h"
#include "jxl_codec.h"
#include "picture_files.h"

#include "crafted_files.h"
#include "runtime_error_matchers.h"

#include <QColorSpace>

#include <avif/avif.h>
#include <jxl/encode.h>
#include <jxl/encode_cxx.h>

#include <cstring>
#include <functional>
#include <memory>
#include <optional>

namespace tollamere::test {
namespace {

std::vector<std::uint8_t> ProfileOf(const QColorSpace& space)
{
    const QByteArray profile = space.iccProfile();
    return std::vector<std::uint8_t>(profile.begin(), profile.end());
}

std::vector<std::uint8_t> DisplayP3Profile()
{
    return ProfileOf(QColorSpace(QColorSpace::DisplayP3));
}

SaveSettings AtQuality(int quality)
{
    SaveSettings settings;
    settings.quality = quality;
    return settings;
}

// Mid-tone colour fields with grain, as in a photograph: lossless coding must
// keep the grain, lossy coding may smooth it away.
Picture PhotoLike(std::int32_t width, std::int32_t height)
{
    std::minstd_rand grain(5);
    Picture picture(width, height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            const auto noise = int(grain() % 9) - 4;
            const auto channel = [noise](int base) { return std::uint32_t(base + noise); };
            picture.Pixel(x, y) = 0xFF000000u | channel(90 + x * 80 / width) << 16 | channel(70 + y * 100 / height) << 8
                                  | channel(150 - (x + y) * 60 / (width + height));
        }
    return picture;
}

Bytes Saved(const Picture& picture, bool hasAlpha, const std::filesystem::path& path, const SaveSettings& settings)
{
    SavePictureFile(picture, hasAlpha, path, settings);
    return ReadBytes(path);
}

class AvifAndJxl : public ::testing::TestWithParam<std::string> {
protected:
    std::filesystem::path PathFor(const std::string& name) const { return folder_ / (name + "." + GetParam()); }

private:
    TempFolder folder_;
};

TEST_P(AvifAndJxl, LosslessKeepsEveryPixelWithAndWithoutAlpha)
{
    for (const bool withAlpha : {false, true}) {
        SCOPED_TRACE(withAlpha ? "with alpha" : "opaque");
        const Picture original = withAlpha ? LetterFWithAlpha() : LetterF();
        SavePictureFile(original, withAlpha, PathFor("f"));
        const PictureFile loaded = LoadPictureFile(PathFor("f"));
        EXPECT_EQ(loaded.hasAlpha, withAlpha);
        EXPECT_TRUE(SamePixels(loaded.picture, original));
        EXPECT_TRUE(loaded.metadata.iccProfile.empty()) << "sRGB is declared, no profile made up for it";
    }
}

TEST_P(AvifAndJxl, LowerQualitiesGiveSmallerFilesThatStayClose)
{
    const Picture photo = PhotoLike(96, 64);
    const std::size_t lossless = Saved(photo, false, PathFor("lossless"), {}).size();
    std::size_t larger = lossless;
    for (const int quality : {90, 40}) {
        SCOPED_TRACE("quality " + std::to_string(quality));
        const std::size_t size = Saved(photo, false, PathFor("lossy"), AtQuality(quality)).size();
        EXPECT_LT(size, larger);
        larger = size;
        const Picture loaded = LoadPictureFile(PathFor("lossy")).picture;
        EXPECT_LT(MeanColourError(loaded, photo), quality >= 90 ? 3.0 : 5.0);
        EXPECT_LE(MaxColourError(loaded, photo), quality >= 90 ? 16 : 32);
    }
}

TEST_P(AvifAndJxl, AnEmbeddedProfileSurvivesTheLosslessRoundTrip)
{
    SaveSettings settings;
    settings.metadata.iccProfile = DisplayP3Profile();
    ASSERT_FALSE(settings.metadata.iccProfile.empty());
    SavePictureFile(LetterFWithAlpha(), true, PathFor("p3"), settings);
    const PictureFile loaded = LoadPictureFile(PathFor("p3"));
    EXPECT_EQ(loaded.metadata.iccProfile, settings.metadata.iccProfile);
    EXPECT_TRUE(SamePixels(loaded.picture, LetterFWithAlpha())) << "the colours are stored in the profile's space as they are";
}

INSTANTIATE_TEST_SUITE_P(Formats, AvifAndJxl, ::testing::Values("avif", "jxl"));

QColorSpace::Primaries PrimariesOf(const std::vector<std::uint8_t>& profile)
{
    return QColorSpace::fromIccProfile(QByteArray(reinterpret_cast<const char*>(profile.data()), qsizetype(profile.size()))).primaries();
}

// A lossy AVIF keeps its colours in the profile's space, and the profile. A
// lossy JPEG XL holds them as XYB: a space libjxl can name (Display P3) is
// read back in that space, with libjxl's profile of it; under a profile it
// cannot name (a transfer curve given as a table) they are read as sRGB, to
// which the profile no longer applies.
TEST(AvifAndJxlProfiles, LossyFilesCarryAProfileOnlyOfTheColoursTheyGiveBack)
{
    TempFolder folder;
    SaveSettings p3 = AtQuality(80);
    p3.metadata.iccProfile = DisplayP3Profile();
    SaveSettings tabulated = AtQuality(80);
    tabulated.metadata.iccProfile = ProfileOf(QColorSpace(QColorSpace::Primaries::AdobeRgb, QList<std::uint16_t>{0, 9000, 24000, 43000, 65535}));
    ASSERT_FALSE(tabulated.metadata.iccProfile.empty());
    SavePictureFile(PhotoLike(16, 12), false, folder / "p3.avif", p3);
    SavePictureFile(PhotoLike(16, 12), false, folder / "p3.jxl", p3);
    SavePictureFile(PhotoLike(16, 12), false, folder / "tabulated.jxl", tabulated);

    EXPECT_EQ(LoadPictureFile(folder / "p3.avif").metadata.iccProfile, p3.metadata.iccProfile);
    EXPECT_EQ(PrimariesOf(LoadPictureFile(folder / "p3.jxl").metadata.iccProfile), QColorSpace::Primaries::DciP3D65);
    EXPECT_TRUE(LoadPictureFile(folder / "tabulated.jxl").metadata.iccProfile.empty());
}

// ---------------------------------------------------------------- files other writers make

struct AvifDestroyer {
    void operator()(avifImage* image) const noexcept { avifImageDestroy(image); }
    void operator()(avifEncoder* encoder) const noexcept { avifEncoderDestroy(encoder); }
};

std::uint32_t Scaled(std::uint32_t value8, std::uint32_t depth)
{
    const std::uint32_t maximum = (1u << depth) - 1;
    return (value8 * maximum + 127) / 255;
}

// A lossless AVIF of the picture's colours (or of its green as grey) at the
// depth given, as libavif writes it for a caller that has deeper samples;
// `adjust` sets what else the file says.
Bytes AvifOfDepth(const Picture& picture, std::uint32_t depth, bool grey, const std::function<void(avifImage&)>& adjust = [](avifImage&) {})
{
    const std::unique_ptr<avifImage, AvifDestroyer> image(avifImageCreate(std::uint32_t(picture.Width()), std::uint32_t(picture.Height()), depth,
                                                                          grey ? AVIF_PIXEL_FORMAT_YUV400 : AVIF_PIXEL_FORMAT_YUV444));
    image->yuvRange = AVIF_RANGE_FULL;
    image->matrixCoefficients = grey ? AVIF_MATRIX_COEFFICIENTS_BT601 : AVIF_MATRIX_COEFFICIENTS_IDENTITY;
    adjust(*image);
    EXPECT_EQ(avifImageAllocatePlanes(image.get(), AVIF_PLANES_YUV), AVIF_RESULT_OK);
    const int planes = grey ? 1 : 3;
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        for (std::int32_t x = 0; x < picture.Width(); ++x) {
            // With the identity matrix the planes hold green, blue and red.
            const std::uint32_t pixel = picture.Pixel(x, y);
            const std::uint32_t values[3] = {pixel >> 8 & 0xFF, pixel & 0xFF, pixel >> 16 & 0xFF};
            for (int plane = 0; plane < planes; ++plane) {
                std::uint8_t* row = image->yuvPlanes[plane] + std::size_t(y) * image->yuvRowBytes[plane];
                const std::uint32_t value = Scaled(values[plane], depth);
                if (depth > 8)
                    reinterpret_cast<std::uint16_t*>(row)[x] = std::uint16_t(value);
                else
                    row[x] = std::uint8_t(value);
            }
        }
    const std::unique_ptr<avifEncoder, AvifDestroyer> encoder(avifEncoderCreate());
    encoder->speed = AVIF_SPEED_FASTEST;
    encoder->minQuantizer = encoder->maxQuantizer = AVIF_QUANTIZER_LOSSLESS;
    avifRWData output = AVIF_DATA_EMPTY;
    EXPECT_EQ(avifEncoderWrite(encoder.get(), image.get(), &output), AVIF_RESULT_OK);
    Bytes bytes(output.data, output.data + output.size);
    avifRWDataFree(&output);
    return bytes;
}

// A lossless JPEG XL of the picture's colours (or of its green as grey) in
// 16-bit or 8-bit samples, in the colour encoding given.
Bytes JxlOfDepth(const Picture& picture, std::uint32_t depth, bool grey, const JxlColorEncoding& colour)
{
    const JxlEncoderPtr encoder = JxlEncoderMake(nullptr);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = std::uint32_t(picture.Width());
    info.ysize = std::uint32_t(picture.Height());
    info.bits_per_sample = depth;
    info.num_color_channels = grey ? 1 : 3;
    info.uses_original_profile = JXL_TRUE;
    EXPECT_EQ(JxlEncoderSetBasicInfo(encoder.get(), &info), JXL_ENC_SUCCESS);
    EXPECT_EQ(JxlEncoderSetColorEncoding(encoder.get(), &colour), JXL_ENC_SUCCESS);
    JxlEncoderFrameSettings* frame = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    EXPECT_EQ(JxlEncoderSetFrameLossless(frame, JXL_TRUE), JXL_ENC_SUCCESS);

    std::vector<std::uint16_t> samples;
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        for (std::int32_t x = 0; x < picture.Width(); ++x)
            for (const int shift : grey ? std::vector<int>{8} : std::vector<int>{16, 8, 0})
                samples.push_back(std::uint16_t(Scaled(picture.Pixel(x, y) >> shift & 0xFF, depth)));
    std::vector<std::uint8_t> narrow(samples.begin(), samples.end());
    const JxlPixelFormat format{grey ? 1u : 3u, depth > 8 ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    const void* data = depth > 8 ? static_cast<const void*>(samples.data()) : narrow.data();
    EXPECT_EQ(JxlEncoderAddImageFrame(frame, &format, data, samples.size() * (depth > 8 ? 2 : 1)), JXL_ENC_SUCCESS);
    JxlEncoderCloseInput(encoder.get());
    Bytes bytes(4096);
    std::uint8_t* next = bytes.data();
    std::size_t available = bytes.size();
    EXPECT_EQ(JxlEncoderProcessOutput(encoder.get(), &next, &available), JXL_ENC_SUCCESS);
    bytes.resize(bytes.size() - available);
    return bytes;
}

JxlColorEncoding Srgb(bool grey)
{
    JxlColorEncoding colour{};
    JxlColorEncodingSetToSRGB(&colour, grey ? JXL_TRUE : JXL_FALSE);
    return colour;
}

Picture AsGrey(const Picture& picture)
{
    Picture grey = picture;
    for (std::int32_t y = 0; y < grey.Height(); ++y)
        for (std::int32_t x = 0; x < grey.Width(); ++x)
            grey.Pixel(x, y) = 0xFF000000u | (grey.Pixel(x, y) >> 8 & 0xFF) * 0x010101u;
    return grey;
}

TEST(AvifAndJxlOtherWriters, DeepAndGreyFilesComeOutAsEightBitColour)
{
    const Picture colours = Gradient(9, 7);
    const struct {
        const char* name;
        Bytes bytes;
        Picture expected;
    } files[] = {
        {"AVIF, 10 bits", AvifOfDepth(colours, 10, false), colours},
        {"AVIF, 12 bits", AvifOfDepth(colours, 12, false), colours},
        {"AVIF, grey", AvifOfDepth(colours, 8, true), AsGrey(colours)},
        {"AVIF, grey in 10 bits", AvifOfDepth(colours, 10, true), AsGrey(colours)},
        {"AVIF, grey under a grey profile", AvifOfDepth(colours, 8, true, [](avifImage& image) {
             const Bytes grey = IccProfileOf("GRAY");
             avifImageSetProfileICC(&image, grey.data(), grey.size());
         }), AsGrey(colours)},
        {"JPEG XL, 16 bits", JxlOfDepth(colours, 16, false, Srgb(false)), colours},
        {"JPEG XL, grey", JxlOfDepth(colours, 8, true, Srgb(true)), AsGrey(colours)},
        {"JPEG XL, grey in 16 bits", JxlOfDepth(colours, 16, true, Srgb(true)), AsGrey(colours)},
    };
    for (const auto& [name, bytes, expected] : files) {
        SCOPED_TRACE(name);
        const PictureFile loaded = LoadPictureFromBytes(bytes);
        EXPECT_FALSE(loaded.hasAlpha);
        EXPECT_TRUE(loaded.metadata.iccProfile.empty()) << "none, or one that cannot describe RGB";
        EXPECT_TRUE(SamePixels(loaded.picture, expected));
    }
}

// Red where a row says '#', blue elsewhere.
Picture RedOnBlue(const std::vector<std::string_view>& rows)
{
    Picture picture(std::int32_t(rows.front().size()), std::int32_t(rows.size()), Blue);
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        for (std::int32_t x = 0; x < picture.Width(); ++x)
            if (rows[std::size_t(y)][std::size_t(x)] == '#')
                picture.Pixel(x, y) = Red;
    return picture;
}

// The outputs carry no rotation or mirroring, so both are applied on reading:
// rotation (in quarters anticlockwise) first, then mirroring.
TEST(AvifAndJxlOtherWriters, AvifRotationAndMirroringAreApplied)
{
    const auto turned = [](std::uint8_t quarters, std::optional<std::uint8_t> mirror) {
        return AvifOfDepth(LetterF(), 8, false, [=](avifImage& image) {
            image.transformFlags |= AVIF_TRANSFORM_IROT;
            image.irot.angle = quarters;
            if (mirror) {
                image.transformFlags |= AVIF_TRANSFORM_IMIR;
                image.imir.mode = *mirror;
            }
        });
    };
    const struct {
        const char* name;
        Bytes bytes;
        Picture expected;
    } files[] = {
        {"a quarter", turned(1, std::nullopt), RedOnBlue({".....", "#....", "#.#..", "#.#..", "#.#..", "#####"})},
        {"half", turned(2, std::nullopt), RedOnBlue({".....#", ".....#", "..####", ".....#", ".#####"})},
        {"left and right", turned(0, 1), RedOnBlue({".#####", ".....#", "..####", ".....#", ".....#"})},
        {"top and bottom", turned(0, 0), RedOnBlue({"#.....", "#.....", "####..", "#.....", "#####."})},
        {"a quarter, then top and bottom", turned(1, 0), RedOnBlue({"#####", "#.#..", "#.#..", "#.#..", "#....", "....."})},
    };
    for (const auto& [name, bytes, expected] : files)
        EXPECT_TRUE(SamePixels(LoadPictureFromBytes(bytes).picture, expected)) << name;
}

// A file that names a colour space other than sRGB, without a profile of its
// own, is read with the profile libjxl describes that space with.
TEST(AvifAndJxlOtherWriters, JxlNamingDisplayP3GetsAProfileOfIt)
{
    JxlColorEncoding p3 = Srgb(false);
    p3.primaries = JXL_PRIMARIES_P3;
    const PictureFile loaded = LoadPictureFromBytes(JxlOfDepth(LetterF(), 8, false, p3));
    EXPECT_TRUE(SamePixels(loaded.picture, LetterF()));
    const std::vector<std::uint8_t>& profile = loaded.metadata.iccProfile;
    ASSERT_GE(profile.size(), 20u);
    EXPECT_EQ(std::string(profile.begin() + 16, profile.begin() + 20), "RGB ");
    EXPECT_EQ(PrimariesOf(profile), QColorSpace::Primaries::DciP3D65);
}

// The file-type box may name AVIF among its compatible brands only; an HEIF
// of other brands is no AVIF and not read.
TEST(AvifAndJxlOtherWriters, AvifIsKnownByAnyOfItsBrands)
{
    TempFolder folder;
    Bytes avif = EncodedAs(LetterF(), false, "avif", folder.Path());
    ASSERT_EQ(std::string(avif.begin() + 8, avif.begin() + 12), "avif");
    std::memcpy(&avif[8], "mif1", 4);
    ASSERT_EQ(FormatOfContent(avif), FormatOfExtension("avif")) << "avif among the compatible brands";
    EXPECT_TRUE(SamePixels(LoadPictureFromBytes(avif).picture, LetterF()));

    const std::size_t boxSize = avif[3];
    for (std::size_t at = 16; at + 4 <= boxSize; at += 4)
        if (std::memcmp(&avif[at], "avif", 4) == 0)
            std::memcpy(&avif[at], "heic", 4);
    EXPECT_EQ(FormatOfContent(avif), nullptr);
    EXPECT_RUNTIME_ERROR(LoadPictureFromBytes(avif), ErrorNumber::InvalidPicture);
}

} // namespace
} // namespace tollamere::test
