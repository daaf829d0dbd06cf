// SPDX-License-Identifier: MIT
// tollamere-cli: the window's conversion run for scripts and servers.
#include "folder_scan.h"
#include "path_text.h"
#include "command_line.h"
#include "conversion_run.h"
#include "file_io.h"
#include "picture_formats.h"
#include "terminal.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace tollamere {
namespace {

constexpr int ExitWritten = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

bool HasPictureExtension(const std::string& path)
{
    const std::optional<std::string> extension = FileExtension(path);
    return extension && CanWritePictureExtension(*extension);
}

struct SkippedInput {
    std::string path;
    std::string reason;
};

// The files to convert, in argument order: a file as given, a folder scanned
// for the extension (every picture file for "*"). What the scans leave out by
// their own rules goes to skipped; a file the "*" filter would drop anyway
// (not a picture) was never wanted, so it is not counted there.
std::vector<std::string> CollectInputs(const CliOptions& options, std::vector<SkippedInput>& skipped)
{
    std::vector<std::string> inputs;
    for (const std::string& path : options.paths) {
        if (FolderExists(path) != std::optional<bool>(true)) {
            inputs.push_back(path);
            continue;
        }
        const bool anyPicture = options.extension == "*";
        const auto wanted = [anyPicture](const std::string& file) {
            return !anyPicture || HasPictureExtension(file);
        };
        AddFolderFiles(
            path, "*." + options.extension,
            [&](const std::string& row) {
                if (wanted(row))
                    inputs.push_back(row);
            },
            {},
            [&](const std::string& item, const std::string& reason) {
                if (item.ends_with('/') || wanted(item))
                    skipped.push_back({item, reason});
            });
    }
    return inputs;
}

class CliObserver : public ConversionObserver {
public:
    CliObserver(std::FILE* messages, bool quiet, bool terminal) : out_(messages), quiet_(quiet), terminal_(terminal) {}

    void Progress(double value, const std::string& text) override
    {
        if (quiet_ || !terminal_)
            return;
        std::fprintf(out_, "\r\033[K%3.0f%%  %s", value, text.c_str());
        lineOpen_ = value > 0;
    }

    void Failure(const ConversionFailure& failure) override
    {
        EndProgressLine();
        std::fprintf(out_, "%s: %s\n", Printable(failure.inputPath).c_str(), failure.description.c_str());
    }

    void Message(const std::string& text) override
    {
        EndProgressLine();
        if (text != DoneMessage)
            std::fprintf(out_, "%s\n", text.c_str());
    }

private:
    void EndProgressLine()
    {
        if (lineOpen_)
            std::fputs("\r\033[K", out_);
        lineOpen_ = false;
    }

    std::FILE* out_;
    bool quiet_;
    bool terminal_;
    bool lineOpen_ = false;
};

int Main(const std::vector<std::string>& arguments)
{
    std::string error;
    const std::optional<CliOptions> options = ParseCommandLine(arguments, error);
    if (!options) {
        std::cerr << "tollamere-cli: " << error << "\nTry 'tollamere-cli --help' for more.\n";
        return ExitUsage;
    }
    if (options->help) {
        std::cout << UsageText();
        return ExitWritten;
    }
    if (options->version) {
        std::cout << "tollamere-cli " << TOLLAMERE_VERSION << '\n';
        return ExitWritten;
    }
    if (FolderExists(options->outputFolder) != std::optional<bool>(true)) {
        std::cerr << "tollamere-cli: " << Printable(options->outputFolder) << ": " << FolderMissingMessage << '\n';
        return ExitUsage;
    }

    std::vector<SkippedInput> skipped;
    ConversionRequest request;
    request.inputPaths = CollectInputs(*options, skipped);
    request.outputFolder = ToPathText(std::filesystem::absolute(ToFileSystemPath(options->outputFolder)));
    request.bevelSizeText = options->bevelSize;
    request.lightAngleText = options->lightAngle;
    request.lightElevationText = options->lightElevation;
    request.decimalSeparator = ".";
    request.workers = options->jobs;
    request.memoryBudget = options->maxMemoryMiB * 1024 * 1024;

    std::stop_source stop;
    StopOnInterrupt(stop);
    const bool terminal = StandardErrorIsTerminal();
    std::FILE* messages = TakeStandardErrorForMessages();
    CliObserver observer(messages, options->quiet, terminal);
    const ConversionSummary summary = RunConversion(request, observer, stop.get_token());
    if (!options->quiet && !request.inputPaths.empty())
        std::fprintf(messages, "%zu of %zu file(s) written to %s%s\n", summary.written, request.inputPaths.size(),
                     Printable(request.outputFolder).c_str(), summary.stopped ? " (stopped)" : "");
    if (!options->quiet && !skipped.empty())
        std::fprintf(messages, "%zu file(s) or folder(s) skipped by the folder scan%s\n", skipped.size(),
                     options->verbose ? ":" : " (--verbose lists them)");
    if (options->verbose) {
        for (const SkippedInput& item : skipped)
            std::fprintf(messages, "%s: skipped, %s\n", Printable(item.path).c_str(), item.reason.c_str());
    }
    // A skipped file was not written either: a script must not read the run
    // as complete.
    const bool everyFileWritten = summary.written == request.inputPaths.size() && skipped.empty();
    return everyFileWritten && !request.inputPaths.empty() ? ExitWritten : ExitFailed;
}

} // namespace
} // namespace tollamere

int main(int argc, char** argv)
{
    // Before any file is opened: a descriptor the caller closed would
    // otherwise be handed to an output, and messages would land in it.
    tollamere::EnsureStandardStreamsOpen();
    return tollamere::Main(std::vector<std::string>(argv + 1, argv + argc));
}
