// SPDX-License-Identifier: MIT
#pragma once

#include "output_options.h"
#include "runtime_error.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace tollamere {

inline constexpr std::string_view NoFilesAddedMessage = "No files added.";
inline constexpr std::string_view FolderMissingMessage = "Folder does not exist. Please select another folder.";
inline constexpr std::string_view DoneMessage = "Done.";
inline constexpr std::string_view IdleProgressText = "Progress Bar";

// What the user asked for: the list's paths in order, the output folder text
// and the three parameter texts, as typed.
struct ConversionRequest {
    std::vector<std::string> inputPaths;
    // The folder each input was found under (a scanned or dropped folder),
    // by position; an empty text, or a list shorter than inputPaths, for a
    // file given by itself. Only KeepFolders reads it.
    std::vector<std::string> inputRoots;
    std::string outputFolder;
    OutputOptions output;
    std::string bevelSizeText = "5";
    std::string lightAngleText = "135";
    std::string lightElevationText = "30";
    std::string decimalSeparator = ".";
    // Items converted at once; 0 means one per processor core.
    unsigned workers = 0;
    // Bytes the items in progress may take together, estimated from their
    // files and picture sizes; 0 means half of the physical memory.
    std::uint64_t memoryBudget = 0;
};

// A failure inside one step of one item's pass.
struct ConversionFailure {
    std::size_t item = 0;          // position in the list, from 0
    std::string inputPath;
    int lineNumber = 0;            // the step that failed
    ErrorNumber number = ErrorNumber::InvalidProcedureCall;
    std::string description;
    // The item was not tried: where its output would go was refused before
    // any work (no extension, no format, an input or another item's output).
    bool refused = false;
};

// How one item ended.
struct ItemResult {
    enum class Outcome { Written, Skipped, Failed, Refused };
    std::size_t item = 0;
    std::string inputPath;
    // Where the output went, or would have gone; empty when the item was
    // refused before an output name was found.
    std::string outputPath;
    Outcome outcome = Outcome::Failed;
    // Why it failed, was refused or skipped; empty when written.
    std::string reason;
    // From the item's start to its end, reading and writing included.
    double milliseconds = 0;
};

// Receives what the run shows. Calls never overlap, so an observer needs no
// locking; while one call runs (a failure report waiting for OK, say), the
// rest of the run waits. Calls come on the run's threads and must not throw.
class ConversionObserver {
public:
    virtual ~ConversionObserver() = default;
    // value 0 to 100, and the text shown on the progress bar.
    virtual void Progress(double value, const std::string& text) = 0;
    virtual void Failure(const ConversionFailure& failure) = 0;
    // "No files added.", "Folder does not exist. ..." or "Done.".
    virtual void Message(const std::string& text) = 0;
    virtual void Written(std::size_t /*item*/, const std::string& /*outputPath*/) {}
    // Each item's end, in list order, after its other reports.
    virtual void Finished(const ItemResult& /*result*/) {}
};

struct ConversionSummary {
    std::size_t written = 0;
    std::size_t skipped = 0;  // outputs that existed and were left as they were
    std::size_t failed = 0;   // items with at least one failure
    bool stopped = false;
};

// The "Start Converting" command without its window: checks the list and the
// folder, then converts every item on worker threads, writing exactly what a
// one-by-one run in list order writes. Each item ends written or failed with
// its reasons. A stop request lets items already started end and starts no
// other; "Done." is then not shown.
ConversionSummary RunConversion(const ConversionRequest& request, ConversionObserver& observer,
                                std::stop_token stopToken = {});

} // namespace tollamere
