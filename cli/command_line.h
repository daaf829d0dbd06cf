// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tollamere {

struct CliOptions {
    std::string outputFolder = ".";
    std::string bevelSize = "5";
    std::string lightAngle = "135";
    std::string lightElevation = "30";
    // The extension folders are scanned for; "*" takes every picture file.
    std::string extension = "*";
    unsigned jobs = 0;
    // Memory the pictures in progress may take together; 0 when not given.
    unsigned long long maxMemoryMiB = 0;
    bool quiet = false;
    // List each file and folder the folder scan skipped, with the reason.
    bool verbose = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> paths;
};

// Reads the arguments after the program name. On a usage error, returns
// nothing and sets error to a one-line reason.
std::optional<CliOptions> ParseCommandLine(const std::vector<std::string>& arguments, std::string& error);

std::string UsageText();

} // namespace tollamere
