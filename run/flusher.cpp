// SPDX-License-Identifier: MIT
#include "flusher.h"

namespace tollamere {

Flusher::Flusher(std::size_t capacity) : capacity_(capacity), thread_([this] { Loop(); }) {}

Flusher::~Flusher()
{
    Drain();
}

void Flusher::Post(Job job)
{
    std::unique_lock lock(mutex_);
    notFull_.wait(lock, [&] { return jobs_.size() < capacity_; });
    jobs_.push_back(std::move(job));
    lock.unlock();
    ready_.notify_one();
}

void Flusher::Drain()
{
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
    }
    ready_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

void Flusher::Loop()
{
    for (;;) {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return closing_ || !jobs_.empty(); });
        if (jobs_.empty())
            return;
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        notFull_.notify_one();
        job();
    }
}

} // namespace tollamere
