// SPDX-License-Identifier: MIT
#pragma once

// tollamere-cli's command, from its arguments to its exit status.

#include "command_line.h"
#include "conversion_run.h"

#include <string>
#include <vector>

namespace tollamere {

// A run's request with the options' choices, without its inputs and
// output folder.
ConversionRequest RequestFor(const CliOptions& options);

// Runs the command the arguments (after the program's name) give; answers
// the exit status. standardOutputClosed: the caller left standard output
// closed, so that what is meant for it would vanish into the null device in
// its place.
int RunCommandLine(const std::vector<std::string>& arguments, bool standardOutputClosed);

} // namespace tollamere
