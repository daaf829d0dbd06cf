// SPDX-License-Identifier: MIT
#pragma once

// Work the window hands to other threads: the conversion run and the folder
// scans. Whatever they show comes back to the window's thread as queued calls
// on a context object; destroying a job stops it and waits for its threads.

#include "folder_scan.h"
#include "conversion_run.h"

#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace tollamere {

class ConversionJob {
public:
    // Every handler runs on the context object's thread.
    struct Handlers {
        // An item's pass has started.
        std::function<void(const ItemStart& start)> started;
        // A failure; the run does not wait for whatever shows it.
        std::function<void(const ConversionFailure& failure)> failure;
        // An output of the list's row was written; may be left empty.
        std::function<void(std::size_t row, const std::string& outputPath)> written;
        // An item has ended, in list order, after its other events; may be left empty.
        std::function<void(const ItemResult& result)> ended;
        // The run has ended; Refusal(), Summary() and RunFailure() are final.
        std::function<void()> finished;
    };

    ConversionJob(QObject* context, ConversionRequest request, Handlers handlers);
    ~ConversionJob();
    ConversionJob(const ConversionJob&) = delete;
    ConversionJob& operator=(const ConversionJob&) = delete;

    // Items already started end; no other starts.
    void RequestStop();
    bool StopRequested() const;

    // Stops the run and waits for its threads. No handler runs afterwards.
    void Abandon();

    struct Refusal {
        RunRefusal reason = RunRefusal::NoFiles;
        std::string detail;
    };
    // Why the run refused to start, if it did.
    std::optional<Refusal> Refused() const;
    // What the run did, once it has reached its end, stopped or not.
    std::optional<ConversionSummary> Summary() const;
    // What ended the run itself before its end, if anything did.
    std::optional<std::string> RunFailure() const;

private:
    class Bridge;
    std::shared_ptr<Bridge> bridge_;
    std::jthread thread_;
};

class ScanJob {
public:
    using Scan = std::function<void(const RowSink& addRow, std::stop_token stop)>;

    // Runs the scan on its own thread. Rows wait in the job until TakeRows;
    // finished is called on the context object's thread once the scan has ended.
    ScanJob(QObject* context, Scan scan, std::function<void()> finished);
    ~ScanJob();
    ScanJob(const ScanJob&) = delete;
    ScanJob& operator=(const ScanJob&) = delete;

    void RequestStop();
    // The rows found since the last call, in the order the scan found them.
    std::vector<std::string> TakeRows();
    // What ended the scan early, if anything did.
    std::optional<std::string> Failure() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> rows_;
    std::optional<std::string> failure_;
    // Last, so that it is joined before the rest goes.
    std::jthread thread_;
};

} // namespace tollamere
