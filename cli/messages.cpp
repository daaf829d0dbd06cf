// SPDX-License-Identifier: MIT
#include "messages.h"

#include "run_steps.h"
#include "save_as_jpeg.h"

#include <cmath>

namespace tollamere {

namespace {

// The description without the standard words of its number ("File not
// found: ", "Path/File access error: ").
std::string Detail(ErrorNumber number, const std::string& description)
{
    const std::string prefix = StandardDescription(number);
    if (description == prefix)
        return {};
    if (description.starts_with(prefix + ": "))
        return description.substr(prefix.size() + 2);
    return description;
}

// What the detail says once the input's name, which the message already
// puts in front, is taken out: "NAME" gives nothing, "NAME is a folder"
// gives "is a folder", and elsewhere the name becomes "this file" ("cannot
// read this file: Input/output error"). A detail that never names the input
// stays whole.
std::string WithoutName(const std::string& detail, const std::string& shownName)
{
    if (shownName.empty() || detail == shownName)
        return shownName.empty() ? detail : std::string();
    if (detail.starts_with(shownName + " "))
        return detail.substr(shownName.size() + 1);
    std::string rest = detail;
    if (const std::size_t at = rest.find(shownName); at != std::string::npos)
        rest.replace(at, shownName.size(), "this file");
    return rest;
}

// The first word of a detail without its verb: "holds a picture of ..."
// and "has 3 GiB" read as "a picture of ...", "3 GiB".
std::string WithoutVerb(const std::string& text)
{
    for (const std::string_view verb : {"holds ", "has "}) {
        if (text.starts_with(verb))
            return text.substr(verb.size());
    }
    return text;
}

// The words the reader gives a file it cannot take.
constexpr std::string_view UnknownContent = "not a picture in a format this program reads";

std::string LoadWords(ErrorNumber number, const std::string& rest)
{
    switch (number) {
    case ErrorNumber::FileNotFound: return "no such file";
    case ErrorNumber::PermissionDenied: return "permission denied";
    case ErrorNumber::InvalidPicture:
        if (rest.empty() || rest == UnknownContent)
            return "not a picture this program reads";
        if (rest == "the file is empty")
            return "empty file";
        return "damaged picture: " + rest;
    case ErrorNumber::OutOfMemory:
        return rest.empty() ? "out of memory" : "too large: " + WithoutVerb(rest);
    default: return rest.empty() ? "cannot read it" : rest;
    }
}

} // namespace

std::string FailureWords(const ConversionFailure& failure)
{
    // The JPEG writer's reports carry the words a window shows first.
    const std::string rest =
        WithoutName(Detail(failure.number, JpegWriterReason(failure.description)), Printable(failure.inputPath));
    if (failure.lineNumber == LineLoad)
        return LoadWords(failure.number, rest);
    // The effect's and the writers' details name the output, not the input,
    // and say why in their own words; the number's words stand in for none.
    if (!rest.empty())
        return rest;
    switch (failure.number) {
    case ErrorNumber::OutOfMemory: return "out of memory";
    case ErrorNumber::PermissionDenied: return "permission denied";
    case ErrorNumber::PathFileAccessError: return "cannot write the output";
    default: return "cannot convert it";
    }
}

std::string Message(const std::string& file, const std::string& reason)
{
    return "tollamere-cli: " + Printable(file) + ": " + reason + "\n";
}

std::string ItemLine(const std::string& input, const std::string& output, const ItemResult& result)
{
    const std::string how = result.outcome == ItemResult::Outcome::Written
                                ? std::to_string(std::llround(std::max(0.0, result.milliseconds))) + " ms"
                                : "left as it was";
    return Printable(input) + " -> " + Printable(output) + ", " + how + "\n";
}

} // namespace tollamere
