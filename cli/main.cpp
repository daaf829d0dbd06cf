// SPDX-License-Identifier: MIT
// tollamere-cli: the window's conversion run for scripts and servers.
#include "folder_scan.h"
#include "folders.h"
#include "path_text.h"
#include "command_line.h"
#include "conversion_run.h"
#include "file_io.h"
#include "process_environment.h"
#include "file_list.h"
#include "json_lines.h"
#include "format_registry.h"
#include "terminal.h"

#include <cerrno>
#include <csignal>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <vector>

namespace tollamere {
namespace {

constexpr int ExitWritten = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
// The shell's convention for a program ended by a signal.
constexpr int ExitSignalBase = 128;

constexpr std::string_view FolderMissingText = "Folder does not exist. Please select another folder.";

int UsageError(const std::string& reason)
{
    std::cerr << "tollamere-cli: " << reason << "\nTry 'tollamere-cli --help' for more.\n";
    return ExitUsage;
}

// A picture file by its name: one some reader takes, whether or not its own
// format is written (--format may choose another).
bool HasPictureExtension(const std::string& path)
{
    const std::optional<std::string> extension = FileExtension(path);
    return extension && CanReadPictureExtension(*extension);
}

// Why a run refused to start, for its one line on standard error.
std::string RefusalText(RunRefusal reason, const std::string& detail)
{
    switch (reason) {
    case RunRefusal::NoFiles: return "No files added.";
    case RunRefusal::OutputFolderMissing: return std::string(FolderMissingText);
    case RunRefusal::OutputOptions: return "The output options cannot be used: " + detail + ".";
    }
    return std::string(FolderMissingText);
}

struct SkippedInput {
    std::string path;
    std::string reason;
};

// The folder a scan's rows start with: absolute, single separators, ending
// with "/", the form the folder scan gives its rows.
std::string ScanRoot(const std::string& folder)
{
    std::string root;
    for (const char c : ToPathText(std::filesystem::absolute(ToFileSystemPath(folder)))) {
        if (c != '/' || root.empty() || root.back() != '/')
            root.push_back(c);
    }
    if (root.empty() || root.back() != '/')
        root.push_back('/');
    return root;
}

// The files to convert, in order, with the folder each was found under: a
// file as given (no folder), a folder scanned for the extension (every
// picture file for "*"). What the scans leave out by their own rules goes to
// skipped; a file the "*" filter would drop anyway (not a picture) was never
// wanted, so it is not counted there. What they leave out by design (the
// output folder, links to folders) goes to leftOut, the output folder once.
void CollectInputs(const std::vector<std::string>& paths, const std::string& extension, ConversionRequest& request,
                   std::vector<SkippedInput>& skipped, std::vector<SkippedInput>& leftOut, std::stop_token stop)
{
    std::set<std::string> outputFoldersSeen;
    ScanExclusions exclusions;
    exclusions.outputFolder = request.outputFolder;
    exclusions.reportLeftOut = [&](const std::string& item, const std::string& reason) {
        if (reason != OutputFolderReason || outputFoldersSeen.insert(item).second)
            leftOut.push_back({item, reason});
    };
    for (const std::string& path : paths) {
        if (stop.stop_requested())
            return;
        if (FolderExists(path) != std::optional<bool>(true)) {
            request.inputPaths.push_back(path);
            request.inputRoots.emplace_back();
            continue;
        }
        const bool anyPicture = extension == "*";
        const auto wanted = [anyPicture](const std::string& file) {
            return !anyPicture || HasPictureExtension(file);
        };
        const std::string root = ScanRoot(path);
        AddFolderFiles(
            path, "*." + extension,
            [&](const std::string& row) {
                if (wanted(row)) {
                    request.inputPaths.push_back(row);
                    request.inputRoots.push_back(root);
                }
            },
            stop,
            [&](const std::string& item, const std::string& reason) {
                if (item.ends_with('/') || wanted(item))
                    skipped.push_back({item, reason});
            },
            exclusions);
    }
}

// Writes the text (a JSON line, the help) and flushes it at once, so that
// a reader on a pipe sees every item as it ends. Returns the error of a
// write that failed (the reader went away, the disk is full), 0 when
// standard output took it all.
int WriteStandardOutput(const std::string& text)
{
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    const int error = errno;
    if (std::fflush(stdout) == 0 && written)
        return 0;
    return errno != 0 ? errno : error != 0 ? error : EIO;
}

// The exit status when standard output could not take what was written to
// it: 128 + SIGPIPE when its reader has gone, as if the signal had ended the
// program; otherwise (a full disk) a failure, said on standard error.
int StandardOutputLost(int error, std::FILE* messages = stderr)
{
    if (error == EPIPE)
        return ExitSignalBase + SIGPIPE;
    std::fprintf(messages, "tollamere-cli: standard output: %s\n", std::strerror(error));
    return ExitFailed;
}

// Text for standard output alone, such as the help; the exit status.
int WriteText(const std::string& text)
{
    if (const int error = WriteStandardOutput(text))
        return StandardOutputLost(error);
    return ExitWritten;
}

class CliObserver : public ConversionObserver {
public:
    CliObserver(std::FILE* messages, bool quiet, bool terminal, bool json, std::stop_source stop)
        : out_(messages), quiet_(quiet), terminal_(terminal), json_(json), stop_(std::move(stop))
    {
    }

    // The error that kept the JSON report from standard output, or 0.
    int ReportLost() const { return reportLost_; }

    void Refused(RunRefusal reason, const std::string& detail) override
    {
        EndProgressLine();
        std::fprintf(out_, "%s\n", RefusalText(reason, detail).c_str());
    }

    void ItemStarted(const ItemStart& start) override
    {
        if (quiet_ || !terminal_)
            return;
        std::fprintf(out_, "\r\033[K%3.0f%%  Processing: %s", start.Percent(),
                     Printable(GetFileName(start.inputPath)).c_str());
        lineOpen_ = true;
    }

    void Failure(const ConversionFailure& failure) override
    {
        EndProgressLine();
        std::fprintf(out_, "%s: %s\n", Printable(failure.inputPath).c_str(), failure.description.c_str());
    }

    // The summary that follows says what the run did.
    void Ended(const ConversionSummary& /*summary*/) override { EndProgressLine(); }

    void Finished(const ItemResult& result) override
    {
        // Nobody reads the report any more: the run stops as for Ctrl+C,
        // finishing the outputs being written, rather than go on unreported.
        if (json_ && reportLost_ == 0) {
            reportLost_ = WriteStandardOutput(JsonLine(result));
            if (reportLost_ != 0)
                stop_.request_stop();
        }
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
    bool json_;
    std::stop_source stop_;
    int reportLost_ = 0;
    bool lineOpen_ = false;
};

// The paths of --files-from, after those of the arguments; or the reason the
// list cannot be used.
std::optional<std::string> AddListedPaths(CliOptions& options)
{
    if (options.filesFrom.empty())
        return std::nullopt;
    const bool standardInput = options.filesFrom == "-";
    // A pipe nobody writes to, or a terminal, would otherwise hold the run
    // without a word.
    if (!options.quiet && ReadingMayWait(options.filesFrom))
        std::cerr << "tollamere-cli: waiting for the list on "
                  << (standardInput ? "standard input" : Printable(options.filesFrom)) << "...\n";
    FileListLimits limits;
    limits.longestPath = LongestPathBytes();
    std::string reason;
    std::optional<std::vector<std::string>> list =
        ReadFileList(options.filesFrom, options.nullSeparated, limits, reason);
    if (!list)
        return reason;
    const std::string shown = standardInput ? "standard input" : Printable(options.filesFrom);
    for (std::string& path : *list) {
        if (auto refused = CheckInputPath(path))
            return "the list " + shown + ": " + *refused;
        options.paths.push_back(std::move(path));
    }
    return std::nullopt;
}

int Main(const std::vector<std::string>& arguments)
{
    std::string error;
    std::optional<CliOptions> options = ParseCommandLine(arguments, error);
    if (!options)
        return UsageError(error);
    if (options->help)
        return WriteText(UsageText());
    if (options->version)
        return WriteText(std::string("tollamere-cli ") + TOLLAMERE_VERSION + "\n");
    for (const std::string& warning : options->warnings)
        std::cerr << "tollamere-cli: warning: " << warning << '\n';
    if (auto reason = AddListedPaths(*options))
        return UsageError(*reason);
    if (FolderExists(options->outputFolder) != std::optional<bool>(true)) {
        std::cerr << "tollamere-cli: " << Printable(options->outputFolder) << ": " << FolderMissingText << '\n';
        return ExitUsage;
    }

    // From here on, Ctrl+C stops the scan or the run and leaves no partial file.
    std::stop_source stop;
    StopOnInterrupt(stop);

    std::vector<SkippedInput> skipped;
    std::vector<SkippedInput> leftOut;
    ConversionRequest request;
    request.outputFolder = ToPathText(std::filesystem::absolute(ToFileSystemPath(options->outputFolder)));
    CollectInputs(options->paths, options->extension, request, skipped, leftOut, stop.get_token());
    request.output = options->output;
    request.parameters.parsed = options->parameters;
    request.parameters.look = options->look;
    request.workers = options->jobs;
    request.memoryBudget = options->maxMemoryMiB * 1024 * 1024;

    // The scan's skips are reported before the run's items, as they happen first.
    if (options->json) {
        for (const SkippedInput& item : skipped) {
            ItemResult result;
            result.inputPath = item.path;
            result.outcome = ItemResult::Outcome::Skipped;
            result.reason = item.reason;
            if (const int error = WriteStandardOutput(JsonLine(result)))
                return StandardOutputLost(error);
        }
    }

    const bool terminal = StandardErrorIsTerminal();
    std::FILE* messages = TakeStandardErrorForMessages();
    CliObserver observer(messages, options->quiet, terminal, options->json, stop);
    ConversionSummary summary;
    if (!stop.stop_requested())
        summary = RunConversion(request, observer, stop.get_token());
    const bool stopped = summary.stopped || stop.stop_requested();
    // Each input gives an output per format and scale.
    const std::size_t outputs = std::max(summary.items, request.inputPaths.size());
    if (!options->quiet && !request.inputPaths.empty()) {
        std::string left;
        if (summary.skipped != 0)
            left = ", " + std::to_string(summary.skipped) + " left as they were";
        std::fprintf(messages, "%zu of %zu file(s) written to %s%s%s\n", summary.written, outputs,
                     Printable(request.outputFolder).c_str(), left.c_str(), stopped ? " (stopped)" : "");
    }
    if (!options->quiet && !skipped.empty())
        std::fprintf(messages, "%zu file(s) or folder(s) skipped by the folder scan%s\n", skipped.size(),
                     options->verbose ? ":" : " (--verbose lists them)");
    if (options->verbose) {
        for (const SkippedInput& item : skipped)
            std::fprintf(messages, "%s: skipped, %s\n", Printable(item.path).c_str(), item.reason.c_str());
    }
    // Left out by design, so not a failure; the output folder is said even
    // without --verbose, as leaving out a folder the user named is a surprise.
    for (const SkippedInput& item : leftOut) {
        if (!options->quiet && (options->verbose || item.reason == OutputFolderReason))
            std::fprintf(messages, "%s: left out, %s\n", Printable(item.path).c_str(), item.reason.c_str());
    }
    if (const int signal = InterruptSignal(); signal != 0)
        return ExitSignalBase + signal;
    if (const int error = observer.ReportLost())
        return StandardOutputLost(error, messages);
    // A file the scan skipped was not written either: a script must not read
    // the run as complete. An output left as it was under --overwrite skip is
    // what the user asked for.
    const bool everyFileDone = summary.written + summary.skipped == outputs && skipped.empty();
    return everyFileDone && !request.inputPaths.empty() ? ExitWritten : ExitFailed;
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
