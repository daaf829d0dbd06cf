// SPDX-License-Identifier: MIT
#include "look_file.h"

#include "bevel.h"
#include "look_text.h"
#include "runtime_error.h"

#include <algorithm>
#include <charconv>
#include <map>

namespace tollamere {

namespace {

constexpr std::string_view VersionKey = "tollamere-look";
constexpr const char* NotALook = "it does not start with \"tollamere-look = 1\", so it is not a look file";

std::string_view Trimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Checks one of the bevel's numbers as the run will read it, the other two
// left neutral.
std::optional<std::string> CheckNumber(std::string_view key, std::string_view text)
{
    try {
        BevelParameters alone{0, 0.0, 0.0};
        if (key == "size")
            alone.bevelSize = ParseBevelSize(text, ".");
        else if (key == "angle")
            alone.lightAngle = ParseLightDegrees(text, ".");
        else
            alone.lightElevation = ParseLightDegrees(text, ".");
        CheckBevelParameters(alone);
        return std::nullopt;
    } catch (const RuntimeError& error) {
        if (error.Number() == ErrorNumber::TypeMismatch)
            return "needs a number";
        return key == "size" ? "needs a bevel size from " + BevelSizeRangeText() : "needs degrees few enough to give the light a direction";
    }
}

std::string Quoted(std::string_view text)
{
    return "\"" + Printable(std::string(text)) + "\"";
}

} // namespace

std::optional<std::string> CheckLookName(std::string_view name)
{
    if (name.empty())
        return "a look needs a name";
    if (name.size() > MaxLookNameBytes)
        return "a look's name may take at most " + std::to_string(MaxLookNameBytes) + " bytes";
    if (!IsValidUtf8(name))
        return "a look's name must be UTF-8 text";
    if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        return "a look's name may not hold a control character";
    return std::nullopt;
}

std::string WriteLookFile(const NamedLook& look)
{
    std::string text = "# A look of Tollamere: the bevel's numbers and its choices.\n";
    text += std::string(VersionKey) + " = " + std::to_string(LookFileVersion) + "\n";
    text += "name = " + look.name + "\n";
    text += "size = " + look.bevelSize + "\n";
    text += "angle = " + look.lightAngle + "\n";
    text += "elevation = " + look.lightElevation + "\n";
    for (const auto& [name, value] : LookChoiceTexts(look.look))
        text += name + " = " + value + "\n";
    return text;
}

std::optional<NamedLook> MatchingLook(const std::vector<NamedLook>& looks, const NamedLook& look)
{
    // Written without their names, two looks are the same text when they
    // are the same look.
    const auto unnamed = [](NamedLook named) {
        named.name.clear();
        return WriteLookFile(named);
    };
    const std::string wanted = unnamed(look);
    for (const NamedLook& listed : looks) {
        if (unnamed(listed) == wanted)
            return listed;
    }
    return std::nullopt;
}

LookReading ReadLookFile(std::string_view text)
{
    LookReading reading;
    if (text.size() > MaxLookFileBytes) {
        reading.error = "it is larger than a look file can be";
        return reading;
    }
    if (!IsValidUtf8(text)) {
        reading.error = "it is not UTF-8 text, so not a look file";
        return reading;
    }
    NamedLook look;
    std::optional<int> version;
    bool named = false;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = Trimmed(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        ++lineNumber;
        if (line.empty() || line.front() == '#')
            continue;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos && !version) {
            reading.error = NotALook;
            return reading;
        }
        if (equals == std::string_view::npos) {
            reading.error = where + "a line of a look file reads \"key = value\", not " + Quoted(line);
            return reading;
        }
        const std::string_view key = Trimmed(line.substr(0, equals));
        const std::string_view value = Trimmed(line.substr(equals + 1));
        if (!version) {
            int number = 0;
            const auto [stop, error] = std::from_chars(value.data(), value.data() + value.size(), number);
            if (key != VersionKey || error != std::errc() || stop != value.data() + value.size() || number < 1) {
                reading.error = NotALook;
                return reading;
            }
            version = number;
            if (number > LookFileVersion)
                reading.warnings.push_back("it was written by a later version of Tollamere; what this one does not "
                                           "know is left out");
            continue;
        }
        std::optional<std::string> refusal;
        if (key == "name") {
            if (auto reason = CheckLookName(value)) {
                reading.error = where + *reason;
                return reading;
            }
            look.name = value;
            named = true;
        } else if (key == "size" || key == "angle" || key == "elevation") {
            refusal = CheckNumber(key, value);
            (key == "size" ? look.bevelSize : key == "angle" ? look.lightAngle : look.lightElevation) = value;
        } else {
            refusal = ReadLookChoice(key, value, look.look);
            if (refusal && std::none_of(LookChoices().begin(), LookChoices().end(),
                                        [&](const LookChoice& choice) { return choice.name == key; })) {
                reading.warnings.push_back(where + Quoted(key) + " is not known to this version; left out");
                continue;
            }
        }
        if (refusal) {
            reading.error = where + std::string(key) + " " + *refusal + ", not " + Quoted(value);
            return reading;
        }
    }
    if (!version)
        reading.error = "it is empty, so not a look file";
    else if (!named)
        reading.error = "it names no look (a line \"name = ...\")";
    else
        reading.look = std::move(look);
    return reading;
}

} // namespace tollamere
