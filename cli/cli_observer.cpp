// SPDX-License-Identifier: MIT
#include "cli_observer.h"

#include "command_line.h"
#include "messages.h"
#include "path_text.h"
#include "standard_output.h"
#include "terminal.h"

#include <utility>

namespace tollamere {

std::string ShownNames::operator()(const std::string& path) const
{
    if (!path.empty() && path == standardInputCopy)
        return std::string(StandardStreamPath);
    if (!standardOutputFolder.empty() && path.starts_with(standardOutputFolder))
        return std::string(StandardStreamPath);
    return path;
}

CliObserver::CliObserver(ObserverSettings settings, std::stop_source stop)
    : settings_(std::move(settings)), stop_(std::move(stop))
{
}

void CliObserver::Report(const std::string& line)
{
    if (!settings_.json || reportLost_ != 0)
        return;
    reportLost_ = WriteStandardOutput(line);
    if (reportLost_ != 0)
        stop_.request_stop();
}

void CliObserver::Refused(RunRefusal reason, const std::string& detail)
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

void CliObserver::ItemStarted(const ItemStart& start)
{
    if (settings_.quiet || !settings_.terminal)
        return;
    std::fprintf(settings_.messages, "\r\033[K%3.0f%%  %s", start.Percent(),
                 Printable(GetFileName(settings_.shown(start.inputPath))).c_str());
    lineOpen_ = true;
}

void CliObserver::Failure(const ConversionFailure& failure)
{
    EndProgressLine();
    const std::string words = FailureWords(failure);
    reasons_.try_emplace(failure.item, words);
    Say(Message(settings_.shown(failure.inputPath), words));
}

void CliObserver::Written(std::size_t /*item*/, const std::string& outputPath)
{
    lastOutput_ = outputPath;
}

void CliObserver::Ended(const ConversionSummary& /*summary*/)
{
    EndProgressLine();
}

void CliObserver::Finished(const ItemResult& result)
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

void CliObserver::Say(const std::string& text)
{
    std::fputs(text.c_str(), settings_.messages);
}

void CliObserver::EndProgressLine()
{
    if (lineOpen_)
        std::fputs("\r\033[K", settings_.messages);
    lineOpen_ = false;
}

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

} // namespace tollamere
