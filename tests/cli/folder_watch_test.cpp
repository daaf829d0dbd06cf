// SPDX-License-Identifier: MIT
// The watched folder: what is handed on and when, on a clock the test turns;
// then the program watching a folder while pictures are written into it.
#include "folder_watch.h"

#include "picture_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace tollamere {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class FolderWatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("tollamere-watch-" + std::to_string(std::random_device{}()));
        fs::create_directories(root_ / "in" / "sub");
        fs::create_directories(root_ / "in" / "out");
    }
    void TearDown() override { fs::remove_all(root_); }

    void Write(const fs::path& path, const std::string& bytes) const
    {
        std::ofstream(root_ / "in" / path, std::ios::binary | std::ios::app) << bytes;
    }
    std::string In(const std::string& name) const { return (root_ / "in" / name).string(); }

    fs::path root_;
};

TEST_F(FolderWatchTest, HandsOnEachNewPictureOnceItStaysTheSame)
{
    Write("there.png", "before");
    for (const bool recursive : {false, true}) {
        SCOPED_TRACE(recursive ? "with sub-folders" : "the folder alone");
        const auto t = FolderWatch::Clock::now();
        FolderWatch watch({(root_ / "in").string(), recursive, "*", (root_ / "in" / "out").string(), 1000ms});
        const auto poll = [&](std::chrono::milliseconds at) { return watch.Poll(t + at); };

        const std::string suffix = recursive ? "2" : "1";
        Write("a" + suffix + ".png", "half");
        for (const std::string name : {".hidden.png", "~draft.png", "notes.txt", "out/o.png", "sub/s.png"})
            Write(name.substr(0, name.find('.', 1)) + suffix + name.substr(name.find('.', 1)), "x");
        Write("gone" + suffix + ".png", "x");
        EXPECT_TRUE(poll(0ms).empty());
        EXPECT_TRUE(poll(900ms).empty());
        // Written on: the wait starts again.
        Write("a" + suffix + ".png", " and the rest");
        fs::remove(root_ / "in" / ("gone" + suffix + ".png"));
        // Renamed in, whole.
        Write("part.tmp", "whole");
        fs::rename(root_ / "in" / "part.tmp", root_ / "in" / ("b" + suffix + ".png"));
        EXPECT_EQ(poll(1100ms), recursive ? std::vector<std::string>{In("sub/s2.png")} : std::vector<std::string>{});
        EXPECT_EQ(poll(2200ms), (std::vector<std::string>{In("a" + suffix + ".png"), In("b" + suffix + ".png")}));
        EXPECT_TRUE(poll(5000ms).empty());
        // Written again after it was handed on: it is new again.
        Write("a" + suffix + ".png", "!");
        EXPECT_TRUE(poll(5100ms).empty());
        EXPECT_EQ(poll(6200ms), std::vector<std::string>{In("a" + suffix + ".png")});
        EXPECT_TRUE(watch.FolderReadable());
    }
}

TEST_F(FolderWatchTest, TheProgramConvertsWhatArrivesAndStopsCleanly)
{
    const fs::path out = root_ / "converted";
    fs::create_directories(out);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(ends[1], STDERR_FILENO);
        close(ends[0]);
        close(ends[1]);
        execl(TOLLAMERE_CLI, "tollamere-cli", "--watch", (root_ / "in").c_str(), "-o", out.c_str(), nullptr);
        _exit(127);
    }
    close(ends[1]);
    // Its first line: the folder's first look is taken.
    std::string said;
    for (char c = 0; read(ends[0], &c, 1) == 1 && c != '\n';)
        said += c;
    EXPECT_NE(said.find("watching"), std::string::npos) << said;
    Picture button(40, 30, 0xFF305070u);
    SavePictureFile(button, false, root_ / "button.png");
    // Copied in slowly, as over a network: never taken half written.
    std::ifstream source(root_ / "button.png", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(source)), std::istreambuf_iterator<char>());
    const std::size_t half = bytes.size() / 2;
    Write("slow.png", bytes.substr(0, half));
    std::this_thread::sleep_for(300ms);
    Write("slow.png", bytes.substr(half));
    for (int waited = 0; waited < 200 && !fs::exists(out / "slow.png"); ++waited)
        std::this_thread::sleep_for(50ms);
    kill(child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    close(ends[0]);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT);
    std::size_t outputs = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        EXPECT_EQ(entry.path().filename(), "slow.png");
        ++outputs;
    }
    ASSERT_EQ(outputs, 1u);
    EXPECT_EQ(LoadPictureFile(out / "slow.png").picture.Width(), 40);
}

} // namespace
} // namespace tollamere
