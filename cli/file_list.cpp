// SPDX-License-Identifier: MIT
#include "file_list.h"

#include "runtime_error.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>

namespace tollamere {
namespace {

// Read at a time: large enough that an endless source reaches the cap in a
// few thousand reads.
constexpr std::size_t ReadBytes = std::size_t{1} << 20;

// "1 GiB", "64 KiB", "1000 bytes": the cap as a person would write it.
std::string SizeText(std::uint64_t bytes)
{
    const char* const units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
    std::size_t unit = 0;
    while (unit + 1 < std::size(units) && bytes != 0 && bytes % 1024 == 0) {
        bytes /= 1024;
        ++unit;
    }
    return std::to_string(bytes) + " " + units[unit];
}

} // namespace

FileListSplitter::FileListSplitter(bool nullSeparated, std::size_t longestPath)
    : separator_(nullSeparated ? '\0' : '\n'), longestPath_(longestPath)
{
}

FileListSplitter::Fault FileListSplitter::Take(std::string_view bytes)
{
    while (!bytes.empty()) {
        const std::size_t end = std::min(bytes.find(separator_), bytes.size());
        if (end > longestPath_ - partial_.size())
            return Fault::LongerThanAPath;
        if (bytes.substr(0, end).find('\0') != std::string_view::npos)
            return Fault::HoldsNul;
        partial_.append(bytes.substr(0, end));
        if (end == bytes.size())
            return Fault::None;
        // A run of separators is a run of empty entries: counted at once, as
        // a NUL-separated /dev/zero is nothing else.
        const std::size_t next = std::min(bytes.find_first_not_of(separator_, end), bytes.size());
        EndEntry();
        entry_ += next - end - 1;
        bytes.remove_prefix(next);
    }
    return Fault::None;
}

std::vector<std::string> FileListSplitter::Finish()
{
    EndEntry();
    return std::move(paths_);
}

void FileListSplitter::EndEntry()
{
    if (!partial_.empty())
        paths_.push_back(std::move(partial_));
    partial_.clear();
    ++entry_;
}

std::vector<std::string> SplitFileList(std::string_view bytes, bool nullSeparated)
{
    FileListSplitter splitter(nullSeparated, std::numeric_limits<std::size_t>::max());
    splitter.Take(bytes);
    return splitter.Finish();
}

std::optional<std::vector<std::string>> ReadFileList(const std::string& source, bool nullSeparated,
                                                     const FileListLimits& limits, std::string& reason)
{
    const bool standardInput = source == "-";
    const std::string shown = "the list " + (standardInput ? std::string("on standard input") : Printable(source));
    const auto failed = [&](int error) {
        std::string text = std::strerror(error);
        if (!text.empty() && text.front() >= 'A' && text.front() <= 'Z')
            text.front() = static_cast<char>(text.front() - 'A' + 'a');
        reason = "cannot read " + shown + ": " + text;
        return std::nullopt;
    };

    // Standard streams and fopen rather than the picture reader: a list is
    // often a pipe ("<(find ...)"), which that reader refuses on purpose.
    std::FILE* file = standardInput ? stdin : std::fopen(source.c_str(), "rb");
    if (file == nullptr)
        return failed(errno);
    FileListSplitter splitter(nullSeparated, limits.longestPath);
    const auto buffer = std::make_unique<char[]>(ReadBytes);
    std::uint64_t total = 0;
    bool fits = true;
    while (const std::size_t count = std::fread(buffer.get(), 1, ReadBytes, file)) {
        total += count;
        if (total > limits.largestList) {
            reason = shown + " holds more than " + SizeText(limits.largestList) + ", the most a list may hold";
            fits = false;
            break;
        }
        const FileListSplitter::Fault fault = splitter.Take(std::string_view(buffer.get(), count));
        if (fault != FileListSplitter::Fault::None) {
            reason = shown + ", " + (nullSeparated ? "entry " : "line ") + std::to_string(splitter.Entry()) + ": " +
                     (fault == FileListSplitter::Fault::HoldsNul
                          ? "holds a NUL byte, which no path has (--null reads NUL-separated lists)"
                          : "longer than the " + std::to_string(limits.longestPath) + " bytes a path may have");
            fits = false;
            break;
        }
    }
    const int error = fits && std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
    if (!standardInput)
        std::fclose(file);
    if (!fits)
        return std::nullopt;
    if (error != 0)
        return failed(error);
    return splitter.Finish();
}

} // namespace tollamere
