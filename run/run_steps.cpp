// SPDX-License-Identifier: MIT
#include "run_steps.h"

#include <new>

namespace tollamere {

StepFailure FailureOf(int lineNumber, const RuntimeError& error)
{
    return {lineNumber, error.Number(), error.Description()};
}

StepFailure Refusal(int lineNumber, ErrorNumber number, const std::string& reason)
{
    return {lineNumber, number, StandardDescription(number) + ": " + reason};
}

std::optional<StepFailure> RunStep(int lineNumber, const std::function<void()>& step)
{
    try {
        step();
        return std::nullopt;
    } catch (const RuntimeError& error) {
        return FailureOf(lineNumber, error);
    } catch (const std::bad_alloc&) {
        return StepFailure{lineNumber, ErrorNumber::OutOfMemory, StandardDescription(ErrorNumber::OutOfMemory)};
    } catch (const std::exception& error) {
        return Refusal(lineNumber, ErrorNumber::InvalidProcedureCall, error.what());
    }
}

} // namespace tollamere
