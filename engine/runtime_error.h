// SPDX-License-Identifier: MIT
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tollamere {

// The numbered run-time errors that the program's routines raise to each other.
enum class ErrorNumber : int {
    InvalidProcedureCall = 5,
    Overflow = 6,
    OutOfMemory = 7,
    DivisionByZero = 11,
    TypeMismatch = 13,
    FileNotFound = 53,
    PermissionDenied = 70,
    PathFileAccessError = 75,
    InvalidPicture = 481,
};

// The standard description of an error number ("Overflow" for 6).
std::string StandardDescription(ErrorNumber number);

// A run-time failure: its number and its description. The description is the
// standard one unless the raiser gives its own (the JPEG writer does).
class RuntimeError : public std::runtime_error {
public:
    explicit RuntimeError(ErrorNumber number);
    RuntimeError(ErrorNumber number, const std::string& description);

    ErrorNumber Number() const noexcept { return number_; }
    std::string Description() const { return what(); }

private:
    ErrorNumber number_;
};

[[noreturn]] void Raise(ErrorNumber number);
[[noreturn]] void Raise(ErrorNumber number, const std::string& description);
// Raises the error with its standard description followed by ": " and the
// reason ("Invalid picture: truncated JPEG data").
[[noreturn]] void RaiseWithReason(ErrorNumber number, const std::string& reason);

// What follows the standard description in an error's description (the
// reason RaiseWithReason added), or the whole description when it has none.
std::string ReasonOf(const RuntimeError& error);

// A file name or path as messages show it, safe to print on one line. A name
// is bytes: each byte that is not part of valid UTF-8, and each control
// character, appears as "\xHH".
std::string Printable(std::string_view path);

// True when the bytes are valid UTF-8 throughout (by the rules Printable
// reads them with).
bool IsValidUtf8(std::string_view bytes) noexcept;

} // namespace tollamere
