#include "runtime_error.h"

namespace tollamere {

std::string StandardDescription(ErrorNumber number)
{
    switch (number) {
    case ErrorNumber::InvalidProcedureCall: return "Invalid procedure call or argument";
    case ErrorNumber::Overflow: return "Overflow";
    case ErrorNumber::OutOfMemory: return "Out of memory";
    case ErrorNumber::DivisionByZero: return "Division by zero";
    case ErrorNumber::TypeMismatch: return "Type mismatch";
    case ErrorNumber::FileNotFound: return "File not found";
    case ErrorNumber::PermissionDenied: return "Permission denied";
    case ErrorNumber::PathFileAccessError: return "Path/File access error";
    case ErrorNumber::InvalidPicture: return "Invalid picture";
    }
    return "Application-defined or object-defined error";
}

RuntimeError::RuntimeError(ErrorNumber number)
    : RuntimeError(number, StandardDescription(number))
{
}

RuntimeError::RuntimeError(ErrorNumber number, const std::string& description)
    : std::runtime_error(description), number_(number)
{
}

void Raise(ErrorNumber number)
{
    throw RuntimeError(number);
}

void Raise(ErrorNumber number, const std::string& description)
{
    throw RuntimeError(number, description);
}

void RaiseWithReason(ErrorNumber number, const std::string& reason)
{
    throw RuntimeError(number, StandardDescription(number) + ": " + reason);
}

} // namespace tollamere
