// SPDX-License-Identifier: MIT
#pragma once

// The --json report: one object a line for each item that ended, then one
// for the run. Every object carries "version" (JsonVersion), which changes
// only when a field changes its meaning or goes; fields may be added.

#include "conversion_run.h"

#include <string>
#include <string_view>

namespace tollamere {

inline constexpr int JsonVersion = 1;

// A JSON string for bytes: the text itself when they are valid UTF-8, with
// quotes, backslashes and control characters escaped; otherwise the path as
// messages show it (Printable), so the line stays valid UTF-8.
std::string JsonString(std::string_view bytes);

// The bytes in base64 (RFC 4648, with padding).
std::string Base64(std::string_view bytes);

// {"version": 1, "record": "item", "input": ..., "output": ..., "outcome": ...,
// "reason": ..., "milliseconds": N} and a line feed; output is null when the
// item got no output name, reason null when it was written, milliseconds
// whole. A name that is not valid UTF-8 is shown as Printable shows it and
// its bytes follow in "input_base64" or "output_base64", so that no two
// names read alike.
std::string JsonLine(const ItemResult& result);

// What the run did, counted over every item and every skip of the folder
// scan; a folder that could not be listed counts as failed.
struct RunCounts {
    std::size_t written = 0;
    std::size_t skipped = 0;
    std::size_t failed = 0;
    bool stopped = false;
    double seconds = 0;
};

// {"version": 1, "record": "summary", "written": N, "skipped": N, "failed": N,
// "stopped": false, "seconds": 0.125} and a line feed.
std::string JsonSummaryLine(const RunCounts& counts);

} // namespace tollamere
