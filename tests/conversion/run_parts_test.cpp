// SPDX-License-Identifier: MIT
#include "format_registry.h"
#include "flusher.h"
#include "memory_budget.h"
#include "ordered_reports.h"
#include "output_planner.h"
#include "picture_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <numeric>
#include <thread>
#include <tuple>

namespace tollamere {
namespace {

using test::TempFolder;
using test::WriteText;

TEST(OutputPlannerTest, RefusesAndNumbersAsTheRulesSay)
{
    struct Row {
        const char* name;
        std::vector<std::string> inputs;  // below the sandbox; "out/" is the output folder
        std::vector<std::string> existing;  // files already in the output folder
        OutputOptions::Overwrite overwrite;
        // Per item: its output's file name, "skip <name>", or a piece of its refusal.
        std::vector<std::string> expected;
    };
    const std::vector<Row> rows = {
        {"no extension", {"in/plain"}, {}, OutputOptions::Overwrite::Replace, {"has no extension"}},
        {"no format", {"in/a.qqq"}, {}, OutputOptions::Overwrite::Replace, {"no picture format is known for the extension \"qqq\""}},
        {"a format only read", {"in/a.tga"}, {}, OutputOptions::Overwrite::Replace, {"\"tga\" are read but not written here"}},
        {"jpeg and bitmap routes", {"in/a.JPG", "in/b.BMP", "in/c.JPEG"}, {}, OutputOptions::Overwrite::Replace,
         {"a.jpg", "b.BMP", "c.jpeg"}},
        {"an input as output", {"out/a.png"}, {}, OutputOptions::Overwrite::Replace, {"is an input of this run"}},
        {"two items, one output", {"in/a.png", "in/sub/a.png"}, {}, OutputOptions::Overwrite::Replace,
         {"a.png", "would overwrite it"}},
        {"skip an existing output", {"in/a.png", "in/b.png"}, {"a.png"}, OutputOptions::Overwrite::Skip,
         {"skip a.png", "b.png"}},
        {"rename past files and claims", {"in/a.png", "in/sub/a.png"}, {"a.png", "a (2).png"}, OutputOptions::Overwrite::Rename,
         {"a (3).png", "a (4).png"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TempFolder sandbox;
        std::filesystem::create_directories(sandbox / "in/sub");
        std::filesystem::create_directories(sandbox / "out");
        ConversionRequest request;
        for (const std::string& input : row.inputs) {
            WriteText(sandbox / input, "picture");
            request.inputPaths.push_back((sandbox / input).string());
        }
        for (const std::string& name : row.existing)
            WriteText(sandbox / "out" / name, "older");
        request.output.overwrite = row.overwrite;
        OutputPlanner planner(request, (sandbox / "out").string() + "/");
        const std::vector<ItemPlan> plans = planner.Plan();
        ASSERT_EQ(plans.size(), row.expected.size());
        for (std::size_t item = 0; item < plans.size(); ++item) {
            const std::string& expected = row.expected[item];
            if (plans[item].refusal) {
                EXPECT_NE(plans[item].refusal->description.find(expected), std::string::npos) << plans[item].refusal->description;
                continue;
            }
            const bool skip = expected.starts_with("skip ");
            EXPECT_EQ(plans[item].skip, skip) << item;
            EXPECT_EQ(plans[item].outputPath, (sandbox / "out" / expected.substr(skip ? 5 : 0)).string());
        }
    }
}

TEST(OutputPlannerTest, NextFreeNamePassesOverNamesTakenSinceThePlan)
{
    const TempFolder sandbox;
    ConversionRequest request;
    request.inputPaths = {(sandbox / "a.png").string(), (sandbox / "b.png").string()};
    request.output.overwrite = OutputOptions::Overwrite::Rename;
    request.output.namePattern = "button";
    std::filesystem::create_directories(sandbox / "out");
    OutputPlanner planner(request, (sandbox / "out").string() + "/");
    std::vector<ItemPlan> plans = planner.Plan();
    ASSERT_EQ(plans[1].outputPath, (sandbox / "out/button (2).png").string());
    WriteText(sandbox / "out/button (3).png", "written by someone else");
    EXPECT_EQ(planner.NextFreeName(plans[0]), (sandbox / "out/button (4).png").string());
}

TEST(FoldersBelowRootTest, KeepsOnlyFoldersInsideTheRoot)
{
    const std::vector<std::tuple<std::string, std::string, std::string>> rows = {
        {"/r/sub/deeper/a.png", "/r", "sub/deeper/"},
        {"/r/./sub//a.png", "/r/", "sub/"},
        {"/r/a.png", "/r", ""},
        {"/rx/sub/a.png", "/r", ""},
        {"/r/../x/a.png", "/r", ""},
        {"/r/sub/a.png", "", ""},
    };
    for (const auto& [input, root, expected] : rows)
        EXPECT_EQ(FoldersBelowRoot(input, root), expected) << input << " under " << root;
}

struct SequenceObserver : ConversionObserver {
    void ItemStarted(const ItemStart& start) override
    {
        if (inside.exchange(true))
            overlapped = true;
        std::this_thread::yield();
        sequence.push_back(start.inputPath);
        inside = false;
    }
    void Refused(RunRefusal, const std::string&) override {}
    void Failure(const ConversionFailure&) override {}
    void Ended(const ConversionSummary&) override {}

    std::atomic<bool> inside = false;
    std::atomic<bool> overlapped = false;
    std::vector<std::string> sequence;
};

TEST(OrderedReportsTest, DeliversInListOrderWhateverOrderItemsPostIn)
{
    constexpr std::size_t items = 60;
    constexpr std::size_t threads = 3;
    SequenceObserver observer;
    {
        OrderedReports reports(items, observer);
        std::vector<std::jthread> posters;
        // Each thread takes every third item, last first.
        for (std::size_t t = 0; t < threads; ++t)
            posters.emplace_back([&, t] {
                for (std::size_t item = items; item-- > 0;) {
                    if (item % threads != t)
                        continue;
                    for (const char* step : {"start", "end"})
                        reports.Post(item, [text = std::to_string(item) + step](ConversionObserver& o) { o.ItemStarted({0, 0, text}); });
                    reports.Close(item);
                }
            });
    }
    std::vector<std::string> expected;
    for (std::size_t item = 0; item < items; ++item)
        for (const char* step : {"start", "end"})
            expected.push_back(std::to_string(item) + step);
    EXPECT_EQ(observer.sequence, expected);
    EXPECT_FALSE(observer.overlapped);
}

TEST(OrderedReportsTest, AHoldingReportKeepsWaitersUntilItReturnsOrAStop)
{
    SequenceObserver observer;
    OrderedReports reports(1, observer);
    std::promise<void> entered;
    std::promise<void> answered;
    std::jthread reporter([&] {
        reports.Post(0, [&](ConversionObserver&) { entered.set_value(); answered.get_future().wait(); }, true);
    });
    entered.get_future().wait();
    std::stop_source stop;
    auto stopped = std::async(std::launch::async, [&] { return reports.WaitWhileHeld(stop.get_token()); });
    EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    stop.request_stop();
    EXPECT_FALSE(stopped.get());
    auto released = std::async(std::launch::async, [&] { return reports.WaitWhileHeld({}); });
    answered.set_value();
    EXPECT_TRUE(released.get());
}

TEST(MemoryBudgetTest, AcquireWaitsForAReleaseOrAStop)
{
    MemoryBudget budget(100);
    const auto nothingIdle = [] { return false; };
    ASSERT_TRUE(budget.Acquire(80, {}, nothingIdle));
    std::stop_source stop;
    auto stopped = std::async(std::launch::async, [&] { return budget.Acquire(30, stop.get_token(), nothingIdle); });
    EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    stop.request_stop();
    EXPECT_FALSE(stopped.get());
    // The refused 30 were never counted: 20 still fit beside the 80.
    ASSERT_TRUE(budget.Acquire(20, {}, nothingIdle));
    auto waiting = std::async(std::launch::async, [&] { return budget.Acquire(50, {}, nothingIdle); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    budget.Release(50);
    EXPECT_TRUE(waiting.get());
}

TEST(MemoryBudgetTest, IdleWorkspacesAreFreedForAnItemThatDoesNotFit)
{
    MemoryBudget budget(100);
    WorkspacePool pool(budget);
    ASSERT_TRUE(budget.Acquire(70, {}, [] { return false; }));
    pool.Return({std::make_unique<BevelWorkspace>(), 30});
    pool.Return({std::make_unique<BevelWorkspace>(), 40});
    EXPECT_EQ(pool.Take().counted, 40u);  // the largest first; its 40 leave with it
    pool.Return({std::make_unique<BevelWorkspace>(), 0});
    int reclaims = 0;
    EXPECT_TRUE(budget.Acquire(60, {}, [&] { ++reclaims; return pool.FreeIdle(); }));
    EXPECT_EQ(reclaims, 1);
    EXPECT_FALSE(pool.FreeIdle());
    EXPECT_EQ(pool.Take().counted, 0u);
}

TEST(MemoryEstimateTest, CountsTheFileAndPixelsWithoutWrapping)
{
    EXPECT_EQ(NeedForSize(1000, {400, 300}, 20).bytes, 1000u + 400 * 300 * 20);
    EXPECT_EQ(NeedForSize(0, {1ull << 40, 1ull << 40}, 102).bytes, (1ull << 48) * 102);
    // A margin counts on both sides of both directions; the size stays the header's.
    const MemoryNeed grown = NeedForSize(1000, {400, 300}, 20, 10);
    EXPECT_EQ(grown.bytes, 1000u + 420 * 320 * 20);
    EXPECT_EQ(grown.size->width, 400u);
    EXPECT_EQ(AllowedPixels(1000, 1000, 20), 0u);
    EXPECT_EQ(AllowedPixels(1200, 200, 20), 50u);
    EXPECT_EQ(AllowedPixels(~0ull, 0, 20), MaxPicturePixels);

    const TempFolder sandbox;
    SavePictureFile(test::LetterF(), false, sandbox / "f.png");
    const MemoryNeed png = EstimateMemoryNeed(InputFile::Open(sandbox / "f.png", ProbeBytes).Start(), 48);
    ASSERT_TRUE(png.size);
    EXPECT_EQ(png.bytes, std::filesystem::file_size(sandbox / "f.png") + 6 * 5 * 48);
    EXPECT_EQ(EstimateMemoryNeed(InputFile::Open(sandbox / "f.png", ProbeBytes).Start(), 48, 3).bytes,
              std::filesystem::file_size(sandbox / "f.png") + 12 * 11 * 48);
    // No reader knows it: all of it seen, it needs little; only its start
    // seen, it may be a picture up to the loader's limit.
    const FileStart text{std::vector<std::uint8_t>(13, 'x'), 13};
    EXPECT_EQ(EstimateMemoryNeed(text, 20).bytes, 2 * 13u);
    const FileStart longer{std::vector<std::uint8_t>(13, 'x'), 1'000'000};
    EXPECT_GT(EstimateMemoryNeed(longer, 20).bytes, 1'000'000u + MaxPicturePixels);
}

TEST(FlusherTest, DrainRunsEveryJobPostedInOrder)
{
    std::vector<int> ran;
    {
        // One waiting job at most: posts wait for the slow jobs before them.
        Flusher flusher(1);
        for (int job = 0; job < 20; ++job)
            flusher.Post([&ran, job] {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                ran.push_back(job);
            });
        flusher.Drain();
        std::vector<int> expected(20);
        std::iota(expected.begin(), expected.end(), 0);
        EXPECT_EQ(ran, expected);
    }
}

} // namespace
} // namespace tollamere
