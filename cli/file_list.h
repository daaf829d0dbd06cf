// SPDX-License-Identifier: MIT
#pragma once

// The lists --files-from reads: paths as bytes, one per entry.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tollamere {

// The most a list may hold. The run needs every path before it starts (it
// plans the outputs and numbers them), so reading the list as it comes saves
// its text but not its paths: without a cap, an endless source (/dev/zero, a
// pipe that never ends) would take all memory. 256 MiB is some two and a half
// million paths of a hundred bytes, and their copies take about as much
// again; larger batches are better split over several runs.
inline constexpr std::uint64_t LargestFileList = std::uint64_t{256} << 20;

struct FileListLimits {
    // The longest path the file system takes, in bytes, without the ending NUL.
    std::size_t longestPath = 0;
    // The most bytes the list may hold, separators and empty entries included.
    std::uint64_t largestList = LargestFileList;
};

// Splits a list into its paths as its bytes come, so that only the paths are
// kept, never the whole text. An entry ends at a line feed, or with
// nullSeparated at a NUL byte; only the separator is taken off: a name is
// bytes, so a "\r" before the line feed stays part of it. Empty entries are
// skipped but counted, so an entry's number is its line number.
class FileListSplitter {
public:
    FileListSplitter(bool nullSeparated, std::size_t longestPath);

    enum class Fault {
        None,
        LongerThanAPath,
        // A line holding a NUL byte names no file (the system would read it
        // cut short): most likely a NUL-separated list read without --null.
        HoldsNul,
    };

    // Takes the next bytes of the list; once an entry is at fault, says
    // which fault, and Entry() numbers the entry.
    Fault Take(std::string_view bytes);

    // The number, from 1, of the entry being read.
    std::size_t Entry() const { return entry_; }

    // The paths, with the last one even when no separator ended it.
    std::vector<std::string> Finish();

private:
    void EndEntry();

    char separator_;
    std::size_t longestPath_;
    std::size_t entry_ = 1;
    std::string partial_;
    std::vector<std::string> paths_;
};

// The paths of the whole text of a list, with no limit on their length, up
// to an entry holding a NUL byte in a list of lines.
std::vector<std::string> SplitFileList(std::string_view bytes, bool nullSeparated);

// The paths of the list at source ("-" for standard input), which may be a
// pipe, read as they come. Nothing, with the reason, when the list cannot be
// read ("cannot read the list ...: ..."), holds an entry at fault (the
// reason numbers it) or more than limits.largestList bytes (the reason says
// how much that is).
std::optional<std::vector<std::string>> ReadFileList(const std::string& source, bool nullSeparated,
                                                     const FileListLimits& limits, std::string& reason);

} // namespace tollamere
