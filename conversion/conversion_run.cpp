// SPDX-License-Identifier: MIT
#include "conversion_run.h"

#include "path_text.h"
#include "save_as_jpeg.h"
#include "bevel.h"
#include "file_io.h"
#include "jpeg_codec.h"
#include "picture_files.h"
#include "picture_formats.h"
#include "picture_probe.h"
#include "qt_codec.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace tollamere {

namespace {

// Line numbers of the run's steps, as its failure reports show them.
constexpr int LineOutputBase = 128;
constexpr int LineLoad = 154;
constexpr int LineBevel = 160;
constexpr int LineSaveJpeg = 164;
constexpr int LineSaveBitmap = 168;
constexpr int LineSaveOther = 170;

// Bytes one item may take per pixel at its peak: the file, a decoder's own
// picture, the picture it is read into (4), the surface (3), the maps (3) and
// the encoder's own memory. Measured with bench/memory.sh (ENCODERS=1): peak
// less the process's 21 MiB over the pixels, on a photo of 4000 x 3000 and of
// 4000 x 4000 and a button of 4000 x 4000 with alpha, then 10 % added. PNG,
// JPEG, TIFF and BMP measured 15.6, 15.4, 18.1 and 16.9 at most.
constexpr std::uint64_t ItemBytesPerPixel = 20;

// Encoders that take far more while they work: JPEG XL measured 92.6 (the
// button with alpha; 81 for the photos), AVIF 44.5 and WebP 43.5.
std::uint64_t ItemBytesPerPixelFor(const PictureFormat& format)
{
    switch (format.encoder) {
    case Encoder::Avif: return 50;
    case Encoder::JpegXl: return 102;
    case Encoder::Qt: return format.qtName == "webp" ? 48 : ItemBytesPerPixel;
    default: return ItemBytesPerPixel;
    }
}

struct StepFailure {
    int lineNumber = 0;
    ErrorNumber number = ErrorNumber::InvalidProcedureCall;
    std::string description;
};

// Where one item's output goes, decided for the whole list before any work,
// so that refusals and new names do not depend on which worker comes first.
struct ItemPlan {
    std::string inputPath;
    std::string outputPath;
    // The folders under the output folder that hold the output
    // ("sub/deeper/"), created when the item is saved; empty when flat.
    std::string subFolder;
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
std::filesystem::path Resolved(const std::string& path)
{
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(ToFileSystemPath(path), error);
    if (error)
        return std::filesystem::absolute(ToFileSystemPath(path), error).lexically_normal();
    return resolved;
}

StepFailure FailureOf(int lineNumber, const RuntimeError& error)
{
    return {lineNumber, error.Number(), error.Description()};
}

StepFailure Refusal(int lineNumber, ErrorNumber number, const std::string& reason)
{
    return {lineNumber, number, StandardDescription(number) + ": " + reason};
}

// The folders between an input's root and the input ("sub/deeper/"), or
// nothing for an input outside its root or given by itself.
std::string FoldersBelowRoot(const std::string& inputPath, std::string root)
{
    if (root.empty())
        return {};
    if (root.back() != PathSeparator)
        root += PathSeparator;
    if (!inputPath.starts_with(root))
        return {};
    const std::string relative = inputPath.substr(root.size());
    const std::size_t lastSeparator = relative.rfind(PathSeparator);
    if (lastSeparator == std::string::npos)
        return {};
    std::string folders;
    for (const std::filesystem::path& part : ToFileSystemPath(relative.substr(0, lastSeparator))) {
        const std::string name = ToPathText(part);
        if (name == "..")
            return {};
        if (name.empty() || name == ".")
            continue;
        folders += name + PathSeparator;
    }
    return folders;
}

// Names every item's output: the folders kept, the name pattern, the format,
// the overwrite rule. Two items never get one output, and no output is an
// input; the later item is refused. Under the Rename rule the planner also
// hands out the next free name when one was taken while the run went on.
class OutputPlanner {
public:
    OutputPlanner(const ConversionRequest& request, std::string folder) : request_(request), folder_(std::move(folder))
    {
        for (const std::string& path : request.inputPaths)
            inputs_.insert(Resolved(path));
    }

    std::vector<ItemPlan> Plan()
    {
        std::vector<ItemPlan> plans;
        plans.reserve(request_.inputPaths.size());
        for (std::size_t item = 0; item < request_.inputPaths.size(); ++item)
            plans.push_back(PlanItem(item));
        return plans;
    }

    // Under the Rename rule, the next name after the plan's that no item of
    // this run claims and no file has; nothing when none is left.
    std::optional<std::string> NextFreeName(ItemPlan& plan)
    {
        const std::lock_guard lock(mutex_);
        while (++plan.attempt <= MaxAttempts) {
            std::string candidate = NameFor(plan, plan.attempt);
            if (Claim(candidate, plan.inputPath))
                return candidate;
        }
        return std::nullopt;
    }

private:
    static constexpr unsigned MaxAttempts = 9999;

    ItemPlan PlanItem(std::size_t item)
    {
        const OutputOptions& options = request_.output;
        ItemPlan plan;
        plan.inputPath = request_.inputPaths[item];
        const std::string fileName = GetFileName(plan.inputPath);
        const std::optional<std::string> inputExtension = FileExtension(fileName);
        // A chosen format needs no extension to follow.
        if (!inputExtension && options.format.empty()) {
            plan.refusal = StepFailure{LineOutputBase, ErrorNumber::InvalidProcedureCall,
                                       StandardDescription(ErrorNumber::InvalidProcedureCall) + ": the file name has no extension"};
            return plan;
        }
        const std::string extension = options.format.empty() ? *inputExtension : options.format;
        if (options.structure == OutputOptions::Structure::KeepFolders && item < request_.inputRoots.size())
            plan.subFolder = FoldersBelowRoot(plan.inputPath, request_.inputRoots[item]);
        plan.stem = folder_ + plan.subFolder + ExpandNamePattern(options.namePattern, fileName, item + 1);

        const std::optional<PictureFormat> format = FormatForExtension(extension);
        plan.route = format ? format->route : OutputRoute::OwnFormat;
        plan.encoder = format ? format->encoder : Encoder::Qt;
        plan.bytesPerPixel = format ? ItemBytesPerPixelFor(*format) : ItemBytesPerPixel;
        switch (plan.route) {
        case OutputRoute::JpegWriter:
            plan.saveLine = LineSaveJpeg;
            plan.suffix = ".jpg";
            break;
        case OutputRoute::Bitmap:
            plan.saveLine = LineSaveBitmap;
            plan.suffix = "." + extension;
            break;
        case OutputRoute::OwnFormat:
            plan.suffix = "." + LowerCaseAscii(extension);
            if (!format)
                plan.refusal = Refusal(LineSaveOther, ErrorNumber::InvalidProcedureCall,
                                       "no picture format is known for the extension \"" + Printable(extension) + "\"");
            break;
        }
        plan.outputPath = plan.stem + plan.suffix;
        if (plan.refusal)
            return plan;

        const std::filesystem::path resolved = Resolved(plan.outputPath);
        if (inputs_.contains(resolved)) {
            plan.refusal = Refusal(plan.saveLine, ErrorNumber::PathFileAccessError,
                                   Printable(plan.outputPath) + " is an input of this run and is not overwritten");
            return plan;
        }
        // Only the rules that keep an existing file ask whether there is one.
        const bool exists = options.overwrite != OutputOptions::Overwrite::Replace && PathEntryExists(ToFileSystemPath(plan.outputPath));
        if (options.overwrite == OutputOptions::Overwrite::Rename && (exists || claimedBy_.contains(resolved))) {
            if (std::optional<std::string> name = NextFreeName(plan))
                plan.outputPath = std::move(*name);
            else
                plan.refusal = Refusal(plan.saveLine, ErrorNumber::PathFileAccessError,
                                       "every name from " + Printable(plan.outputPath) + " to " +
                                           Printable(NameFor(plan, MaxAttempts)) + " is taken");
            return plan;
        }
        plan.skip = options.overwrite == OutputOptions::Overwrite::Skip && exists;
        const auto [claim, isNew] = claimedBy_.emplace(resolved, plan.inputPath);
        if (!isNew)
            plan.refusal = Refusal(plan.saveLine, ErrorNumber::PathFileAccessError,
                                   Printable(plan.outputPath) + " is written from " + Printable(claim->second) +
                                       " in this run; " + Printable(plan.inputPath) + " would overwrite it");
        return plan;
    }

    static std::string NameFor(const ItemPlan& plan, unsigned attempt)
    {
        return (attempt <= 1 ? plan.stem : NumberedName(plan.stem, attempt)) + plan.suffix;
    }

    // Takes the name for the input when it is free: no input, no other
    // item's output, no file.
    bool Claim(const std::string& name, const std::string& inputPath)
    {
        const std::filesystem::path resolved = Resolved(name);
        if (inputs_.contains(resolved) || claimedBy_.contains(resolved) || PathEntryExists(ToFileSystemPath(name)))
            return false;
        claimedBy_.emplace(resolved, inputPath);
        return true;
    }

    const ConversionRequest& request_;
    const std::string folder_;
    std::set<std::filesystem::path> inputs_;
    std::map<std::filesystem::path, std::string> claimedBy_;
    std::mutex mutex_;
};

// Runs one step and turns whatever it raises into that step's failure.
std::optional<StepFailure> RunStep(int lineNumber, const std::function<void()>& step)
{
    try {
        step();
        return std::nullopt;
    } catch (const RuntimeError& error) {
        return FailureOf(lineNumber, error);
    } catch (const std::bad_alloc&) {
        return StepFailure{lineNumber, ErrorNumber::OutOfMemory, StandardDescription(ErrorNumber::OutOfMemory)};
    } catch (const std::exception& error) {
        return Refusal(lineNumber, ErrorNumber::InvalidProcedureCall, error.what());
    }
}

// Hands what the items report to the observer in list order, exactly as a
// one-worker run would: an item's reports wait until every earlier item has
// made all of its own. Calls never overlap. While a report that holds the
// run is out (a failure report waiting for OK), no item starts.
class OrderedReports {
public:
    using Report = std::function<void(ConversionObserver&)>;

    OrderedReports(std::size_t items, ConversionObserver& observer) : pending_(items), done_(items, false), observer_(observer) {}

    void Post(std::size_t item, Report report, bool holdsRun = false)
    {
        {
            const std::lock_guard lock(mutex_);
            pending_[item].push_back({std::move(report), holdsRun});
        }
        Deliver();
    }

    // The item reports nothing more.
    void Close(std::size_t item)
    {
        {
            const std::lock_guard lock(mutex_);
            done_[item] = true;
        }
        Deliver();
    }

    // Waits while a report holds the run; false when a stop came first.
    bool WaitWhileHeld(std::stop_token stop)
    {
        std::unique_lock lock(mutex_);
        return released_.wait(lock, stop, [&] { return !held_; });
    }

private:
    struct Entry {
        Report report;
        bool holdsRun = false;
    };

    void Deliver()
    {
        std::unique_lock lock(mutex_);
        // Whoever delivers already will also pass on what was just posted.
        if (delivering_)
            return;
        delivering_ = true;
        while (next_ < pending_.size()) {
            std::deque<Entry>& entries = pending_[next_];
            if (!entries.empty()) {
                const Entry entry = std::move(entries.front());
                entries.pop_front();
                held_ = entry.holdsRun;
                lock.unlock();
                entry.report(observer_);
                lock.lock();
                held_ = false;
                if (entry.holdsRun)
                    released_.notify_all();
            } else if (done_[next_]) {
                ++next_;
            } else {
                break;
            }
        }
        delivering_ = false;
    }

    std::mutex mutex_;
    std::condition_variable_any released_;
    std::vector<std::deque<Entry>> pending_;
    std::vector<bool> done_;
    std::size_t next_ = 0;
    bool delivering_ = false;
    bool held_ = false;
    ConversionObserver& observer_;
};

// A picture whose header gives no size may be anything up to the loader's
// limit.
constexpr std::uint64_t UnknownPictureBytes = MaxSurfaceBytes / 4 * ItemBytesPerPixel;

// What the items in progress may take together. Items are granted in list
// order: one that does not fit waits until earlier ones have finished.
class MemoryBudget {
public:
    explicit MemoryBudget(std::uint64_t total) : total_(total) {}

    std::uint64_t Total() const { return total_; }

    // Waits until the bytes fit, calling reclaimIdle (which answers whether
    // it gave anything back) before each wait; false when a stop came first.
    bool Acquire(std::uint64_t bytes, std::stop_token stop, const std::function<bool()>& reclaimIdle)
    {
        for (;;) {
            std::uint64_t releasesSeen = 0;
            {
                const std::lock_guard lock(mutex_);
                if (inUse_ + bytes <= total_) {
                    inUse_ += bytes;
                    return true;
                }
                releasesSeen = releases_;
            }
            if (reclaimIdle())
                continue;
            std::unique_lock lock(mutex_);
            if (!freed_.wait(lock, stop, [&] { return inUse_ + bytes <= total_ || releases_ != releasesSeen; }))
                return false;
        }
    }

    void Release(std::uint64_t bytes)
    {
        {
            const std::lock_guard lock(mutex_);
            inUse_ -= bytes;
            ++releases_;
        }
        freed_.notify_all();
    }

private:
    const std::uint64_t total_;
    std::mutex mutex_;
    std::condition_variable_any freed_;
    std::uint64_t inUse_ = 0;
    std::uint64_t releases_ = 0;
};

// The effect's surface and maps and the picture an input is read into take
// this many bytes per pixel; they are kept from item to item
// (BevelWorkspace), and counted in the budget while kept.
constexpr std::uint64_t WorkspaceBytesPerPixel = 10;

// Workspaces between items. An item takes one, and its memory, from here and
// gives it back when it ends; the bytes an idle workspace holds stay counted
// in the budget until an item that does not fit has them freed.
class WorkspacePool {
public:
    struct Lease {
        std::unique_ptr<BevelWorkspace> workspace;
        std::uint64_t counted = 0;  // the budget bytes that stand for it
    };

    explicit WorkspacePool(MemoryBudget& budget) : budget_(budget) {}

    // The largest idle workspace, or a new empty one.
    Lease Take()
    {
        const std::lock_guard lock(mutex_);
        if (idle_.empty())
            return {std::make_unique<BevelWorkspace>(), 0};
        const auto largest = std::max_element(idle_.begin(), idle_.end(),
                                              [](const Lease& a, const Lease& b) { return a.counted < b.counted; });
        Lease lease = std::move(*largest);
        idle_.erase(largest);
        return lease;
    }

    void Return(Lease lease)
    {
        const std::lock_guard lock(mutex_);
        idle_.push_back(std::move(lease));
    }

    // Frees every idle workspace and gives its bytes back to the budget;
    // false when there was none.
    bool FreeIdle()
    {
        std::vector<Lease> freed;
        {
            const std::lock_guard lock(mutex_);
            freed.swap(idle_);
        }
        std::uint64_t bytes = 0;
        for (const Lease& lease : freed)
            bytes += lease.counted;
        const bool any = !freed.empty();
        freed.clear();
        if (bytes > 0)
            budget_.Release(bytes);
        return any;
    }

private:
    MemoryBudget& budget_;
    std::mutex mutex_;
    std::vector<Lease> idle_;
};

std::uint64_t DefaultMemoryBudget()
{
    // Without a reading, a budget that a small machine still has.
    constexpr std::uint64_t fallback = 2ull << 30;
    const std::uint64_t physical = PhysicalMemoryBytes();
    return physical == 0 ? fallback : physical / 2;
}

std::string MiB(std::uint64_t bytes)
{
    return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB";
}

// An item's estimated peak from its file's size and its header's picture
// size. A file that cannot be read needs little: its load fails at once.
struct MemoryNeed {
    std::uint64_t bytes = 0;
    std::optional<PictureSize> size;
    std::uint64_t fileBytes = 0;
};

// Sides beyond 32 bits count as 32 bits, so that no product wraps: either is
// far beyond any budget.
std::uint64_t PixelCount(PictureSize size)
{
    constexpr std::uint64_t largestSide = 0xFFFF'FFFF;
    return std::min(size.width, largestSide) * std::min(size.height, largestSide);
}

MemoryNeed NeedForSize(std::uint64_t fileBytes, PictureSize size, std::uint64_t bytesPerPixel)
{
    constexpr std::uint64_t manyPixels = 1ull << 48;
    return {fileBytes + std::min(PixelCount(size), manyPixels) * bytesPerPixel, size, fileBytes};
}

// The pixels a reservation of `bytes` leaves room for once the file is read:
// the load refuses a picture larger than that, whatever its header said.
std::uint64_t AllowedPixels(std::uint64_t bytes, std::uint64_t fileBytes, std::uint64_t bytesPerPixel)
{
    return bytes > fileBytes ? std::min((bytes - fileBytes) / bytesPerPixel, MaxPicturePixels) : 0;
}

MemoryNeed EstimateMemoryNeed(const std::string& inputPath, std::uint64_t bytesPerPixel)
{
    MemoryNeed need;
    FileStart start;
    try {
        start = ReadFileStart(ToFileSystemPath(inputPath), ProbeBytes);
    } catch (const std::exception&) {
        return need;
    }
    need.size = ProbePictureSize(start.bytes);
    need.fileBytes = start.size;
    if (need.size)
        need.bytes = NeedForSize(start.size, *need.size, bytesPerPixel).bytes;
    else if (start.size <= start.bytes.size())
        need.bytes = start.size * 2;  // all of it seen, and no reader knew it
    else
        need.bytes = start.size + UnknownPictureBytes;
    return need;
}

// Flushes the items' outputs to the disk and renames them into place, one
// at a time on its own thread, while the workers go on with the next items:
// a worker waits for the disk only when more writes wait than there are
// workers, that is when the disk is what holds the run back.
class Flusher {
public:
    using Job = std::function<void()>;

    explicit Flusher(std::size_t capacity) : capacity_(capacity), thread_([this] { Loop(); }) {}
    Flusher(const Flusher&) = delete;
    Flusher& operator=(const Flusher&) = delete;
    ~Flusher() { Drain(); }

    void Post(Job job)
    {
        std::unique_lock lock(mutex_);
        notFull_.wait(lock, [&] { return jobs_.size() < capacity_; });
        jobs_.push_back(std::move(job));
        lock.unlock();
        ready_.notify_one();
    }

    // Runs every job posted, then ends the thread.
    void Drain()
    {
        {
            const std::lock_guard lock(mutex_);
            closing_ = true;
        }
        ready_.notify_one();
        if (thread_.joinable())
            thread_.join();
    }

private:
    void Loop()
    {
        for (;;) {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [&] { return closing_ || !jobs_.empty(); });
            if (jobs_.empty())
                return;
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            notFull_.notify_one();
            job();
        }
    }

    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable notFull_;
    std::deque<Job> jobs_;
    bool closing_ = false;
    std::thread thread_;  // last: it starts when the rest is ready
};

// How a worker left an item.
enum class ItemEnd {
    Ended,    // its result is known
    Stopped,  // a stop came between its steps
    Flushing,  // its output waits for the flusher, which ends it
    Larger     // its picture is larger than its reservation allows
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
            observer_.Message(std::string(NoFilesAddedMessage));
            return {};
        }
        if (FolderExists(request_.outputFolder) != std::optional<bool>(true)) {
            observer_.Message(std::string(FolderMissingMessage));
            return {};
        }
        std::string folder = request_.outputFolder;
        if (folder.back() != PathSeparator)
            folder += PathSeparator;
        // The folder is held open from here on: whatever is renamed under
        // its path while the run goes on, the outputs go into this folder.
        try {
            outputFolder_.emplace(OutputFolder::Open(ToFileSystemPath(request_.outputFolder)));
        } catch (const RuntimeError&) {
            observer_.Message(std::string(FolderMissingMessage));
            return {};
        }
        // Temporary files of writes killed before their rename; those of
        // writes still running (another run's) are locked and stay.
        RemoveStaleTemporaryFiles(*outputFolder_);
        if (const std::optional<std::string> refused = CheckOutputOptions(request_.output)) {
            observer_.Message("The output options cannot be used: " + *refused + ".");
            return {};
        }
        planner_.emplace(request_, folder);
        plans_ = planner_->Plan();
        std::set<std::string> subFolders;
        for (const ItemPlan& plan : plans_)
            if (!plan.subFolder.empty() && subFolders.insert(plan.subFolder).second)
                RemoveStaleTemporaryFilesBelow(plan.subFolder);

        try {
            parameters_ = ParseBevelParameters(request_.bevelSizeText, request_.lightAngleText,
                                               request_.lightElevationText, request_.decimalSeparator);
        } catch (const RuntimeError& error) {
            parameterFailure_ = FailureOf(LineBevel, error);
        }

        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
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
        summary.written = written_;
        summary.failed = failed_;
        summary.skipped = skipped_;
        summary.stopped = stopToken_.stop_requested();
        observer_.Progress(0, std::string(IdleProgressText));
        if (!summary.stopped)
            observer_.Message(std::string(DoneMessage));
        return summary;
    }

private:
    void Work()
    {
        for (;;) {
            std::size_t item = 0;
            Grant grant;
            std::optional<MemoryNeed> tooLarge;
            std::uint64_t fileBytes = 0;
            if (!reports_->WaitWhileHeld(stopToken_))
                return;
            {
                // Items are taken, and their memory granted, in list order.
                const std::lock_guard lock(takeMutex_);
                if (next_ >= plans_.size() || stopToken_.stop_requested())
                    return;
                item = next_;
                const MemoryNeed need = plans_[item].refusal || plans_[item].skip ? MemoryNeed{} : EstimateMemoryNeed(plans_[item].inputPath, plans_[item].bytesPerPixel);
                fileBytes = need.fileBytes;
                // A picture of unknown size runs alone rather than fail.
                if (need.size && need.bytes > budget_.Total())
                    tooLarge = need;
                else if (!Reserve(need, plans_[item].bytesPerPixel, grant))
                    return;
                ++next_;
                const double value = static_cast<double>(item + 1) / static_cast<double>(plans_.size()) * 100.0;
                const std::string text = "Processing: " + Printable(GetFileName(plans_[item].inputPath));
                reports_->Post(item, [value, text](ConversionObserver& observer) { observer.Progress(value, text); });
            }
            const auto started = std::chrono::steady_clock::now();
            ItemResult result;
            result.item = item;
            result.inputPath = plans_[item].inputPath;
            result.outputPath = plans_[item].outputPath;
            const ItemEnd end = tooLarge ? Fail(result, BeyondBudget(item, *tooLarge)) : ConvertWithin(result, grant, fileBytes, started);
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
    bool Reserve(const MemoryNeed& need, std::uint64_t bytesPerPixel, Grant& grant)
    {
        if (need.bytes == 0)
            return true;
        grant.lease = pool_.Take();
        const std::uint64_t estimate = std::min(need.bytes, budget_.Total());
        const std::uint64_t workspace = std::min(estimate, need.size ? PixelCount(*need.size) * WorkspaceBytesPerPixel : 0);
        grant.allowedPixels = AllowedPixels(estimate, need.fileBytes, bytesPerPixel);
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
    ItemEnd ConvertWithin(ItemResult& result, Grant& grant, std::uint64_t fileBytes, std::chrono::steady_clock::time_point started)
    {
        const std::uint64_t bytesPerPixel = plans_[result.item].bytesPerPixel;
        for (;;) {
            std::optional<PictureSize> larger;
            const ItemEnd end = Convert(result, grant.lease.workspace.get(), grant.allowedPixels, larger, started);
            if (end != ItemEnd::Larger)
                return end;
            GiveBack(grant);
            const MemoryNeed need = NeedForSize(fileBytes, *larger, bytesPerPixel);
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

    // Loads, bevels and encodes one item, and writes its output into a
    // temporary file that the flusher then puts in place. A JPEG that is
    // written as JPEG stays in the workspace's surface from its decoding to
    // its encoding; every other item goes through a picture.
    // The load refuses a picture of more than allowedPixels; its size is then
    // put in `larger`.
    ItemEnd Convert(ItemResult& result, BevelWorkspace* workspace, std::uint64_t allowedPixels, std::optional<PictureSize>& larger,
                    std::chrono::steady_clock::time_point started)
    {
        ItemPlan& plan = plans_[result.item];
        if (plan.refusal)
            return Fail(result, *plan.refusal, true);
        if (plan.skip)
            return Skip(result);

        // An item whose size nobody could tell took no workspace from the pool.
        std::optional<BevelWorkspace> own;
        BevelWorkspace& space = workspace != nullptr ? *workspace : own.emplace();
        // The input is read into the workspace's kept picture, and its memory
        // goes back there whatever happens to the item.
        PictureFile input;
        input.picture = std::move(space.KeptPicture());
        struct GiveBack {
            BevelWorkspace& space;
            PictureFile& input;
            ~GiveBack() { space.KeptPicture() = std::move(input.picture); }
        } giveBack{space, input};
        bool onSurface = false;
        if (auto failure = RunStep(LineLoad, [&] {
                const std::vector<std::uint8_t> bytes = ReadFileBytes(ToFileSystemPath(plan.inputPath));
                try {
                    if (plan.encoder == Encoder::Jpeg && LooksLikeJpeg(bytes))
                        onSurface = DecodeJpegIntoSurface(bytes, space, input.metadata, allowedPixels);
                    if (!onSurface)
                        LoadPictureFromBytes(bytes, input, allowedPixels);
                } catch (const PictureBeyondAllowance& beyond) {
                    larger = beyond.Size();
                } catch (const std::bad_alloc&) {
                    RaiseWithReason(ErrorNumber::OutOfMemory, "no memory to decode the picture");
                }
            }))
            return Fail(result, *failure);
        if (larger)
            return ItemEnd::Larger;
        if (parameterFailure_)
            return Fail(result, *parameterFailure_);

        if (auto failure = RunStep(LineBevel, [&] {
                if (onSurface)
                    space.Bevel(parameters_, engineThreads_);
                else
                    ApplyBevel(input.picture, input.picture, parameters_, engineThreads_, space);
            }))
            return Fail(result, *failure);
        if (stopToken_.stop_requested())
            return ItemEnd::Stopped;

        const OutputOptions& options = request_.output;
        SaveSettings settings;
        settings.quality = options.quality;
        settings.pngLevel = options.pngLevel;
        if (!options.stripMetadata)
            settings.metadata = std::move(input.metadata);
        auto write = std::make_shared<PendingWrite>();
        auto failure = RunStep(plan.saveLine, [&] {
            const std::filesystem::path outputPath = ToFileSystemPath(plan.outputPath);
            const auto encode = [&] {
                if (onSurface)
                    return EncodeSurfaceFile(space.Surface(), outputPath, settings);
                return EncodePictureFile(input.picture, plan.route != OutputRoute::Bitmap && input.hasAlpha, outputPath, settings);
            };
            const EncodedBytes bytes = plan.route == OutputRoute::JpegWriter ? EncodeForJpegWriter(encode, outputPath) : encode();
            try {
                const OutputFolder target =
                    plan.subFolder.empty() ? *outputFolder_ : *outputFolder_->Below(ToFileSystemPath(plan.subFolder), true);
                *write = StartWrite(target, GetFileName(plan.outputPath), bytes);
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
    BevelParameters parameters_;
    std::optional<StepFailure> parameterFailure_;
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

ConversionSummary RunConversion(const ConversionRequest& request, ConversionObserver& observer, std::stop_token stopToken)
{
    // Before the workers start: a program that has not loaded them yet from
    // its main thread has them loaded by the thread that runs it.
    LoadQtImagePlugins();
    return Run(request, observer, std::move(stopToken)).Execute();
}

} // namespace tollamere
