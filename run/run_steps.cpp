// SPDX-License-Identifier: MIT
#include "run_steps.h"

#include <new>
#include <utility>

namespace tollamere {

StepFailure FailureOf(int lineNumber, const RuntimeError& error)
{
    return {lineNumber, error.Number(), error.Description()};
}

StepFailure Refusal(int lineNumber, ErrorNumber number, const std::string& reason)
{
    return {lineNumber, number, StandardDescription(number) + ": " + reason};
}

StepFailure FailureOf(int lineNumber, std::exception_ptr exception)
{
    try {
        std::rethrow_exception(std::move(exception));
    } catch (const RuntimeError& error) {
        return FailureOf(lineNumber, error);
    } catch (const std::bad_alloc&) {
        return StepFailure{lineNumber, ErrorNumber::OutOfMemory, StandardDescription(ErrorNumber::OutOfMemory)};
    } catch (const std::exception& error) {
        return Refusal(lineNumber, ErrorNumber::InvalidProcedureCall, error.what());
    } catch (...) {
        return StepFailure{lineNumber, ErrorNumber::InvalidProcedureCall, StandardDescription(ErrorNumber::InvalidProcedureCall)};
    }
}

std::optional<StepFailure> RunStep(int lineNumber, const std::function<void()>& step)
{
    try {
        step();
        return std::nullopt;
    } catch (...) {
        return FailureOf(lineNumber, std::current_exception());
    }
}

} // namespace tollamere
