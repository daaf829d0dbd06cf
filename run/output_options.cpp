// SPDX-License-Identifier: MIT
#include "output_options.h"

#include "path_text.h"
#include "format_registry.h"
#include "runtime_error.h"

#include <array>

namespace tollamere {
namespace {

constexpr std::array<std::string_view, 3> Placeholders{"{name}", "{ext}", "{n}"};

// The placeholder the pattern starts with at `at`, or nothing.
std::optional<std::string_view> PlaceholderAt(std::string_view pattern, std::size_t at)
{
    for (std::string_view placeholder : Placeholders)
        if (pattern.substr(at).starts_with(placeholder))
            return placeholder;
    return std::nullopt;
}

} // namespace

std::optional<std::string> CheckOutputOptions(const OutputOptions& options)
{
    const std::string_view pattern = options.namePattern;
    if (pattern.empty())
        return "the name pattern is empty";
    if (pattern.find('/') != std::string_view::npos || pattern.find('\0') != std::string_view::npos)
        return "the name pattern \"" + Printable(pattern) + "\" holds a \"/\"; it names a file, not a folder";
    for (std::size_t at = 0; at < pattern.size(); ++at) {
        if (pattern[at] != '{' && pattern[at] != '}')
            continue;
        const std::optional<std::string_view> placeholder = PlaceholderAt(pattern, at);
        if (!placeholder)
            return "the name pattern \"" + Printable(pattern) + "\" has a \"" + pattern[at] +
                   "\" that does not belong to {name}, {ext} or {n}";
        at += placeholder->size() - 1;
    }
    if (!options.format.empty() && !CanWritePictureExtension(options.format))
        return "no picture format this program writes is known as \"" + Printable(options.format) + "\"";
    if (options.quality && (*options.quality < MinQuality || *options.quality > MaxQuality))
        return "the quality is " + std::to_string(*options.quality) + "; it goes from " + std::to_string(MinQuality) + " to " +
               std::to_string(MaxQuality);
    if (options.pngLevel && (*options.pngLevel < MinPngLevel || *options.pngLevel > MaxPngLevel))
        return "the PNG compression level is " + std::to_string(*options.pngLevel) + "; it goes from " + std::to_string(MinPngLevel) +
               " to " + std::to_string(MaxPngLevel);
    return std::nullopt;
}

std::string ExpandNamePattern(std::string_view pattern, std::string_view inputFileName, std::size_t row)
{
    std::string name;
    for (std::size_t at = 0; at < pattern.size();) {
        const std::optional<std::string_view> placeholder = PlaceholderAt(pattern, at);
        if (!placeholder) {
            name += pattern[at++];
            continue;
        }
        if (*placeholder == "{name}")
            name += FileExtension(inputFileName) ? StripExtension(inputFileName) : std::string(inputFileName);
        else if (*placeholder == "{ext}")
            name += FileExtension(inputFileName).value_or("");
        else
            name += std::to_string(row);
        at += placeholder->size();
    }
    return name;
}

std::string NumberedName(std::string_view stem, unsigned attempt)
{
    return std::string(stem) + " (" + std::to_string(attempt) + ")";
}

} // namespace tollamere
