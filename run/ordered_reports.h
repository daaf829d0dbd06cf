// SPDX-License-Identifier: MIT
#pragma once

// Hands what the items report to the observer in list order, exactly as a
// one-worker run would: an item's reports wait until every earlier item has
// made all of its own. Any thread may post; the observer is called on the
// thread whose post or close lets a report through, and its calls never
// overlap. While a report that holds the run is out (a failure report
// waiting for OK), WaitWhileHeld keeps items from starting.

#include "run_types.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <vector>

namespace tollamere {

class OrderedReports {
public:
    using Report = std::function<void(ConversionObserver&)>;

    OrderedReports(std::size_t items, ConversionObserver& observer);

    void Post(std::size_t item, Report report, bool holdsRun = false);

    // The item reports nothing more.
    void Close(std::size_t item);

    // Waits while a report holds the run; false when a stop came first.
    bool WaitWhileHeld(std::stop_token stop);

private:
    struct Entry {
        Report report;
        bool holdsRun = false;
    };

    void Deliver();

    std::mutex mutex_;
    std::condition_variable_any released_;
    std::vector<std::deque<Entry>> pending_;
    std::vector<bool> done_;
    std::size_t next_ = 0;
    bool delivering_ = false;
    bool held_ = false;
    ConversionObserver& observer_;
};

} // namespace tollamere
