// SPDX-License-Identifier: MIT
#include "conversion_run.h"
#include "crafted_files.h"

#include "path_text.h"
#include "bevel.h"
#include "picture_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tollamere {
namespace {

namespace fs = std::filesystem;

const char* RefusalName(RunRefusal reason)
{
    switch (reason) {
    case RunRefusal::NoFiles: return "no files";
    case RunRefusal::OutputFolderMissing: return "no output folder";
    case RunRefusal::OutputOptions: return "output options";
    }
    return "?";
}

struct RecordingObserver : ConversionObserver {
    void Refused(RunRefusal reason, const std::string& detail) override
    {
        events.push_back(std::string("refused: ") + RefusalName(reason) + (detail.empty() ? "" : ": " + detail));
    }
    void ItemStarted(const ItemStart& start) override
    {
        starts.push_back(start);
        events.push_back("started " + std::to_string(start.item) + " of " + std::to_string(start.items));
    }
    void Failure(const ConversionFailure& failure) override
    {
        failures.push_back(failure);
        events.push_back("failure " + std::to_string(failure.item) + " at " + std::to_string(failure.lineNumber) + ": " +
                         failure.description);
    }
    void Ended(const ConversionSummary& summary) override
    {
        ends.push_back(summary);
        events.push_back("ended");
    }
    void Written(std::size_t item, const std::string& outputPath) override
    {
        written.emplace_back(item, outputPath);
        events.push_back("written " + outputPath);
    }

    std::vector<ItemStart> starts;
    std::vector<ConversionFailure> failures;
    std::vector<ConversionSummary> ends;
    std::vector<std::pair<std::size_t, std::string>> written;
    std::vector<std::string> events;
};

// A button: a disc of colour on transparent black, with a hole.
Picture Button(std::int32_t size, std::uint32_t colour)
{
    Picture picture(size, size, 0x00000000u);
    const double centre = (size - 1) / 2.0;
    for (std::int32_t y = 0; y < size; ++y)
        for (std::int32_t x = 0; x < size; ++x) {
            const double d2 = (x - centre) * (x - centre) + (y - centre) * (y - centre);
            if (d2 < centre * centre && d2 > 4)
                picture.Pixel(x, y) = colour | 0xFF000000u;
        }
    return picture;
}

// What the run must write for a losslessly stored input, with default parameters.
Picture BevelledFile(const std::string& path)
{
    const PictureFile loaded = LoadPictureFile(ToFileSystemPath(path));
    Picture expected = loaded.picture;
    ApplyBevel(loaded.picture, expected, ParseBevelParameters("5", "135", "30", "."));
    return expected;
}

std::string ReadBytes(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class ConversionRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("tollamere-run-" + std::to_string(std::random_device{}()));
        fs::create_directories(root_ / "in");
        fs::create_directories(root_ / "out");
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string In(const std::string& name) const { return ToPathText(root_ / "in" / name); }
    std::string OutFolder() const { return ToPathText(root_ / "out"); }
    fs::path Out(const std::string& name) const { return root_ / "out" / name; }

    std::string MakeInput(const std::string& name, std::uint32_t colour = 0x3080C0u, bool alpha = false)
    {
        fs::path path = root_ / "in" / name;
        // Written under a name the saver knows, then renamed, so odd
        // extensions still hold a real picture.
        const fs::path png = root_ / "in" / ".make.png";
        SavePictureFile(Button(24, colour), alpha, png);
        fs::rename(png, path);
        return ToPathText(path);
    }

    std::string MakeInputAs(const std::string& name, std::uint32_t colour = 0x3080C0u, std::int32_t size = 24)
    {
        SavePictureFile(Button(size, colour), false, root_ / "in" / name);
        return In(name);
    }

    ConversionSummary Run(const std::vector<std::string>& inputs, RecordingObserver& observer, unsigned workers = 2,
                          const std::string& folder = {}, std::uint64_t memoryBudget = 0)
    {
        ConversionRequest request;
        request.inputPaths = inputs;
        request.outputFolder = folder.empty() ? OutFolder() : folder;
        request.workers = workers;
        request.memoryBudget = memoryBudget;
        return RunConversion(request, observer);
    }

    std::map<std::string, std::string> OutputFiles() const
    {
        std::map<std::string, std::string> files;
        for (const auto& name : OutputNames())
            files[name] = ReadBytes(Out(name));
        return files;
    }

    std::vector<std::string> OutputNames() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(root_ / "out"))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path root_;
};

TEST_F(ConversionRunTest, GuardsStopBeforeAnythingIsWritten)
{
    RecordingObserver empty;
    Run({}, empty);
    EXPECT_EQ(empty.events, std::vector<std::string>{"refused: no files"});

    const std::string input = MakeInputAs("a.png");
    for (const std::string& folder : {ToPathText(root_ / "missing"), In("a.png"), std::string("")}) {
        RecordingObserver observer;
        ConversionRequest request;
        request.inputPaths = {input};
        request.outputFolder = folder;
        RunConversion(request, observer);
        EXPECT_EQ(observer.events, std::vector<std::string>{"refused: no output folder"}) << folder;
    }
    RecordingObserver badOptions;
    ConversionRequest request;
    request.inputPaths = {input};
    request.outputFolder = OutFolder();
    request.output.namePattern.clear();
    RunConversion(request, badOptions);
    EXPECT_EQ(badOptions.events, std::vector<std::string>{"refused: output options: the name pattern is empty"});
    EXPECT_TRUE(OutputNames().empty());
}

TEST_F(ConversionRunTest, OutputNamesAndFormatsFollowTheExtension)
{
    const std::vector<std::string> inputs = {MakeInputAs("Photo.JPG"), MakeInputAs("pic.BMP"), MakeInputAs("my.photo.gif"),
                                             MakeInputAs("a.jpeg"), MakeInputAs("logo.png")};
    RecordingObserver observer;
    const ConversionSummary summary = Run(inputs, observer);
    EXPECT_TRUE(observer.failures.empty()) << observer.failures.front().description;
    EXPECT_EQ(summary.written, 5u);
    EXPECT_EQ(OutputNames(), (std::vector<std::string>{"Photo.jpg", "a.jpeg", "logo.png", "my.photo.gif", "pic.BMP"}));
    EXPECT_EQ(ReadBytes(Out("Photo.jpg")).substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(ReadBytes(Out("a.jpeg")).substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(ReadBytes(Out("pic.BMP")).substr(0, 2), "BM");
    EXPECT_EQ(ReadBytes(Out("my.photo.gif")).substr(0, 6), "GIF89a");
    EXPECT_EQ(ReadBytes(Out("logo.png")).substr(1, 3), "PNG");
    // Nothing beside the inputs either: no decoded bitmap, no temporary file.
    std::size_t besideInputs = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(root_ / "in"))
        ++besideInputs;
    EXPECT_EQ(besideInputs, inputs.size());
}

TEST_F(ConversionRunTest, OutputIsTheBevelledPictureWithItsAlpha)
{
    const std::string input = MakeInput("shape.png", 0x3080C0u, true);
    RecordingObserver observer;
    Run({input}, observer);
    ASSERT_TRUE(observer.failures.empty());

    const PictureFile written = LoadPictureFile(Out("shape.png"));
    EXPECT_TRUE(written.hasAlpha);
    EXPECT_EQ(written.picture, BevelledFile(input));
    EXPECT_NE(written.picture, LoadPictureFile(ToFileSystemPath(input)).picture);
}

TEST_F(ConversionRunTest, ItemStartsAndTheEndComeInOrder)
{
    const std::vector<std::string> inputs = {MakeInputAs("one.png"), MakeInputAs("two.png"), MakeInputAs("three.png")};
    for (const std::string& folder : {OutFolder(), OutFolder() + "/"}) {
        RecordingObserver observer;
        Run(inputs, observer, 3, folder);
        ASSERT_EQ(observer.starts.size(), 3u);
        EXPECT_DOUBLE_EQ(observer.starts[0].Percent(), 100.0 / 3);
        EXPECT_DOUBLE_EQ(observer.starts[1].Percent(), 200.0 / 3);
        EXPECT_DOUBLE_EQ(observer.starts[2].Percent(), 100.0);
        for (std::size_t item = 0; item < inputs.size(); ++item) {
            EXPECT_EQ(observer.starts[item].item, item);
            EXPECT_EQ(observer.starts[item].items, inputs.size());
            EXPECT_EQ(observer.starts[item].inputPath, inputs[item]);
        }
        ASSERT_EQ(observer.ends.size(), 1u);
        EXPECT_EQ(observer.ends[0].written, 3u);
        EXPECT_FALSE(observer.ends[0].stopped);
        EXPECT_EQ(observer.events.back(), "ended");
        EXPECT_EQ(OutputNames(), (std::vector<std::string>{"one.png", "three.png", "two.png"}));
    }
}

TEST_F(ConversionRunTest, FailingItemsAreReportedAndTheOthersWritten)
{
    std::ofstream(root_ / "in" / "broken.png") << "this is no picture";
    std::ofstream(root_ / "in" / "noextension") << "whatever";
    const std::vector<std::string> inputs = {In("broken.png"), MakeInputAs("good.png"), In("noextension"),
                                             MakeInput("odd.xyz"), MakeInputAs("last.jpg")};
    RecordingObserver observer;
    const ConversionSummary summary = Run(inputs, observer);
    EXPECT_EQ(summary.written, 2u);
    EXPECT_EQ(summary.failed, 3u);
    ASSERT_EQ(observer.failures.size(), 3u);
    std::sort(observer.failures.begin(), observer.failures.end(),
              [](const auto& a, const auto& b) { return a.item < b.item; });
    EXPECT_EQ(observer.failures[0].lineNumber, 154);
    EXPECT_EQ(observer.failures[0].number, ErrorNumber::InvalidPicture);
    EXPECT_EQ(observer.failures[0].inputPath, inputs[0]);
    EXPECT_EQ(observer.failures[1].lineNumber, 128);
    EXPECT_EQ(observer.failures[1].number, ErrorNumber::InvalidProcedureCall);
    EXPECT_EQ(observer.failures[2].lineNumber, 170);
    EXPECT_NE(observer.failures[2].description.find("xyz"), std::string::npos);
    EXPECT_EQ(OutputNames(), (std::vector<std::string>{"good.png", "last.jpg"}));
    ASSERT_EQ(observer.ends.size(), 1u);
    EXPECT_EQ(observer.ends[0].failed, 3u);
}

TEST_F(ConversionRunTest, BadParametersFailEveryItemAtTheBevelStep)
{
    const std::vector<std::string> inputs = {MakeInputAs("a.png"), MakeInputAs("b.jpg")};
    const struct {
        std::string size, angle;
        ErrorNumber error;
    } cases[] = {{"5", "abc", ErrorNumber::TypeMismatch}, {"255", "135", ErrorNumber::Overflow},
                 {"-1", "135", ErrorNumber::DivisionByZero}};
    for (const auto& [size, angle, error] : cases) {
        ConversionRequest request;
        request.inputPaths = inputs;
        request.outputFolder = OutFolder();
        request.parameters = ReadEffectParameters(size, angle, "30", ".");
        RecordingObserver observer;
        RunConversion(request, observer);
        ASSERT_EQ(observer.failures.size(), 2u);
        for (const ConversionFailure& failure : observer.failures) {
            EXPECT_EQ(failure.lineNumber, 160);
            EXPECT_EQ(failure.number, error);
        }
        EXPECT_TRUE(OutputNames().empty());
    }
    // A request whose parameters were never read takes the boxes' first texts.
    const EffectParameters first = ReadEffectParameters("5", "135", "30", ".");
    ASSERT_FALSE(first.error);
    EXPECT_EQ(first.parsed.bevelSize, EffectParameters{}.parsed.bevelSize);
    EXPECT_EQ(first.parsed.lightAngle, EffectParameters{}.parsed.lightAngle);
    EXPECT_EQ(first.parsed.lightElevation, EffectParameters{}.parsed.lightElevation);
}

TEST_F(ConversionRunTest, NeverOverwritesAnInputOrItsOwnOutput)
{
    fs::create_directories(root_ / "in" / "second");
    const std::string first = MakeInputAs("a.png", 0x102030u);
    SavePictureFile(Button(24, 0x405060u), false, root_ / "in" / "second" / "a.png");
    const std::string second = ToPathText(root_ / "in" / "second" / "a.png");
    const std::string photo = MakeInputAs("photo.jpg");
    const std::string photoBytes = ReadBytes(ToFileSystemPath(photo));

    RecordingObserver observer;
    Run({first, second}, observer);
    ASSERT_EQ(observer.failures.size(), 1u);
    EXPECT_EQ(observer.failures[0].item, 1u);
    EXPECT_EQ(observer.failures[0].lineNumber, 170);
    EXPECT_NE(observer.failures[0].description.find(first), std::string::npos);
    EXPECT_NE(observer.failures[0].description.find(second), std::string::npos);
    EXPECT_EQ(LoadPictureFile(Out("a.png")).picture, BevelledFile(first));

    RecordingObserver inPlace;
    Run({photo}, inPlace, 1, ToPathText(root_ / "in"));
    ASSERT_EQ(inPlace.failures.size(), 1u);
    EXPECT_EQ(inPlace.failures[0].lineNumber, 164);
    EXPECT_EQ(ReadBytes(ToFileSystemPath(photo)), photoBytes);
}

TEST_F(ConversionRunTest, ReplacesOlderOutputs)
{
    std::ofstream(Out("a.png")) << "old";
    RecordingObserver observer;
    Run({MakeInputAs("a.png")}, observer);
    EXPECT_TRUE(observer.failures.empty());
    EXPECT_TRUE(LoadPictureFile(Out("a.png")).picture.HasBitmap());
}

// Several workers, and a memory budget that lets only one large item in at
// a time, must write and report exactly what one worker does: quick failures
// between slow items come out in list order, each after its own progress.
TEST_F(ConversionRunTest, WorkersWriteAndReportWhatOneWorkerDoes)
{
    std::vector<std::string> inputs;
    const char* extensions[] = {"png", "jpg", "bmp", "gif", "tif"};
    for (int i = 0; i < 10; ++i) {
        inputs.push_back(MakeInputAs("item" + std::to_string(i) + "." + extensions[i % 5],
                                     0x101010u * static_cast<std::uint32_t>(i + 1), 400));
        inputs.push_back(In("missing" + std::to_string(i) + ".png"));
    }
    RecordingObserver single;
    Run(inputs, single, 1);
    const auto singleOutputs = OutputFiles();
    EXPECT_EQ(singleOutputs.size(), 10u);

    // A 400 x 400 item needs a few MiB; 5 MiB holds one of them, not two.
    for (const std::uint64_t budget : {std::uint64_t{0}, std::uint64_t{5} << 20}) {
        fs::remove_all(root_ / "out");
        fs::create_directories(root_ / "out");
        RecordingObserver pooled;
        Run(inputs, pooled, 4, {}, budget);
        EXPECT_EQ(OutputFiles(), singleOutputs) << "budget " << budget;
        EXPECT_EQ(pooled.events, single.events) << "budget " << budget;
    }
}

TEST_F(ConversionRunTest, ItemBeyondTheMemoryBudgetFailsAlone)
{
    const std::vector<std::string> inputs = {MakeInputAs("small.png"), MakeInputAs("large.png", 0x3080C0u, 1000)};
    RecordingObserver observer;
    const ConversionSummary summary = Run(inputs, observer, 2, {}, std::uint64_t{4} << 20);
    EXPECT_EQ(summary.written, 1u);
    ASSERT_EQ(observer.failures.size(), 1u);
    EXPECT_EQ(observer.failures[0].item, 1u);
    EXPECT_EQ(observer.failures[0].lineNumber, 154);
    EXPECT_EQ(observer.failures[0].number, ErrorNumber::OutOfMemory);
    EXPECT_NE(observer.failures[0].description.find("1000 x 1000 pixels"), std::string::npos) << observer.failures[0].description;
    EXPECT_NE(observer.failures[0].description.find("4 MiB"), std::string::npos) << observer.failures[0].description;
    EXPECT_EQ(OutputNames(), std::vector<std::string>{"small.png"});
}

// The margin and the shadow reach every item, the JPEG written as JPEG too
// (which the classic effect otherwise bevels on its own surface); an item
// the margin would grow beyond the largest picture fails before it is read.
TEST_F(ConversionRunTest, TheMarginGrowsEveryItemWithinThePictureLimits)
{
    test::WriteBytes(root_ / "in" / "huge.png", test::PngHeaderClaiming(10000, 10000));
    const std::vector<std::string> inputs = {MakeInputAs("a.png"), MakeInputAs("b.jpg"), In("huge.png")};
    ConversionRequest request;
    request.inputPaths = inputs;
    request.outputFolder = OutFolder();
    request.parameters.look.decoration = {2000, DropShadow{3, 3, 4}};
    RecordingObserver observer;
    const ConversionSummary summary = RunConversion(request, observer);
    EXPECT_EQ(summary.written, 2u);
    ASSERT_EQ(observer.failures.size(), 1u);
    EXPECT_EQ(observer.failures[0].item, 2u);
    EXPECT_EQ(observer.failures[0].lineNumber, 160);
    EXPECT_EQ(observer.failures[0].number, ErrorNumber::OutOfMemory);
    EXPECT_NE(observer.failures[0].description.find("makes the picture 14000 x 14000 pixels"), std::string::npos)
        << observer.failures[0].description;
    EXPECT_EQ(OutputNames(), (std::vector<std::string>{"a.png", "b.jpg"}));
    for (const char* name : {"a.png", "b.jpg"}) {
        const PictureFile output = LoadPictureFile(Out(name));
        EXPECT_EQ(output.picture.Width(), 4024) << name;
        EXPECT_EQ(output.picture.Height(), 4024) << name;
    }
    // The JPEG holds no alpha: its margin is its corner's black, opaque.
    EXPECT_EQ(LoadPictureFile(Out("b.jpg")).picture.Pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(LoadPictureFile(Out("a.png")).picture.Pixel(0, 0), 0x00000000u);
}

// A workspace kept from a large picture is freed, not waited for, when the
// next item could never fit beside it: here one of unknown size, which takes
// the whole budget.
TEST_F(ConversionRunTest, AKeptWorkspaceNeverHoldsUpTheNextItem)
{
    const std::vector<std::string> inputs = {MakeInputAs("large.png", 0x3080C0u, 200), In("unknown.png")};
    std::ofstream(root_ / "in" / "unknown.png") << std::string(300 << 10, 'U');
    RecordingObserver observer;
    const ConversionSummary summary = Run(inputs, observer, 1, {}, std::uint64_t{1} << 20);
    EXPECT_EQ(summary.written, 1u);
    ASSERT_EQ(observer.failures.size(), 1u);
    EXPECT_EQ(observer.failures[0].number, ErrorNumber::InvalidPicture);
}

// A link where an output goes is replaced by the output, whatever it points
// at: nothing outside the output folder is created, changed or replaced.
TEST_F(ConversionRunTest, LinksAtTheOutputAreReplacedNotFollowed)
{
    const fs::path outside = root_ / "outside";
    fs::create_directories(outside);
    std::ofstream(outside / "victim.txt") << "keep me";
    ASSERT_EQ(mkfifo((outside / "node").c_str(), 0600), 0);
    fs::create_symlink(outside / "victim.txt", Out("a.png"));
    fs::create_symlink(outside / "dangling.png", Out("b.png"));
    fs::create_symlink(outside / "node", Out("c.jpg"));

    RecordingObserver observer;
    const ConversionSummary summary = Run({MakeInputAs("a.png"), MakeInputAs("b.png"), MakeInputAs("c.jpg")}, observer);
    EXPECT_EQ(summary.written, 3u);
    for (const char* name : {"a.png", "b.png", "c.jpg"}) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Out(name)))) << name;
        EXPECT_TRUE(LoadPictureFile(Out(name)).picture.HasBitmap()) << name;
    }
    EXPECT_EQ(ReadBytes(outside / "victim.txt"), "keep me");
    EXPECT_FALSE(fs::exists(outside / "dangling.png"));
    EXPECT_TRUE(fs::is_fifo(outside / "node"));
}

// A name is bytes: one that is not UTF-8 is read and written as given, told
// apart from its look-alike, and shown escaped.
TEST_F(ConversionRunTest, NamesAreTheirBytes)
{
    const std::string invalid = "x\xFF.png";
    const std::string lookAlike = "x\xEF\xBF\xBD.png";  // U+FFFD, what a lossy conversion makes of it
    const std::string latin1 = "caf\xE9.bmp";
    const std::vector<std::string> inputs = {MakeInputAs(invalid, 0x2040A0u), MakeInputAs(latin1, 0x40A020u),
                                             In("gone\xFE.png")};
    SavePictureFile(Button(24, 0xA02040u), false, Out(lookAlike));
    const std::string lookAlikeBytes = ReadBytes(Out(lookAlike));

    RecordingObserver observer;
    const ConversionSummary summary = Run(inputs, observer);
    EXPECT_EQ(summary.written, 2u);
    EXPECT_EQ(LoadPictureFile(Out(invalid)).picture, BevelledFile(inputs[0]));
    EXPECT_EQ(LoadPictureFile(Out(latin1)).picture, BevelledFile(inputs[1]));
    EXPECT_EQ(ReadBytes(Out(lookAlike)), lookAlikeBytes);
    ASSERT_EQ(observer.failures.size(), 1u);
    EXPECT_EQ(observer.failures[0].number, ErrorNumber::FileNotFound);
    EXPECT_NE(observer.failures[0].description.find("gone\\xFE.png"), std::string::npos) << observer.failures[0].description;

    // An output that is an input of the run is refused by its bytes.
    RecordingObserver inPlace;
    Run({inputs[0]}, inPlace, 1, ToPathText(root_ / "in"));
    ASSERT_EQ(inPlace.failures.size(), 1u);
    EXPECT_NE(inPlace.failures[0].description.find("x\\xFF.png is an input"), std::string::npos) << inPlace.failures[0].description;
}

// Temporary names are short and recognisable; a run removes those a killed
// run left, however new (a file server's clock may even be ahead), and
// leaves a write in progress and the user's own files alone.
TEST_F(ConversionRunTest, TemporaryFilesNeverOutliveTheirRun)
{
    const auto ahead = fs::file_time_type::clock::now() + std::chrono::hours(1);
    for (const char* name : {".tollamere-0123456789ab.tmp", ".tollamere-notes.tmp", ".tollamere-00000000000a.tmp"}) {
        std::ofstream(Out(name)) << "left over";
        fs::last_write_time(Out(name), ahead);
    }
    const int held = open(Out(".tollamere-00000000000a.tmp").c_str(), O_RDONLY);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    const std::string longName = std::string(251, 'n') + ".png";

    RecordingObserver observer;
    Run({MakeInputAs("a.png"), MakeInputAs(longName)}, observer);
    Run({In("a.png"), In(longName)}, observer);
    close(held);
    EXPECT_TRUE(observer.failures.empty()) << observer.failures.front().description;
    EXPECT_EQ(OutputNames(), (std::vector<std::string>{".tollamere-00000000000a.tmp", ".tollamere-notes.tmp", "a.png", longName}));

    // A run that keeps folders may write anywhere below the output folder,
    // and cleans there too, but in dot folders, where no output goes; a flat
    // run cleans its folder alone.
    const std::string deep = "deep/deeper/.tollamere-0123456789ac.tmp";
    const std::string dot = ".dot/.tollamere-0123456789ad.tmp";
    for (const std::string& name : {deep, dot}) {
        fs::create_directories(Out(name).parent_path());
        std::ofstream(Out(name)) << "left over";
    }
    // A run told that the tree was cleaned (a watch's) cleans the folders
    // it writes into only.
    const std::string own = "sub/.tollamere-0123456789ae.tmp";
    fs::create_directories(Out(own).parent_path());
    fs::create_directories(In("sub"));
    fs::copy_file(In("a.png"), In("sub/b.png"));
    const struct {
        OutputOptions::Structure structure;
        bool cleaned;
        bool deepStays;
    } rows[] = {{OutputOptions::Structure::Flat, false, true},
                {OutputOptions::Structure::KeepFolders, true, true},
                {OutputOptions::Structure::KeepFolders, false, false}};
    for (const auto& row : rows) {
        std::ofstream(Out(own)) << "left over";
        ConversionRequest request;
        request.inputPaths = {In("sub/b.png")};
        request.inputRoots = {ToPathText(root_ / "in")};
        request.outputFolder = OutFolder();
        request.output.structure = row.structure;
        request.staleBelowRemoved = row.cleaned;
        RunConversion(request, observer);
        EXPECT_EQ(fs::exists(Out(deep)), row.deepStays);
        EXPECT_EQ(fs::exists(Out(own)), row.structure == OutputOptions::Structure::Flat);
        EXPECT_TRUE(fs::exists(Out(dot)));
    }
}

TEST_F(ConversionRunTest, NamesThatAreOnlyAnExtensionKeepTheirFormat)
{
    RecordingObserver observer;
    const ConversionSummary summary = Run({MakeInputAs(".png"), MakeInputAs(".bmp"), MakeInputAs(".jpg")}, observer);
    EXPECT_EQ(summary.written, 3u);
    EXPECT_EQ(ReadBytes(Out(".png")).substr(1, 3), "PNG");
    EXPECT_EQ(ReadBytes(Out(".bmp")).substr(0, 2), "BM");
    EXPECT_EQ(ReadBytes(Out(".jpg")).substr(0, 2), "\xFF\xD8");
}

struct StoppingObserver : RecordingObserver {
    void ItemStarted(const ItemStart& start) override
    {
        RecordingObserver::ItemStarted(start);
        source.request_stop();
    }
    std::stop_source source;
};

TEST_F(ConversionRunTest, StoppedRunStartsNoFurtherItem)
{
    std::vector<std::string> inputs;
    for (int i = 0; i < 6; ++i)
        inputs.push_back(MakeInputAs("s" + std::to_string(i) + ".png"));
    StoppingObserver observer;
    ConversionRequest request;
    request.inputPaths = inputs;
    request.outputFolder = OutFolder();
    request.workers = 1;
    const ConversionSummary summary = RunConversion(request, observer, observer.source.get_token());
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(summary.written, 0u);
    EXPECT_TRUE(OutputNames().empty());
    ASSERT_EQ(observer.ends.size(), 1u);
    EXPECT_TRUE(observer.ends[0].stopped);
    EXPECT_EQ(observer.events.back(), "ended");
}

} // namespace
} // namespace tollamere
