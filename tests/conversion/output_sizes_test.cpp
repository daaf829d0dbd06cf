// SPDX-License-Identifier: MIT
#include "conversion_run.h"

#include "path_text.h"
#include "picture_files.h"
#include "picture_test_support.h"
#include "resample.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace tollamere {
namespace {

struct QuietObserver : ConversionObserver {
    void Refused(RunRefusal, const std::string& detail) override { refusals.push_back(detail); }
    void Failure(const ConversionFailure& failure) override { failures.push_back(failure.description); }
    void Ended(const ConversionSummary& ended) override { summary = ended; }
    std::vector<std::string> refusals;
    std::vector<std::string> failures;
    ConversionSummary summary;
};

// A 40 x 30 button: an opaque red rounded block on transparency, with a
// blue bar near its top left so that flips and swaps show.
Picture Button()
{
    Picture picture(40, 30, 0x00000000u);
    for (std::int32_t y = 3; y < 27; ++y)
        for (std::int32_t x = 3; x < 37; ++x)
            picture.Pixel(x, y) = (y < 8 && x < 20) ? 0xFF2040E0u : 0xFFE03020u;
    return picture;
}

QuietObserver ConvertOne(const std::filesystem::path& in, const std::filesystem::path& out, const std::function<void(OutputOptions&)>& choose,
                         std::int32_t margin = 0)
{
    ConversionRequest request;
    request.parameters.look.decoration.margin = margin;
    request.inputPaths = {ToPathText(in)};
    request.outputFolder = ToPathText(out);
    choose(request.output);
    QuietObserver observer;
    RunConversion(request, observer);
    return observer;
}

TEST(OutputSizesTest, EachScaleAndBoxGivesItsNameAndSize)
{
    struct Row {
        const char* what;
        std::function<void(OutputOptions&)> choose;
        std::map<std::string, std::pair<int, int>> outputs;  // name: width, height
    };
    const std::vector<Row> rows{
        {"the default", [](OutputOptions&) {}, {{"b.png", {40, 30}}}},
        {"three scales", [](OutputOptions& o) { o.scales = {{1, "1x"}, {2, "2x"}, {3, "3x"}}; },
         {{"b.png", {40, 30}}, {"b@2x.png", {80, 60}}, {"b@3x.png", {120, 90}}}},
        {"a half scale and {scale} in the name",
         [](OutputOptions& o) { o.scales = {{0.5, "0.5x"}, {1, "1x"}}; o.namePattern = "{name}-{scale}"; },
         {{"b-0.5x.png", {20, 15}}, {"b-1x.png", {40, 30}}}},
        {"a width alone", [](OutputOptions& o) { o.fitWidth = 20; }, {{"b.png", {20, 15}}}},
        {"a box that bounds the height", [](OutputOptions& o) { o.fitWidth = 100; o.fitHeight = 60; }, {{"b.png", {80, 60}}}},
        {"a box, then scales", [](OutputOptions& o) { o.fitHeight = 15; o.scales = {{1, "1x"}, {2, "2x"}}; },
         {{"b.png", {20, 15}}, {"b@2x.png", {40, 30}}}},
        {"two formats", [](OutputOptions& o) { o.format = "png"; o.moreFormats = {"webp", "bmp"}; },
         {{"b.png", {40, 30}}, {"b.webp", {40, 30}}, {"b.bmp", {40, 30}}}},
        {"two formats at two scales",
         [](OutputOptions& o) { o.format = "webp"; o.moreFormats = {"png"}; o.scales = {{1, "1x"}, {2, "2x"}}; },
         {{"b.webp", {40, 30}}, {"b@2x.webp", {80, 60}}, {"b.png", {40, 30}}, {"b@2x.png", {80, 60}}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        test::TempFolder sandbox;
        std::filesystem::create_directories(sandbox / "out");
        SavePictureFile(Button(), true, sandbox / "b.png");
        const QuietObserver observer = ConvertOne(sandbox / "b.png", sandbox / "out", row.choose);
        EXPECT_TRUE(observer.refusals.empty() && observer.failures.empty());
        EXPECT_EQ(observer.summary.items, row.outputs.size());
        EXPECT_EQ(observer.summary.written, row.outputs.size());
        std::vector<std::string> expectedNames;
        for (const auto& [name, size] : row.outputs) {
            expectedNames.push_back(name);
            const PictureFile written = LoadPictureFile(sandbox / "out" / name);
            EXPECT_EQ(std::pair(written.picture.Width(), written.picture.Height()), size) << name;
        }
        std::sort(expectedNames.begin(), expectedNames.end());
        EXPECT_EQ(test::EntryNames(sandbox / "out"), expectedNames);
    }
}

TEST(OutputSizesTest, ADrawingIsRenderedAtEachSizeWithItsTransparency)
{
    test::TempFolder sandbox;
    std::filesystem::create_directories(sandbox / "out");
    // A red block with a blue square at its top left, inside a clear border.
    test::WriteText(sandbox / "d.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 40 30\">"
                                       "<rect x=\"4\" y=\"4\" width=\"32\" height=\"22\" fill=\"#e03020\"/>"
                                       "<rect x=\"6\" y=\"6\" width=\"8\" height=\"8\" fill=\"#2040e0\"/></svg>");
    const QuietObserver observer = ConvertOne(sandbox / "d.svg", sandbox / "out", [](OutputOptions& o) {
        o.format = "png";
        o.scales = {{1, "1x"}, {4, "4x"}};
    });
    ASSERT_EQ(observer.summary.written, 2u);
    for (const auto& [name, factor] : {std::pair("d.png", 1), std::pair("d@4x.png", 4)}) {
        SCOPED_TRACE(name);
        const PictureFile written = LoadPictureFile(sandbox / "out" / name);
        ASSERT_EQ(written.picture.Width(), 40 * factor);
        ASSERT_EQ(written.picture.Height(), 30 * factor);
        EXPECT_EQ(written.picture.Pixel(0, 0) >> 24, 0u);
        // Rendered at its size, not enlarged: the blue square's edge stays
        // one pixel sharp at every size.
        const std::uint32_t inside = written.picture.Pixel(14 * factor - 1, 10 * factor);
        const std::uint32_t outside = written.picture.Pixel(14 * factor, 10 * factor);
        EXPECT_GT(inside & 0xFFu, 0x80u) << std::hex << inside;
        EXPECT_LT(outside & 0xFFu, 0x80u) << std::hex << outside;
    }
}

TEST(OutputSizesTest, OneXIsTheOutputOfToday)
{
    test::TempFolder sandbox;
    std::filesystem::create_directories(sandbox / "today");
    std::filesystem::create_directories(sandbox / "scaled");
    SavePictureFile(Button(), true, sandbox / "b.png");
    ConvertOne(sandbox / "b.png", sandbox / "today", [](OutputOptions&) {});
    ConvertOne(sandbox / "b.png", sandbox / "scaled", [](OutputOptions& o) { o.scales = {{1, "1x"}, {2, "2x"}}; });
    EXPECT_EQ(test::ReadBytes(sandbox / "scaled" / "b.png"), test::ReadBytes(sandbox / "today" / "b.png"));
}

TEST(OutputSizesTest, ResizingKeepsFlatColoursAndBleedsNoTransparentColour)
{
    // A red half beside a transparent half whose hidden colour is green:
    // premultiplied, the green never shows in the red's edge.
    Picture halves(16, 8, 0x0000FF00u);
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 8; ++x)
            halves.Pixel(x, y) = 0xFFFF0000u;
    for (const auto& [width, height] : {std::pair(32, 16), std::pair(7, 3), std::pair(40, 9)}) {
        const Picture resized = ResizePicture(halves, width, height, 2);
        ASSERT_EQ(resized.Width(), width);
        ASSERT_EQ(resized.Height(), height);
        bool anyOpaque = false;
        for (std::int32_t y = 0; y < height; ++y)
            for (std::int32_t x = 0; x < width; ++x) {
                const std::uint32_t pixel = resized.Pixel(x, y);
                if ((pixel >> 24) == 0)
                    continue;
                anyOpaque = anyOpaque || (pixel >> 24) == 0xFF;
                EXPECT_EQ(pixel & 0x00FFFFFFu, 0x00FF0000u) << x << "," << y << " of " << width << " x " << height;
            }
        EXPECT_TRUE(anyOpaque);
    }
}

TEST(OutputSizesTest, TheEffectsSizesScaleWithinTheirRanges)
{
    BevelParameters parameters{5, 0, 0};
    BevelLook look;
    look.softenRadius = 40;
    look.decoration.shadow = DropShadow{3, -2, 300};
    ScaleEffect(parameters, look, 2.0);
    EXPECT_EQ(parameters.bevelSize, 10);
    EXPECT_EQ(look.softenRadius, 64);
    EXPECT_EQ(look.decoration.shadow->offsetY, -4);
    EXPECT_EQ(look.decoration.shadow->blurRadius, 512);
    parameters.bevelSize = 200;
    ScaleEffect(parameters, look, 3.0);
    EXPECT_EQ(parameters.bevelSize, 254);
}

TEST(OutputSizesTest, AnIconHoldsEverySizeWithAlpha)
{
    struct Row {
        const char* what;
        std::vector<std::int32_t> asked;
        std::int32_t inputSide;
        std::vector<int> sides;
        // The look's margin, which each size holds within its side.
        std::int32_t margin = 0;
    };
    const std::vector<Row> rows{
        {"the default below the picture's side", {}, 40, {16, 24, 32, 40}},
        {"the default for a large picture, shrunk", {}, 600, {16, 24, 32, 48, 64, 128, 256}},
        {"the sizes asked for", {256, 16, 48}, 40, {256, 16, 48}},
        {"a margin within each size", {256, 48, 16}, 200, {256, 48, 16}, 12},
    };
    for (const char* extension : {"ico", "cur"})
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.what) + " " + extension);
            test::TempFolder sandbox;
            std::filesystem::create_directories(sandbox / "out");
            SavePictureFile(ResizePicture(Button(), row.inputSide, row.inputSide * 3 / 4, 1), true, sandbox / "b.png");
            const QuietObserver observer = ConvertOne(sandbox / "b.png", sandbox / "out", [&](OutputOptions& o) {
                o.format = extension;
                o.iconSizes = row.asked;
                o.scales = {{1, "1x"}, {2, "2x"}};  // an icon holds its own sizes: one file
            }, row.margin);
            EXPECT_TRUE(observer.failures.empty()) << (observer.failures.empty() ? "" : observer.failures.front());
            EXPECT_EQ(test::EntryNames(sandbox / "out"), std::vector<std::string>{std::string("b.") + extension});
            const test::Bytes bytes = test::ReadBytes(sandbox / "out" / (std::string("b.") + extension));
            QByteArray data(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
            QBuffer buffer(&data);
            QImageReader reader(&buffer, "ico");
            ASSERT_EQ(reader.imageCount(), int(row.sides.size()));
            for (int entry = 0; entry < reader.imageCount(); ++entry) {
                ASSERT_TRUE(reader.jumpToImage(entry));
                const QImage image = reader.read();
                EXPECT_EQ(image.width(), row.sides[std::size_t(entry)]) << "entry " << entry;
                if (row.margin == 0) {
                    EXPECT_EQ(image.height(), row.sides[std::size_t(entry)] * 3 / 4) << "entry " << entry;
                }
                EXPECT_TRUE(image.hasAlphaChannel());
                // The filter's faint reach aside, a corner stays see-through.
                EXPECT_LE(qAlpha(image.pixel(0, 0)), 8);
                EXPECT_EQ(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 255);
            }
            // A side of 256 is stored as a whole PNG.
            constexpr std::uint8_t pngSignature[] = {0x89, 'P', 'N', 'G'};
            const bool hasPng = std::search(bytes.begin(), bytes.end(), std::begin(pngSignature), std::end(pngSignature)) != bytes.end();
            EXPECT_EQ(hasPng, std::find(row.sides.begin(), row.sides.end(), 256) != row.sides.end());
        }
}

} // namespace
} // namespace tollamere
