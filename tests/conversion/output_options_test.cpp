// SPDX-License-Identifier: MIT
#include "conversion_run.h"

#include "file_io.h"
#include "file_path.h"
#include "picture_test_support.h"

#include <QColorSpace>
#include <QCryptographicHash>
#include <QImage>

#include <turbojpeg.h>

#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include <fcntl.h>
#include <stdio.h>

namespace tollamere {
namespace {

using test::ReadBytes;
using test::TempFolder;
using test::WriteText;
namespace fs = std::filesystem;

struct ResultObserver : ConversionObserver {
    void Refused(RunRefusal, const std::string&) override {}
    void Failure(const ConversionFailure&) override {}
    void Finished(const ItemResult& result) override { results.push_back(result); }
    void Ended(const ConversionSummary&) override {}

    std::size_t Count(ItemResult::Outcome outcome) const
    {
        return std::size_t(std::count_if(results.begin(), results.end(), [&](const ItemResult& r) { return r.outcome == outcome; }));
    }

    std::vector<ItemResult> results;
};

// Every file under the folder, by its path relative to it.
std::set<std::string> FilesUnder(const fs::path& folder)
{
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files.insert(fs::relative(entry.path(), folder).string());
    return files;
}

// A sandbox with two folders that both hold star.png, a JPEG one level
// deeper, and a bitmap given by itself.
class OutputOptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(folder_ / "in" / "a");
        fs::create_directories(folder_ / "in" / "b" / "deep");
        fs::create_directories(folder_ / "out");
        SavePictureFile(test::LetterF(), false, folder_ / "in" / "a" / "star.png");
        SavePictureFile(test::Gradient(16, 12), false, folder_ / "in" / "b" / "star.png");
        SavePictureFile(test::Gradient(16, 12), false, folder_ / "in" / "b" / "deep" / "ring.jpg");
        SavePictureFile(test::LetterF(), false, folder_ / "solo.bmp");
    }

    ConversionSummary Run(const OutputOptions& options, ResultObserver& observer, unsigned workers = 2)
    {
        const std::string root = ToPathText(folder_ / "in");
        ConversionRequest request;
        request.inputPaths = {root + "/a/star.png", root + "/b/star.png", root + "/b/deep/ring.jpg", ToPathText(folder_ / "solo.bmp")};
        request.inputRoots = {root, root, root + "/"};
        request.outputFolder = ToPathText(folder_ / "out");
        request.output = options;
        request.workers = workers;
        return RunConversion(request, observer);
    }

    fs::path Out(const std::string& name) const { return folder_ / "out" / name; }

    TempFolder folder_;
};

TEST_F(OutputOptionsTest, FoldersNamesAndFormatsAsChosen)
{
    struct Row {
        const char* what;
        std::function<void(OutputOptions&)> choose;
        std::set<std::string> files;
        std::size_t refused;
    };
    const std::vector<Row> rows = {
        {"defaults: flat, the second star refused", [](OutputOptions&) {}, {"star.png", "ring.jpg", "solo.bmp"}, 1},
        {"folders kept", [](OutputOptions& o) { o.structure = OutputOptions::Structure::KeepFolders; },
         {"a/star.png", "b/star.png", "b/deep/ring.jpg", "solo.bmp"}, 0},
        {"a suffix", [](OutputOptions& o) { o.namePattern = "{name}-bevel"; }, {"star-bevel.png", "ring-bevel.jpg", "solo-bevel.bmp"}, 1},
        {"every placeholder", [](OutputOptions& o) { o.namePattern = "{n}_{name}.{ext}"; },
         {"1_star.png.png", "2_star.png.png", "3_ring.jpg.jpg", "4_solo.bmp.bmp"}, 0},
        {"a pattern that collides", [](OutputOptions& o) { o.namePattern = "button"; }, {"button.png", "button.jpg", "button.bmp"}, 1},
        {"a chosen format", [](OutputOptions& o) { o.format = "WebP"; o.structure = OutputOptions::Structure::KeepFolders; },
         {"a/star.webp", "b/star.webp", "b/deep/ring.webp", "solo.webp"}, 0},
        {"JPEG through its writer", [](OutputOptions& o) { o.format = "jpg"; o.namePattern = "{n}"; },
         {"1.jpg", "2.jpg", "3.jpg", "4.jpg"}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(folder_ / "out");
        fs::create_directories(folder_ / "out");
        OutputOptions options;
        row.choose(options);
        ResultObserver observer;
        const ConversionSummary summary = Run(options, observer);
        EXPECT_EQ(FilesUnder(folder_ / "out"), row.files);
        EXPECT_EQ(observer.Count(ItemResult::Outcome::Refused), row.refused);
        EXPECT_EQ(summary.written, 4 - row.refused);
        for (const ItemResult& result : observer.results) {
            if (result.outcome == ItemResult::Outcome::Written) {
                EXPECT_TRUE(fs::is_regular_file(ToFileSystemPath(result.outputPath))) << result.outputPath;
            }
        }
    }
    // The chosen format is the file's format, whatever the input's was.
    fs::remove_all(folder_ / "out");
    fs::create_directories(folder_ / "out");
    ResultObserver observer;
    OutputOptions webp;
    webp.format = "webp";
    Run(webp, observer);
    EXPECT_EQ(QImage(QString::fromStdString((folder_ / "out" / "ring.webp").string()), "webp").width(), 16);
}

TEST_F(OutputOptionsTest, OverwriteRules)
{
    struct Row {
        OutputOptions::Overwrite rule;
        bool oldKept;
        std::set<std::string> files;
        std::size_t skipped;
    };
    const std::vector<Row> rows = {
        {OutputOptions::Overwrite::Replace, false, {"star.png", "ring.jpg", "solo.bmp"}, 0},
        {OutputOptions::Overwrite::Skip, true, {"star.png", "ring.jpg", "solo.bmp"}, 1},
        // The older file and the first star both make way: the second star
        // is numbered rather than refused.
        {OutputOptions::Overwrite::Rename, true, {"star.png", "star (2).png", "star (3).png", "ring.jpg", "solo.bmp"}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(int(row.rule));
        fs::remove_all(folder_ / "out");
        fs::create_directories(folder_ / "out");
        WriteText(Out("star.png"), "an older file");
        OutputOptions options;
        options.overwrite = row.rule;
        ResultObserver observer;
        const ConversionSummary summary = Run(options, observer);
        EXPECT_EQ(FilesUnder(folder_ / "out"), row.files);
        EXPECT_EQ(ReadBytes(Out("star.png")).size() == std::string_view("an older file").size(), row.oldKept);
        EXPECT_EQ(summary.skipped, row.skipped);
        EXPECT_EQ(observer.Count(ItemResult::Outcome::Skipped), row.skipped);
        ASSERT_EQ(observer.results.size(), 4u);
        EXPECT_EQ(observer.results[0].outputPath, ToPathText(Out(row.rule == OutputOptions::Overwrite::Rename ? "star (2).png" : "star.png")));
    }
}

TEST_F(OutputOptionsTest, KeptFoldersAreNeverLinksOutOfTheOutputFolder)
{
    TempFolder outside;
    fs::create_directory_symlink(outside.Path(), Out("a"));
    OutputOptions options;
    options.structure = OutputOptions::Structure::KeepFolders;
    ResultObserver observer;
    Run(options, observer);
    EXPECT_TRUE(FilesUnder(outside.Path()).empty());
    ASSERT_EQ(observer.results.size(), 4u);
    EXPECT_EQ(observer.results[0].outcome, ItemResult::Outcome::Failed);
    EXPECT_NE(observer.results[0].reason.find("is a link"), std::string::npos) << observer.results[0].reason;
    EXPECT_TRUE(fs::is_regular_file(Out("b/deep/ring.jpg")));
}

// Another process keeps exchanging a folder the run writes into with a link
// out of it, as a rename can do in one step. Nothing may land outside, no
// temporary file may stay, and an output reported written is in the folder
// it was reported in once the names are put back.
TEST(OutputFolderRace, NothingLandsOutsideWhileFoldersTurnIntoLinks)
{
    struct Row {
        const char* what;
        const char* swapped;  // below the sandbox; exchanged with "<swapped>-link"
    };
    for (const Row& row : {Row{"a kept sub-folder", "out/sub"}, Row{"the output folder", "out"}}) {
        SCOPED_TRACE(row.what);
        TempFolder root;
        const fs::path in = root.Path() / "in";
        fs::create_directories(in / "sub");
        fs::create_directories(root.Path() / "out" / "sub");
        fs::create_directories(root.Path() / "outside");
        // Left by a killed run a moment ago: no later run keeps it.
        WriteText(root.Path() / "out" / "sub" / ".tollamere-00112233aabb.tmp", "killed");
        const fs::path swapped = root.Path() / row.swapped;
        const fs::path link = root.Path() / (std::string(row.swapped) + "-link");
        fs::create_directory_symlink(fs::relative(root.Path() / "outside", link.parent_path()), link);
        SavePictureFile(test::LetterF(), false, in / "sub" / "0.png");
        ConversionRequest request;
        for (int i = 0; i < 300; ++i) {
            if (i > 0)
                fs::copy_file(in / "sub" / "0.png", in / "sub" / (std::to_string(i) + ".png"));
            request.inputPaths.push_back(ToPathText(in / "sub" / (std::to_string(i) + ".png")));
            request.inputRoots.push_back(ToPathText(in));
        }
        request.outputFolder = ToPathText(root.Path() / "out");
        request.output.structure = OutputOptions::Structure::KeepFolders;
        request.workers = 2;

        // The exchanges start once the run has its folder, as a user's
        // output folder given as a link is followed at the start.
        std::atomic<bool> started = false;
        std::atomic<bool> done = false;
        std::thread swapper([&] {
            int exchanges = 0;
            while (!done) {
                if (started && renameat2(AT_FDCWD, swapped.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE) == 0)
                    ++exchanges;
                std::this_thread::yield();
            }
            if (exchanges % 2 == 1)
                renameat2(AT_FDCWD, swapped.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
            EXPECT_GT(exchanges, 0);
        });
        struct : ResultObserver {
            void ItemStarted(const ItemStart&) override { *started = true; }
            std::atomic<bool>* started = nullptr;
        } observer;
        observer.started = &started;
        RunConversion(request, observer);
        done = true;
        swapper.join();

        EXPECT_EQ(FilesUnder(root.Path() / "outside"), std::set<std::string>{});
        ASSERT_EQ(observer.results.size(), 300u);
        for (const ItemResult& result : observer.results) {
            if (result.outcome == ItemResult::Outcome::Written)
                EXPECT_TRUE(fs::is_regular_file(ToFileSystemPath(result.outputPath))) << result.outputPath;
            else
                EXPECT_TRUE(result.reason.find("is a link") != std::string::npos ||
                            result.reason.find("was moved, removed or replaced") != std::string::npos)
                    << result.reason;
        }
        for (const std::string& file : FilesUnder(root.Path() / "out"))
            EXPECT_FALSE(IsTemporaryFileName(fs::path(file).filename().string())) << file;
    }
}

TEST(OutputOptionsCheck, RefusesWhatCannotBeUsed)
{
    const std::vector<std::pair<std::function<void(OutputOptions&)>, const char*>> rows = {
        {[](OutputOptions& o) { o.namePattern = ""; }, "empty"},
        {[](OutputOptions& o) { o.namePattern = "../{name}"; }, "\"/\""},
        {[](OutputOptions& o) { o.namePattern = "{nam}"; }, "does not belong"},
        {[](OutputOptions& o) { o.namePattern = "{name}}"; }, "does not belong"},
        {[](OutputOptions& o) { o.format = "txt"; }, "\"txt\""},
        {[](OutputOptions& o) { o.quality = 0; }, "from 1 to 100"},
        {[](OutputOptions& o) { o.quality = 101; }, "from 1 to 100"},
        {[](OutputOptions& o) { o.pngLevel = 10; }, "from 0 to 9"},
    };
    EXPECT_EQ(CheckOutputOptions({}), std::nullopt);
    for (const auto& [choose, reason] : rows) {
        OutputOptions options;
        choose(options);
        const std::optional<std::string> refused = CheckOutputOptions(options);
        ASSERT_TRUE(refused.has_value()) << reason;
        EXPECT_NE(refused->find(reason), std::string::npos) << *refused;
    }
}

TEST(OutputOptionsEncoding, QualityAndLevelReachTheEncoders)
{
    TempFolder folder;
    const Picture gradient = test::Gradient(96, 64);
    const auto size = [&](const std::string& name, SaveSettings settings) {
        SavePictureFile(gradient, false, folder / name, settings);
        return fs::file_size(folder / name);
    };
    for (const auto& [quality, subsampling] : {std::pair{89, TJSAMP_420}, {90, TJSAMP_444}}) {
        const std::string name = "q" + std::to_string(quality) + ".jpg";
        size(name, {quality, {}, {}});
        const test::Bytes bytes = ReadBytes(folder / name);
        tjhandle decoder = tjInitDecompress();
        int width = 0, height = 0, found = -1, colourspace = -1;
        EXPECT_EQ(tjDecompressHeader3(decoder, bytes.data(), bytes.size(), &width, &height, &found, &colourspace), 0);
        tjDestroy(decoder);
        EXPECT_EQ(found, subsampling) << name;
    }
    EXPECT_EQ(size("default.jpg", {}), size("q100.jpg", {100, {}, {}}));
    EXPECT_GT(size("level0.png", {{}, 0, {}}), size("level9.png", {{}, 9, {}}) * 3 / 2);
    EXPECT_TRUE(test::SamePixels(LoadPictureFile(folder / "level0.png").picture, gradient));
    size("q50.webp", {50, {}, {}});
    size("lossless.webp", {});
    EXPECT_FALSE(test::SamePixels(LoadPictureFile(folder / "q50.webp").picture, gradient)) << "a quality makes WebP lossy";
    EXPECT_TRUE(test::SamePixels(LoadPictureFile(folder / "lossless.webp").picture, gradient));
}

// A profile Qt knows and that is not sRGB, so that no writer may take it
// for the default.
QByteArray WideGamutProfile()
{
    return QColorSpace(QColorSpace::AdobeRgb).iccProfile();
}

TEST_F(OutputOptionsTest, ProfileResolutionAndExifTravelUnlessStripped)
{
    // Inputs with a profile and 150 dpi: a PNG written by Qt, and a JPEG
    // with an EXIF block.
    QImage png(QString::fromStdString((folder_ / "in" / "a" / "star.png").string()));
    png.setColorSpace(QColorSpace::fromIccProfile(WideGamutProfile()));
    png.setDotsPerMeterX(5906);
    png.setDotsPerMeterY(5906);
    ASSERT_TRUE(png.save(QString::fromStdString((folder_ / "in" / "a" / "star.png").string())));
    SaveSettings jpegSettings;
    const QByteArray profile = WideGamutProfile();
    jpegSettings.metadata.iccProfile.assign(profile.begin(), profile.end());
    jpegSettings.metadata.dotsPerMetreX = jpegSettings.metadata.dotsPerMetreY = 5906;
    const std::string exif("Exif\0\0MM\0*\0\0\0\x08\0\0", 16);
    jpegSettings.metadata.exif.assign(exif.begin(), exif.end());
    SavePictureFile(test::Gradient(16, 12), false, folder_ / "in" / "b" / "deep" / "ring.jpg", jpegSettings);

    struct Row {
        const char* format;
        bool strip;
        const char* star;  // the outputs of the PNG and the JPEG
        const char* ring;
    };
    const std::vector<Row> rows = {
        {"", false, "star.png", "ring.jpg"}, {"webp", false, "star.webp", "ring.webp"}, {"tif", false, "star.tif", "ring.tif"},
        {"jpeg", false, "star.jpeg", "ring.jpeg"}, {"", true, "star.png", "ring.jpg"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.format) + (row.strip ? " stripped" : ""));
        OutputOptions options;
        options.format = row.format;
        options.stripMetadata = row.strip;
        ResultObserver observer;
        Run(options, observer);
        for (const char* name : {row.star, row.ring}) {
            SCOPED_TRACE(name);
            const QImage written(QString::fromStdString(Out(name).string()));
            ASSERT_FALSE(written.isNull());
            EXPECT_EQ(written.colorSpace().iccProfile() == profile, !row.strip);
            // WebP has no place for a resolution.
            if (std::string(row.format) != "webp") {
                EXPECT_EQ(std::abs(written.dotsPerMeterX() - 5906) <= 2, !row.strip) << written.dotsPerMeterX();
            }
            const test::Bytes bytes = ReadBytes(Out(name));
            const bool hasExif = std::search(bytes.begin(), bytes.end(), exif.begin(), exif.end()) != bytes.end();
            EXPECT_EQ(hasExif, !row.strip && std::string(name).find("ring.jp") == 0);
        }
    }
}

// The defaults write exactly what the program wrote before it had options:
// the same bytes, and for PNG, whose writer has changed since, the same
// pixels.
TEST(OutputOptionsDefaults, SamplesGiveWhatTheyGaveBefore)
{
    const std::map<std::string, std::string> expected = {
        {"ring.jpg", "5695c4fad7a9ca56af5eab6615544fd1e8cd491a335666a146e367c5ade091d0"},
        {"round-button.png", "72e30e585539cdbe2d3f7e22a210b71f60b5b5cbdd10089deef66b9c9bd29845"},
        {"square-icon.bmp", "7bf89c7973622b36bef2d61165157b29e707eea9329a192f42363ae495d6fd6e"},
        {"star.gif", "c592f82c96277c2b1c1060d7aa7cab1d4bd6847ace1c738bf4791183a21e147e"},
        {"wide-button.png", "ba27e652666566892fcd1fba95c61819e1fb431bac44da154a0ee2163d2ebb60"},
    };
    TempFolder out;
    ConversionRequest request;
    for (const auto& [name, hash] : expected)
        request.inputPaths.push_back(std::string(TOLLAMERE_SOURCE_DIR "/Samples/") + name);
    request.outputFolder = ToPathText(out.Path());
    ResultObserver observer;
    EXPECT_EQ(RunConversion(request, observer).written, expected.size());
    const auto sha256 = [](const void* data, std::size_t size) {
        return QCryptographicHash::hash(QByteArrayView(static_cast<const char*>(data), qsizetype(size)), QCryptographicHash::Sha256)
            .toHex()
            .toStdString();
    };
    for (const auto& [name, hash] : expected) {
        if (name.ends_with(".png")) {
            const PictureFile written = LoadPictureFile(out / name);
            EXPECT_EQ(sha256(written.picture.Row(0), std::size_t(written.picture.Width()) * std::size_t(written.picture.Height()) * 4), hash)
                << name << (written.hasAlpha ? " with alpha" : "");
        } else {
            const test::Bytes bytes = ReadBytes(out / name);
            EXPECT_EQ(sha256(bytes.data(), bytes.size()), hash) << name;
        }
    }
}

} // namespace
} // namespace tollamere
