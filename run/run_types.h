// SPDX-License-Identifier: MIT
#pragma once

// What a conversion run is asked and what it tells: the request, the events
// an observer receives, the summary. The run itself is in conversion_run.h;
// the rest of run/ works with these types alone.

#include "bevel.h"
#include "file_io.h"
#include "output_options.h"
#include "runtime_error.h"
#include "vector_math.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tollamere {

// The effect's parameters as a run takes them: read from their texts once,
// before the run, by ReadEffectParameters; or the error reading them raised,
// with which every item then fails at the effect's step.
struct EffectParameters {
    // The boxes' texts when the window opens.
    BevelParameters parsed{DefaultBevelSize, DegreesToRadians(DefaultLightAngleDegrees),
                           DegreesToRadians(DefaultLightElevationDegrees)};
    std::optional<RuntimeError> error;
    // The technique and the rest of the look; the classic one by default.
    BevelLook look;
};

// What the user asked for: the list's paths in order, the output folder text
// and the effect's parameters.
struct ConversionRequest {
    std::vector<std::string> inputPaths;
    // The folder each input was found under (a scanned or dropped folder),
    // by position; an empty text, or a list shorter than inputPaths, for a
    // file given by itself. Only KeepFolders reads it.
    std::vector<std::string> inputRoots;
    std::string outputFolder;
    // The output folder opened already, by a caller whose runs must all
    // write into the folder it opened (a watch): the run writes there, and
    // its items fail when that folder is no longer at outputFolder. Else the
    // run opens outputFolder itself.
    std::optional<OutputFolder> openedOutputFolder;
    // The caller has removed what killed runs left in every folder below
    // the output folder (a watch does once, at its start, rather than walk
    // the tree for each of its runs): a run that keeps folders then cleans
    // only those it writes into.
    bool staleBelowRemoved = false;
    OutputOptions output;
    EffectParameters parameters;
    // Items converted at once; 0 means one per processor core.
    unsigned workers = 0;
    // Bytes the items in progress may take together, estimated from their
    // files and picture sizes; 0 means half of the physical memory.
    std::uint64_t memoryBudget = 0;
};

// Why a run refused to start. Nothing was written, and nothing else is reported.
enum class RunRefusal {
    NoFiles,              // the list is empty
    OutputFolderMissing,  // the output folder text names no folder that can be opened
    OutputOptions         // the output options cannot be used; the refusal says why
};

// An item's pass has started: its position among the run's outputs from 0,
// of how many. An input written in one format at one size is one item, and
// its item is its row; one written in several formats or at several scales
// has an item for each output, and they share its row.
struct ItemStart {
    std::size_t item = 0;
    std::size_t items = 0;
    std::string inputPath;
    std::size_t row = 0;  // the input's position in the list, from 0

    // The share of the list started with this item, 0 to 100.
    double Percent() const { return static_cast<double>(item + 1) / static_cast<double>(items) * 100.0; }
};

// A failure inside one step of one item's pass.
struct ConversionFailure {
    std::size_t item = 0;          // position among the outputs, from 0
    std::size_t row = 0;           // the input's position in the list, from 0
    std::string inputPath;
    int lineNumber = 0;            // the step that failed (run_steps.h)
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
    std::size_t row = 0;
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

struct ConversionSummary {
    std::size_t items = 0;    // the outputs planned: an input's formats times its scales
    std::size_t written = 0;
    std::size_t skipped = 0;  // outputs that existed and were left as they were
    std::size_t failed = 0;   // items with at least one failure
    bool stopped = false;     // a stop request cut the run short
};

// Receives what happens in a run, as events; what they look like is the
// receiver's business. Calls never overlap, so an observer needs no locking;
// while one call runs (a failure report waiting for OK, say), the rest of the
// run waits. Calls come on the run's threads and must not throw.
class ConversionObserver {
public:
    virtual ~ConversionObserver() = default;
    // The run refused to start; detail holds the reason of OutputOptions.
    virtual void Refused(RunRefusal reason, const std::string& detail) = 0;
    // Items start in list order, each after the reports of those before it.
    virtual void ItemStarted(const ItemStart& /*start*/) {}
    virtual void Failure(const ConversionFailure& failure) = 0;
    virtual void Written(std::size_t /*item*/, const std::string& /*outputPath*/) {}
    // Each item's end, in list order, after its other reports.
    virtual void Finished(const ItemResult& /*result*/) {}
    // The run's last call, unless it was refused: every item has ended.
    virtual void Ended(const ConversionSummary& summary) = 0;
};

} // namespace tollamere
