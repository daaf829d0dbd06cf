// SPDX-License-Identifier: MIT
#include "look_text.h"

#include <array>
#include <charconv>

namespace tollamere {

namespace {

template <typename Choice, std::size_t Count>
using Words = std::array<std::pair<Choice, std::string_view>, Count>;

constexpr Words<BevelTechnique, 3> TechniqueWords{
    {{BevelTechnique::Classic, "classic"}, {BevelTechnique::Smooth, "smooth"}, {BevelTechnique::Chisel, "chisel"}}};
constexpr Words<BevelProfile, 4> ProfileWords{{{BevelProfile::Linear, "linear"},
                                               {BevelProfile::Round, "round"},
                                               {BevelProfile::Cove, "cove"},
                                               {BevelProfile::Ridge, "ridge"}}};
constexpr Words<BevelDirection, 2> DirectionWords{{{BevelDirection::Up, "up"}, {BevelDirection::Down, "down"}}};

// "classic, smooth or chisel"
template <typename Choice, std::size_t Count>
std::string Alternatives(const Words<Choice, Count>& words)
{
    std::string text;
    for (std::size_t i = 0; i < Count; ++i) {
        if (i > 0)
            text += i + 1 == Count ? " or " : ", ";
        text += words[i].second;
    }
    return text;
}

template <typename Choice, std::size_t Count>
std::optional<std::string> ReadWord(const Words<Choice, Count>& words, std::string_view text, Choice& target)
{
    for (const auto& [choice, word] : words) {
        if (word == text) {
            target = choice;
            return std::nullopt;
        }
    }
    return "takes " + Alternatives(words);
}

template <typename Choice, std::size_t Count>
std::string WordOf(const Words<Choice, Count>& words, Choice choice)
{
    for (const auto& [candidate, word] : words) {
        if (candidate == choice)
            return std::string(word);
    }
    return std::string(words.front().second);
}

// Decimal digits alone, within [low, high].
std::optional<std::string> ReadWhole(std::string_view text, std::int32_t low, std::int32_t high, std::string_view unit,
                                     std::int32_t& target)
{
    std::int32_t number = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (text.empty() || text.front() == '-' || error != std::errc() || stop != end || number < low || number > high)
        return "needs a whole number " + std::string(unit) + "from " + std::to_string(low) + " to " +
               std::to_string(high);
    target = number;
    return std::nullopt;
}

std::optional<std::string> ReadShape(std::string_view text, ShapeSource& target)
{
    constexpr std::string_view Refusal = "takes green, alpha or luma:N with N a whole number from 0 to 255";
    if (text == "green" || text == "alpha") {
        target = {text == "green" ? ShapeSourceKind::Green : ShapeSourceKind::Alpha, 0};
        return std::nullopt;
    }
    constexpr std::string_view Luma = "luma:";
    std::int32_t threshold = 0;
    if (!text.starts_with(Luma) || ReadWhole(text.substr(Luma.size()), 0, 255, "", threshold))
        return std::string(Refusal);
    target = {ShapeSourceKind::Luma, threshold};
    return std::nullopt;
}

std::string ShapeText(const ShapeSource& source)
{
    switch (source.kind) {
    case ShapeSourceKind::Alpha:
        return "alpha";
    case ShapeSourceKind::Luma:
        return "luma:" + std::to_string(source.lumaThreshold);
    case ShapeSourceKind::Green:
        break;
    }
    return "green";
}

} // namespace

const std::vector<LookChoice>& LookChoices()
{
    static const std::vector<LookChoice> choices{
        {"technique", "NAME", false}, {"profile", "NAME"},  {"depth", "PERCENT"},
        {"direction", "DIR"},         {"soften", "PX"},     {"shape", "SOURCE"},
    };
    return choices;
}

std::optional<std::string> ReadLookChoice(std::string_view name, std::string_view text, BevelLook& look)
{
    if (name == "technique")
        return ReadWord(TechniqueWords, text, look.technique);
    if (name == "profile")
        return ReadWord(ProfileWords, text, look.profile);
    if (name == "direction")
        return ReadWord(DirectionWords, text, look.direction);
    if (name == "depth")
        return ReadWhole(text, 0, MaxDepthPercent, "of percent ", look.depthPercent);
    if (name == "soften")
        return ReadWhole(text, 0, MaxSoftenRadius, "of pixels ", look.softenRadius);
    if (name == "shape")
        return ReadShape(text, look.shapeSource);
    return "is not a choice of the look";
}

std::vector<std::pair<std::string, std::string>> LookChoiceTexts(const BevelLook& look)
{
    return {{"technique", WordOf(TechniqueWords, look.technique)},
            {"profile", WordOf(ProfileWords, look.profile)},
            {"depth", std::to_string(look.depthPercent)},
            {"direction", WordOf(DirectionWords, look.direction)},
            {"soften", std::to_string(look.softenRadius)},
            {"shape", ShapeText(look.shapeSource)}};
}

} // namespace tollamere
