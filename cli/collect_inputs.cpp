// SPDX-License-Identifier: MIT
#include "collect_inputs.h"

#include "file_io.h"
#include "file_list.h"
#include "folder_scan.h"
#include "folders.h"
#include "format_registry.h"
#include "messages.h"
#include "path_text.h"
#include "run_steps.h"
#include "terminal.h"

#include <filesystem>
#include <iostream>
#include <set>

namespace tollamere {

namespace fs = std::filesystem;

bool AskedFor(const std::string& path, const std::string& extension)
{
    if (extension == "*") {
        const std::optional<std::string> found = FileExtension(path);
        return found && CanReadPictureExtension(*found);
    }
    return MatchesFilePattern(GetFileName(path), "*." + extension);
}

void CollectInputs(const std::vector<std::string>& paths, const std::string& extension,
                   const std::string& standardInputCopy, ConversionRequest& request, Collected& collected,
                   std::stop_token stop)
{
    std::set<std::string> outputFoldersSeen;
    ScanExclusions exclusions;
    exclusions.outputFolder = request.outputFolder;
    exclusions.everyName = true;
    exclusions.reportLeftOut = [&](const std::string& item, const std::string& reason) {
        if (reason != OutputFolderReason || outputFoldersSeen.insert(item).second)
            collected.leftOut.push_back({item, reason});
    };
    exclusions.reportUnlisted = [&](const std::string& item, const std::string& reason) {
        collected.failed.push_back({item, reason});
    };
    for (const std::string& path : paths) {
        if (stop.stop_requested())
            return;
        if (path == StandardStreamPath) {
            if (!standardInputCopy.empty()) {
                request.inputPaths.push_back(standardInputCopy);
                request.inputRoots.emplace_back();
            }
            continue;
        }
        if (FolderExists(path) != std::optional<bool>(true)) {
            request.inputPaths.push_back(path);
            request.inputRoots.emplace_back();
            continue;
        }
        const std::string root = FolderEntry(path);
        AddFolderFiles(
            path, std::string(AllFilesPattern),
            [&](const std::string& row) {
                if (!AskedFor(row, extension)) {
                    collected.skipped.push_back({row, std::string(ExtensionNotAskedFor)});
                    return;
                }
                request.inputPaths.push_back(row);
                request.inputRoots.push_back(root);
            },
            stop, [&](const std::string& item, const std::string& reason) { collected.skipped.push_back({item, reason}); },
            exclusions);
    }
}

std::string CopyStandardInput(const PrivateFolder& folder, const CliOptions& options, Collected& collected,
                              std::stop_token stop)
{
    if (!options.quiet && ReadingMayWait(std::string(StandardStreamPath)))
        std::cerr << "tollamere-cli: waiting for a picture on standard input...\n";
    const fs::path copy = folder.Path() / "stdin";
    try {
        if (!CopyStandardInputTo(copy, MaxPictureFileBytes, stop))
            return {};
        const FileFormat* format = FormatOfContent(InputFile::Open(copy, ProbeBytes).Start().bytes);
        if (format == nullptr)
            return ToPathText(copy);
        const fs::path named = folder.Path() / ("stdin." + std::string(format->PreferredExtension()));
        fs::rename(copy, named);
        return ToPathText(named);
    } catch (const RuntimeError& error) {
        ConversionFailure failure;
        failure.inputPath = ToPathText(copy);
        failure.lineNumber = LineLoad;
        failure.number = error.Number();
        failure.description = error.Description();
        collected.failed.push_back({std::string(StandardStreamPath), FailureWords(failure)});
    } catch (const fs::filesystem_error& error) {
        collected.failed.push_back({std::string(StandardStreamPath), error.code().message()});
    }
    return {};
}

std::optional<std::string> AddListedPaths(CliOptions& options)
{
    if (options.filesFrom.empty())
        return std::nullopt;
    const bool standardInput = options.filesFrom == StandardStreamPath;
    // A pipe nobody writes to, or a terminal, would otherwise hold the run
    // without a word.
    if (!options.quiet && ReadingMayWait(options.filesFrom))
        std::cerr << "tollamere-cli: waiting for the list on "
                  << (standardInput ? "standard input" : Printable(options.filesFrom)) << "...\n";
    FileListLimits limits;
    limits.longestPath = LongestPathBytes();
    std::string reason;
    std::optional<std::vector<std::string>> list =
        ReadFileList(options.filesFrom, options.nullSeparated, limits, reason);
    if (!list)
        return reason;
    const std::string shown = standardInput ? "standard input" : Printable(options.filesFrom);
    for (std::string& path : *list) {
        // A list names files; standard input is given as an argument.
        if (path == StandardStreamPath)
            return "the list " + shown + ": \"-\" is not a path here; a file named \"-\" is listed as \"./-\"";
        if (auto refused = CheckInputPath(path))
            return "the list " + shown + ": " + *refused;
        options.paths.push_back(std::move(path));
    }
    return std::nullopt;
}

std::optional<std::string> CheckOutputFolder(const std::string& folder)
{
    if (FolderExists(folder) == std::optional<bool>(true))
        return std::nullopt;
    return PathEntryExists(ToFileSystemPath(folder)) ? "not a folder" : "no such folder";
}

} // namespace tollamere
