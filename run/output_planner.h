// SPDX-License-Identifier: MIT
#pragma once

// Names every item's output before any work: the folders kept, the name
// pattern, the format, the overwrite rule. Two items never get one output,
// and no output is an input; the later item is refused. What cannot be
// written is a refusal in the item's plan, never an exception. Plan runs
// once, before other threads share the planner; NextFreeName may then be
// called from any thread.

#include "run_types.h"
#include "memory_budget.h"
#include "format_registry.h"
#include "run_steps.h"

#include <cstddef>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tollamere {

// Where one item's output goes, decided for the whole list before any work,
// so that refusals and new names do not depend on which worker comes first.
struct ItemPlan {
    // The input's position in the list, from 0: an input written in several
    // formats or at several scales has an item, and a plan, for each output.
    std::size_t row = 0;
    std::string inputPath;
    // The size it is written at (OutputOptions::scales), and whether it is
    // resized at all; an icon or cursor is resized to each of its sides.
    OutputScale scale;
    bool resized = false;
    std::string outputPath;
    // The folders under the output folder that hold the output
    // ("sub/deeper/"), created when the item is saved; empty when flat.
    std::string subFolder;
    // The output's format, looked up once here; nothing when no encoder
    // writes the extension (the item is then refused).
    std::optional<PictureFormat> format;
    OutputRoute route = OutputRoute::OwnFormat;
    // The output format's encoder; Qt for a format no encoder here knows.
    Encoder encoder = Encoder::Qt;
    // What the item may take per pixel at its peak, for its output format.
    std::uint64_t bytesPerPixel = ItemBytesPerPixel;
    int saveLine = LineSaveOther;
    std::optional<StepFailure> refusal;
    // Under the Skip rule, an output of that name exists already.
    bool skip = false;
    // The output path is stem + suffix ("out/star" + ".png"), or under the
    // Rename rule stem + " (n)" + suffix for attempt n.
    std::string stem;
    std::string suffix;
    unsigned attempt = 1;
};

// The path as the file system resolves it, so that "a/../b.png" and a link
// to b.png count as the same file.
std::filesystem::path Resolved(const std::string& path);

// The folders between an input's root and the input ("sub/deeper/"), or
// nothing for an input outside its root or given by itself.
std::string FoldersBelowRoot(const std::string& inputPath, std::string root);

class OutputPlanner {
public:
    // folder: the output folder, ending in a separator. The request must
    // outlive the planner.
    OutputPlanner(const ConversionRequest& request, std::string folder);

    // One plan per output, input by input in list order, and for each input
    // by format, then by scale.
    std::vector<ItemPlan> Plan();

    // Under the Rename rule, the next name after the plan's that no item of
    // this run claims and no file has; nothing when none is left. Hands out
    // the next free name also when one was taken while the run went on.
    std::optional<std::string> NextFreeName(ItemPlan& plan);

private:
    static constexpr unsigned MaxAttempts = 9999;

    ItemPlan PlanItem(std::size_t row, const std::string& chosenFormat, const OutputScale& scale);

    static std::string NameFor(const ItemPlan& plan, unsigned attempt);

    // Takes the name for the input when it is free: no input, no other
    // item's output, no file.
    bool Claim(const std::string& name, const std::string& inputPath);

    const ConversionRequest& request_;
    const std::string folder_;
    std::set<std::filesystem::path> inputs_;
    std::map<std::filesystem::path, std::string> claimedBy_;
    std::mutex mutex_;
};

} // namespace tollamere
