// SPDX-License-Identifier: MIT
#pragma once

// What the command line says of a run: a progress line on a terminal, a
// line for each failure, with -v one for each item, and with --json a JSON
// object a line on standard output, then the summary.

#include "conversion_run.h"
#include "json_lines.h"

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <map>
#include <optional>
#include <stop_token>
#include <string>

namespace tollamere {

// How the command line shows the run's paths: the copy of standard input as
// "-", and, with -o -, the output in the private folder as "-" too.
struct ShownNames {
    std::string standardInputCopy;
    std::string standardOutputFolder;

    std::string operator()(const std::string& path) const;
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
    // A lost report requests a stop of the run from stop.
    CliObserver(ObserverSettings settings, std::stop_source stop);

    // The error that kept the JSON report from standard output, or 0.
    int ReportLost() const { return reportLost_; }
    // The report was lost in another process (a watch's run).
    void MarkReportLost(int error) { reportLost_ = error; }
    // The run refused to start, and said why.
    bool RunRefused() const { return refused_; }
    // Where the last output written went.
    const std::string& LastOutput() const { return lastOutput_; }
    // The folder a refusal names.
    void SetOutputFolder(const std::string& folder) { requestFolder_ = folder; }

    // Writes a JSON line unless the report was lost already; a lost one
    // stops the run as for Ctrl+C, finishing the outputs being written,
    // rather than go on unreported.
    void Report(const std::string& line);

    void Refused(RunRefusal reason, const std::string& detail) override;
    void ItemStarted(const ItemStart& start) override;
    void Failure(const ConversionFailure& failure) override;
    void Written(std::size_t item, const std::string& outputPath) override;
    void Ended(const ConversionSummary& summary) override;
    void Finished(const ItemResult& result) override;

private:
    void Say(const std::string& text);
    void EndProgressLine();

    ObserverSettings settings_;
    std::stop_source stop_;
    std::map<std::size_t, std::string> reasons_;
    std::string requestFolder_;
    std::string lastOutput_;
    int reportLost_ = 0;
    bool refused_ = false;
    bool lineOpen_ = false;
};

// "3 of 4 file(s) written to out, 1 left as they were; 2 skipped by rule".
std::string SummaryLine(const ConversionSummary& summary, std::size_t items, const std::string& target,
                        std::size_t skippedByRule, bool verbose, bool stopped);

// The report's summary record, then the exit status that a signal or a lost
// report decides; nothing when neither came.
std::optional<int> EndReport(CliObserver& observer, RunCounts counts, std::chrono::steady_clock::time_point started,
                             std::FILE* messages);

} // namespace tollamere
