// SPDX-License-Identifier: MIT
#pragma once

// The preview's one worker thread. The window posts what it wants to see;
// only the newest wish is kept, and the thread works on it off the window's
// thread. The decoded picture is kept while its row stays the subject, so a
// parameter change runs only the effect.

#include "conversion_run.h"
#include "preview_render.h"

#include <QObject>
#include <QSize>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

namespace tollamere {

struct PreviewRequest {
    // Grows with every request; a result answers the request of its generation.
    std::uint64_t generation = 0;
    // Names a row's turn as the subject: the picture is read again only when
    // it changes. 0: no subject, and the kept picture is let go.
    std::uint64_t source = 0;
    std::string path;
    // Read from the boxes as a run reads them.
    EffectParameters parameters;
    // The thumbnails' box, in device pixels.
    QSize box;
};

// The subject's picture as read, or why it could not be read.
struct PreviewSourceShown {
    std::uint64_t source = 0;
    PreviewPicture picture;
    QString failure;
};

// The bevelled picture for one request, or why there is none.
struct PreviewResultShown {
    std::uint64_t generation = 0;
    PreviewPicture picture;
    QString failure;
};

class PreviewWorker {
public:
    struct Handlers {
        std::function<void(const PreviewSourceShown&)> source;
        std::function<void(const PreviewResultShown&)> result;
    };

    // The handlers run on the context object's thread; none runs after the
    // context object is gone.
    PreviewWorker(QObject* context, Handlers handlers, unsigned effectThreads);
    // Waits for the step in progress (at most one effect run, which cannot be
    // interrupted); nothing queued is started.
    ~PreviewWorker();
    PreviewWorker(const PreviewWorker&) = delete;
    PreviewWorker& operator=(const PreviewWorker&) = delete;

    // Replaces any request the thread has not taken yet.
    void Post(PreviewRequest request);

private:
    void Run(std::stop_token stop);
    void Serve(const PreviewRequest& request, const std::stop_token& stop);
    bool Superseded(const std::stop_token& stop);
    // Whether the thread is stopping, or a request waits for another subject.
    bool SourceAbandoned(std::uint64_t source, const std::stop_token& stop);

    QObject* const context_;
    const Handlers handlers_;
    const unsigned effectThreads_;

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::optional<PreviewRequest> pending_;

    // Touched by the thread alone.
    std::uint64_t keptSource_ = 0;
    std::optional<PreviewSource> kept_;
    // The effect's memory for the kept picture, let go with it.
    std::unique_ptr<BevelWorkspace> workspace_;
    QString keptFailure_;

    // Last, so that it is joined before the rest goes.
    std::jthread thread_;
};

} // namespace tollamere
