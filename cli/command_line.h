// SPDX-License-Identifier: MIT
#pragma once

#include "conversion_run.h"
#include "effect_defaults.h"
#include "output_options.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tollamere {

// The path that names standard input (as an input) or output (as -o).
inline constexpr std::string_view StandardStreamPath = "-";

// Every text here (paths, the extension, the name pattern) holds the bytes
// of its argument, whatever their encoding.
struct CliOptions {
    std::string outputFolder = ".";
    std::string bevelSize{DefaultBevelSizeText};
    std::string lightAngle{DefaultLightAngleText};
    std::string lightElevation{DefaultLightElevationText};
    // The three texts above, read once when the command line is.
    BevelParameters parameters = EffectParameters{}.parsed;
    // The technique and the rest of the look (--technique, --profile, ...).
    BevelLook look;
    // The extension folders are scanned for; "*" takes every picture file.
    std::string extension = "*";
    unsigned jobs = 0;
    // Memory the pictures in progress may take together; 0 when not given.
    unsigned long long maxMemoryMiB = 0;
    // Checked with CheckOutputOptions.
    OutputOptions output;
    // A file listing more paths, "-" for standard input; empty when not given.
    std::string filesFrom;
    // A folder to watch: each picture that appears in it is converted once
    // its writer is done with it, until the program is interrupted; empty
    // when not given.
    std::string watchFolder;
    // The list's paths end with a NUL byte instead of a line feed.
    bool nullSeparated = false;
    // One JSON object per item on standard output.
    bool json = false;
    bool quiet = false;
    // List each file and folder the folder scan skipped, with the reason.
    bool verbose = false;
    // What reading the look left out, for the user to know.
    std::vector<std::string> warnings;
    // "-" among the paths: one picture read from standard input.
    bool pictureFromStandardInput = false;
    // -o -: the one output goes to standard output (outputFolder is empty).
    bool pictureToStandardOutput = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> paths;
};

// Reads the arguments after the program name and checks every value, so a
// run never starts with one it would refuse. On a usage error, returns
// nothing and sets error to a one-line reason.
std::optional<CliOptions> ParseCommandLine(const std::vector<std::string>& arguments, std::string& error);

// The reason a path given as an argument or in a list is refused, or nothing;
// "-" is standard input as an argument (a list refuses it itself).
std::optional<std::string> CheckInputPath(const std::string& path);

std::string UsageText();

} // namespace tollamere
