// SPDX-License-Identifier: MIT
#include "output_options.h"

#include "path_text.h"
#include "format_registry.h"
#include "runtime_error.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace tollamere {
namespace {

constexpr std::array<std::string_view, 4> Placeholders{"{name}", "{ext}", "{n}", "{scale}"};

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
    // Outputs a later scan of the folder would skip, as hidden files or a
    // program's temporary copies.
    if (pattern.front() == '.' || pattern.front() == '~')
        return "the name pattern \"" + Printable(pattern) + "\" makes names that start with \"" + pattern.front() +
               "\", which folder scans skip";
    for (std::size_t at = 0; at < pattern.size(); ++at) {
        if (pattern[at] != '{' && pattern[at] != '}')
            continue;
        const std::optional<std::string_view> placeholder = PlaceholderAt(pattern, at);
        if (!placeholder)
            return "the name pattern \"" + Printable(pattern) + "\" has a \"" + pattern[at] +
                   "\" that does not belong to {name}, {ext}, {n} or {scale}";
        at += placeholder->size() - 1;
    }
    if (!options.format.empty() && !CanWritePictureExtension(options.format))
        return "no picture format this program writes is known as \"" + Printable(options.format) + "\"";
    for (const std::string& format : options.moreFormats) {
        if (format.empty() || !CanWritePictureExtension(format))
            return "no picture format this program writes is known as \"" + Printable(format) + "\"";
        if (options.format.empty())
            return "more formats are given without a first one";
    }
    for (std::size_t i = 0; i < options.scales.size(); ++i) {
        const OutputScale& scale = options.scales[i];
        if (!(scale.factor >= MinScale && scale.factor <= MaxScale))
            return "the scale " + Printable(scale.label) + " is out of range; scales go from 0.01x to 16x";
        for (std::size_t j = 0; j < i; ++j)
            if (options.scales[j].factor == scale.factor)
                return "the scale " + Printable(scale.label) + " is given twice";
    }
    if (options.fitWidth < 0 || options.fitWidth > MaxFitSide || options.fitHeight < 0 || options.fitHeight > MaxFitSide)
        return "a width or height to fit goes from 1 to " + std::to_string(MaxFitSide) + " pixels";
    for (std::size_t i = 0; i < options.iconSizes.size(); ++i) {
        const std::int32_t side = options.iconSizes[i];
        if (side < 1 || side > MaxIconSide)
            return "an icon size is " + std::to_string(side) + "; icon sizes go from 1 to " + std::to_string(MaxIconSide);
        if (std::count(options.iconSizes.begin(), options.iconSizes.begin() + std::ptrdiff_t(i), side) > 0)
            return "the icon size " + std::to_string(side) + " is given twice";
    }
    if (options.quality && (*options.quality < MinQuality || *options.quality > MaxQuality))
        return "the quality is " + std::to_string(*options.quality) + "; it goes from " + std::to_string(MinQuality) + " to " +
               std::to_string(MaxQuality);
    if (options.pngLevel && (*options.pngLevel < MinPngLevel || *options.pngLevel > MaxPngLevel))
        return "the PNG compression level is " + std::to_string(*options.pngLevel) + "; it goes from " + std::to_string(MinPngLevel) +
               " to " + std::to_string(MaxPngLevel);
    return std::nullopt;
}

std::string ExpandNamePattern(std::string_view pattern, std::string_view inputFileName, std::size_t row, std::string_view scale)
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
        else if (*placeholder == "{scale}")
            name += scale;
        else
            name += std::to_string(row);
        at += placeholder->size();
    }
    return name;
}

std::optional<std::string> ReadScales(std::string_view text, std::vector<OutputScale>& scales)
{
    std::vector<OutputScale> read;
    for (std::size_t start = 0;;) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view item = text.substr(start, comma - start);
        double factor = 0;
        const char* end = item.data() + item.size();
        const auto [stop, error] = std::from_chars(item.data(), end, factor, std::chars_format::fixed);
        if (item.empty() || error != std::errc() || stop + 1 != end || (*stop != 'x' && *stop != 'X') ||
            !(factor >= MinScale && factor <= MaxScale))
            return "takes scales such as 1x,2x,3x (0.01x to 16x), not \"" + Printable(item) + "\"";
        const std::string label = std::string(item.data(), stop) + "x";
        for (const OutputScale& earlier : read)
            if (earlier.factor == factor)
                return "gives the scale " + label + " twice";
        read.push_back({factor, label});
        if (comma == text.size())
            break;
        start = comma + 1;
    }
    scales = std::move(read);
    return std::nullopt;
}

std::string ScalesText(const std::vector<OutputScale>& scales)
{
    std::string text;
    for (const OutputScale& scale : scales)
        text += (text.empty() ? "" : ",") + scale.label;
    return text.empty() ? "1x" : text;
}

std::vector<std::string> OutputFormats(const OutputOptions& options)
{
    std::vector<std::string> formats{options.format};
    formats.insert(formats.end(), options.moreFormats.begin(), options.moreFormats.end());
    return formats;
}

std::vector<OutputScale> OutputScales(const OutputOptions& options)
{
    if (options.scales.empty())
        return {OutputScale{}};
    return options.scales;
}

bool Resizes(const OutputOptions& options, const OutputScale& scale)
{
    return scale.factor != 1.0 || options.fitWidth > 0 || options.fitHeight > 0;
}

std::vector<std::int32_t> IconSides(const OutputOptions& options, std::int32_t side)
{
    if (!options.iconSizes.empty())
        return options.iconSizes;
    side = std::clamp(side, 1, MaxIconSide);
    std::vector<std::int32_t> sides;
    for (const std::int32_t standard : StandardIconSizes)
        if (standard < side)
            sides.push_back(standard);
    sides.push_back(side);
    return sides;
}

std::string NumberedName(std::string_view stem, unsigned attempt)
{
    return std::string(stem) + " (" + std::to_string(attempt) + ")";
}

} // namespace tollamere
