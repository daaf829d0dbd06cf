// SPDX-License-Identifier: MIT
#include "preview_worker.h"

#include "helper_process.h"
#include "window_support.h"

#include <QMetaObject>

#include <exception>

namespace tollamere {

namespace {

QString CurrentFailure()
{
    return QString::fromStdString(FailureDescription(std::current_exception()));
}

template <typename Shown>
void Deliver(QObject* context, const std::function<void(const Shown&)>& handler, Shown shown)
{
    // Queued on the context object: Qt drops the call if the object is gone.
    QMetaObject::invokeMethod(
        context, [handler, shown = std::move(shown)] { handler(shown); }, Qt::QueuedConnection);
}

} // namespace

PreviewWorker::PreviewWorker(QObject* context, Handlers handlers, unsigned effectThreads)
    : context_(context),
      handlers_(std::move(handlers)),
      effectThreads_(effectThreads),
      thread_([this](std::stop_token stop) { Run(std::move(stop)); })
{
}

PreviewWorker::~PreviewWorker()
{
    thread_.request_stop();
    if (thread_.joinable())
        thread_.join();
}

void PreviewWorker::Post(PreviewRequest request)
{
    {
        const std::lock_guard lock(mutex_);
        pending_ = std::move(request);
    }
    wake_.notify_one();
}

void PreviewWorker::Run(std::stop_token stop)
{
    for (;;) {
        PreviewRequest request;
        {
            std::unique_lock lock(mutex_);
            if (!wake_.wait(lock, stop, [&] { return pending_.has_value(); }))
                return;
            request = std::move(*pending_);
            pending_.reset();
        }
        Serve(request, stop);
    }
}

void PreviewWorker::Serve(const PreviewRequest& request, const std::stop_token& stop)
{
    if (request.source != keptSource_) {
        // The old picture goes before the new one is read, so that the preview
        // never holds two.
        kept_.reset();
        workspace_.reset();
        keptFailure_.clear();
        keptSource_ = request.source;
        if (request.source == 0)
            return;
        PreviewSourceShown shown;
        shown.source = request.source;
        try {
            // A drawing's renderer is killed as soon as another row is
            // wanted: its picture would never be shown.
            const AbandonHelpersWhen abandon([&] { return SourceAbandoned(request.source, stop); });
            kept_ = LoadPreviewSource(request.path, request.box);
            workspace_ = std::make_unique<BevelWorkspace>();
            shown.picture = kept_->shown;
        } catch (...) {
            if (SourceAbandoned(request.source, stop)) {
                keptSource_ = 0;
                return;
            }
            keptFailure_ = CurrentFailure();
            shown.failure = keptFailure_;
        }
        Deliver(context_, handlers_.source, std::move(shown));
    } else if (request.source == 0) {
        return;
    }
    if (Superseded(stop))
        return;

    PreviewResultShown result;
    result.generation = request.generation;
    if (!kept_) {
        result.failure = keptFailure_;
    } else if (request.parameters.error) {
        result.failure = QString::fromStdString(request.parameters.error->Description());
    } else {
        try {
            result.picture = RenderPreview(*kept_->file, request.parameters.parsed, request.box, effectThreads_,
                                           request.parameters.look, *workspace_);
        } catch (...) {
            result.failure = CurrentFailure();
        }
    }
    if (Superseded(stop))
        return;
    Deliver(context_, handlers_.result, std::move(result));
}

bool PreviewWorker::SourceAbandoned(std::uint64_t source, const std::stop_token& stop)
{
    const std::lock_guard lock(mutex_);
    return stop.stop_requested() || (pending_.has_value() && pending_->source != source);
}

bool PreviewWorker::Superseded(const std::stop_token& stop)
{
    const std::lock_guard lock(mutex_);
    return stop.stop_requested() || pending_.has_value();
}

} // namespace tollamere
