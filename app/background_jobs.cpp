// SPDX-License-Identifier: MIT
#include "background_jobs.h"

#include "window_support.h"

#include <QMetaObject>

#include <exception>

namespace tollamere {

// The run's observer on the worker side. It outlives the job while calls it
// posted are still queued, which is why it is shared.
class ConversionJob::Bridge final : public ConversionObserver, public std::enable_shared_from_this<Bridge> {
public:
    Bridge(QObject* context, Handlers handlers) : context_(context), handlers_(std::move(handlers)) {}

    void Refused(RunRefusal reason, const std::string& detail) override
    {
        const std::lock_guard lock(mutex_);
        refusal_ = Refusal{reason, detail};
    }

    void ItemStarted(const ItemStart& start) override
    {
        Post([start](const Handlers& handlers) { handlers.started(start); });
    }

    void Failure(const ConversionFailure& failure) override
    {
        Post([failure](const Handlers& handlers) { handlers.failure(failure); });
    }

    void Finished(const ItemResult& result) override
    {
        // The row's outputs as they end, then the item's end: the window
        // shows a row written only when every output of it was.
        if (handlers_.written && result.outcome == ItemResult::Outcome::Written)
            Post([row = result.row, outputPath = result.outputPath](const Handlers& handlers) {
                handlers.written(row, outputPath);
            });
        if (handlers_.ended)
            Post([result](const Handlers& handlers) { handlers.ended(result); });
    }

    void Ended(const ConversionSummary& summary) override
    {
        const std::lock_guard lock(mutex_);
        summary_ = summary;
    }

    void Finish(std::exception_ptr failure)
    {
        {
            const std::lock_guard lock(mutex_);
            if (failure)
                runFailure_ = FailureDescription(failure);
        }
        Post([](const Handlers& handlers) { handlers.finished(); });
    }

    void Release()
    {
        const std::lock_guard lock(mutex_);
        released_ = true;
    }

    bool Released() const
    {
        const std::lock_guard lock(mutex_);
        return released_;
    }

    std::optional<Refusal> Refused() const
    {
        const std::lock_guard lock(mutex_);
        return refusal_;
    }

    std::optional<ConversionSummary> Summary() const
    {
        const std::lock_guard lock(mutex_);
        return summary_;
    }

    std::optional<std::string> RunFailure() const
    {
        const std::lock_guard lock(mutex_);
        return runFailure_;
    }

private:
    template <typename Call>
    void Post(Call call)
    {
        const std::shared_ptr<Bridge> self = shared_from_this();
        QMetaObject::invokeMethod(
            context_,
            [self, call] {
                if (!self->Released())
                    call(self->handlers_);
            },
            Qt::QueuedConnection);
    }

    // Outlives the run's threads, since the job joins them before its owner
    // goes; calls still queued to it when it goes are dropped by Qt.
    QObject* context_;
    const Handlers handlers_;
    mutable std::mutex mutex_;
    bool released_ = false;
    std::optional<Refusal> refusal_;
    std::optional<ConversionSummary> summary_;
    std::optional<std::string> runFailure_;
};

ConversionJob::ConversionJob(QObject* context, ConversionRequest request, Handlers handlers)
    : bridge_(std::make_shared<Bridge>(context, std::move(handlers)))
{
    thread_ = std::jthread([bridge = bridge_, request = std::move(request)](std::stop_token stop) {
        std::exception_ptr failure;
        try {
            RunConversion(request, *bridge, std::move(stop));
        } catch (...) {
            failure = std::current_exception();
        }
        bridge->Finish(failure);
    });
}

ConversionJob::~ConversionJob()
{
    Abandon();
}

void ConversionJob::RequestStop()
{
    thread_.request_stop();
}

bool ConversionJob::StopRequested() const
{
    return thread_.get_stop_token().stop_requested();
}

void ConversionJob::Abandon()
{
    thread_.request_stop();
    bridge_->Release();
    if (thread_.joinable())
        thread_.join();
}

std::optional<ConversionJob::Refusal> ConversionJob::Refused() const
{
    return bridge_->Refused();
}

std::optional<ConversionSummary> ConversionJob::Summary() const
{
    return bridge_->Summary();
}

std::optional<std::string> ConversionJob::RunFailure() const
{
    return bridge_->RunFailure();
}

ScanJob::ScanJob(QObject* context, Scan scan, std::function<void()> finished)
{
    thread_ = std::jthread([this, context, scan = std::move(scan),
                            finished = std::move(finished)](std::stop_token stop) {
        try {
            scan(
                [this](const std::string& row) {
                    const std::lock_guard lock(mutex_);
                    rows_.push_back(row);
                },
                std::move(stop));
        } catch (...) {
            const std::lock_guard lock(mutex_);
            failure_ = FailureDescription(std::current_exception());
        }
        QMetaObject::invokeMethod(context, finished, Qt::QueuedConnection);
    });
}

ScanJob::~ScanJob()
{
    thread_.request_stop();
    if (thread_.joinable())
        thread_.join();
}

void ScanJob::RequestStop()
{
    thread_.request_stop();
}

std::vector<std::string> ScanJob::TakeRows()
{
    const std::lock_guard lock(mutex_);
    return std::exchange(rows_, {});
}

std::optional<std::string> ScanJob::Failure() const
{
    const std::lock_guard lock(mutex_);
    return failure_;
}

} // namespace tollamere
