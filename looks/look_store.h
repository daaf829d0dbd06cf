// SPDX-License-Identifier: MIT
#pragma once

// Where looks come from besides the program: the ones the user saved, kept in
// the window's settings store under a group of their own, and look files.

#include "look_file.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tollamere {

// The saved looks, in the settings store of organisation and application
// "Tollamere", group "Looks": one key per look, its name percent-encoded,
// holding the look's file text. Keys that do not read as a look are left
// alone and not listed.
class LookStore {
public:
    // The saved looks, by name.
    std::vector<NamedLook> Saved() const;
    // The shipped looks, then the saved ones.
    std::vector<NamedLook> All() const;
    // A saved look of that name, else a shipped one; a name that differs
    // only in the case of ASCII letters finds it too.
    std::optional<NamedLook> Find(std::string_view name) const;
    // Saves the look under its name, replacing a saved look of that name.
    // Returns why it cannot be: a name CheckLookName refuses, or the name of
    // a shipped look.
    std::optional<std::string> Save(const NamedLook& look) const;
    void Remove(std::string_view name) const;
};

// A look file read whole, or why not: the reason names the file.
LookReading ReadLookFromFile(const std::filesystem::path& path);

// Writes the look to a file, replacing it whole or not at all. Raises
// Permission denied (70) or Path/File access error (75) with the path in
// the reason, as WriteFileReplacing does.
void WriteLookToFile(const NamedLook& look, const std::filesystem::path& path);

// The look that `--look` names: a saved or shipped look of that name, else
// the look file at that path; the reason when neither is there.
LookReading FindLook(const LookStore& store, const std::string& nameOrPath);

} // namespace tollamere
