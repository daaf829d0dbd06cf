// SPDX-License-Identifier: MIT
// SVG drawings: rendered by the helper at the size asked for, with their
// text and straight alpha; refused with a reason; hostile drawings ended
// within their limits, reading nothing outside them.
#include "conversion_run.h"
#include "format_registry.h"
#include "helper_process.h"
#include "hostile_corpus.h"
#include "path_text.h"
#include "picture_files.h"
#include "picture_test_support.h"
#include "runtime_error.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <optional>

namespace tollamere {
namespace {

using test::Bytes;

// Builds with these sanitizers cannot limit the renderer's address space,
// so a drawing that takes too much memory runs into its processor time.
#if defined(TOLLAMERE_SANITIZER_MAPS_MEMORY)
constexpr bool MemoryIsLimited = false;
#else
constexpr bool MemoryIsLimited = true;
#endif

const std::string Svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" ";

Bytes BytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

std::string Base64(const std::string& text)
{
    return QByteArray(text.data(), qsizetype(text.size())).toBase64().toStdString();
}

// A drawing held in place in an outer one of the same size.
std::string Nested(const std::string& inner, int side)
{
    const std::string size = "width=\"" + std::to_string(side) + "\" height=\"" + std::to_string(side) + "\"";
    return Svg + size + "><image " + size + " xlink:href=\"data:image/svg+xml;base64," + Base64(inner) + "\"/></svg>";
}

PictureFile Rendered(const Bytes& bytes, double factor = 1, std::uint64_t maxPixels = MaxPicturePixels)
{
    PictureFile into;
    RenderDrawingBytes(bytes, into, maxPixels, factor);
    return into;
}

std::optional<RuntimeError> FailureOf(const std::function<void()>& work)
{
    try {
        work();
    } catch (const RuntimeError& error) {
        return error;
    }
    return std::nullopt;
}

std::size_t CountPixels(const Picture& picture, const std::function<bool(std::uint32_t)>& test)
{
    std::size_t count = 0;
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        for (std::int32_t x = 0; x < picture.Width(); ++x)
            count += test(picture.Pixel(x, y)) ? 1 : 0;
    return count;
}

bool IsRed(std::uint32_t pixel)
{
    return (pixel >> 24) > 0 && ((pixel >> 16) & 0xFF) > 200 && ((pixel >> 8) & 0xFF) < 60 && (pixel & 0xFF) < 60;
}

TEST(Drawing, TheLetterFIsReadAtItsSizeWithStraightAlpha)
{
    const PictureFile file = LoadPictureFromBytes(BytesOf(
        Svg + "width=\"6\" height=\"5\"><rect x=\"1\" width=\"1\" height=\"5\" fill=\"#ff0000\"/>"
              "<rect x=\"2\" width=\"3\" height=\"1\" fill=\"#ff0000\"/>"
              "<rect x=\"2\" y=\"2\" width=\"2\" height=\"1\" fill=\"#0000ff\" fill-opacity=\"0.5\"/></svg>"));
    ASSERT_EQ(file.picture.Width(), 6);
    ASSERT_EQ(file.picture.Height(), 5);
    EXPECT_TRUE(file.hasAlpha);
    EXPECT_EQ(file.picture.Pixel(1, 4), 0xFFFF0000u) << "the stem, to its foot";
    EXPECT_EQ(file.picture.Pixel(4, 0), 0xFFFF0000u) << "the top bar, to its end";
    EXPECT_EQ(file.picture.Pixel(5, 0), 0u) << "a see-through pixel keeps no colour";
    EXPECT_EQ(file.picture.Pixel(4, 4), 0u);
    const std::uint32_t half = file.picture.Pixel(3, 2);
    EXPECT_NEAR(int(half >> 24), 128, 1) << std::hex << half;
    EXPECT_EQ(half & 0x00FFFFFFu, 0x0000FFu) << "not premultiplied: " << std::hex << half;
}

TEST(Drawing, ItsSidesTimesTheFactorAreRoundedNeverSquashed)
{
    struct Row {
        const char* size;
        double factor;
        std::int32_t width, height;
    };
    const Row rows[] = {
        {"width=\"16.000002\" height=\"16\" viewBox=\"0 0 16 16\"", 16, 256, 256},
        {"width=\"10.4\" height=\"10.6\" viewBox=\"0 0 10 10\"", 1, 10, 11},
        {"viewBox=\"0 0 40 30\"", 2, 80, 60},
        {"width=\"20\" viewBox=\"0 0 10 5\"", 1, 20, 10},
        {"width=\"1in\" height=\"36pt\" viewBox=\"0 0 10 5\"", 0.5, 48, 24},
        // 36.15 pixels high, rounded to 36: the drawing is scaled to fill them.
        {"width=\"2719\" height=\"384\"", 256.0 / 2719, 256, 36},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.size);
        // The drawing's box filled: every pixel of the output covered, its
        // edges too.
        const PictureFile file = Rendered(
            BytesOf(Svg + row.size + "><rect x=\"-1\" y=\"-1\" width=\"99999\" height=\"99999\" fill=\"#ff0000\"/></svg>"), row.factor);
        ASSERT_EQ(file.picture.Width(), row.width);
        ASSERT_EQ(file.picture.Height(), row.height);
        EXPECT_EQ(CountPixels(file.picture, [](std::uint32_t pixel) { return pixel == 0xFFFF0000u; }),
                  std::size_t(row.width) * std::size_t(row.height));
    }
}

TEST(Drawing, TextIsDrawnWithTheSystemsFonts)
{
    const std::string text = Svg + "width=\"60\" height=\"30\"><text x=\"2\" y=\"24\" font-size=\"24\" fill=\"#ff0000\">Hi</text></svg>";
    for (const std::string& drawing : {text, Nested(text, 60)}) {
        const PictureFile file = Rendered(BytesOf(drawing));
        EXPECT_GT(CountPixels(file.picture, IsRed), 30u) << drawing.substr(0, 120);
    }
}

TEST(Drawing, RefusalsSayWhy)
{
    const Bytes zipped = test::Gzipped(BytesOf(Svg + "width=\"9\" height=\"9\"/>"));
    Bytes badSum = zipped;
    badSum[badSum.size() - 6] ^= 0x5A;  // in the CRC of the trailer
    const Bytes cut(zipped.begin(), zipped.end() - 12);
    std::string crowded = Svg + "width=\"9\" height=\"9\"><rect";
    for (int i = 0; i < 1001; ++i)
        crowded += " data-n" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    std::string fanOut = Svg + "width=\"9\" height=\"9\"><defs><rect id=\"a0\" width=\"1\" height=\"1\"/>";
    for (int level = 1; level <= 2; ++level) {
        fanOut += "<g id=\"a" + std::to_string(level) + "\">";
        for (int i = 0; i < 1000; ++i)
            fanOut += "<use xlink:href=\"#a" + std::to_string(level - 1) + "\"/>";
        fanOut += "</g>";
    }
    fanOut += "</defs><use xlink:href=\"#a2\"/></svg>";
    struct Row {
        const char* what;
        Bytes bytes;
        const char* reason;
    };
    const Row rows[] = {
        {"no size", BytesOf("<svg xmlns=\"http://www.w3.org/2000/svg\"><rect width=\"5\" height=\"5\"/></svg>"),
         "states no width and height, nor a viewBox"},
        {"a wrong check sum", badSum, "the compressed drawing is damaged"},
        {"compressed twice", test::Gzipped(zipped), "the drawing is compressed twice"},
        {"cut short", cut, "the compressed drawing is cut short"},
        {"crowded attributes", BytesOf(crowded + "/></svg>"), "more than 1000 attributes"},
        {"a style sheet", BytesOf("<?xml-stylesheet type=\"text/css\" href=\"a.css\"?>" + Svg + "width=\"9\" height=\"9\"/>"),
         "names a style sheet outside it"},
        {"beyond the renderer's sides", BytesOf(Svg + "width=\"40000\" height=\"1\"/>"), "its renderer draws at most 32767 a side"},
        {"references the renderer refuses", BytesOf(fanOut), "the renderer refused the drawing: "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(FormatOfContent(row.bytes), FormatOfContent(zipped)) << "read as a drawing";
        const std::optional<RuntimeError> failure = FailureOf([&] { LoadPictureFromBytes(row.bytes); });
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->Number(), ErrorNumber::InvalidPicture);
        EXPECT_NE(failure->Description().find(row.reason), std::string::npos) << failure->Description();
    }
}

// The rows of the hostile round on drawings, small: each ends in a picture
// or a refusal, within the limits an item of a small budget gets.
TEST(Drawing, HostileDrawingsEndWithinTheirLimitsAndReadNothingOutside)
{
    const test::TempFolder sandbox;
    const std::string red = (sandbox / "red.png").string();
    test::WriteBytes(red, test::EncodedAs(Picture(8, 8, 0xFFFF0000u), false, "png", sandbox.Path()));
    test::WriteText(sandbox / "red.css", "rect { fill: #ff0000 }");
    const std::string fifo = (sandbox / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    const std::string redText = Svg + "width=\"64\" height=\"64\"><text y=\"40\" font-size=\"40\" fill=\"#ff0000\">W</text></svg>";
    const std::string local = Svg + "width=\"64\" height=\"64\"><image width=\"64\" height=\"64\" xlink:href=\"" + red +
                              "\"/><image width=\"64\" height=\"64\" xlink:href=\"file://" + fifo + "\"/></svg>";
    const std::string big = Svg + "width=\"5700\" height=\"5700\"><rect width=\"5700\" height=\"5700\" fill=\"#ff0000\"/></svg>";
    std::string eightBig = Svg + "width=\"64\" height=\"64\">";
    for (int i = 0; i < 8; ++i)
        eightBig += "<image width=\"5700\" height=\"5700\" xlink:href=\"data:image/svg+xml;base64," + Base64(big) + "\"/>";
    eightBig += "</svg>";
    std::string stops = Svg + "width=\"64\" height=\"64\"><linearGradient id=\"g\">";
    for (int i = 0; i < 900'000; ++i)
        stops += "<stop offset=\".5\"/>";
    stops += "</linearGradient><rect width=\"9\" height=\"9\" fill=\"url(#g)\"/></svg>";
    std::string rules = Svg + "width=\"64\" height=\"64\"><style>";
    for (int i = 0; i < 2'000'000; ++i)
        rules += ".c{fill:red}";
    rules += "</style><rect class=\"c\" width=\"9\" height=\"9\"/></svg>";

    struct Row {
        const char* what;
        Bytes bytes;
        std::optional<ErrorNumber> error;  // none: rendered
        enum { AnyRed, NoRed, SomeRed } red = AnyRed;
        bool needsTheMemoryLimit = false;
    };
    const auto sheet = [&](const std::string& href) {
        return BytesOf("<?xml version=\"1.0\"?><?xml-stylesheet type=\"text/css\" href=\"" + href + "\"?>" + Svg +
                       "width=\"64\" height=\"64\"><rect width=\"9\" height=\"9\"/></svg>");
    };
    const Row rows[] = {
        {"a drawing in place holding text", BytesOf(Nested(redText, 64)), std::nullopt, Row::SomeRed},
        {"a drawing in place naming a local file and a pipe", BytesOf(Nested(local, 64)), std::nullopt, Row::NoRed},
        {"a style sheet in a local file", sheet(sandbox.Path().string() + "/red.css"), ErrorNumber::InvalidPicture},
        {"a style sheet of endless zeros", sheet("/dev/zero"), ErrorNumber::InvalidPicture},
        {"a style sheet on a pipe", sheet(fifo), ErrorNumber::InvalidPicture},
        {"eight drawings in place of 5700 squared", BytesOf(eightBig), std::nullopt},
        {"900,000 gradient stops", BytesOf(stops), ErrorNumber::OutOfMemory, Row::AnyRed, true},
        {"2,000,000 style rules, compressed", test::Gzipped(BytesOf(rules)), ErrorNumber::OutOfMemory, Row::AnyRed, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.needsTheMemoryLimit && !MemoryIsLimited)
            continue;
        PictureFile file;
        // A small item's share: the renderer gets its base alone.
        const std::optional<RuntimeError> failure = FailureOf([&] { file = Rendered(row.bytes, 1, 64 * 64); });
        if (!row.error) {
            ASSERT_FALSE(failure) << failure->Description();
            EXPECT_EQ(file.picture.Width(), 64);
            const std::size_t red = CountPixels(file.picture, IsRed);
            if (row.red == Row::SomeRed) {
                EXPECT_GT(red, 50u) << "its text is drawn";
            } else if (row.red == Row::NoRed) {
                EXPECT_EQ(red, 0u) << "nothing is read from the disk";
            }
            continue;
        }
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->Number(), *row.error) << failure->Description();
        if (row.error == ErrorNumber::OutOfMemory) {
            EXPECT_NE(failure->Description().find("its renderer ran out of the 192 MiB it may take"), std::string::npos)
                << failure->Description();
        }
    }
}

// A layer the renderer could not allocate is a lack of memory (its status
// 3), not a drawing it refuses (1).
TEST(Drawing, TheRendererTellsALackOfMemoryFromARefusal)
{
    if (!MemoryIsLimited)
        GTEST_SKIP() << "this build cannot limit the renderer's memory";
    std::string layers = Svg + "width=\"1500\" height=\"1500\"><filter id=\"b\"><feGaussianBlur stdDeviation=\"20\"/></filter>";
    for (int i = 0; i < 12; ++i)
        layers += "<g filter=\"url(#b)\" opacity=\"0.9\">";
    layers += "<rect width=\"1500\" height=\"700\" fill=\"#ff0000\"/>";
    for (int i = 0; i < 12; ++i)
        layers += "</g>";
    layers += "</svg>";
    HelperLimits limits;
    limits.addressSpaceBytes = 195u << 20;  // its libraries, and little more
    const Bytes bytes = BytesOf(layers);
    const HelperOutcome outcome = RunHelper(FindHelperProgram("tollamere-draw"), {"1500", "1500"}, bytes, 1500 * 1500 * 4, limits);
    EXPECT_EQ(outcome.end, HelperOutcome::End::Exited);
    EXPECT_EQ(outcome.code, 3) << std::string(outcome.output.begin(), outcome.output.end());
}

// A drawing that fails in its renderer fails its item; the run goes on, and
// writes the rest.
TEST(Drawing, ARendererThatFailsFailsItsItemAlone)
{
    if (!MemoryIsLimited)
        GTEST_SKIP() << "this build cannot limit the renderer's memory";
    const test::TempFolder sandbox;
    std::string rects = Svg + "width=\"64\" height=\"64\">";
    for (int i = 0; i < 999'000; ++i)
        rects += "<rect width=\"1\" height=\"1\"/>";
    test::WriteText(sandbox / "a-rects.svg", rects + "</svg>");
    test::WriteText(sandbox / "b-plain.svg", Svg + "width=\"20\" height=\"10\"><rect width=\"9\" height=\"9\"/></svg>");
    std::filesystem::create_directory(sandbox / "out");

    ConversionRequest request;
    request.inputPaths = {ToPathText(sandbox / "a-rects.svg"), ToPathText(sandbox / "b-plain.svg")};
    request.outputFolder = ToPathText(sandbox / "out");
    request.output.format = "png";
    request.memoryBudget = 100u << 20;
    struct Observer : ConversionObserver {
        void Refused(RunRefusal, const std::string& detail) override { failures.push_back(detail); }
        void Failure(const ConversionFailure& failure) override { failures.push_back(failure.inputPath + ": " + failure.description); }
        void Ended(const ConversionSummary& ended) override { summary = ended; }
        std::vector<std::string> failures;
        ConversionSummary summary;
    } observer;
    RunConversion(request, observer);
    ASSERT_EQ(observer.failures.size(), 1u) << ::testing::PrintToString(observer.failures);
    EXPECT_NE(observer.failures[0].find("a-rects.svg"), std::string::npos) << observer.failures[0];
    EXPECT_NE(observer.failures[0].find("its renderer ran out of the"), std::string::npos) << observer.failures[0];
    const std::vector<std::string> written = test::EntryNames(sandbox / "out");
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0], "b-plain.png");
}

} // namespace
} // namespace tollamere
