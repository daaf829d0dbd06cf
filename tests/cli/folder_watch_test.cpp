// SPDX-License-Identifier: MIT
// The watched folder: what is handed on and when, on a clock the test turns;
// then the program watching a folder while pictures are written into it.
#include "folder_watch.h"

#include "file_io.h"
#include "picture_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <thread>

#include <fcntl.h>
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

    // A picture put in whole, as a copy renamed in place arrives.
    void Arrive(const fs::path& folder, const std::string& name) const
    {
        SavePictureFile(Picture(24, 16, 0xFF30A050u), false, root_ / "arriving.png");
        fs::rename(root_ / "arriving.png", folder / name);
    }

    // The program watching with these arguments, its messages into a file.
    pid_t StartWatch(const std::vector<std::string>& arguments, const fs::path& messages) const
    {
        const pid_t child = fork();
        if (child == 0) {
            const int errors = open(messages.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(errors, STDERR_FILENO);
            std::vector<char*> argv{const_cast<char*>("tollamere-cli")};
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            execv(TOLLAMERE_CLI, argv.data());
            _exit(127);
        }
        return child;
    }

    // Waits up to 20 s for the condition; a watch that never comes to it
    // fails the test, not holds it.
    static bool WaitFor(const std::function<bool()>& condition)
    {
        for (int waited = 0; waited < 400; ++waited) {
            if (condition())
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return condition();
    }

    static std::string Said(const fs::path& messages)
    {
        std::ifstream file(messages);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    // Ctrl+C; the exit status.
    static int Stop(pid_t child)
    {
        kill(child, SIGINT);
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static std::set<std::string> Names(const fs::path& folder)
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        return names;
    }

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
        EXPECT_EQ(watch.Lost(), "");
    }
}

// Links are never followed, the files the watch wrote are never taken, and
// a folder moved away and replaced by a link is no longer watched.
TEST_F(FolderWatchTest, LinksAndItsOwnFilesAreLeftAndASwappedFolderIsLost)
{
    fs::create_directories(root_ / "elsewhere");
    Write("../elsewhere/e.png", "x");
    const auto t = FolderWatch::Clock::now();
    FolderWatch watch({(root_ / "in").string(), true, "*", "", 1000ms});
    fs::create_symlink(root_ / "elsewhere" / "e.png", root_ / "in" / "link.png");
    fs::create_symlink(root_ / "elsewhere", root_ / "in" / "sub" / "linked");
    Write("new.png", "x");
    Write("own.png", "x");
    watch.Ignore(In("own.png"));
    EXPECT_TRUE(watch.Poll(t).empty());
    EXPECT_EQ(watch.Poll(t + 1100ms), std::vector<std::string>{In("new.png")});
    // Written over by someone else, it is a new file like any other.
    fs::remove(root_ / "in" / "own.png");
    Write("own.png", "yy");
    EXPECT_TRUE(watch.Poll(t + 1200ms).empty());
    EXPECT_EQ(watch.Poll(t + 2300ms), std::vector<std::string>{In("own.png")});
    EXPECT_EQ(watch.Lost(), "");

    fs::rename(root_ / "in", root_ / "in.old");
    fs::create_symlink(root_ / "elsewhere", root_ / "in");
    Write("../elsewhere/f.png", "x");
    EXPECT_TRUE(watch.Poll(t + 3000ms).empty());
    EXPECT_TRUE(watch.Poll(t + 5000ms).empty());
    EXPECT_EQ(watch.Lost(), "the watched folder was moved, removed or replaced");
    fs::remove(root_ / "in");
    fs::rename(root_ / "in.old", root_ / "in");
}

// The program writes into the folder it opened only, whatever is put at its
// path later, and never takes its own outputs for new pictures.
TEST_F(FolderWatchTest, TheProgramKeepsToTheFolderItOpenedAndNeverFeedsOnItself)
{
    const fs::path into = root_ / "in";
    const pid_t self = StartWatch({"--watch", into.string(), "-o", into.string(), "--name", "{name}-b"}, root_ / "self.txt");
    ASSERT_TRUE(WaitFor([&] { return Said(root_ / "self.txt").find("watching") != std::string::npos; }));
    Arrive(into, "a.png");
    ASSERT_TRUE(WaitFor([&] { return fs::exists(into / "a-b.png"); }));
    // Two more looks than a picture takes to settle: no a-b-b.png comes.
    std::this_thread::sleep_for(2600ms);
    EXPECT_EQ(Stop(self), 128 + SIGINT);
    EXPECT_EQ(Names(into), (std::set<std::string>{"a.png", "a-b.png", "out", "sub"}));

    const fs::path out = root_ / "out";
    const fs::path elsewhere = root_ / "elsewhere";
    fs::create_directories(out);
    fs::create_directories(elsewhere);
    const pid_t held = StartWatch({"--watch", into.string(), "-o", out.string()}, root_ / "held.txt");
    ASSERT_TRUE(WaitFor([&] { return Said(root_ / "held.txt").find("watching") != std::string::npos; }));
    Arrive(into, "first.png");
    ASSERT_TRUE(WaitFor([&] { return fs::exists(out / "first.png"); }));
    fs::rename(out, root_ / "out.old");
    fs::create_directory_symlink(elsewhere, out);
    Arrive(into, "second.png");
    ASSERT_TRUE(WaitFor([&] { return Said(root_ / "held.txt").find("second.png") != std::string::npos; }));
    EXPECT_EQ(Stop(held), 128 + SIGINT);
    EXPECT_NE(Said(root_ / "held.txt").find("was moved, removed or replaced"), std::string::npos) << Said(root_ / "held.txt");
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_EQ(Names(root_ / "out.old"), std::set<std::string>{"first.png"});
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
