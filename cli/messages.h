// SPDX-License-Identifier: MIT
#pragma once

// The command line's words for what happens in a run: each message is
// "tollamere-cli: FILE: reason", the file named once, the reason in the words
// of a command-line tool, read from the run's typed events (the step that
// failed, the error's number) rather than from the window's texts.

#include "conversion_run.h"

#include <string>

namespace tollamere {

// The reason an item failed or was refused, without its input's name.
std::string FailureWords(const ConversionFailure& failure);

// "tollamere-cli: FILE: reason" and a line feed, FILE shown through Printable.
std::string Message(const std::string& file, const std::string& reason);

// "in -> out, 12 ms", "in -> out, left as it was" (a line feed after), what
// -v says of each item that was written or left.
std::string ItemLine(const std::string& input, const std::string& output, const ItemResult& result);

} // namespace tollamere
