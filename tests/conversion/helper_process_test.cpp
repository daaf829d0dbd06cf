// SPDX-License-Identifier: MIT
// Helper processes: what they are given, how each of their ends is told,
// and that none is left behind.
#include "helper_process.h"
#include "picture_test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace tollamere {
namespace {

using namespace std::chrono_literals;
using End = HelperOutcome::End;

#if defined(TOLLAMERE_SANITIZER_MAPS_MEMORY)
constexpr bool AddressSpaceIsLimited = false;
#else
constexpr bool AddressSpaceIsLimited = true;
#endif

HelperOutcome Shell(const std::string& script, const HelperLimits& limits = {}, std::span<const std::uint8_t> input = {},
                    std::size_t mostOutput = 1u << 20)
{
    return RunHelper("/bin/sh", {"-c", script}, input, mostOutput, limits);
}

std::string Text(const HelperOutcome& outcome)
{
    return std::string(outcome.output.begin(), outcome.output.end());
}

// Every helper this process started has been reaped.
bool NoChildLeft()
{
    return ::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD;
}

TEST(HelperProcess, EachEndIsToldApartAndNothingIsLeftBehind)
{
    HelperLimits quick;
    quick.wallTime = 300ms;
    HelperLimits oneSecond;
    oneSecond.processorTime = 1s;
    struct Row {
        const char* script;
        HelperLimits limits;
        std::size_t mostOutput;
        End end;
        int code;
    };
    const Row rows[] = {
        {"exit 5", {}, 1024, End::Exited, 5},
        {"kill -SEGV $$", {}, 1024, End::Signalled, SIGSEGV},
        {"exec sleep 10", quick, 1024, End::OutOfTime, 0},
        {"while :; do :; done", oneSecond, 1024, End::OutOfProcessor, SIGXCPU},
        {"exec yes", {}, 4096, End::Signalled, SIGKILL},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.script);
        const auto started = std::chrono::steady_clock::now();
        const HelperOutcome outcome = Shell(row.script, row.limits, {}, row.mostOutput);
        EXPECT_EQ(outcome.end, row.end) << outcome.errors;
        EXPECT_EQ(outcome.code, row.code);
        EXPECT_LE(outcome.output.size(), row.mostOutput);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s) << "a helper out of time is killed, not waited for";
        EXPECT_TRUE(NoChildLeft());
    }
}

TEST(HelperProcess, ItsInputGoesInWholeWhileItsOutputComesBack)
{
    // More than a socket's buffers hold both ways at once.
    std::vector<std::uint8_t> input(4u << 20);
    for (std::size_t i = 0; i < input.size(); ++i)
        input[i] = std::uint8_t(i * 7 + i / 4096);
    const HelperOutcome echoed = Shell("exec cat", {}, input, input.size());
    EXPECT_EQ(echoed.end, End::Exited);
    EXPECT_EQ(echoed.code, 0);
    EXPECT_TRUE(echoed.output == input);
    // One that reads none of it ends as it ends; no SIGPIPE here.
    const HelperOutcome ignoring = Shell("exit 0", {}, input);
    EXPECT_EQ(ignoring.end, End::Exited);
    EXPECT_EQ(ignoring.code, 0);
    EXPECT_TRUE(NoChildLeft());
}

TEST(HelperProcess, ItGetsItsLimitsAndNothingElseOfItsCaller)
{
    ASSERT_EQ(::setenv("TOLLAMERE_SECRET", "kept here", 1), 0);
    ASSERT_EQ(::setenv("HOME", "/home/someone", 1), 0);
    // Open across exec (no O_CLOEXEC), and numbered apart from what the
    // helper's own listing opens.
    const int opened = ::open("/dev/null", O_RDONLY);
    const int leaked = ::dup2(opened, 50);
    ::close(opened);
    ASSERT_EQ(leaked, 50);
    ::signal(SIGPIPE, SIG_IGN);
    HelperLimits limits;
    limits.addressSpaceBytes = 512u << 20;
    limits.processorTime = 7s;
    const HelperOutcome outcome =
        Shell("env; echo fds $(ls /proc/self/fd | tr '\\n' ' '); echo limits $(ulimit -v) $(ulimit -t) $(ulimit -c) $(ulimit -f); "
              "grep SigIgn /proc/self/status; read -r pid name state parent group rest </proc/self/stat; echo group $group",
              limits);
    ::signal(SIGPIPE, SIG_DFL);
    ::close(leaked);
    const std::string text = Text(outcome);
    EXPECT_EQ(text.find("TOLLAMERE_SECRET"), std::string::npos) << text;
    EXPECT_NE(text.find("HOME=/home/someone\n"), std::string::npos) << "fontconfig finds the user's fonts through it: " << text;
    EXPECT_NE(text.find("fds 0 1 2 3\n"), std::string::npos) << "the listing's own and the three standard ones: " << text;
    EXPECT_NE(text.find(std::string("limits ") + (AddressSpaceIsLimited ? "524288" : "unlimited") + " 7 0 0\n"), std::string::npos)
        << text;
    const std::size_t ignored = text.find("SigIgn:\t");
    ASSERT_NE(ignored, std::string::npos) << text;
    EXPECT_EQ(std::stoull(text.substr(ignored + 8, 16), nullptr, 16) & (1ull << (SIGPIPE - 1)), 0u)
        << "signals as a new program finds them: " << text;
    EXPECT_EQ(text.find("group " + std::to_string(::getpgrp()) + "\n"), std::string::npos)
        << "a terminal's Ctrl+C is the caller's to hear: " << text;
    EXPECT_NE(text.find("group "), std::string::npos) << text;
}

TEST(HelperProcess, AnAbandonedHelperIsKilledAtOnce)
{
    {
        int asked = 0;
        const AbandonHelpersWhen abandon([&] { return ++asked > 2; });
        const auto started = std::chrono::steady_clock::now();
        const HelperOutcome outcome = Shell("exec sleep 20");
        EXPECT_EQ(outcome.end, End::Abandoned);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
        EXPECT_TRUE(NoChildLeft());
    }
    // The test ends with its holder.
    const HelperOutcome after = Shell("sleep 0.2; exit 3");
    EXPECT_EQ(after.end, End::Exited);
    EXPECT_EQ(after.code, 3);
}

TEST(HelperProcess, HelpersAreFoundBesideOrUnderLibTollamere)
{
    const std::filesystem::path renderer = FindHelperProgram("tollamere-draw");
    EXPECT_EQ(renderer.filename(), "tollamere-draw");
    EXPECT_EQ(renderer.parent_path().filename(), "tollamere");
    EXPECT_TRUE(FindHelperProgram("tollamere-no-such-helper").empty());
    const HelperOutcome missing = RunHelper("/nonexistent/helper", {}, {}, 16, {});
    EXPECT_EQ(missing.end, End::NotStarted);
    EXPECT_FALSE(missing.errors.empty());
}

} // namespace
} // namespace tollamere
