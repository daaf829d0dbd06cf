// SPDX-License-Identifier: MIT
#include "conversion_run.h"

#include "bevel.h"
#include "file_io.h"
#include "flusher.h"
#include "item_conversion.h"
#include "memory_budget.h"
#include "ordered_reports.h"
#include "output_planner.h"
#include "folders.h"
#include "path_text.h"
#include "process_environment.h"
#include "format_registry.h"
#include "picture_size.h"
#include "qt_codec.h"
#include "resample.h"
#include "run_steps.h"
#include "save_as_jpeg.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace tollamere {

namespace {

std::string MiB(std::uint64_t bytes)
{
    return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB";
}

// How a worker left an item.
enum class ItemEnd {
    Ended,    // its result is known
    Stopped,  // a stop came between its steps
    Flushing,  // its output waits for the flusher, which ends it
    Larger     // its picture is larger than its reservation allows
};

// An item's input, opened when the item is taken, or why it could not be.
struct ItemInput {
    std::optional<InputFile> file;
    std::optional<StepFailure> failure;
};

// What an item holds of the budget while it works: a workspace with the
// bytes counted for it, the bytes reserved beside them, and the pixels the
// load may allocate for within them.
struct Grant {
    WorkspacePool::Lease lease;
    std::uint64_t reserved = 0;
    std::uint64_t allowedPixels = 0;
};

class Run {
public:
    Run(const ConversionRequest& request, ConversionObserver& observer, std::stop_token stopToken)
        : request_(request), observer_(observer), stopToken_(std::move(stopToken)),
          budget_(request.memoryBudget != 0 ? request.memoryBudget : DefaultMemoryBudget())
    {
    }

    ConversionSummary Execute()
    {
        if (request_.inputPaths.empty()) {
            observer_.Refused(RunRefusal::NoFiles, {});
            return {};
        }
        if (!request_.openedOutputFolder && FolderExists(request_.outputFolder) != std::optional<bool>(true)) {
            observer_.Refused(RunRefusal::OutputFolderMissing, {});
            return {};
        }
        std::string folder = request_.outputFolder;
        if (folder.back() != PathSeparator)
            folder += PathSeparator;
        // The folder is held open from here on: whatever is renamed under
        // its path while the run goes on, the outputs go into this folder.
        try {
            outputFolder_.emplace(request_.openedOutputFolder ? *request_.openedOutputFolder
                                                              : OutputFolder::Open(ToFileSystemPath(request_.outputFolder)));
        } catch (const RuntimeError&) {
            observer_.Refused(RunRefusal::OutputFolderMissing, {});
            return {};
        }
        // Temporary files of writes killed before their rename, in the
        // folders this run may write into; those of writes still running
        // (another run's) are locked and stay.
        const bool wholeTree =
            request_.output.structure == OutputOptions::Structure::KeepFolders && !request_.staleBelowRemoved;
        RemoveStaleTemporaryFiles(*outputFolder_, wholeTree);
        if (const std::optional<std::string> refused = CheckOutputOptions(request_.output)) {
            observer_.Refused(RunRefusal::OutputOptions, *refused);
            return {};
        }
        planner_.emplace(request_, folder);
        plans_ = planner_->Plan();
        if (!wholeTree) {
            std::set<std::string> subFolders;
            for (const ItemPlan& plan : plans_)
                if (!plan.subFolder.empty() && subFolders.insert(plan.subFolder).second)
                    RemoveStaleTemporaryFilesBelow(plan.subFolder);
        }

        const unsigned cores = UsableProcessors();
        const std::size_t workers = std::min<std::size_t>(request_.workers == 0 ? cores : request_.workers, plans_.size());
        // Fewer items than cores (one large picture, say): each item's effect
        // takes its share of the cores.
        engineThreads_ = std::max(1u, cores / static_cast<unsigned>(workers));
        {
            OrderedReports reports(plans_.size(), observer_);
            reports_ = &reports;
            Flusher flusher(workers + 1);
            flusher_ = &flusher;
            {
                std::vector<std::jthread> pool;
                for (std::size_t w = 1; w < workers; ++w)
                    pool.emplace_back([this] { Work(); });
                Work();
            }
            // The outputs of items already started are finished, stop or not.
            flusher.Drain();
        }

        ConversionSummary summary;
        summary.items = plans_.size();
        summary.written = written_;
        summary.failed = failed_;
        summary.skipped = skipped_;
        summary.stopped = stopToken_.stop_requested();
        observer_.Ended(summary);
        return summary;
    }

private:
    void Work()
    {
        for (;;) {
            std::size_t item = 0;
            Grant grant;
            std::optional<MemoryNeed> tooLarge;
            std::optional<StepFailure> beyondLimits;
            ItemInput input;
            if (!reports_->WaitWhileHeld(stopToken_))
                return;
            {
                // Items are taken, and their memory granted, in list order.
                const std::lock_guard lock(takeMutex_);
                if (next_ >= plans_.size() || stopToken_.stop_requested())
                    return;
                item = next_;
                // The input is opened once, here: its header gives the estimate,
                // and the same file is read whole once the memory is granted. One
                // that cannot be opened needs nothing: its load fails at once.
                MemoryNeed need;
                if (!plans_[item].refusal && !plans_[item].skip) {
                    input.failure = RunStep(LineLoad, [&] { input.file.emplace(InputFile::Open(ToFileSystemPath(plans_[item].inputPath), ProbeBytes)); });
                    if (input.file)
                        need = NeedFor(plans_[item], EstimateMemoryNeed(input.file->Start(), plans_[item].bytesPerPixel, margin_));
                }
                // One the margin would grow beyond the largest picture fails
                // before it is read, holding nothing.
                if (need.size)
                    beyondLimits = GrownBeyondLimits(*need.size, margin_);
                // A picture of unknown size runs alone rather than fail.
                if (!beyondLimits && need.size && need.bytes > budget_.Total())
                    tooLarge = need;
                else if (!beyondLimits && !Reserve(need, plans_[item].bytesPerPixel, grant))
                    return;
                ++next_;
                const ItemStart start{item, plans_.size(), plans_[item].inputPath, plans_[item].row};
                reports_->Post(item, [start](ConversionObserver& observer) { observer.ItemStarted(start); });
            }
            const auto started = std::chrono::steady_clock::now();
            ItemResult result;
            result.item = item;
            result.row = plans_[item].row;
            result.inputPath = plans_[item].inputPath;
            result.outputPath = plans_[item].outputPath;
            const ItemEnd end = beyondLimits ? Fail(result, *beyondLimits)
                                : tooLarge   ? Fail(result, BeyondBudget(item, *tooLarge))
                                             : ConvertWithin(result, grant, input, started);
            GiveBack(grant);
            if (end != ItemEnd::Flushing)
                EndItem(result, started, end == ItemEnd::Ended);
        }
    }

    StepFailure BeyondBudget(std::size_t item, const MemoryNeed& need) const
    {
        return Refusal(LineLoad, ErrorNumber::OutOfMemory,
                       Printable(plans_[item].inputPath) + " holds a picture of " + std::to_string(need.size->width) + " x " +
                           std::to_string(need.size->height) + " pixels, which needs about " + MiB(need.bytes) + ", beyond the " +
                           MiB(budget_.Total()) + " this run may take");
    }

    // Takes a workspace and waits for the item's bytes; false, holding
    // nothing, when a stop came first. The estimate counts a workspace of the
    // picture's size; one kept from a larger picture counts with what it
    // holds, unless that could never fit beside the rest of the estimate.
    // What the look's maps take for a picture of that size; the workspace
    // keeps them. A picture beyond every limit fails its load before any map
    // is made.
    std::uint64_t LookBytes(const std::optional<PictureSize>& size) const
    {
        if (!size || PixelCount(*size) > MaxPicturePixels)
            return 0;
        return LookWorkspaceBytes(request_.parameters.look, std::int32_t(size->width), std::int32_t(size->height),
                                  engineThreads_);
    }

    // The need of an item that is resized counts the larger of its input
    // and its output, the input's picture kept while the output is made,
    // and the resampling's rows of four floats at the output's width.
    MemoryNeed NeedFor(const ItemPlan& plan, MemoryNeed need) const
    {
        if (need.size && (plan.resized || WritesSizes(plan))) {
            const PictureSize input = *need.size;
            const double factor = WritesSizes(plan) ? double(MaxIconSide) / double(std::max(input.width, input.height))
                                                    : ResizeFactor(plan, request_.output, input);
            const ScaledSize scaled = SizeTimes(std::int64_t(std::min<std::uint64_t>(input.width, INT32_MAX)),
                                                std::int64_t(std::min<std::uint64_t>(input.height, INT32_MAX)), factor);
            const PictureSize output{std::uint64_t(scaled.width), std::uint64_t(scaled.height)};
            const PictureSize larger = PixelCount(output) > PixelCount(input) ? output : input;
            need = NeedForSize(need.fileBytes, larger, plan.bytesPerPixel, margin_);
            need.bytes += PixelCount(input) * 4 + output.width * input.height * 16;
        }
        return WithLook(need);
    }

    MemoryNeed WithLook(MemoryNeed need) const
    {
        need.bytes += LookBytes(need.size);
        return need;
    }

    bool Reserve(const MemoryNeed& need, std::uint64_t bytesPerPixel, Grant& grant)
    {
        if (need.bytes == 0)
            return true;
        grant.lease = pool_.Take();
        const std::uint64_t estimate = std::min(need.bytes, budget_.Total());
        const std::uint64_t look = LookBytes(need.size);
        const std::uint64_t workspace =
            std::min(estimate, need.size ? PixelCount(*need.size) * WorkspaceBytesPerPixel + look : 0);
        grant.allowedPixels = AllowedPixels(estimate > look ? estimate - look : 0, need.fileBytes, bytesPerPixel);
        const auto reservedBeside = [&] {
            return estimate - workspace + (workspace > grant.lease.counted ? workspace - grant.lease.counted : 0);
        };
        if (grant.lease.counted + reservedBeside() > budget_.Total()) {
            const std::uint64_t freed = grant.lease.counted;
            grant.lease = {std::make_unique<BevelWorkspace>(), 0};
            budget_.Release(freed);
        }
        grant.reserved = reservedBeside();
        if (!budget_.Acquire(grant.reserved, stopToken_, [this] { return pool_.FreeIdle(); })) {
            grant.reserved = 0;
            pool_.Return(std::move(grant.lease));
            return false;
        }
        return true;
    }

    // What the workspace holds now stays counted; the rest of the item's
    // bytes go back. The workspace is idle before the bytes go back, even
    // none, so that an item woken by them can have it freed: woken first, it
    // could find the pool empty and wait for a release that never comes.
    void GiveBack(Grant& grant)
    {
        if (!grant.lease.workspace)
            return;
        const std::uint64_t held = grant.lease.counted + grant.reserved;
        grant.lease.counted = std::min(grant.lease.workspace->Bytes(), held);
        const std::uint64_t unused = held - grant.lease.counted;
        pool_.Return(std::move(grant.lease));
        grant = {};
        budget_.Release(unused);
    }

    // Converts the item within its grant. A picture larger than the grant
    // allows (its header said less) gives everything back before it waits for
    // room for its real size, so that two such items cannot hold each other
    // up; it waits ahead of the items not yet taken, and fails at once when
    // even the whole budget is too small.
    ItemEnd ConvertWithin(ItemResult& result, Grant& grant, const ItemInput& input, std::chrono::steady_clock::time_point started)
    {
        const std::uint64_t bytesPerPixel = plans_[result.item].bytesPerPixel;
        for (;;) {
            std::optional<PictureSize> larger;
            const ItemEnd end = Convert(result, grant.lease.workspace.get(), input, grant.allowedPixels, larger, started);
            if (end != ItemEnd::Larger)
                return end;
            GiveBack(grant);
            if (auto beyond = GrownBeyondLimits(*larger, margin_))
                return Fail(result, *beyond);
            const MemoryNeed need = NeedFor(plans_[result.item], NeedForSize(input.file->Start().size, *larger, bytesPerPixel, margin_));
            if (need.bytes > budget_.Total())
                return Fail(result, BeyondBudget(result.item, need));
            const std::lock_guard lock(takeMutex_);
            if (!Reserve(need, bytesPerPixel, grant))
                return ItemEnd::Stopped;
        }
    }

    void EndItem(ItemResult& result, std::chrono::steady_clock::time_point started, bool ended)
    {
        result.milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        if (ended)
            reports_->Post(result.item, [result](ConversionObserver& observer) { observer.Finished(result); });
        reports_->Close(result.item);
    }

    // Loads, bevels and encodes one item (ConvertItem), and writes its
    // output into a temporary file that the flusher then puts in place. The
    // load refuses a picture of more than allowedPixels; its size is then put
    // in `larger`.
    ItemEnd Convert(ItemResult& result, BevelWorkspace* workspace, const ItemInput& source, std::uint64_t allowedPixels,
                    std::optional<PictureSize>& larger, std::chrono::steady_clock::time_point started)
    {
        const ItemPlan& plan = plans_[result.item];
        if (plan.refusal)
            return Fail(result, *plan.refusal, true);
        if (plan.skip)
            return Skip(result);
        if (source.failure)
            return Fail(result, *source.failure);

        std::vector<std::uint8_t> bytes;
        if (auto failure = RunStep(LineLoad, [&] { bytes = source.file->ReadAll(); }))
            return Fail(result, *failure);
        // An item whose size nobody could tell took no workspace from the pool.
        std::optional<BevelWorkspace> own;
        BevelWorkspace& space = workspace != nullptr ? *workspace : own.emplace();
        ItemOutput output = ConvertItem(plan, request_, std::move(bytes), space, allowedPixels, engineThreads_, stopToken_);
        if (output.larger) {
            larger = output.larger;
            return ItemEnd::Larger;
        }
        if (output.failure)
            return Fail(result, *output.failure);
        if (output.stopped)
            return ItemEnd::Stopped;

        auto write = std::make_shared<PendingWrite>();
        auto failure = RunStep(plan.saveLine, [&] {
            try {
                const OutputFolder target =
                    plan.subFolder.empty() ? *outputFolder_ : *outputFolder_->Below(ToFileSystemPath(plan.subFolder), true);
                *write = StartWrite(target, GetFileName(plan.outputPath), output.bytes);
            } catch (const RuntimeError& error) {
                if (plan.route == OutputRoute::JpegWriter)
                    RaiseJpegWriterFailure(error);
                throw;
            }
        });
        if (failure)
            return Fail(result, *failure);
        flusher_->Post([this, result, write, started]() mutable { FinishItem(result, *write, started); });
        return ItemEnd::Flushing;
    }

    // On the flusher's thread: the item's output flushed and put in place
    // under its name (or, under the Rename rule, the next free one), then
    // the item's end reported.
    void FinishItem(ItemResult& result, PendingWrite& write, std::chrono::steady_clock::time_point started)
    {
        ItemPlan& plan = plans_[result.item];
        const OutputOptions::Overwrite rule = request_.output.overwrite;
        bool saved = false;
        auto failure = RunStep(plan.saveLine, [&] {
            for (;;) {
                try {
                    saved = write.Finish(GetFileName(plan.outputPath), rule == OutputOptions::Overwrite::Replace);
                } catch (const RuntimeError& error) {
                    if (plan.route == OutputRoute::JpegWriter)
                        RaiseJpegWriterFailure(error);
                    throw;
                }
                if (saved || rule != OutputOptions::Overwrite::Rename)
                    return;
                // Taken since the plan was made: the next free name.
                std::optional<std::string> next = planner_->NextFreeName(plan);
                if (!next)
                    RaiseWithReason(ErrorNumber::PathFileAccessError, "no free name is left beside " + Printable(plan.outputPath));
                plan.outputPath = std::move(*next);
            }
        });
        result.outputPath = plan.outputPath;
        if (failure) {
            Fail(result, *failure);
        } else if (!saved) {
            Skip(result);
        } else {
            ++written_;
            result.outcome = ItemResult::Outcome::Written;
            reports_->Post(result.item, [item = result.item, path = plan.outputPath](ConversionObserver& observer) {
                observer.Written(item, path);
            });
        }
        EndItem(result, started, true);
    }

    // A kept sub-folder that exists already may hold what a killed run left.
    void RemoveStaleTemporaryFilesBelow(const std::string& subFolder)
    {
        try {
            if (const std::optional<OutputFolder> below = outputFolder_->Below(ToFileSystemPath(subFolder), false))
                RemoveStaleTemporaryFiles(*below);
        } catch (const RuntimeError&) {
            // A link or a file in its place: the items that go there fail and say so.
        }
    }

    ItemEnd Skip(ItemResult& result)
    {
        ++skipped_;
        result.outcome = ItemResult::Outcome::Skipped;
        result.reason = Printable(result.outputPath) + " exists and is left as it is";
        return ItemEnd::Ended;
    }

    ItemEnd Fail(ItemResult& result, const StepFailure& failure, bool refused = false)
    {
        ++failed_;
        ConversionFailure report;
        report.item = result.item;
        report.row = result.row;
        report.inputPath = result.inputPath;
        report.lineNumber = failure.lineNumber;
        report.number = failure.number;
        report.description = failure.description;
        report.refused = refused;
        result.outcome = refused ? ItemResult::Outcome::Refused : ItemResult::Outcome::Failed;
        result.reason = failure.description;
        reports_->Post(result.item, [report](ConversionObserver& observer) { observer.Failure(report); }, true);
        return ItemEnd::Ended;
    }

    const ConversionRequest& request_;
    ConversionObserver& observer_;
    std::stop_token stopToken_;
    std::optional<OutputFolder> outputFolder_;
    std::optional<OutputPlanner> planner_;
    std::vector<ItemPlan> plans_;
    const std::int32_t margin_ = request_.parameters.look.decoration.margin;
    unsigned engineThreads_ = 1;
    MemoryBudget budget_;
    WorkspacePool pool_{budget_};
    OrderedReports* reports_ = nullptr;
    Flusher* flusher_ = nullptr;
    std::mutex takeMutex_;
    std::size_t next_ = 0;
    std::atomic<std::size_t> written_ = 0;
    std::atomic<std::size_t> failed_ = 0;
    std::atomic<std::size_t> skipped_ = 0;
};

} // namespace

EffectParameters ReadEffectParameters(std::string_view bevelSizeText, std::string_view lightAngleText,
                                      std::string_view lightElevationText, const std::string& decimalSeparator)
{
    EffectParameters parameters;
    try {
        parameters.parsed = ParseBevelParameters(bevelSizeText, lightAngleText, lightElevationText, decimalSeparator);
    } catch (const RuntimeError& error) {
        parameters.error = error;
    }
    return parameters;
}

ConversionSummary RunConversion(const ConversionRequest& request, ConversionObserver& observer, std::stop_token stopToken)
{
    // Before the workers start: a program that has not loaded them yet from
    // its main thread has them loaded by the thread that runs it.
    LoadQtImagePlugins();
    return Run(request, observer, std::move(stopToken)).Execute();
}

} // namespace tollamere
