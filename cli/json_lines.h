// SPDX-License-Identifier: MIT
#pragma once

// The --json report: one object a line for each item that ended.

#include "conversion_run.h"

#include <string>
#include <string_view>

namespace tollamere {

// A JSON string for bytes: the text itself when they are valid UTF-8, with
// quotes, backslashes and control characters escaped; otherwise the path as
// messages show it (Printable), so the line stays valid UTF-8.
std::string JsonString(std::string_view bytes);

// {"input": ..., "output": ..., "outcome": ..., "reason": ..., "milliseconds": N}
// and a line feed; output is null when the item got no output name, reason
// null when it was written, milliseconds whole.
std::string JsonLine(const ItemResult& result);

} // namespace tollamere
