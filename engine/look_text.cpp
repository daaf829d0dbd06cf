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
constexpr Words<BevelStyle, 4> StyleWords{{{BevelStyle::Inner, "inner"},
                                           {BevelStyle::Outer, "outer"},
                                           {BevelStyle::Emboss, "emboss"},
                                           {BevelStyle::Pillow, "pillow"}}};

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
std::vector<std::string> AllWords(const Words<Choice, Count>& words)
{
    std::vector<std::string> all;
    for (const auto& [choice, word] : words)
        all.emplace_back(word);
    return all;
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

// An optional minus sign, then decimal digits, within [-limit, limit].
bool ReadSigned(std::string_view text, std::int32_t limit, std::int32_t& target)
{
    const bool negative = text.starts_with('-');
    std::int32_t magnitude = 0;
    if (negative)
        text.remove_prefix(1);
    if (text.empty() || text.front() == '+' || ReadWhole(text, 0, limit, "", magnitude))
        return false;
    target = negative ? -magnitude : magnitude;
    return true;
}

constexpr std::array<std::pair<std::string_view, std::uint32_t>, 7> ColourNames{{{"black", 0x000000},
                                                                                 {"white", 0xFFFFFF},
                                                                                 {"grey", 0x808080},
                                                                                 {"gray", 0x808080},
                                                                                 {"red", 0xFF0000},
                                                                                 {"green", 0x008000},
                                                                                 {"blue", 0x0000FF}}};

std::optional<std::uint32_t> ReadRgb(std::string_view text)
{
    for (const auto& [name, rgb] : ColourNames)
        if (name == text)
            return rgb;
    if (!text.starts_with('#') || (text.size() != 7 && text.size() != 4))
        return std::nullopt;
    std::uint32_t rgb = 0;
    for (const char digit : text.substr(1)) {
        const int value = digit >= '0' && digit <= '9'   ? digit - '0'
                          : digit >= 'a' && digit <= 'f' ? digit - 'a' + 10
                          : digit >= 'A' && digit <= 'F' ? digit - 'A' + 10
                                                         : -1;
        if (value < 0)
            return std::nullopt;
        // "#rgb" stands for "#rrggbb".
        rgb = text.size() == 4 ? rgb << 8 | std::uint32_t(value) * 0x11 : rgb << 4 | std::uint32_t(value);
    }
    return rgb;
}

// "DX,DY,BLUR[,COLOUR]", or "none" for no shadow.
std::optional<std::string> ReadDropShadow(std::string_view text, std::optional<DropShadow>& target)
{
    if (text == "none") {
        target.reset();
        return std::nullopt;
    }
    const std::string refusal = "needs DX,DY,BLUR[,COLOUR]: offsets from -" + std::to_string(MaxShadowOffset) + " to " +
                                std::to_string(MaxShadowOffset) + " and a blur radius from 0 to " +
                                std::to_string(MaxShadowBlur) + ", in whole pixels";
    DropShadow shadow;
    std::int32_t* numbers[] = {&shadow.offsetX, &shadow.offsetY, &shadow.blurRadius};
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t comma = text.find(',');
        if (comma == std::string_view::npos && i < 2)
            return refusal;
        const std::string_view number = text.substr(0, comma);
        const bool read = i < 2 ? ReadSigned(number, MaxShadowOffset, *numbers[i])
                                : !ReadWhole(number, 0, MaxShadowBlur, "", *numbers[i]);
        if (!read)
            return refusal;
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        if (comma != std::string_view::npos && i == 2) {
            if (auto reason = ReadLookColour(text, shadow.colour))
                return "colour " + *reason;
        }
    }
    target = shadow;
    return std::nullopt;
}

std::string DropShadowText(const std::optional<DropShadow>& shadow)
{
    if (!shadow)
        return "none";
    return std::to_string(shadow->offsetX) + "," + std::to_string(shadow->offsetY) + "," +
           std::to_string(shadow->blurRadius) + "," + LookColourText(shadow->colour);
}

constexpr Words<BlendMode, 4> BlendWords{{{BlendMode::Normal, "normal"},
                                           {BlendMode::Screen, "screen"},
                                           {BlendMode::Multiply, "multiply"},
                                           {BlendMode::Overlay, "overlay"}}};

// "COLOUR[@OPACITY][:MODE]": the opacity 100 and the mode normal unless given.
std::optional<std::string> ReadTone(std::string_view text, BandTone& target)
{
    BandTone tone;
    const std::size_t colon = text.rfind(':');
    if (colon != std::string_view::npos) {
        if (auto reason = ReadWord(BlendWords, text.substr(colon + 1), tone.mode))
            return "mode " + *reason;
        text = text.substr(0, colon);
    }
    if (auto reason = ReadLookColour(text, tone.colour))
        return *reason + ", then :MODE if wanted";
    target = tone;
    return std::nullopt;
}

std::string ToneText(const BandTone& tone)
{
    return LookColourText(tone.colour) + ":" + WordOf(BlendWords, tone.mode);
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
        {"direction", "DIR"},         {"style", "NAME"},    {"soften", "PX"},
        {"shape", "SOURCE"},
        {"highlight", "COLOUR"},      {"shadow", "COLOUR"},
        {"margin", "PX", false},      {"drop-shadow", "DX,DY,BLUR[,COLOUR]", false},
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
    if (name == "style")
        return ReadWord(StyleWords, text, look.style);
    if (name == "depth")
        return ReadWhole(text, 0, MaxDepthPercent, "of percent ", look.depthPercent);
    if (name == "soften")
        return ReadWhole(text, 0, MaxSoftenRadius, "of pixels ", look.softenRadius);
    if (name == "shape")
        return ReadShape(text, look.shapeSource);
    if (name == "highlight")
        return ReadTone(text, look.highlight);
    if (name == "shadow")
        return ReadTone(text, look.shadow);
    if (name == "margin")
        return ReadWhole(text, 0, MaxMargin, "of pixels ", look.decoration.margin);
    if (name == "drop-shadow")
        return ReadDropShadow(text, look.decoration.shadow);
    return "is not a choice of the look";
}

std::vector<std::pair<std::string, std::string>> LookChoiceTexts(const BevelLook& look)
{
    return {{"technique", WordOf(TechniqueWords, look.technique)},
            {"profile", WordOf(ProfileWords, look.profile)},
            {"depth", std::to_string(look.depthPercent)},
            {"direction", WordOf(DirectionWords, look.direction)},
            {"style", WordOf(StyleWords, look.style)},
            {"soften", std::to_string(look.softenRadius)},
            {"shape", ShapeText(look.shapeSource)},
            {"highlight", ToneText(look.highlight)},
            {"shadow", ToneText(look.shadow)},
            {"margin", std::to_string(look.decoration.margin)},
            {"drop-shadow", DropShadowText(look.decoration.shadow)}};
}

std::optional<std::string> ReadLookColour(std::string_view text, LookColour& colour)
{
    const std::size_t at = text.find('@');
    const std::optional<std::uint32_t> rgb = ReadRgb(text.substr(0, at));
    std::int32_t opacity = colour.opacityPercent;
    if (!rgb || (at != std::string_view::npos && ReadWhole(text.substr(at + 1), 0, 100, "", opacity)))
        return "takes #rrggbb, #rgb, black, white, grey, red, green or blue, then @OPACITY if wanted, a whole "
               "percent from 0 to 100";
    colour = {*rgb, opacity};
    return std::nullopt;
}

std::string LookColourText(const LookColour& colour)
{
    constexpr char Digits[] = "0123456789abcdef";
    std::string text = "#";
    for (int shift = 20; shift >= 0; shift -= 4)
        text += Digits[colour.rgb >> shift & 0xF];
    return text + "@" + std::to_string(colour.opacityPercent);
}

std::vector<std::string> LookChoiceWords(std::string_view name)
{
    if (name == "technique")
        return AllWords(TechniqueWords);
    if (name == "profile")
        return AllWords(ProfileWords);
    if (name == "direction")
        return AllWords(DirectionWords);
    if (name == "style")
        return AllWords(StyleWords);
    return {};
}

} // namespace tollamere
