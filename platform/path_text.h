// SPDX-License-Identifier: MIT
#pragma once

#include "file_path.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tollamere {

// Small helpers on path texts (UTF-8, the platform's separator), shared by
// the run, the window and the command line. A folder
// text made here ends with one separator; an extension is whatever follows
// the last ".".

inline constexpr char PathSeparator = '/';

// Everything before the last "." of the whole text (in a folder name when the
// file name has none); Invalid procedure call (5) when there is no ".".
std::string StripExtension(std::string_view path);

// Everything after the last separator: the whole text without one, the empty
// text when it ends with one.
std::string GetFileName(std::string_view path);

// The extension that picks a picture format: whatever follows the last "."
// of the file name, case kept, so ".png" is a PNG named by its extension
// alone; nothing when the file name has no ".".
std::optional<std::string> FileExtension(std::string_view path);

// The text with A to Z in lower case, as extensions are compared.
std::string LowerCaseAscii(std::string_view text);

} // namespace tollamere
