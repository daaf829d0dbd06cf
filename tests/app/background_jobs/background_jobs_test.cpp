// SPDX-License-Identifier: MIT
#include "background_jobs.h"
#include "picture_files.h"
#include "runtime_error.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace tollamere {
namespace {

using namespace std::chrono_literals;

// Lets queued handlers run until the condition holds; false on time-out.
bool ProcessEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 60s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class BackgroundJobsTest : public ::testing::Test {
protected:
    bool OnContextThread() const { return QThread::currentThread() == context_.thread(); }

    // Pictures named 0.bmp, 1.bmp, ...; the items listed in bad hold no picture.
    std::vector<std::string> Inputs(int count, const std::vector<int>& bad) const
    {
        std::vector<std::string> paths;
        for (int item = 0; item < count; ++item) {
            paths.push_back(Folder("in") + "/" + std::to_string(item) + ".bmp");
            if (std::find(bad.begin(), bad.end(), item) != bad.end())
                std::ofstream(paths.back()) << "no picture";
            else
                SavePictureFile(Picture(40, 30, 0xFF2040C0u), false, paths.back());
        }
        return paths;
    }

    std::string Folder(const std::string& name) const
    {
        const std::string path = folder_.path().toStdString() + "/" + name;
        std::filesystem::create_directories(path);
        return path;
    }

    QTemporaryDir folder_;
    // Handlers come back to the thread that owns it: this one.
    QObject context_;
};

TEST_F(BackgroundJobsTest, ScanRowsArriveInOrderWhileTheScanRuns)
{
    constexpr int Found = 20000;
    int finished = 0;
    bool finishedHere = false;
    ScanJob job(
        &context_,
        [](const RowSink& addRow, std::stop_token) {
            for (int row = 0; row < Found; ++row)
                addRow(std::to_string(row));
        },
        [&] {
            ++finished;
            finishedHere = OnContextThread();
        });

    std::vector<std::string> taken;
    const auto take = [&] {
        for (std::string& row : job.TakeRows())
            taken.push_back(std::move(row));
    };
    ASSERT_TRUE(ProcessEventsUntil([&] {
        take();
        return finished > 0;
    }));
    take();
    ASSERT_EQ(taken.size(), std::size_t(Found));
    for (int row = 0; row < Found; ++row)
        ASSERT_EQ(taken[row], std::to_string(row));
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(finishedHere);
    EXPECT_FALSE(job.Failure());
}

TEST_F(BackgroundJobsTest, ScanFailureKeepsTheRowsFoundBeforeIt)
{
    bool finished = false;
    ScanJob job(
        &context_,
        [](const RowSink& addRow, std::stop_token) {
            addRow("/first");
            Raise(ErrorNumber::PermissionDenied);
        },
        [&] { finished = true; });
    ASSERT_TRUE(ProcessEventsUntil([&] { return finished; }));
    EXPECT_EQ(job.TakeRows(), std::vector<std::string>{"/first"});
    EXPECT_EQ(job.Failure(), StandardDescription(ErrorNumber::PermissionDenied));
}

TEST_F(BackgroundJobsTest, DestroyingAScanStopsItAndWaitsForIt)
{
    std::atomic<bool> started = false;
    std::atomic<bool> sawStop = false;
    {
        ScanJob job(
            &context_,
            [&](const RowSink& addRow, std::stop_token stop) {
                while (!stop.stop_requested()) {
                    addRow("/again");
                    started = true;
                    std::this_thread::sleep_for(1ms);
                }
                sawStop = true;
            },
            [] {});
        while (!started)
            std::this_thread::yield();
    }
    EXPECT_TRUE(sawStop);
}

TEST_F(BackgroundJobsTest, ConversionReportsOnTheContextThread)
{
    ConversionRequest request;
    request.inputPaths = Inputs(6, {2});
    request.outputFolder = Folder("out") + "/";
    std::vector<double> progress;
    std::vector<std::size_t> failed;
    bool everyCallHere = true;
    bool finished = false;
    ConversionJob::Handlers handlers;
    handlers.progress = [&](double value, const std::string&) {
        progress.push_back(value);
        everyCallHere = everyCallHere && OnContextThread();
    };
    std::vector<std::size_t> written;
    // The report is answered later, as a window's report is when its OK is pressed.
    handlers.failure = [&](const ConversionFailure& failure, std::function<void()> answer) {
        failed.push_back(failure.item);
        everyCallHere = everyCallHere && OnContextThread();
        QTimer::singleShot(20, &context_, answer);
    };
    handlers.written = [&](std::size_t item, const std::string&) {
        written.push_back(item);
        everyCallHere = everyCallHere && OnContextThread();
    };
    handlers.finished = [&] {
        finished = true;
        everyCallHere = everyCallHere && OnContextThread();
    };
    ConversionJob job(&context_, request, handlers);
    ASSERT_TRUE(ProcessEventsUntil([&] { return finished; }));

    EXPECT_TRUE(everyCallHere);
    EXPECT_EQ(failed, std::vector<std::size_t>{2});
    EXPECT_EQ(written, (std::vector<std::size_t>{0, 1, 3, 4, 5}));
    // In the order the run gave them: up to 100, then back to 0 at its end.
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.back(), 0.0);
    EXPECT_EQ(progress[progress.size() - 2], 100.0);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end() - 1));
    EXPECT_EQ(job.Messages(), std::vector<std::string>{std::string(DoneMessage)});
    EXPECT_FALSE(job.RunFailure());
    EXPECT_FALSE(job.StopRequested());
}

// The window closing while a failure report waits for OK: the run must not
// wait for an answer that never comes, and nothing it queued may run later.
TEST_F(BackgroundJobsTest, AbandonWhileAFailureWaitsRunsNoFurtherHandler)
{
    ConversionRequest request;
    request.inputPaths = Inputs(8, {0});
    request.outputFolder = Folder("out") + "/";
    request.workers = 1;
    int handlerCalls = 0;
    ConversionJob::Handlers handlers;
    handlers.progress = [&](double, const std::string&) { ++handlerCalls; };
    handlers.failure = [&](const ConversionFailure&, std::function<void()>) { ++handlerCalls; };
    handlers.finished = [&] { ++handlerCalls; };

    ConversionJob job(&context_, request, handlers);
    // No events are processed, so the first item's report stays unanswered.
    std::this_thread::sleep_for(200ms);
    job.Abandon();
    EXPECT_TRUE(job.StopRequested());
    QCoreApplication::processEvents();
    EXPECT_EQ(handlerCalls, 0);
    EXPECT_TRUE(job.Messages().empty());
}

} // namespace
} // namespace tollamere

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
