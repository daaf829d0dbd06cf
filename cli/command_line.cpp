// SPDX-License-Identifier: MIT
#include "command_line.h"

#include <charconv>

namespace tollamere {

namespace {

struct ValueOption {
    const char* shortName;
    const char* longName;
    std::string CliOptions::*target;
};

constexpr ValueOption ValueOptions[] = {
    {"-o", "--output", &CliOptions::outputFolder},
    {"-s", "--size", &CliOptions::bevelSize},
    {"-a", "--angle", &CliOptions::lightAngle},
    {"-e", "--elevation", &CliOptions::lightElevation},
    {"-x", "--ext", &CliOptions::extension},
};

bool ParseJobs(const std::string& text, unsigned& jobs)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
    return error == std::errc() && end == text.data() + text.size() && jobs > 0 && jobs <= 1024;
}

// 1 TiB keeps the byte count far from overflowing and is beyond any machine
// this runs on; a budget above physical memory only means no limit.
constexpr unsigned long long MaxMemoryMiB = 1024ULL * 1024;

bool ParseMemory(const std::string& text, unsigned long long& mebibytes)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), mebibytes);
    return error == std::errc() && end == text.data() + text.size() && mebibytes > 0 && mebibytes <= MaxMemoryMiB;
}

} // namespace

std::optional<CliOptions> ParseCommandLine(const std::vector<std::string>& arguments, std::string& error)
{
    CliOptions options;
    bool onlyPaths = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (onlyPaths || argument.empty() || argument[0] != '-' || argument == "-") {
            options.paths.push_back(argument);
            continue;
        }
        if (argument == "--") {
            onlyPaths = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            continue;
        }
        if (argument == "--version") {
            options.version = true;
            continue;
        }
        if (argument == "-q" || argument == "--quiet") {
            options.quiet = true;
            continue;
        }
        if (argument == "-v" || argument == "--verbose") {
            options.verbose = true;
            continue;
        }

        // Options with a value: "-o DIR", "--output DIR" or "--output=DIR".
        std::string name = argument;
        std::optional<std::string> value;
        if (const std::size_t equals = argument.find('='); argument.starts_with("--") && equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        }
        const auto takeValue = [&]() -> std::optional<std::string> {
            if (value)
                return value;
            if (i + 1 >= arguments.size()) {
                error = "option " + name + " needs a value";
                return std::nullopt;
            }
            return arguments[++i];
        };

        if (name == "-j" || name == "--jobs") {
            const std::optional<std::string> jobs = takeValue();
            if (!jobs)
                return std::nullopt;
            if (!ParseJobs(*jobs, options.jobs)) {
                error = "--jobs needs a whole number from 1 to 1024, not \"" + *jobs + "\"";
                return std::nullopt;
            }
            continue;
        }
        if (name == "--max-memory") {
            const std::optional<std::string> memory = takeValue();
            if (!memory)
                return std::nullopt;
            if (!ParseMemory(*memory, options.maxMemoryMiB)) {
                error = "--max-memory needs a whole number of MiB from 1 to " + std::to_string(MaxMemoryMiB) +
                        ", not \"" + *memory + "\"";
                return std::nullopt;
            }
            continue;
        }
        bool known = false;
        for (const ValueOption& option : ValueOptions) {
            if (name == option.shortName || name == option.longName) {
                const std::optional<std::string> text = takeValue();
                if (!text)
                    return std::nullopt;
                options.*option.target = *text;
                known = true;
                break;
            }
        }
        if (!known) {
            error = "unknown option " + name;
            return std::nullopt;
        }
    }
    if (options.extension.empty()) {
        error = "--ext needs an extension, or * for every picture file";
        return std::nullopt;
    }
    if (options.paths.empty() && !options.help && !options.version) {
        error = "no files or folders to convert";
        return std::nullopt;
    }
    return options;
}

std::string UsageText()
{
    return "Usage: tollamere-cli [options] PATH...\n"
           "Turns pictures into bevelled buttons. Each PATH is a picture file, or a folder whose\n"
           "picture files (in every sub-folder) are converted. Outputs take the input's name and\n"
           "format (\"jpg\" inputs give \".jpg\" JPEG files, \"bmp\" keeps its case).\n"
           "\n"
           "  -o, --output DIR      output folder (default: the current folder)\n"
           "  -s, --size N          bevel size in pixels, 0 to 254 (default: 5)\n"
           "  -a, --angle DEG       light angle in degrees (default: 135, the top left)\n"
           "  -e, --elevation DEG   light elevation in degrees (default: 30)\n"
           "  -x, --ext EXT         scan folders for files with this extension only\n"
           "                        (default: *, every picture file)\n"
           "  -j, --jobs N          pictures converted at once (default: one per core)\n"
           "      --max-memory MB   memory the pictures in progress may take together\n"
           "                        (default: half of the physical memory)\n"
           "  -q, --quiet           no progress and no summary\n"
           "  -v, --verbose         list each file and folder the folder scan skipped, and why\n"
           "                        (names starting with \"~\", hidden files, names it does not\n"
           "                        accept, folders it cannot list)\n"
           "      --help            show this text\n"
           "      --version         show the version\n"
           "\n"
           "Exit status: 0 when every file was written, 1 when any failed or the folder scan\n"
           "skipped any, 2 for a usage error.\n";
}

} // namespace tollamere
