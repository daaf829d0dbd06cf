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
    handlers.started = [&](const ItemStart& start) {
        progress.push_back(start.Percent());
        everyCallHere = everyCallHere && OnContextThread();
    };
    std::vector<std::size_t> written;
    handlers.failure = [&](const ConversionFailure& failure) {
        failed.push_back(failure.item);
        everyCallHere = everyCallHere && OnContextThread();
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
    // In the order the run gave them, up to 100.
    ASSERT_EQ(progress.size(), 6u);
    EXPECT_EQ(progress.back(), 100.0);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_FALSE(job.Refused());
    ASSERT_TRUE(job.Summary());
    EXPECT_EQ(job.Summary()->written, 5u);
    EXPECT_EQ(job.Summary()->failed, 1u);
    EXPECT_FALSE(job.Summary()->stopped);
    EXPECT_FALSE(job.RunFailure());
    EXPECT_FALSE(job.StopRequested());
}

// A run that refuses to start says why, and has no summary.
TEST_F(BackgroundJobsTest, ARefusedRunKeepsItsReason)
{
    const struct {
        std::vector<std::string> inputs;
        std::string folder;
        RunRefusal reason;
    } rows[] = {{{}, Folder("out"), RunRefusal::NoFiles},
                {Inputs(1, {}), Folder("out") + "/missing", RunRefusal::OutputFolderMissing}};
    for (const auto& row : rows) {
        ConversionRequest request;
        request.inputPaths = row.inputs;
        request.outputFolder = row.folder;
        bool finished = false;
        ConversionJob::Handlers handlers;
        handlers.started = [](const ItemStart&) {};
        handlers.failure = [](const ConversionFailure&) {};
        handlers.finished = [&] { finished = true; };
        ConversionJob job(&context_, request, handlers);
        ASSERT_TRUE(ProcessEventsUntil([&] { return finished; }));
        ASSERT_TRUE(job.Refused());
        EXPECT_EQ(job.Refused()->reason, row.reason);
        EXPECT_FALSE(job.Summary());
    }
}

// A failure does not hold the run: with no event processed at all (a report
// left open, say), every other item is written; once abandoned, nothing the
// run queued runs.
TEST_F(BackgroundJobsTest, AFailureDoesNotHoldTheRunAndAbandonRunsNoFurtherHandler)
{
    ConversionRequest request;
    request.inputPaths = Inputs(8, {0});
    request.outputFolder = Folder("out") + "/";
    request.workers = 1;
    int handlerCalls = 0;
    ConversionJob::Handlers handlers;
    handlers.started = [&](const ItemStart&) { ++handlerCalls; };
    handlers.failure = [&](const ConversionFailure&) { ++handlerCalls; };
    handlers.finished = [&] { ++handlerCalls; };

    ConversionJob job(&context_, request, handlers);
    for (int wait = 0; wait < 500 && !job.Summary(); ++wait)
        std::this_thread::sleep_for(10ms);
    job.Abandon();
    QCoreApplication::processEvents();
    EXPECT_EQ(handlerCalls, 0);
    ASSERT_TRUE(job.Summary());
    EXPECT_EQ(job.Summary()->written, 7u);
    EXPECT_EQ(job.Summary()->failed, 1u);
    EXPECT_FALSE(job.Summary()->stopped);
}

} // namespace
} // namespace tollamere

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
