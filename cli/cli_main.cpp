// SPDX-License-Identifier: MIT
#include "cli_main.h"

#include "cli_observer.h"
#include "collect_inputs.h"
#include "file_io.h"
#include "folder_scan.h"
#include "folders.h"
#include "messages.h"
#include "path_text.h"
#include "standard_output.h"
#include "standard_streams.h"
#include "terminal.h"
#include "watch_command.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <iostream>

namespace tollamere {

namespace fs = std::filesystem;

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

int RunCommandLine(const std::vector<std::string>& arguments, bool standardOutputClosed)
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

} // namespace tollamere
