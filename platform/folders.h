// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tollamere {

// What the system says of a folder or a path: where the desktop and the
// fallback output folder are, and whether a path is there and what it is.
// A folder text made here ends with one separator.

// The desktop folder followed by one separator; Invalid procedure call (5)
// when the platform gives none.
std::string GetDesktopFolder();

// Where results go by default when the desktop folder does not exist (a
// fresh account): the pictures folder, or home when that is missing too,
// followed by one separator; empty when the platform has neither.
std::string GetFallbackOutputFolder();

// True when the path's last-modified time can be read; never raises.
bool PathExists(std::string_view path);

// True for a folder, false for anything else that exists, empty when the
// path cannot be queried (missing, empty); never raises.
std::optional<bool> FolderExists(std::string_view path);

} // namespace tollamere
