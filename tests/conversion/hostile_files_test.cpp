// SPDX-License-Identifier: MIT
// Damaged and hostile picture files: each must end in a clear error (or, for
// damage a format cannot notice, in a picture of the size it declares), never
// in a crash, a hang or an allocation the header alone asked for.

#include "format_registry.h"
#include "picture_files.h"

#include "picture_codec.h"
#include "picture_size.h"
#include "crafted_files.h"
#include "hostile_corpus.h"
#include "picture_test_support.h"
#include "runtime_error_matchers.h"

#include <cstdio>
#include <cstring>

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace tollamere::test {
namespace {

// A picture with enough detail that every format spends several blocks on it.
Picture Busy(std::int32_t width, std::int32_t height)
{
    Picture picture(width, height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            picture.Pixel(x, y) = 0xFF000000u | std::uint32_t(x * 37 ^ y * 11) << 16 | std::uint32_t(x * y * 3) << 8 | std::uint32_t(x + y * 5);
    return picture;
}

class PictureFileDamage : public ::testing::TestWithParam<std::string> {
protected:
    Bytes Encoded()
    {
        TempFolder folder;
        return EncodedAs(Busy(40, 30), false, GetParam(), folder.Path());
    }
};

TEST_P(PictureFileDamage, TruncatedFilesAreInvalidPictures)
{
    const Bytes whole = Encoded();
    ASSERT_NO_THROW(LoadPictureFromBytes(whole));
    for (double fraction : {0.02, 0.1, 0.25, 0.5, 0.75, 0.9}) {
        const auto cut = std::max<std::size_t>(1, std::size_t(double(whole.size()) * fraction));
        SCOPED_TRACE(GetParam() + " cut at " + std::to_string(cut) + " of " + std::to_string(whole.size()));
        EXPECT_RUNTIME_ERROR(LoadPictureFromBytes(Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(cut))), ErrorNumber::InvalidPicture);
    }
}

TEST_P(PictureFileDamage, FlippedBytesNeverCrash)
{
    const Bytes whole = Encoded();
    std::mt19937 random(12345);
    for (int trial = 0; trial < 300; ++trial) {
        Bytes damaged = whole;
        // Half the trials hit the headers, where a flip changes sizes and offsets.
        const std::size_t span = trial % 2 == 0 ? std::min<std::size_t>(whole.size(), 64) : whole.size();
        const std::size_t at = random() % span;
        damaged[at] = std::uint8_t(damaged[at] ^ (1u << (random() % 8)));
        try {
            const PictureFile loaded = LoadPictureFromBytes(damaged);
            EXPECT_TRUE(loaded.picture.HasBitmap()) << GetParam() << " flip at " << at;
        } catch (const RuntimeError& error) {
            EXPECT_TRUE(error.Number() == ErrorNumber::InvalidPicture || error.Number() == ErrorNumber::OutOfMemory)
                << GetParam() << " flip at " << at << ": " << error.Description();
        }
    }
}

// Every reader refuses a picture of one pixel more than its caller allows,
// telling its size, and reads it when it fits.
TEST_P(PictureFileDamage, PicturesBeyondTheCallersAllowanceAreRefusedWithTheirSize)
{
    const Bytes bytes = Encoded();
    PictureFile loaded;
    LoadPictureFromBytes(bytes, loaded, 40 * 30);
    EXPECT_EQ(loaded.picture.Width(), 40);
    try {
        LoadPictureFromBytes(bytes, loaded, 40 * 30 - 1);
        ADD_FAILURE() << "loaded beyond the allowance";
    } catch (const PictureBeyondAllowance& beyond) {
        EXPECT_EQ(beyond.Number(), ErrorNumber::OutOfMemory);
        EXPECT_EQ(beyond.Size().width, 40u);
        EXPECT_EQ(beyond.Size().height, 30u);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PictureFileDamage, ::testing::ValuesIn(Joined(WrittenExtensions(AnyFormat), OtherQtExtensions)));

TEST(PictureFileHostile, SignatureDamageIsAnInvalidPicture)
{
    TempFolder folder;
    // An icon's or cursor's directory is no signature.
    for (const std::string& extension : WrittenExtensions([](const FileFormat& format) { return !format.weakTest; })) {
        Bytes damaged = EncodedAs(LetterF(), false, extension, folder.Path());
        damaged[0] = std::uint8_t(damaged[0] ^ 0x55);
        damaged[1] = std::uint8_t(damaged[1] ^ 0x55);
        SCOPED_TRACE(extension);
        EXPECT_RUNTIME_ERROR(LoadPictureFromBytes(damaged), ErrorNumber::InvalidPicture);
    }
}

TEST(PictureFileHostile, HeadersClaimingHugePicturesAreRefusedBeforeAllocating)
{
    TempFolder folder;
    Bytes jpeg = EncodedAs(LetterF(), false, "jpg", folder.Path());
    // The frame header (SOF0) stores height then width after its length and precision.
    for (std::size_t at = 2; at + 9 < jpeg.size(); ++at)
        if (jpeg[at] == 0xFF && jpeg[at + 1] == 0xC0) {
            jpeg[at + 5] = jpeg[at + 6] = jpeg[at + 7] = jpeg[at + 8] = 0xFF;
            break;
        }
    GifLayout gif{.screenWidth = 65535, .screenHeight = 65535, .palette = {0, 0xFFFFFF}, .width = 65535, .height = 65535, .indices = {0, 1}};

    const std::pair<const char*, Bytes> hostile[] = {
        {"PNG 100000 x 100000", PngHeaderClaiming(100000, 100000)},
        {"PNG 2^31-1 x 2^31-1", PngHeaderClaiming(0x7FFF'FFFF, 0x7FFF'FFFF)},
        {"BMP 100000 x 100000", BmpHeaderClaiming(100000, 100000)},
        {"GIF 65535 x 65535", MakeGif(gif)},
        {"JPEG 65535 x 65535", jpeg},
        {"AVIF 65535 x 65535", AvifClaimingHugeSize(EncodedAs(LetterF(), false, "avif", folder.Path()))},
        {"JPEG XL 2^30 x 2^30", JxlHeaderClaiming(1u << 30, 1u << 30)},
        {"JPEG XL 100000 x 100000", JxlHeaderClaiming(100000, 100000)},
    };
    // How soon they are refused, bench_picture_files times.
    for (const auto& [name, bytes] : hostile) {
        try {
            LoadPictureFromBytes(bytes);
            ADD_FAILURE() << name << " was loaded";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.Number(), ErrorNumber::OutOfMemory) << name << ": " << error.Description();
            EXPECT_NE(error.Description().find("512 MiB"), std::string::npos) << error.Description();
        }
    }
}

// A header that says less than the file holds: the AVIF's frame is limited in
// the AV1 decoder by its own sequence header, not the container's size; the
// icon is sized by its entries' data, not its directory.
TEST(PictureFileHostile, PicturesLargerThanTheirHeadersSayAreRefusedBeyondTheAllowance)
{
    const struct {
        const char* name;
        Bytes bytes;
        PictureSize probed;
        std::int32_t loadedWidth;
    } rows[] = {
        {"AVIF", AvifLargerThanDeclared(), {8, 8}, 8},  // libavif scales the frame to the declared size
        {"icon", IconLargerThanDeclared(), {96, 80}, 96},
    };
    for (const auto& [name, bytes, probed, loadedWidth] : rows) {
        const std::optional<PictureSize> size = ProbePictureSize(bytes);
        ASSERT_TRUE(size) << name;
        EXPECT_EQ(size->width * size->height, probed.width * probed.height) << name;
        PictureFile loaded;
        try {
            LoadPictureFromBytes(bytes, loaded, 8 * 8);
            ADD_FAILURE() << name << " was loaded";
        } catch (const PictureBeyondAllowance& beyond) {
            EXPECT_EQ(beyond.Size().width, 96u) << name;
            EXPECT_EQ(beyond.Size().height, 80u) << name;
        }
        LoadPictureFromBytes(bytes, loaded, 96 * 80);
        EXPECT_EQ(loaded.picture.Width(), loadedWidth) << name;
    }
}

TEST(PictureFileHostile, TheLimitLiesBetween11585And11586Squared)
{
    // 11585 x 11585 x 4 bytes is just under 512 MiB: the header is accepted
    // and the missing pixel data is what fails. One pixel more each way is refused.
    EXPECT_RUNTIME_ERROR(LoadPictureFromBytes(PngHeaderClaiming(11585, 11585)), ErrorNumber::InvalidPicture);
    EXPECT_RUNTIME_ERROR(LoadPictureFromBytes(PngHeaderClaiming(11586, 11586)), ErrorNumber::OutOfMemory);
}

// Random bytes behind a signature may read as any size: beyond the limit
// they are refused as such, within it as data that does not decode.
TEST(PictureFileHostile, GarbageAfterASignatureIsRefused)
{
    std::mt19937 random(99);
    const Bytes signatures[] = {
        {0xFF, 0xD8, 0xFF, 0xE0},
        {'G', 'I', 'F', '8', '9', 'a'},
        {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'},
        {'B', 'M'},
        {'I', 'I', 42, 0},
        {'R', 'I', 'F', 'F', 0x40, 0, 0, 0, 'W', 'E', 'B', 'P'},
        {0, 0, 0, 0x14, 'f', 't', 'y', 'p', 'a', 'v', 'i', 'f', 0, 0, 0, 0, 'm', 'i', 'f', '1'},
        {0xFF, 0x0A},
        {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A},
    };
    for (const Bytes& signature : signatures)
        for (int trial = 0; trial < 20; ++trial) {
            Bytes bytes = signature;
            for (int i = 0; i < 200; ++i)
                bytes.push_back(std::uint8_t(random()));
            try {
                LoadPictureFromBytes(bytes);
                ADD_FAILURE() << "garbage after signature byte " << int(signature[0]) << " was loaded";
            } catch (const RuntimeError& error) {
                EXPECT_TRUE(error.Number() == ErrorNumber::InvalidPicture || error.Number() == ErrorNumber::OutOfMemory) << error.Description();
            }
        }
}

TEST(PictureFileHostile, GifWithoutColourTableOrImageIsInvalid)
{
    GifLayout layout{.screenWidth = 2, .screenHeight = 1, .palette = {0xFF0000, 0x0000FF}, .width = 2, .height = 1, .indices = {0, 1}};
    Bytes noTable = MakeGif(layout);
    noTable[10] = 0x00;  // no global table; the table's bytes now read as records
    EXPECT_RUNTIME_ERROR(LoadPictureFromBytes(noTable), ErrorNumber::InvalidPicture);
    const Bytes noImage{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255, 0x3B};
    EXPECT_RUNTIME_ERROR(LoadPictureFromBytes(noImage), ErrorNumber::InvalidPicture);
    layout.width = 0;
    layout.indices.clear();
    EXPECT_RUNTIME_ERROR(LoadPictureFromBytes(MakeGif(layout)), ErrorNumber::InvalidPicture);
}

TEST(PictureFileHostile, BmpMustHoldThePixelsItsHeaderDeclares)
{
    TempFolder folder;
    const Bytes bottomUp = EncodedAs(LetterF(), false, "bmp", folder.Path());
    // The same picture stored top row first, as a negative height says.
    Bytes topDown(bottomUp.begin(), bottomUp.begin() + 54);
    const std::int32_t negative = -5;
    std::memcpy(&topDown[22], &negative, 4);
    for (int row = 4; row >= 0; --row)
        topDown.insert(topDown.end(), bottomUp.begin() + 54 + row * 20, bottomUp.begin() + 54 + (row + 1) * 20);
    EXPECT_TRUE(SamePixels(LoadPictureFromBytes(topDown).picture, LetterF()));
    EXPECT_RUNTIME_ERROR(LoadPictureFromBytes(Bytes(topDown.begin(), topDown.end() - 1)), ErrorNumber::InvalidPicture);

    // 4 x 2 pixels in 8-bit run-length coding: a run of blue, end of line, a
    // run of red, end of bitmap.
    Bytes rle{'B', 'M'};
    PutLittle32(rle, 0);
    PutLittle32(rle, 0);
    PutLittle32(rle, 14 + 40 + 8);
    PutLittle32(rle, 40);
    PutLittle32(rle, 4);
    PutLittle32(rle, 2);
    PutLittle16(rle, 1);
    PutLittle16(rle, 8);
    PutLittle32(rle, 1);
    PutLittle32(rle, 8);
    for (std::uint32_t field : {0u, 0u, 2u, 0u})
        PutLittle32(rle, field);
    rle.insert(rle.end(), {0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00});  // blue, red (BGRX)
    rle.insert(rle.end(), {4, 0, 0, 0, 4, 1, 0, 1});
    const Picture picture = LoadPictureFromBytes(rle).picture;
    EXPECT_EQ(picture.Pixel(0, 0), Red) << "bottom-up: the second run is the top row";
    EXPECT_EQ(picture.Pixel(3, 1), Blue);
    EXPECT_RUNTIME_ERROR(LoadPictureFromBytes(Bytes(rle.begin(), rle.end() - 2)), ErrorNumber::InvalidPicture);
}

TEST(PictureFileHostile, JpegWarningsRefuseDamagedScansButNotOddMetadata)
{
    TempFolder folder;
    const Bytes jpeg = EncodedAs(Busy(64, 48), false, "jpg", folder.Path());
    // The scan cut short and closed with an end-of-image marker: the
    // structure is whole, the pixels are not.
    Bytes shortScan(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(jpeg.size() * 3 / 4));
    shortScan.insert(shortScan.end(), {0xFF, 0xD9});
    EXPECT_RUNTIME_ERROR(LoadPictureFromBytes(shortScan), ErrorNumber::InvalidPicture);

    // A JFIF header of an unknown major revision only draws a warning.
    Bytes revision = jpeg;
    ASSERT_EQ(std::string(revision.begin() + 6, revision.begin() + 10), "JFIF");
    revision[11] = 2;
    const Picture loaded = LoadPictureFromBytes(revision).picture;
    EXPECT_LE(MaxColourError(loaded, Busy(64, 48)), 8);
}

// ---------------------------------------------------------------- PNG chunk lengths

TEST(PictureFileHostile, PngImageDataAndSmallMetadataAreNotCapped)
{
    const Bytes title{'T', 'i', 't', 'l', 'e', 0, 'T', 'h', 'e', ' ', 'F'};
    const Bytes letter = MakeRgbPng(LetterF(), {{"tEXt", title}});
    EXPECT_TRUE(SamePixels(LoadPictureFromBytes(letter).picture, LetterF()));
    EXPECT_TRUE(SamePixels(LoadPictureFromBytes(IconHoldingPng(letter, 6, 5)).picture, LetterF()));

    // Stored uncompressed, 1800 x 1600 pixels make an IDAT of 8.6 MB; the
    // frames of an animated PNG (fdAT) are skipped unread, whatever their size.
    const Picture large = Gradient(1800, 1600);
    const Bytes png = MakeRgbPng(large, {{"fdAT", Bytes(9u << 20, 0x55)}});
    ASSERT_GT(png.size(), (9u << 20) + (8u << 20));
    EXPECT_TRUE(SamePixels(LoadPictureFromBytes(png).picture, large));
}

// Walked once, the icon is refused at once; walked per entry, it would take
// 1.6 billion steps (bench_picture_files times it).
TEST(PictureFileHostile, IconEntriesSharingTheirChunksAreWalkedOnce)
{
    EXPECT_RUNTIME_ERROR(LoadPictureFromBytes(IconOfEntriesSharingChunks()), ErrorNumber::InvalidPicture);
}

#if defined(__linux__) && GTEST_HAS_DEATH_TEST

// What loading gives: "loaded", or the error's number and reason.
std::string LoadOutcome(const Bytes& bytes)
{
    try {
        LoadPictureFromBytes(bytes);
        return "loaded";
    } catch (const RuntimeError& error) {
        return std::to_string(int(error.Number())) + " " + ReasonOf(error);
    }
}

// Runs in a child process whose address space is held to what it already
// uses plus 512 MiB: no chunk of gigabytes could be read there, and a load
// that tried would fail with libpng's reason instead of the cap's.
int RefuseMetadataClaimsUnderAddressLimit()
{
    const Bytes letter = MakeRgbPng(LetterF());
    LoadPictureFromBytes(letter);  // Qt loads its readers before the limit is taken
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit addressSpace{};
    getrlimit(RLIMIT_AS, &addressSpace);
    addressSpace.rlim_cur = std::min(addressSpace.rlim_max, rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t{512} << 20));
    setrlimit(RLIMIT_AS, &addressSpace);

    // The chunks libpng reads whole into memory, the cap's first byte, and a
    // PNG inside an icon, which Qt reads with the same PNG reader.
    const struct {
        const char* type;
        std::uint32_t length;
        bool inIcon;
    } claims[] = {
        {"tEXt", 0x7FFF'FFFF, false}, {"zTXt", 0x7FFF'FFFF, false}, {"iTXt", 0x7FFF'FFFF, false}, {"sPLT", 0x7FFF'FFFF, false},
        {"pCAL", 0x7FFF'FFFF, false}, {"tEXt", (8u << 20) + 1, false}, {"zTXt", 0x7FFF'FFFF, true},
    };
    int failures = 0;
    for (const auto& [type, length, inIcon] : claims) {
        const Bytes png = PngWithChunkClaiming(type, length);
        const std::string expected = std::string("481 the PNG's ") + type + " chunk declares " + std::to_string(length)
                                     + " bytes, beyond the 8 MiB a picture's metadata may take";
        if (const std::string outcome = LoadOutcome(inIcon ? IconHoldingPng(png, 1, 1) : png); outcome != expected) {
            std::fprintf(stderr, "%s of %u bytes%s: %s\n", type, length, inIcon ? " in an icon" : "", outcome.c_str());
            ++failures;
        }
    }
    if (const std::string outcome = LoadOutcome(letter); outcome != "loaded") {
        std::fprintf(stderr, "a small PNG under the limit: %s\n", outcome.c_str());
        ++failures;
    }
    return failures;
}

TEST(PictureFileHostile, PngMetadataClaimingGigabytesIsRefusedBeforeAllocating)
{
#if defined(TOLLAMERE_SANITIZER_MAPS_MEMORY)
    GTEST_SKIP() << "this sanitizer maps shadow memory as the process runs, so a limit on the address space would fail it rather than "
                    "a large allocation";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, not a fork of one that may hold Qt's locks
    EXPECT_EXIT(std::_Exit(RefuseMetadataClaimsUnderAddressLimit()), ::testing::ExitedWithCode(0), "");
}

#endif

} // namespace
} // namespace tollamere::test
