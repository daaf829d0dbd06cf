#include "command_line.h"

#include "Main.h"
#include "hostile_corpus.h"
#include "picture_files.h"

#include <gtest/gtest.h>

#include <array>
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
                                           "-j", "3", "-q", "a.png", "--", "-odd.png"},
                                          error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->outputFolder, "out");
    EXPECT_EQ(options->bevelSize, "7");
    EXPECT_EQ(options->lightAngle, "90");
    EXPECT_EQ(options->lightElevation, "45");
    EXPECT_EQ(options->extension, "png");
    EXPECT_EQ(options->jobs, 3u);
    EXPECT_TRUE(options->quiet);
    EXPECT_EQ(options->paths, (std::vector<std::string>{"a.png", "-odd.png"}));

    const auto defaults = ParseCommandLine({"in"}, error);
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->outputFolder, ".");
    EXPECT_EQ(defaults->bevelSize, "5");
    EXPECT_EQ(defaults->lightAngle, "135");
    EXPECT_EQ(defaults->lightElevation, "30");
    EXPECT_EQ(defaults->extension, "*");
    EXPECT_EQ(defaults->jobs, 0u);
}

TEST(CommandLineTest, RefusesUsageErrors)
{
    const std::vector<std::vector<std::string>> bad = {
        {}, {"-o"}, {"--bogus", "a.png"}, {"-j", "0", "a.png"}, {"-j", "two", "a.png"}, {"-x", "", "a.png"}};
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
