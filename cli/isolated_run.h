// SPDX-License-Identifier: MIT
#pragma once

// A run in a process of its own, for a watch that is meant to run for days:
// a picture that crashes a decoder ends that process only, and costs that
// picture only.

#include "conversion_run.h"

#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace tollamere {

struct IsolatedRunEnd {
    ConversionSummary summary;
    // The outputs written, by the names the run gave them.
    std::vector<std::string> written;
    // What `answer` said in the run's process at its end; 0 when it ended
    // before it could say.
    int answer = 0;
};

// Runs the request in a child process, whose copy of the observer receives
// the run's events: the observer in this process sees only the failures of
// inputs whose process crashed. When the child ends before the run does, the
// inputs it had not finished run again, one at a time, each in a process of
// its own; one whose process ends again fails, saying how it ended, and the
// others are converted. An input of several outputs that the crash cut in
// the middle is not run again (the outputs it has would be made twice): its
// rest fails. Raises Path/File access error (75) when no process can be made.
IsolatedRunEnd RunConversionIsolated(const ConversionRequest& request, ConversionObserver& observer,
                                     std::stop_token stop, const std::function<int()>& answer);

} // namespace tollamere
