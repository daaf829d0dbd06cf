// SPDX-License-Identifier: MIT
#include "output_planner.h"

#include "file_io.h"
#include "path_text.h"

namespace tollamere {

std::filesystem::path Resolved(const std::string& path)
{
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(ToFileSystemPath(path), error);
    if (error)
        return std::filesystem::absolute(ToFileSystemPath(path), error).lexically_normal();
    return resolved;
}

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

OutputPlanner::OutputPlanner(const ConversionRequest& request, std::string folder)
    : request_(request), folder_(std::move(folder))
{
    for (const std::string& path : request.inputPaths)
        inputs_.insert(Resolved(path));
}

std::vector<ItemPlan> OutputPlanner::Plan()
{
    std::vector<ItemPlan> plans;
    const std::vector<std::string> formats = OutputFormats(request_.output);
    const std::vector<OutputScale> scales = OutputScales(request_.output);
    plans.reserve(request_.inputPaths.size() * formats.size() * scales.size());
    for (std::size_t row = 0; row < request_.inputPaths.size(); ++row)
        for (const std::string& format : formats) {
            // An icon holds its own sizes: one file, whatever the scales.
            const std::optional<PictureFormat> known = FormatForExtension(format);
            if (known && known->format && known->format->encodeSizes) {
                plans.push_back(PlanItem(row, format, OutputScale{}));
                continue;
            }
            for (const OutputScale& scale : scales)
                plans.push_back(PlanItem(row, format, scale));
        }
    return plans;
}

std::optional<std::string> OutputPlanner::NextFreeName(ItemPlan& plan)
{
    const std::lock_guard lock(mutex_);
    while (++plan.attempt <= MaxAttempts) {
        std::string candidate = NameFor(plan, plan.attempt);
        if (Claim(candidate, plan.inputPath))
            return candidate;
    }
    return std::nullopt;
}

ItemPlan OutputPlanner::PlanItem(std::size_t row, const std::string& chosenFormat, const OutputScale& scale)
{
    const OutputOptions& options = request_.output;
    ItemPlan plan;
    plan.row = row;
    plan.inputPath = request_.inputPaths[row];
    plan.scale = scale;
    plan.resized = Resizes(options, scale);
    const std::string fileName = GetFileName(plan.inputPath);
    const std::optional<std::string> inputExtension = FileExtension(fileName);
    // A chosen format needs no extension to follow.
    if (!inputExtension && chosenFormat.empty()) {
        plan.refusal = StepFailure{LineOutputBase, ErrorNumber::InvalidProcedureCall,
                                   StandardDescription(ErrorNumber::InvalidProcedureCall) + ": the file name has no extension"};
        return plan;
    }
    const std::string extension = chosenFormat.empty() ? *inputExtension : chosenFormat;
    if (options.structure == OutputOptions::Structure::KeepFolders && row < request_.inputRoots.size())
        plan.subFolder = FoldersBelowRoot(plan.inputPath, request_.inputRoots[row]);
    plan.stem = folder_ + plan.subFolder + ExpandNamePattern(options.namePattern, fileName, row + 1, scale.label);
    // "{name}@2x": the default name of a size other than the input's own.
    if (scale.factor != 1.0 && options.namePattern.find("{scale}") == std::string::npos)
        plan.stem += "@" + scale.label;

    const std::optional<PictureFormat>& format = plan.format = FormatForExtension(extension);
    if (format && format->format && format->format->encodeSizes)
        plan.resized = false;
    plan.route = format ? format->route : OutputRoute::OwnFormat;
    plan.encoder = format ? format->encoder : Encoder::Qt;
    plan.bytesPerPixel =
        (format ? format->peakBytesPerPixel : ItemBytesPerPixel) + DecorationBytesPerPixel(request_.parameters.look.decoration);
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
        if (!format && CanReadPictureExtension(extension))
            plan.refusal = Refusal(LineSaveOther, ErrorNumber::InvalidProcedureCall,
                                   "pictures of the extension \"" + Printable(extension) +
                                       "\" are read but not written here; choose an output format for them");
        else if (!format)
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

std::string OutputPlanner::NameFor(const ItemPlan& plan, unsigned attempt)
{
    return (attempt <= 1 ? plan.stem : NumberedName(plan.stem, attempt)) + plan.suffix;
}

bool OutputPlanner::Claim(const std::string& name, const std::string& inputPath)
{
    const std::filesystem::path resolved = Resolved(name);
    if (inputs_.contains(resolved) || claimedBy_.contains(resolved) || PathEntryExists(ToFileSystemPath(name)))
        return false;
    claimedBy_.emplace(resolved, inputPath);
    return true;
}

} // namespace tollamere
