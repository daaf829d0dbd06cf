#include "conversion_run.h"

#include "Main.h"
#include "SaveAsJPG.h"
#include "bevel_pipeline.h"
#include "picture_files.h"

#include <algorithm>
#include <atomic>
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

enum class OutputKind { Jpeg, Bitmap, Other };

struct StepFailure {
    int lineNumber = 0;
    ErrorNumber number = ErrorNumber::InvalidProcedureCall;
    std::string description;
};

// Where one item's output goes, decided for the whole list before any work,
// so that refusals do not depend on which worker comes first.
struct ItemPlan {
    std::string inputPath;
    std::string outputPath;
    OutputKind kind = OutputKind::Other;
    int saveLine = LineSaveOther;
    std::optional<StepFailure> refusal;
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

std::vector<ItemPlan> PlanOutputs(const std::vector<std::string>& inputPaths, const std::string& outputFolder)
{
    std::set<std::filesystem::path> inputs;
    for (const std::string& path : inputPaths)
        inputs.insert(Resolved(path));

    std::map<std::filesystem::path, std::string> claimedBy;
    std::vector<ItemPlan> plans;
    plans.reserve(inputPaths.size());
    for (const std::string& inputPath : inputPaths) {
        ItemPlan plan;
        plan.inputPath = inputPath;
        const std::string fileName = GetFileName(inputPath);
        std::string outputBase;
        try {
            outputBase = outputFolder + StripExtension(fileName);
        } catch (const RuntimeError& error) {
            plan.refusal = StepFailure{LineOutputBase, error.Number(),
                                       error.Description() + ": the file name has no extension"};
            plans.push_back(std::move(plan));
            continue;
        }
        const std::string extension = fileName.substr(fileName.rfind('.') + 1);
        const std::string lowerExtension = LowerCaseAscii(extension);
        if (lowerExtension == "jpg") {
            plan.kind = OutputKind::Jpeg;
            plan.saveLine = LineSaveJpeg;
            plan.outputPath = outputBase + ".jpg";
        } else if (lowerExtension == "bmp") {
            plan.kind = OutputKind::Bitmap;
            plan.saveLine = LineSaveBitmap;
            plan.outputPath = outputBase + "." + extension;
        } else {
            plan.outputPath = outputBase + "." + lowerExtension;
            if (!CanWritePictureExtension(lowerExtension))
                plan.refusal = Refusal(LineSaveOther, ErrorNumber::InvalidProcedureCall,
                                       "no picture format is known for the extension \"" + extension + "\"");
        }

        const std::filesystem::path output = Resolved(plan.outputPath);
        if (!plan.refusal && inputs.contains(output)) {
            plan.refusal = Refusal(plan.saveLine, ErrorNumber::PathFileAccessError,
                                   plan.outputPath + " is an input of this run and is not overwritten");
        } else if (!plan.refusal) {
            const auto [claim, isNew] = claimedBy.emplace(output, inputPath);
            if (!isNew)
                plan.refusal = Refusal(plan.saveLine, ErrorNumber::PathFileAccessError,
                                       plan.outputPath + " is written from " + claim->second + " in this run; " +
                                           inputPath + " would overwrite it");
        }
        plans.push_back(std::move(plan));
    }
    return plans;
}

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

class Run {
public:
    Run(const ConversionRequest& request, ConversionObserver& observer, std::stop_token stopToken)
        : request_(request), observer_(observer), stopToken_(std::move(stopToken))
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
        plans_ = PlanOutputs(request_.inputPaths, folder);

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
            std::vector<std::jthread> pool;
            for (std::size_t w = 1; w < workers; ++w)
                pool.emplace_back([this] { Work(); });
            Work();
        }

        ConversionSummary summary;
        summary.written = written_;
        summary.failed = failed_;
        summary.stopped = stopToken_.stop_requested();
        Notify([&] { observer_.Progress(0, std::string(IdleProgressText)); });
        if (!summary.stopped)
            Notify([&] { observer_.Message(std::string(DoneMessage)); });
        return summary;
    }

private:
    void Work()
    {
        EffectState state;
        for (;;) {
            std::size_t item = 0;
            {
                // Items are taken and announced under one lock, so progress
                // reaches the observer in list order.
                const std::lock_guard lock(observerMutex_);
                if (next_ >= plans_.size() || stopToken_.stop_requested())
                    return;
                item = next_++;
                const double value = static_cast<double>(item + 1) / static_cast<double>(plans_.size()) * 100.0;
                observer_.Progress(value, "Processing: " + GetFileName(plans_[item].inputPath));
            }
            Convert(item, state);
        }
    }

    void Convert(std::size_t item, EffectState& state)
    {
        const ItemPlan& plan = plans_[item];
        if (plan.refusal)
            return Fail(item, *plan.refusal);

        PictureFile input;
        if (auto failure = RunStep(LineLoad, [&] { input = LoadPictureFile(ToFileSystemPath(plan.inputPath)); }))
            return Fail(item, *failure);
        if (parameterFailure_)
            return Fail(item, *parameterFailure_);

        Picture output = input.picture;
        if (auto failure = RunStep(LineBevel, [&] { ApplyBevel(input.picture, output, parameters_, state, engineThreads_); }))
            return Fail(item, *failure);
        input.picture = Picture();
        if (stopToken_.stop_requested())
            return;

        const std::filesystem::path outputPath = ToFileSystemPath(plan.outputPath);
        auto failure = RunStep(plan.saveLine, [&] {
            switch (plan.kind) {
            case OutputKind::Jpeg: SavePictureAsJpeg(output, outputPath, 100); break;
            case OutputKind::Bitmap: SavePictureFile(output, false, outputPath); break;
            case OutputKind::Other: SavePictureFile(output, input.hasAlpha, outputPath); break;
            }
        });
        if (failure)
            return Fail(item, *failure);
        ++written_;
        Notify([&] { observer_.Written(item, plan.outputPath); });
    }

    void Fail(std::size_t item, const StepFailure& failure)
    {
        ++failed_;
        ConversionFailure report;
        report.item = item;
        report.inputPath = plans_[item].inputPath;
        report.lineNumber = failure.lineNumber;
        report.number = failure.number;
        report.description = failure.description;
        Notify([&] { observer_.Failure(report); });
    }

    template <typename Call>
    void Notify(Call&& call)
    {
        const std::lock_guard lock(observerMutex_);
        call();
    }

    const ConversionRequest& request_;
    ConversionObserver& observer_;
    std::stop_token stopToken_;
    std::vector<ItemPlan> plans_;
    BevelParameters parameters_;
    std::optional<StepFailure> parameterFailure_;
    unsigned engineThreads_ = 1;
    std::mutex observerMutex_;
    std::size_t next_ = 0;
    std::atomic<std::size_t> written_ = 0;
    std::atomic<std::size_t> failed_ = 0;
};

} // namespace

ConversionSummary RunConversion(const ConversionRequest& request, ConversionObserver& observer, std::stop_token stopToken)
{
    return Run(request, observer, std::move(stopToken)).Execute();
}

} // namespace tollamere
