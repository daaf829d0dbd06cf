// SPDX-License-Identifier: MIT
#pragma once

// The look's choices as words, as the command line, a stored look and a look
// file write them: one name for each choice ("technique", "profile",
// "depth", "direction", "style", "soften", "shape", "margin", "drop-shadow")
// and one text for its value ("smooth", "round", "120", "down", "outer", "2",
// "luma:40", "10", "4,4,6,#000000@60").

#include "bevel_look.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tollamere {

// One choice of the look as the command line offers it.
struct LookChoice {
    std::string name;
    // What the command line's help calls its value: "NAME", "PERCENT".
    std::string valueName;
    // Used by the smooth and chisel techniques only; the classic effect
    // would drop it.
    bool shapesSmoothBands = true;
};

// The words of a choice that is one of several values, in the order of those
// values ("classic", "smooth", "chisel" for "technique"); empty for any
// other choice.
std::vector<std::string> LookChoiceWords(std::string_view name);

// Every choice, in the order LookChoiceTexts gives them.
const std::vector<LookChoice>& LookChoices();

// Sets the named choice from its text. Returns why the text cannot be taken,
// worded to follow the choice's name ("takes classic, smooth or chisel"),
// or nothing; an unknown name gives "is not a choice of the look". The
// look is left as it was on a refusal.
std::optional<std::string> ReadLookChoice(std::string_view name, std::string_view text, BevelLook& look);

// Every choice with the text ReadLookChoice reads back to the same look.
std::vector<std::pair<std::string, std::string>> LookChoiceTexts(const BevelLook& look);

// A colour as the look writes it: "#rrggbb", "#rgb" or one of the names
// black, white, grey (gray), red, green and blue, then "@" and its opacity
// in whole percent (0 to 100) when the opacity is not to stay as it was.
// Returns why the text cannot be taken, worded as ReadLookChoice's are; the
// colour is left as it was on a refusal.
std::optional<std::string> ReadLookColour(std::string_view text, LookColour& colour);
// "#rrggbb@opacity", which ReadLookColour reads back to the same colour.
std::string LookColourText(const LookColour& colour);

} // namespace tollamere
