// SPDX-License-Identifier: MIT
#pragma once

// A look: the bevel's three numbers and every choice of the look together,
// under a name, and the text of a look file, which is also how a look is
// kept in the settings store. A look file is UTF-8 text, one "key = value"
// a line; "#" starts a comment line:
//
//     tollamere-look = 1
//     name = Soft button
//     size = 12
//     angle = 135
//     elevation = 40
//     technique = smooth
//     profile = round

#include "bevel_look.h"
#include "effect_defaults.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tollamere {

// The version this program writes; a file of a later one is read, with
// what this program does not know left out and a warning.
inline constexpr int LookFileVersion = 1;
// Larger files are not looks: nothing this program writes comes near it.
inline constexpr std::size_t MaxLookFileBytes = 64 * 1024;
inline constexpr std::size_t MaxLookNameBytes = 100;

struct NamedLook {
    std::string name;
    // The bevel's numbers as texts, with "." as their decimal separator, as
    // the command line takes them.
    std::string bevelSize{DefaultBevelSizeText};
    std::string lightAngle{DefaultLightAngleText};
    std::string lightElevation{DefaultLightElevationText};
    BevelLook look;
};

// Why a look name cannot be used (empty, too long, not UTF-8, or holding a
// control character), or nothing.
std::optional<std::string> CheckLookName(std::string_view name);

std::string WriteLookFile(const NamedLook& look);

struct LookReading {
    // Set when the text is a look; then error is empty.
    std::optional<NamedLook> look;
    // Why it is not one, naming the line at fault ("line 4: depth needs ...").
    std::string error;
    // What was left out of a look that was read ("line 9: \"glow\" is not
    // known to this version; left out").
    std::vector<std::string> warnings;
};

// Reads a look file's text. Every value is checked as the command line
// checks it; a look without a name, or whose first key is not
// "tollamere-look", is not a look.
LookReading ReadLookFile(std::string_view text);

// The look among these with the same numbers and choices as this one,
// whatever their names.
std::optional<NamedLook> MatchingLook(const std::vector<NamedLook>& looks, const NamedLook& look);

// The looks that come with the program; the first is the classic look, with
// the window's first numbers.
const std::vector<NamedLook>& ShippedLooks();

} // namespace tollamere
