// SPDX-License-Identifier: MIT
#pragma once

// The steps of one item's pass, numbered as the run's failure reports show
// them, and what a step that failed reports. RunStep never lets an exception
// out: whatever the step raises becomes that step's failure.

#include "runtime_error.h"

#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace tollamere {

inline constexpr int LineOutputBase = 128;
inline constexpr int LineLoad = 154;
inline constexpr int LineBevel = 160;
inline constexpr int LineSaveJpeg = 164;
inline constexpr int LineSaveBitmap = 168;
inline constexpr int LineSaveOther = 170;

struct StepFailure {
    int lineNumber = 0;
    ErrorNumber number = ErrorNumber::InvalidProcedureCall;
    std::string description;
};

StepFailure FailureOf(int lineNumber, const RuntimeError& error);

// Any exception as a step's failure: a RuntimeError keeps its number and
// description, std::bad_alloc is Out of memory (7), any other std::exception
// Invalid procedure call (5) with its what(), anything else that number
// alone.
StepFailure FailureOf(int lineNumber, std::exception_ptr exception);

// The error's standard description, then the reason.
StepFailure Refusal(int lineNumber, ErrorNumber number, const std::string& reason);

// Runs one step: nothing when it ends, else its failure, as FailureOf the
// exception it raised.
std::optional<StepFailure> RunStep(int lineNumber, const std::function<void()>& step);

} // namespace tollamere
