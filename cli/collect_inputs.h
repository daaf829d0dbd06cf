// SPDX-License-Identifier: MIT
#pragma once

// What the command line converts: the paths given and listed, folders
// scanned by its rules, a picture on standard input copied to a file.

#include "command_line.h"
#include "conversion_run.h"
#include "standard_streams.h"

#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace tollamere {

inline constexpr std::string_view ExtensionNotAskedFor = "extension not asked for";

// A file that --ext asks for, by its name ("*": every picture file some
// reader takes, whether or not its own format is written). The folder scan
// and the watch both ask this.
bool AskedFor(const std::string& path, const std::string& extension);

struct NamedReason {
    std::string path;
    std::string reason;
};

// What was found beside the files to convert, before the run.
struct Collected {
    // Left out by a rule (hidden names, "~" names, extensions not asked
    // for): listed by -v, the exit status unchanged.
    std::vector<NamedReason> skipped;
    // Folders that could not be listed, a picture that could not be read
    // from standard input: failures.
    std::vector<NamedReason> failed;
    // Left out by design (the output folder, links to folders).
    std::vector<NamedReason> leftOut;
};

// The files to convert, in order, with the folder each was found under: a
// file as given (no folder), "-" as the copy of standard input (when it
// could be read), a folder scanned by the command line's rules. Every name
// the file system holds is taken; what a rule leaves out goes to skipped.
void CollectInputs(const std::vector<std::string>& paths, const std::string& extension,
                   const std::string& standardInputCopy, ConversionRequest& request, Collected& collected,
                   std::stop_token stop);

// Copies standard input into the private folder, named "stdin" with the
// extension its content gives (none when the table cannot tell, and --format
// then decides). Answers the copy's path, or nothing, with the reason in
// collected.failed, when it cannot be read; nothing when a stop came first.
std::string CopyStandardInput(const PrivateFolder& folder, const CliOptions& options, Collected& collected,
                              std::stop_token stop);

// The paths of --files-from, after those of the arguments; or the reason the
// list cannot be used.
std::optional<std::string> AddListedPaths(CliOptions& options);

// The output folder named by -o, or why it cannot be one (a usage error).
std::optional<std::string> CheckOutputFolder(const std::string& folder);

} // namespace tollamere
