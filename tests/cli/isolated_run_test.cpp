// SPDX-License-Identifier: MIT
// A run in a process of its own: an input whose conversion crashes its
// process fails, and every other input of the run is converted.
#include "isolated_run.h"

#include "file_io.h"
#include "picture_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <set>

#include <unistd.h>

namespace tollamere {
namespace {

namespace fs = std::filesystem;

// Crashes its process when the input named `fatal` starts its `at`-th output
// (from 0), but only in a child: the test's own process records what the run
// tells it here, the failures of crashed inputs.
struct CrashingObserver : ConversionObserver {
    pid_t parent = getpid();
    std::string fatal;
    std::size_t at = 0;
    std::size_t startedOfFatal = 0;
    std::vector<std::string> failures;
    std::vector<std::string> finished;

    void Refused(RunRefusal, const std::string&) override { failures.push_back("refused"); }
    void ItemStarted(const ItemStart& start) override
    {
        if (getpid() != parent && fs::path(start.inputPath).filename() == fatal && startedOfFatal++ == at)
            std::raise(SIGSEGV);
    }
    void Failure(const ConversionFailure& failure) override
    {
        failures.push_back(fs::path(failure.inputPath).filename().string() + ": " + failure.description);
    }
    void Finished(const ItemResult& result) override
    {
        finished.push_back(fs::path(result.inputPath).filename().string());
    }
    void Ended(const ConversionSummary&) override {}
};

TEST(IsolatedRunTest, ACrashCostsTheInputThatCrashesOnly)
{
    const fs::path root = fs::temp_directory_path() / ("tollamere-isolated-" + std::to_string(std::random_device{}()));
    fs::create_directories(root / "out");
    for (const char* name : {"a.png", "b.png", "c.png"})
        SavePictureFile(Picture(6, 5, 0xFF2080F0u), false, root / name);
    const std::string crashed = ": its conversion crashed (Segmentation fault); nothing more was written for it";
    const struct {
        std::string fatal;
        std::size_t at;
        std::vector<std::string> formats;
        std::set<std::string> outputs;
        std::vector<std::string> failures;
        std::size_t failed;
        // What the last process that ended said; none when all crashed.
        int answer;
    } rows[] = {
        {"none", 0, {}, {"a.png", "b.png", "c.png"}, {}, 0, 7},
        {"b.png", 0, {}, {"a.png", "c.png"}, {"b.png" + crashed}, 1, 7},
        {"a.png", 0, {}, {"b.png", "c.png"}, {"a.png" + crashed}, 1, 7},
        {"c.png", 0, {}, {"a.png", "b.png"}, {"c.png" + crashed}, 1, 0},
        // Cut between its two outputs: the one reported stays, the other
        // fails, and it is not run again.
        {"b.png", 1, {"png", "bmp"}, {"a.png", "a.bmp", "b.png", "c.png", "c.bmp"}, {"b.png" + crashed}, 1, 7},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fatal + " at " + std::to_string(row.at));
        fs::remove_all(root / "out");
        fs::create_directories(root / "out");
        ConversionRequest request;
        request.inputPaths = {(root / "a.png").string(), (root / "b.png").string(), (root / "c.png").string()};
        request.outputFolder = (root / "out").string();
        if (!row.formats.empty()) {
            request.output.format = row.formats[0];
            request.output.moreFormats.assign(row.formats.begin() + 1, row.formats.end());
        }
        request.workers = 2;
        CrashingObserver observer;
        observer.fatal = row.fatal;
        observer.at = row.at;
        const IsolatedRunEnd end = RunConversionIsolated(request, observer, {}, [] { return 7; });
        std::set<std::string> outputs;
        for (const auto& entry : fs::directory_iterator(root / "out")) {
            EXPECT_FALSE(IsTemporaryFileName(entry.path().filename().string()));
            outputs.insert(entry.path().filename().string());
        }
        // The crash here comes as a report is delivered, which the crashed
        // input's output may have reached already: it is on the disk, but
        // not said to be written.
        const std::string stem = fs::path(row.fatal).stem().string();
        std::erase_if(outputs, [&](const std::string& name) {
            return !row.outputs.contains(name) && fs::path(name).stem() == stem;
        });
        EXPECT_EQ(outputs, row.outputs);
        std::set<std::string> written;
        for (const std::string& path : end.written)
            written.insert(fs::path(path).filename().string());
        EXPECT_EQ(written, row.outputs);
        EXPECT_EQ(end.summary.written, row.outputs.size());
        EXPECT_EQ(end.summary.failed, row.failed);
        EXPECT_EQ(observer.failures, row.failures);
        EXPECT_EQ(observer.finished.size(), row.failures.size());
        EXPECT_EQ(end.answer, row.answer);
    }
    fs::remove_all(root);
}

} // namespace
} // namespace tollamere
