// SPDX-License-Identifier: MIT
#include "watch_command.h"

#include "cli_observer.h"
#include "file_io.h"
#include "folder_scan.h"
#include "folder_watch.h"
#include "isolated_run.h"
#include "messages.h"
#include "path_text.h"
#include "process_environment.h"
#include "qt_codec.h"
#include "standard_output.h"
#include "terminal.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace tollamere {
namespace {

// How often a watched folder is looked at again.
constexpr std::chrono::milliseconds WatchInterval{250};

} // namespace

int Watch(const CliOptions& options, ConversionRequest settings, std::stop_source& stop)
{
    const std::string root = FolderEntry(options.watchFolder);
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
    // What killed runs left there goes now, not with the first picture, and
    // once: each batch then cleans the folders it writes into.
    RemoveStaleTemporaryFiles(*settings.openedOutputFolder, keepFolders);
    settings.staleBelowRemoved = true;
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

} // namespace tollamere
