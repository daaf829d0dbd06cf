// SPDX-License-Identifier: MIT
#pragma once

// The lists --files-from reads: paths as bytes, one per entry.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tollamere {

// The paths of a list: one a line, or with nullSeparated one per NUL-ended
// entry. Only the separator is taken off: a name is bytes, so a "\r" before
// the line feed stays part of it. Empty entries are skipped.
std::vector<std::string> SplitFileList(std::string_view bytes, bool nullSeparated);

// The whole content of the list at source ("-" for standard input), which may
// be a pipe; or nothing, with the reason ("cannot read the list ...: ...").
std::optional<std::string> ReadFileList(const std::string& source, std::string& reason);

} // namespace tollamere
