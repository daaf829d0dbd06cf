// SPDX-License-Identifier: MIT
#include "command_line.h"

#include "path_text.h"
#include "hostile_corpus.h"
#include "picture_files.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <iterator>
#include <map>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <sys/wait.h>

namespace tollamere {
namespace {

namespace fs = std::filesystem;

TEST(CommandLineTest, ReadsOptionsAndPaths)
{
    std::string error;
    const auto options = ParseCommandLine({"-o", "out", "--size=7", "-a", "90", "--elevation", "45", "-x", "png",
                                           "-j", "3", "--max-memory", "1048576", "-q", "-v", "a.png", "--",
                                           "-odd.png"},
                                          error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->outputFolder, "out");
    EXPECT_EQ(options->bevelSize, "7");
    EXPECT_EQ(options->lightAngle, "90");
    EXPECT_EQ(options->lightElevation, "45");
    EXPECT_EQ(options->extension, "png");
    EXPECT_EQ(options->jobs, 3u);
    EXPECT_EQ(options->maxMemoryMiB, 1048576u);
    EXPECT_TRUE(options->quiet);
    EXPECT_TRUE(options->verbose);
    EXPECT_EQ(options->paths, (std::vector<std::string>{"a.png", "-odd.png"}));

    const auto defaults = ParseCommandLine({"in"}, error);
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->outputFolder, ".");
    EXPECT_EQ(defaults->bevelSize, "5");
    EXPECT_EQ(defaults->lightAngle, "135");
    EXPECT_EQ(defaults->lightElevation, "30");
    EXPECT_EQ(defaults->extension, "*");
    EXPECT_EQ(defaults->jobs, 0u);
    EXPECT_EQ(defaults->maxMemoryMiB, 0u);
    EXPECT_FALSE(defaults->verbose);
    EXPECT_EQ(ParseCommandLine({"--max-memory=1", "in"}, error)->maxMemoryMiB, 1u);
}

TEST(CommandLineTest, RefusesUsageErrors)
{
    const std::vector<std::vector<std::string>> bad = {
        {}, {"-o"}, {"--bogus", "a.png"}, {"-j", "0", "a.png"}, {"-j", "two", "a.png"}, {"-x", "", "a.png"},
        {"a.png", "--max-memory"}, {"--max-memory", "0", "a.png"}, {"--max-memory", "1048577", "a.png"},
        {"--max-memory", "-1", "a.png"}, {"--max-memory", "1.5", "a.png"}, {"--max-memory=", "a.png"},
        {"--max-memory=12MB", "a.png"}, {"--max-memory", " 12", "a.png"},
        {"--max-memory", "18446744073709551617", "a.png"}};
    for (const auto& arguments : bad) {
        std::string error;
        EXPECT_FALSE(ParseCommandLine(arguments, error));
        EXPECT_FALSE(error.empty());
    }
    std::string error;
    EXPECT_TRUE(ParseCommandLine({"--help"}, error));
    EXPECT_TRUE(ParseCommandLine({"--version"}, error));
}

struct Result {
    int exitCode = -1;
    std::string errors;
};

Result RunCli(const std::string& arguments)
{
    const std::string command = std::string(TOLLAMERE_CLI) + " " + arguments + " 2>&1 >/dev/null";
    Result result;
    FILE* pipe = popen(command.c_str(), "r");
    std::array<char, 4096> buffer{};
    while (std::size_t count = std::fread(buffer.data(), 1, buffer.size(), pipe))
        result.errors.append(buffer.data(), count);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string ReadWhole(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class CliEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("tollamere-cli-" + std::to_string(std::random_device{}()));
        fs::create_directories(root_ / "in" / "deeper");
        fs::create_directories(root_ / "out");
        Picture button(20, 20, 0xFF000000u);
        for (std::int32_t y = 3; y < 17; ++y)
            for (std::int32_t x = 3; x < 17; ++x)
                button.Pixel(x, y) = 0xFF40A060u;
        SavePictureFile(button, false, root_ / "in" / "a.png");
        SavePictureFile(button, false, root_ / "in" / "deeper" / "b.JPG");
        SavePictureFile(button, false, root_ / "in" / "deeper" / "c.bmp");
        std::ofstream(root_ / "in" / "notes.txt") << "not a picture";
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string Quoted(const fs::path& path) const { return "'" + path.string() + "'"; }

    fs::path root_;
};

TEST_F(CliEndToEndTest, ConvertsFoldersAndFiles)
{
    const Result all = RunCli("-q -o " + Quoted(root_ / "out") + " " + Quoted(root_ / "in"));
    EXPECT_EQ(all.exitCode, 0) << all.errors;
    EXPECT_TRUE(fs::exists(root_ / "out" / "a.png"));
    EXPECT_TRUE(fs::exists(root_ / "out" / "b.jpg"));
    EXPECT_TRUE(fs::exists(root_ / "out" / "c.bmp"));
    EXPECT_FALSE(fs::exists(root_ / "out" / "notes.txt"));
    fs::remove_all(root_ / "out");
    fs::create_directories(root_ / "out");

    const Result bitmaps = RunCli("-q --ext bmp -o " + Quoted(root_ / "out") + " " + Quoted(root_ / "in"));
    EXPECT_EQ(bitmaps.exitCode, 0) << bitmaps.errors;
    EXPECT_TRUE(fs::exists(root_ / "out" / "c.bmp"));
    EXPECT_FALSE(fs::exists(root_ / "out" / "a.png"));
}

TEST_F(CliEndToEndTest, FailuresNameTheFileAndSetTheExitCode)
{
    const fs::path text = root_ / "in" / "notes.txt";
    const fs::path broken = root_ / "in" / "broken.jpg";
    std::ofstream(broken) << "\xFF\xD8\xFF truncated";
    const Result result = RunCli("-q -o " + Quoted(root_ / "out") + " " + Quoted(broken) + " " +
                                 Quoted(root_ / "in" / "a.png") + " " + Quoted(text));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.errors.find(broken.string() + ": Invalid picture"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find(text.string() + ": "), std::string::npos) << result.errors;
    EXPECT_TRUE(fs::exists(root_ / "out" / "a.png"));
    EXPECT_FALSE(fs::exists(root_ / "out" / "broken.jpg"));
}

// A caller may close the standard streams: failure text must never land in
// an output that took their descriptor.
TEST_F(CliEndToEndTest, ClosedStandardStreamsLeaveTheOutputsAlone)
{
    // Good and bad files alternate, so that failures are reported while
    // other outputs are being written.
    fs::create_directories(root_ / "mixed");
    Picture large(300, 300, 0xFF000000u);
    for (std::int32_t y = 20; y < 280; ++y)
        for (std::int32_t x = 20; x < 280; ++x)
            large.Pixel(x, y) = 0xFF000000u | std::uint32_t(x * 0x10301 + y * 0x207);
    for (int i = 0; i < 20; ++i) {
        const std::string number = (i < 10 ? "0" : "") + std::to_string(i);
        SavePictureFile(large, false, root_ / "mixed" / (number + "a.bmp"));
        std::ofstream(root_ / "mixed" / (number + "b.png")) << "garbage " << i;
    }
    const Result open = RunCli("-q -j 2 -o " + Quoted(root_ / "out") + " " + Quoted(root_ / "mixed"));
    EXPECT_EQ(open.exitCode, 1);
    std::map<std::string, std::string> expected;
    for (const auto& entry : fs::directory_iterator(root_ / "out"))
        expected[entry.path().filename().string()] = ReadWhole(entry.path());
    ASSERT_EQ(expected.size(), 20u);

    for (const char* closing : {"2>&-", ">&-", "<&- >&- 2>&-"}) {
        fs::remove_all(root_ / "out");
        fs::create_directories(root_ / "out");
        const std::string command = std::string(TOLLAMERE_CLI) + " -j 2 -o " + Quoted(root_ / "out") + " " +
                                    Quoted(root_ / "mixed") + " " + closing;
        const int status = std::system(command.c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1) << closing;
        std::size_t written = 0;
        for (const auto& entry : fs::directory_iterator(root_ / "out")) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(expected.contains(name) && ReadWhole(entry.path()) == expected[name]) << name << " with " << closing;
            ++written;
        }
        EXPECT_EQ(written, expected.size()) << closing;
    }
}

// A light angle or elevation beyond what the effect can use fails every item
// at the effect step; the program itself does not abort.
TEST_F(CliEndToEndTest, AbsurdLightDirectionsAreOrdinaryFailures)
{
    for (const char* option : {"-a 1e308", "-e 1e308", "-a -1e308", "-a 5.8e307"}) {
        const Result result = RunCli(std::string("-q ") + option + " -o " + Quoted(root_ / "out") + " " + Quoted(root_ / "in" / "a.png"));
        EXPECT_EQ(result.exitCode, 1) << option << ": " << result.errors;
        EXPECT_NE(result.errors.find("a.png: Overflow"), std::string::npos) << option << ": " << result.errors;
    }
    EXPECT_TRUE(fs::is_empty(root_ / "out"));
}

TEST_F(CliEndToEndTest, HostileFilesGiveOneLineEachAndTheRestIsWritten)
{
    fs::create_directories(root_ / "hostile");
    const std::vector<test::HostileFile> corpus = test::WriteHostileCorpus(root_ / "hostile");
    const Result result = RunCli("-q -o " + Quoted(root_ / "out") + " " + Quoted(root_ / "hostile"));
    EXPECT_EQ(result.exitCode, 1);

    // Every line names one input and why; the decoders' own chatter stays out.
    std::set<std::string> named;
    std::istringstream lines(result.errors);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t colon = line.find(": ");
        ASSERT_NE(colon, std::string::npos) << line;
        const std::string path = line.substr(0, colon);
        EXPECT_TRUE(named.insert(path).second) << "named twice: " << line;
        EXPECT_TRUE(fs::exists(path)) << line;
    }
    for (const test::HostileFile& file : corpus) {
        const bool reported = named.contains(file.path.string());
        if (file.outcome == test::Outcome::Fails) {
            EXPECT_TRUE(reported) << file.path;
        }
        if (file.outcome == test::Outcome::Written) {
            EXPECT_FALSE(reported) << file.path;
            EXPECT_TRUE(fs::exists(root_ / "out" / file.path.filename())) << file.path;
        }
    }
    std::size_t outputs = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(root_ / "out"))
        ++outputs;
    EXPECT_EQ(outputs + named.size(), corpus.size());
}

TEST_F(CliEndToEndTest, FolderScanSkipsAreCountedListedAndFailTheRun)
{
    struct Skipped {
        std::string name;
        std::string shown;
        std::string reason;
    };
    std::vector<Skipped> skipped = {
        {"~a.png", "~a.png", "the name starts with \"~\""},
        {".b.png", ".b.png", "hidden file"},
        {"\xFF.png", "\\xFF.png", "the name holds characters the scan does not accept"},
        {"locked", "locked/", "the folder cannot be listed: permission denied"},
    };
    const fs::path in = root_ / "in";
    for (const Skipped& item : skipped) {
        if (item.name != "locked")
            fs::copy_file(in / "a.png", in / item.name);
    }
    // Not a picture: the "*" filter would drop it anyway, so it is not counted.
    std::ofstream(in / "~notes.txt") << "not a picture";
    fs::create_directories(in / "locked");
    fs::copy_file(in / "a.png", in / "locked" / "d.png");
    fs::permissions(in / "locked", fs::perms::none);
    std::error_code listingError;
    fs::directory_iterator listing(in / "locked", listingError);
    const bool locked = static_cast<bool>(listingError);
    if (!locked) {
        std::printf("[   NOTE   ] the unlistable-folder row is left out: root can list any folder\n");
        skipped.pop_back();
    }
    const std::string count = std::to_string(skipped.size()) + " file(s) or folder(s) skipped by the folder scan";
    const std::string arguments = "-o " + Quoted(root_ / "out") + " " + Quoted(in);

    const Result plain = RunCli(arguments);
    EXPECT_EQ(plain.exitCode, 1) << plain.errors;
    const std::string written = locked ? "3 of 3" : "4 of 4";
    EXPECT_NE(plain.errors.find(written + " file(s) written to "), std::string::npos) << plain.errors;
    EXPECT_NE(plain.errors.find(count + " (--verbose lists them)\n"), std::string::npos) << plain.errors;
    EXPECT_EQ(plain.errors.find(": skipped, "), std::string::npos) << plain.errors;
    EXPECT_FALSE(fs::exists(root_ / "out" / "~a.png"));
    EXPECT_NE(fs::exists(root_ / "out" / "d.png"), locked);

    const Result verbose = RunCli("--verbose " + arguments);
    EXPECT_EQ(verbose.exitCode, 1) << verbose.errors;
    EXPECT_NE(verbose.errors.find(count + ":\n"), std::string::npos) << verbose.errors;
    for (const Skipped& item : skipped) {
        const std::string line = (in / item.shown).string() + ": skipped, " + item.reason + "\n";
        EXPECT_NE(verbose.errors.find(line), std::string::npos) << line << "in\n" << verbose.errors;
    }
    EXPECT_EQ(verbose.errors.find('\xFF'), std::string::npos) << "a raw byte reached the terminal";

    const Result quiet = RunCli("-q " + arguments);
    EXPECT_EQ(quiet.exitCode, 1);
    EXPECT_EQ(quiet.errors, "");

    fs::permissions(in / "locked", fs::perms::owner_all);
}

TEST_F(CliEndToEndTest, UsageErrorsExitWithTwo)
{
    EXPECT_EQ(RunCli("").exitCode, 2);
    EXPECT_EQ(RunCli("--frobnicate x").exitCode, 2);
    EXPECT_EQ(RunCli("-o " + Quoted(root_ / "missing") + " " + Quoted(root_ / "in")).exitCode, 2);
    EXPECT_EQ(RunCli("--help").exitCode, 0);
    EXPECT_EQ(RunCli("-q -s abc -o " + Quoted(root_ / "out") + " " + Quoted(root_ / "in" / "a.png")).exitCode, 1);
}

} // namespace
} // namespace tollamere
