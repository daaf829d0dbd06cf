// SPDX-License-Identifier: MIT
#pragma once

// Flushes the items' outputs to the disk and renames them into place, one
// at a time on its own thread, while the workers go on with the next items:
// a worker waits for the disk only when more writes wait than there are
// workers, that is when the disk is what holds the run back. Jobs run in the
// order posted and must not throw; Post may be called from any thread until
// Drain.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tollamere {

class Flusher {
public:
    using Job = std::function<void()>;

    // capacity: the jobs that may wait before Post waits too; at least 1.
    explicit Flusher(std::size_t capacity);
    Flusher(const Flusher&) = delete;
    Flusher& operator=(const Flusher&) = delete;
    ~Flusher();

    void Post(Job job);

    // Runs every job posted, then ends the thread.
    void Drain();

private:
    void Loop();

    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable notFull_;
    std::deque<Job> jobs_;
    bool closing_ = false;
    std::thread thread_;  // last: it starts when the rest is ready
};

} // namespace tollamere
