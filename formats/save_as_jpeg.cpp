// SPDX-License-Identifier: MIT
#include "save_as_jpeg.h"

#include "runtime_error.h"

#include <functional>
#include <new>
#include <string>

namespace tollamere {
namespace {

// Values of GDI+'s Status enumeration, which the description reports.
enum class GdiplusStatus : int {
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    Win32Error = 7,
    AccessDenied = 12,
};

GdiplusStatus StatusFor(ErrorNumber number) noexcept
{
    switch (number) {
    case ErrorNumber::InvalidPicture: return GdiplusStatus::InvalidParameter;
    case ErrorNumber::OutOfMemory: return GdiplusStatus::OutOfMemory;
    case ErrorNumber::PermissionDenied: return GdiplusStatus::AccessDenied;
    case ErrorNumber::FileNotFound:
    case ErrorNumber::PathFileAccessError: return GdiplusStatus::Win32Error;
    default: return GdiplusStatus::GenericError;
    }
}

constexpr std::string_view SaveFailureWords = "Cannot save the image. GDI+ Error:";

// The status keeps the message users and scripts know; the reason after it
// says which file and why.
[[noreturn]] void RaiseSaveFailure(GdiplusStatus status, const std::string& reason)
{
    Raise(ErrorNumber::InvalidProcedureCall, std::string(SaveFailureWords) + std::to_string(int(status)) + ": " + reason);
}

} // namespace

EncodedBytes EncodeForJpegWriter(const std::function<EncodedBytes()>& encode, const std::filesystem::path& path)
{
    try {
        return encode();
    } catch (const RuntimeError& error) {
        RaiseSaveFailure(StatusFor(error.Number()), "cannot encode " + Printable(path.native()) + ": " + ReasonOf(error));
    } catch (const std::bad_alloc&) {
        RaiseSaveFailure(GdiplusStatus::OutOfMemory, "no memory to encode " + Printable(path.native()));
    }
}

void RaiseJpegWriterFailure(const RuntimeError& writeFailure)
{
    RaiseSaveFailure(StatusFor(writeFailure.Number()), ReasonOf(writeFailure));
}

std::string JpegWriterReason(const std::string& description)
{
    if (!description.starts_with(SaveFailureWords))
        return description;
    const std::size_t reason = description.find(": ", SaveFailureWords.size());
    return reason == std::string::npos ? description : description.substr(reason + 2);
}

} // namespace tollamere
