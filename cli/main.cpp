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
#include "folder_watch.h"
#include "isolated_run.h"
#include "json_lines.h"
#include "format_registry.h"
#include "messages.h"
#include "qt_codec.h"
#include "run_steps.h"
#include "standard_streams.h"
#include "terminal.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace tollamere {
namespace {

namespace fs = std::filesystem;

constexpr int ExitWritten = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
// The shell's convention for a program ended by a signal.
constexpr int ExitSignalBase = 128;

constexpr std::string_view ExtensionNotAskedFor = "extension not asked for";

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

// A file the folder scan found that --ext asks for ("*": every picture file).
bool AskedFor(const std::string& path, const std::string& extension)
{
    if (extension == "*")
        return HasPictureExtension(path);
    return MatchesFilePattern(GetFileName(path), "*." + extension);
}

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

// The folder a scan's rows start with: absolute, single separators, ending
// with "/", the form the folder scan gives its rows.
std::string ScanRoot(const std::string& folder)
{
    std::string root;
    for (const char c : ToPathText(fs::absolute(ToFileSystemPath(folder)))) {
        if (c != '/' || root.empty() || root.back() != '/')
            root.push_back(c);
    }
    if (root.empty() || root.back() != '/')
        root.push_back('/');
    return root;
}

// The files to convert, in order, with the folder each was found under: a
// file as given (no folder), "-" as the copy of standard input (when it
// could be read), a folder scanned by the command line's rules. Every name
// the file system holds is taken; what a rule leaves out goes to skipped.
void CollectInputs(const std::vector<std::string>& paths, const std::string& extension,
                   const std::string& standardInputCopy, ConversionRequest& request, Collected& collected,
                   std::stop_token stop)
{
    std::set<std::string> outputFoldersSeen;
    ScanExclusions exclusions;
    exclusions.outputFolder = request.outputFolder;
    exclusions.everyName = true;
    exclusions.reportLeftOut = [&](const std::string& item, const std::string& reason) {
        if (reason != OutputFolderReason || outputFoldersSeen.insert(item).second)
            collected.leftOut.push_back({item, reason});
    };
    exclusions.reportUnlisted = [&](const std::string& item, const std::string& reason) {
        collected.failed.push_back({item, reason});
    };
    for (const std::string& path : paths) {
        if (stop.stop_requested())
            return;
        if (path == StandardStreamPath) {
            if (!standardInputCopy.empty()) {
                request.inputPaths.push_back(standardInputCopy);
                request.inputRoots.emplace_back();
            }
            continue;
        }
        if (FolderExists(path) != std::optional<bool>(true)) {
            request.inputPaths.push_back(path);
            request.inputRoots.emplace_back();
            continue;
        }
        const std::string root = ScanRoot(path);
        AddFolderFiles(
            path, std::string(AllFilesPattern),
            [&](const std::string& row) {
                if (!AskedFor(row, extension)) {
                    collected.skipped.push_back({row, std::string(ExtensionNotAskedFor)});
                    return;
                }
                request.inputPaths.push_back(row);
                request.inputRoots.push_back(root);
            },
            stop, [&](const std::string& item, const std::string& reason) { collected.skipped.push_back({item, reason}); },
            exclusions);
    }
}

// Copies standard input into the private folder, named "stdin" with the
// extension its content gives (none when the table cannot tell, and --format
// then decides). Answers the copy's path, or nothing, with the reason in
// collected.failed, when it cannot be read; nothing when a stop came first.
std::string CopyStandardInput(const PrivateFolder& folder, const CliOptions& options, Collected& collected,
                              std::stop_token stop)
{
    if (!options.quiet && ReadingMayWait(std::string(StandardStreamPath)))
        std::cerr << "tollamere-cli: waiting for a picture on standard input...\n";
    const fs::path copy = folder.Path() / "stdin";
    try {
        if (!CopyStandardInputTo(copy, MaxPictureFileBytes, stop))
            return {};
        const FileFormat* format = FormatOfContent(InputFile::Open(copy, ProbeBytes).Start().bytes);
        if (format == nullptr)
            return ToPathText(copy);
        const fs::path named = folder.Path() / ("stdin." + std::string(format->PreferredExtension()));
        fs::rename(copy, named);
        return ToPathText(named);
    } catch (const RuntimeError& error) {
        ConversionFailure failure;
        failure.inputPath = ToPathText(copy);
        failure.lineNumber = LineLoad;
        failure.number = error.Number();
        failure.description = error.Description();
        collected.failed.push_back({std::string(StandardStreamPath), FailureWords(failure)});
    } catch (const fs::filesystem_error& error) {
        collected.failed.push_back({std::string(StandardStreamPath), error.code().message()});
    }
    return {};
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

// How the command line shows the run's paths: the copy of standard input as
// "-", and, with -o -, the output in the private folder as "-" too.
struct ShownNames {
    std::string standardInputCopy;
    std::string standardOutputFolder;

    std::string operator()(const std::string& path) const
    {
        if (!path.empty() && path == standardInputCopy)
            return std::string(StandardStreamPath);
        if (!standardOutputFolder.empty() && path.starts_with(standardOutputFolder))
            return std::string(StandardStreamPath);
        return path;
    }
};

struct ObserverSettings {
    std::FILE* messages = stderr;
    bool quiet = false;
    bool verbose = false;
    // Standard error is a terminal: the progress line goes there.
    bool terminal = false;
    bool json = false;
    ShownNames shown;
};

class CliObserver : public ConversionObserver {
public:
    CliObserver(ObserverSettings settings, std::stop_source stop) : settings_(std::move(settings)), stop_(std::move(stop))
    {
    }

    // The error that kept the JSON report from standard output, or 0.
    int ReportLost() const { return reportLost_; }
    // The report was lost in another process (a watch's run).
    void MarkReportLost(int error) { reportLost_ = error; }
    // The run refused to start, and said why.
    bool RunRefused() const { return refused_; }
    // Where the last output written went.
    const std::string& LastOutput() const { return lastOutput_; }

    // Writes a JSON line unless the report was lost already; a lost one
    // stops the run as for Ctrl+C, finishing the outputs being written,
    // rather than go on unreported.
    void Report(const std::string& line)
    {
        if (!settings_.json || reportLost_ != 0)
            return;
        reportLost_ = WriteStandardOutput(line);
        if (reportLost_ != 0)
            stop_.request_stop();
    }

    void Refused(RunRefusal reason, const std::string& detail) override
    {
        EndProgressLine();
        refused_ = true;
        switch (reason) {
        case RunRefusal::NoFiles: Say("tollamere-cli: nothing to convert\n"); break;
        case RunRefusal::OutputFolderMissing:
            Say(Message(settings_.shown(requestFolder_), "cannot open the output folder"));
            break;
        case RunRefusal::OutputOptions: Say("tollamere-cli: the output options cannot be used: " + detail + "\n"); break;
        }
    }

    void ItemStarted(const ItemStart& start) override
    {
        if (settings_.quiet || !settings_.terminal)
            return;
        std::fprintf(settings_.messages, "\r\033[K%3.0f%%  %s", start.Percent(),
                     Printable(GetFileName(settings_.shown(start.inputPath))).c_str());
        lineOpen_ = true;
    }

    void Failure(const ConversionFailure& failure) override
    {
        EndProgressLine();
        const std::string words = FailureWords(failure);
        reasons_.try_emplace(failure.item, words);
        Say(Message(settings_.shown(failure.inputPath), words));
    }

    void Written(std::size_t /*item*/, const std::string& outputPath) override { lastOutput_ = outputPath; }

    void Ended(const ConversionSummary& /*summary*/) override { EndProgressLine(); }

    void Finished(const ItemResult& result) override
    {
        ItemResult shown = result;
        shown.inputPath = settings_.shown(result.inputPath);
        shown.outputPath = settings_.shown(result.outputPath);
        if (result.outcome == ItemResult::Outcome::Skipped)
            shown.reason = "would overwrite an existing file";
        else if (const auto words = reasons_.find(result.item); words != reasons_.end())
            shown.reason = words->second;
        // Item numbers start again with each of a watch's runs.
        reasons_.erase(result.item);
        const bool ended = result.outcome == ItemResult::Outcome::Written || result.outcome == ItemResult::Outcome::Skipped;
        if (settings_.verbose && ended) {
            EndProgressLine();
            Say(ItemLine(shown.inputPath, shown.outputPath, result));
        }
        Report(JsonLine(shown));
    }

    void SetOutputFolder(const std::string& folder) { requestFolder_ = folder; }

private:
    void Say(const std::string& text) { std::fputs(text.c_str(), settings_.messages); }

    void EndProgressLine()
    {
        if (lineOpen_)
            std::fputs("\r\033[K", settings_.messages);
        lineOpen_ = false;
    }

    ObserverSettings settings_;
    std::stop_source stop_;
    std::map<std::size_t, std::string> reasons_;
    std::string requestFolder_;
    std::string lastOutput_;
    int reportLost_ = 0;
    bool refused_ = false;
    bool lineOpen_ = false;
};

// The paths of --files-from, after those of the arguments; or the reason the
// list cannot be used.
std::optional<std::string> AddListedPaths(CliOptions& options)
{
    if (options.filesFrom.empty())
        return std::nullopt;
    const bool standardInput = options.filesFrom == StandardStreamPath;
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
        // A list names files; standard input is given as an argument.
        if (path == StandardStreamPath)
            return "the list " + shown + ": \"-\" is not a path here; a file named \"-\" is listed as \"./-\"";
        if (auto refused = CheckInputPath(path))
            return "the list " + shown + ": " + *refused;
        options.paths.push_back(std::move(path));
    }
    return std::nullopt;
}

// The output folder named by -o, or why it cannot be one (a usage error).
std::optional<std::string> CheckOutputFolder(const std::string& folder)
{
    if (FolderExists(folder) == std::optional<bool>(true))
        return std::nullopt;
    return PathEntryExists(ToFileSystemPath(folder)) ? "not a folder" : "no such folder";
}

// "3 of 4 file(s) written to out, 1 left as they were; 2 skipped by rule".
std::string SummaryLine(const ConversionSummary& summary, std::size_t items, const std::string& target,
                        std::size_t skippedByRule, bool verbose, bool stopped)
{
    std::string line = std::to_string(summary.written) + " of " + std::to_string(items) + " file(s) written to " + target;
    if (summary.skipped != 0)
        line += ", " + std::to_string(summary.skipped) + " left as they were";
    if (skippedByRule != 0)
        line += "; " + std::to_string(skippedByRule) + " skipped by rule" + (verbose ? "" : " (-v lists them)");
    return line + (stopped ? " (stopped)" : "") + "\n";
}

// A run's request with the options' choices, without its inputs and
// output folder.
ConversionRequest RequestFor(const CliOptions& options)
{
    ConversionRequest request;
    request.output = options.output;
    request.parameters.parsed = options.parameters;
    request.parameters.look = options.look;
    request.workers = options.jobs;
    request.memoryBudget = options.maxMemoryMiB * 1024 * 1024;
    return request;
}

// The report's summary record, then the exit status that a signal or a lost
// report decides; nothing when neither came.
std::optional<int> EndReport(CliObserver& observer, RunCounts counts, std::chrono::steady_clock::time_point started,
                             std::FILE* messages)
{
    counts.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    observer.Report(JsonSummaryLine(counts));
    if (const int signal = InterruptSignal(); signal != 0)
        return ExitSignalBase + signal;
    if (const int lost = observer.ReportLost())
        return StandardOutputLost(lost, messages);
    return std::nullopt;
}

// How often a watched folder is looked at again.
constexpr std::chrono::milliseconds WatchInterval{250};

// Converts each picture that appears in the watched folder once its writer
// is done with it, as many at a time as the run has workers, until a signal
// comes; the pictures in progress then are finished, so that nothing is left
// half done. Each batch runs in a process of its own, so that a picture that
// crashes a decoder costs that picture only. The output folder is opened
// once: every batch writes into that folder, wherever its path leads later.
// The request holds everything but the inputs.
int Watch(const CliOptions& options, ConversionRequest settings, std::stop_source& stop)
{
    const std::string root = ScanRoot(options.watchFolder);
    const bool keepFolders = options.output.structure == OutputOptions::Structure::KeepFolders;
    WatchRules rules;
    rules.folder = root;
    rules.recursive = keepFolders;
    rules.extension = options.extension;
    rules.outputFolder = settings.outputFolder;
    FolderWatch watch(rules);
    const std::size_t batch = settings.workers != 0 ? settings.workers : std::max(1u, UsableProcessors());

    std::FILE* messages = TakeStandardErrorForMessages();
    try {
        settings.openedOutputFolder.emplace(OutputFolder::Open(ToFileSystemPath(settings.outputFolder)));
    } catch (const RuntimeError&) {
        std::fputs(Message(settings.outputFolder, "cannot open the output folder").c_str(), messages);
        return ExitFailed;
    }
    // What killed runs left there goes now, not with the first picture.
    RemoveStaleTemporaryFiles(*settings.openedOutputFolder, keepFolders);
    // Loaded here once, so that each batch's process has them already.
    LoadQtImagePlugins();
    // Only a lost report stops a batch: a signal waits for it to end.
    std::stop_source batchStop;
    CliObserver observer({messages, options.quiet, options.verbose, StandardErrorIsTerminal(), options.json, {}},
                         batchStop);
    observer.SetOutputFolder(settings.outputFolder);
    if (!options.quiet)
        std::fprintf(messages, "tollamere-cli: watching %s; Ctrl+C stops\n", Printable(root).c_str());
    RunCounts counts;
    const auto started = std::chrono::steady_clock::now();
    while (!stop.stop_requested() && !batchStop.stop_requested()) {
        const std::vector<std::string> settled = watch.Poll(FolderWatch::Clock::now());
        if (!watch.Lost().empty()) {
            std::fputs(Message(root, watch.Lost()).c_str(), messages);
            return ExitFailed;
        }
        for (std::size_t first = 0; first < settled.size() && !stop.stop_requested() && !batchStop.stop_requested();
             first += batch) {
            ConversionRequest request = settings;
            const std::size_t last = std::min(first + batch, settled.size());
            request.inputPaths.assign(settled.begin() + std::ptrdiff_t(first), settled.begin() + std::ptrdiff_t(last));
            request.inputRoots.assign(request.inputPaths.size(), root);
            IsolatedRunEnd end;
            try {
                end = RunConversionIsolated(request, observer, batchStop.get_token(),
                                            [&observer] { return observer.ReportLost(); });
            } catch (const RuntimeError& error) {
                std::fputs(Message(root, error.Description()).c_str(), messages);
                return ExitFailed;
            }
            counts.written += end.summary.written;
            counts.skipped += end.summary.skipped;
            counts.failed += end.summary.failed;
            for (const std::string& output : end.written)
                watch.Ignore(output);
            if (end.answer != 0) {
                observer.MarkReportLost(end.answer);
                batchStop.request_stop();
            }
        }
        for (auto waited = std::chrono::milliseconds(0); waited < WatchInterval && !stop.stop_requested();
             waited += std::chrono::milliseconds(50))
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    counts.stopped = true;
    if (const std::optional<int> ended = EndReport(observer, counts, started, messages))
        return *ended;
    return counts.failed != 0 ? ExitFailed : ExitWritten;
}

// standardOutputClosed: the caller left standard output closed, so that
// what is meant for it would vanish into the null device in its place.
int Main(const std::vector<std::string>& arguments, bool standardOutputClosed)
{
    const auto started = std::chrono::steady_clock::now();
    std::string error;
    std::optional<CliOptions> options = ParseCommandLine(arguments, error);
    if (!options)
        return UsageError(error);
    // Nothing is read or converted for a report or a picture nobody gets.
    if (standardOutputClosed && (options->help || options->version || options->json || options->pictureToStandardOutput))
        return StandardOutputLost(EBADF);
    if (options->help)
        return WriteText(UsageText());
    if (options->version)
        return WriteText(std::string("tollamere-cli ") + TOLLAMERE_VERSION + "\n");
    // -q leaves nothing but errors.
    for (const std::string& warning : options->quiet ? std::vector<std::string>{} : options->warnings)
        std::cerr << "tollamere-cli: warning: " << warning << '\n';
    if (auto reason = AddListedPaths(*options))
        return UsageError(*reason);
    if (!options->pictureToStandardOutput) {
        if (auto reason = CheckOutputFolder(options->outputFolder)) {
            std::cerr << Message(options->outputFolder, *reason);
            return ExitUsage;
        }
    }

    if (!options->watchFolder.empty() && FolderExists(options->watchFolder) != std::optional<bool>(true))
        return UsageError("--watch: " + Printable(options->watchFolder) + " is not a folder");

    // From here on, Ctrl+C stops the scan or the run and leaves no partial file.
    std::stop_source stop;
    StopOnInterrupt(stop);
    if (!options->watchFolder.empty()) {
        ConversionRequest settings = RequestFor(*options);
        settings.outputFolder = ToPathText(fs::absolute(ToFileSystemPath(options->outputFolder)));
        return Watch(*options, settings, stop);
    }

    // A picture from standard input, and one for standard output, are files
    // in a folder of this process's own while the run reads and writes them.
    std::optional<PrivateFolder> privateFolder;
    ShownNames shown;
    Collected collected;
    ConversionRequest request = RequestFor(*options);
    try {
        if (options->pictureFromStandardInput || options->pictureToStandardOutput)
            privateFolder.emplace(PrivateFolder::Make());
        if (options->pictureToStandardOutput) {
            const fs::path folder = privateFolder->Path() / "out";
            fs::create_directory(folder);
            request.outputFolder = shown.standardOutputFolder = ToPathText(folder);
        }
    } catch (const std::exception& problem) {
        std::cerr << "tollamere-cli: " << problem.what() << '\n';
        return ExitFailed;
    }
    if (!options->pictureToStandardOutput)
        request.outputFolder = ToPathText(fs::absolute(ToFileSystemPath(options->outputFolder)));
    if (options->pictureFromStandardInput)
        shown.standardInputCopy = CopyStandardInput(*privateFolder, *options, collected, stop.get_token());
    CollectInputs(options->paths, options->extension, shown.standardInputCopy, request, collected, stop.get_token());
    if (options->pictureToStandardOutput && request.inputPaths.size() > 1)
        return UsageError("-o - writes one picture, and " + std::to_string(request.inputPaths.size()) +
                          " were found");

    const bool terminal = StandardErrorIsTerminal();
    std::FILE* messages = TakeStandardErrorForMessages();
    ObserverSettings settings{messages, options->quiet, options->verbose, terminal, options->json, shown};
    CliObserver observer(settings, stop);
    observer.SetOutputFolder(request.outputFolder);

    // What the scan left out happened first, and is said first.
    for (const NamedReason& item : collected.failed)
        std::fputs(Message(item.path, item.reason).c_str(), messages);
    if (options->verbose) {
        for (const NamedReason& item : collected.skipped)
            std::fputs(Message(item.path, "skipped, " + item.reason).c_str(), messages);
    }
    // Left out by design; the output folder is said even without --verbose,
    // as leaving out a folder the user named is a surprise.
    for (const NamedReason& item : collected.leftOut) {
        if (!options->quiet && (options->verbose || item.reason == OutputFolderReason))
            std::fputs(Message(item.path, "left out, " + item.reason).c_str(), messages);
    }
    const auto reportScan = [&](const std::vector<NamedReason>& items, ItemResult::Outcome outcome) {
        for (const NamedReason& item : items) {
            ItemResult result;
            result.inputPath = item.path;
            result.outcome = outcome;
            result.reason = item.reason;
            observer.Report(JsonLine(result));
        }
    };
    reportScan(collected.failed, ItemResult::Outcome::Failed);
    reportScan(collected.skipped, ItemResult::Outcome::Skipped);

    ConversionSummary summary;
    if (!stop.stop_requested() && !request.inputPaths.empty())
        summary = RunConversion(request, observer, stop.get_token());
    // The picture goes down the pipe before anything says it went there.
    int pictureLost = 0;
    if (options->pictureToStandardOutput && summary.written == 1 && InterruptSignal() == 0) {
        if ((pictureLost = CopyToStandardOutput(ToFileSystemPath(observer.LastOutput()))) != 0) {
            summary.written = 0;
            ++summary.failed;
        }
    }
    const bool stopped = summary.stopped || stop.stop_requested();
    const std::string target = options->pictureToStandardOutput ? "standard output" : Printable(request.outputFolder);
    // A picture sent down a pipe is said by its bytes; the line would be
    // noise in a pipeline, unless asked for.
    const bool summarise = options->pictureToStandardOutput ? options->verbose : !options->quiet;
    // Each input gives an output per format and scale.
    const std::size_t outputs = std::max(summary.items, request.inputPaths.size());
    if (summarise && !observer.RunRefused())
        std::fputs(SummaryLine(summary, outputs, target, collected.skipped.size(), options->verbose,
                               stopped).c_str(),
                   messages);

    RunCounts counts;
    counts.written = summary.written;
    counts.skipped = summary.skipped + collected.skipped.size();
    counts.failed = summary.failed + collected.failed.size();
    counts.stopped = stopped;
    if (const std::optional<int> ended = EndReport(observer, counts, started, messages))
        return *ended;
    if (pictureLost != 0)
        return StandardOutputLost(pictureLost, messages);
    // An output left as it was under --overwrite skip, and what a rule
    // skipped, are what the user asked for.
    return counts.failed == 0 && !observer.RunRefused() ? ExitWritten : ExitFailed;
}

} // namespace
} // namespace tollamere

int main(int argc, char** argv)
{
    // Before any file is opened: a descriptor the caller closed would
    // otherwise be handed to an output, and messages would land in it.
    const tollamere::ClosedStreams closed = tollamere::EnsureStandardStreamsOpen();
    return tollamere::Main(std::vector<std::string>(argv + 1, argv + argc), closed.output);
}
