// SPDX-License-Identifier: MIT
#include "ordered_reports.h"

namespace tollamere {

OrderedReports::OrderedReports(std::size_t items, ConversionObserver& observer)
    : pending_(items), done_(items, false), observer_(observer)
{
}

void OrderedReports::Post(std::size_t item, Report report, bool holdsRun)
{
    {
        const std::lock_guard lock(mutex_);
        pending_[item].push_back({std::move(report), holdsRun});
    }
    Deliver();
}

void OrderedReports::Close(std::size_t item)
{
    {
        const std::lock_guard lock(mutex_);
        done_[item] = true;
    }
    Deliver();
}

bool OrderedReports::WaitWhileHeld(std::stop_token stop)
{
    std::unique_lock lock(mutex_);
    return released_.wait(lock, stop, [&] { return !held_; });
}

void OrderedReports::Deliver()
{
    std::unique_lock lock(mutex_);
    // Whoever delivers already will also pass on what was just posted.
    if (delivering_)
        return;
    delivering_ = true;
    while (next_ < pending_.size()) {
        std::deque<Entry>& entries = pending_[next_];
        if (!entries.empty()) {
            const Entry entry = std::move(entries.front());
            entries.pop_front();
            held_ = entry.holdsRun;
            lock.unlock();
            entry.report(observer_);
            lock.lock();
            held_ = false;
            if (entry.holdsRun)
                released_.notify_all();
        } else if (done_[next_]) {
            ++next_;
        } else {
            break;
        }
    }
    delivering_ = false;
}

} // namespace tollamere
