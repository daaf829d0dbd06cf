// SPDX-License-Identifier: MIT
#pragma once

// Folder scan: fills the input list from whole folder trees and from dropped
// files and folders.
//
// Every path and name here is a std::string holding the bytes the file
// system knows it by (UTF-8 where the name is valid text), with "/" as the
// only separator. Folder-list entries end with "/"; rows never hold a doubled
// separator. The routines keep no state between calls, so independent calls
// may run on different threads at once.

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace tollamere {

// Receives each row, in order, as soon as it is found (on the scanning thread).
using RowSink = std::function<void(const std::string& row)>;

// Receives each file or sub-folder the scan leaves out by its own rules, with
// the reason in plain words; a folder's path ends with "/". Files that do not
// match the pattern are not left out, just not asked for, and are not passed.
using SkipSink = std::function<void(const std::string& path, const std::string& reason)>;

// The reasons a scan gives for what it leaves out by design.
inline constexpr std::string_view OutputFolderReason = "the output folder";
inline constexpr std::string_view FolderLinkReason = "a link to a folder, not followed";

// What a scan leaves out by design rather than for a fault, and who hears of it.
struct ScanExclusions {
    // The folder the outputs go to; empty for none. A sub-folder that is this
    // folder (the same device and inode, whatever path names it) is left out,
    // so that a run does not take its earlier outputs for inputs. The scanned
    // folder itself is always scanned.
    std::string outputFolder;
    // Hears of each folder left out by design: the output folder, and every
    // symbolic link to a folder (never followed); the path ends with "/".
    SkipSink reportLeftOut;
    // The command line's rules instead of the window's: every name the file
    // system holds is taken (a TAB, bytes that are not UTF-8), and a name
    // starting with "." is hidden, a folder's as a file's, so that neither
    // is scanned.
    bool everyName = false;
    // Hears, when set, of each folder whose listing failed, in place of
    // reportSkip: a fault rather than a rule.
    SkipSink reportUnlisted;
};

// The command line's rule for a file's name: why it is left out (a program's
// "~" copy, a hidden name), or nothing when it is taken. A folder is left
// out when its name is hidden (IsHiddenName).
inline constexpr std::string_view TildeNameReason = "the name starts with \"~\"";
inline constexpr std::string_view HiddenFileReason = "hidden file";
std::optional<std::string_view> SkippedByName(std::string_view name);
bool IsHiddenName(std::string_view name);

// A folder's path as a scan's rows start with it: absolute, single
// separators, ending with "/".
std::string FolderEntry(const std::string& folder);

// The pattern a drop and the "*" answer of Add All use: every file.
inline constexpr std::string_view AllFilesPattern = "*.*";

// True when the name holds a character the scan does not accept: a code
// point below 32, from 127 to 159, "?", or bytes that are not valid UTF-8.
bool HasUnsafeCharacters(std::string_view name);

// Wildcard match ignoring case: "*" any run of characters, "?" exactly one,
// and a "." may also match the end of the name, so "*.*" matches "README".
bool MatchesFilePattern(std::string_view name, std::string_view pattern);

// True when the path names an existing regular file (following a symbolic
// link). Looks at the file only: it is never opened or changed.
bool IsExistingFile(const std::string& path);

// The names, without folder, of the existing files in that one folder that
// match the pattern, in listing order. Hidden files are included; folders,
// and names with unsafe characters, are not. Empty when there are none or
// the folder cannot be listed.
std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern);

// Extends the list of folders (each ending with "/") with the sub-folders of
// its entries: with recurse, the whole tree in level order (all first-level
// sub-folders ordered by parent and then by name, then the second level, ...),
// otherwise one level. An entry whose listing is refused is removed. Symbolic
// links to folders are not followed. Stops early, keeping what it has, once
// a stop is requested. reportSkip hears of each folder left out: a refused
// or failed listing, a name with unsafe characters. The exclusions leave out
// the output folder, and hear of it and of the links to folders.
void CollectSubFolders(std::vector<std::string>& folders, bool recurse, std::stop_token stop = {},
                       const SkipSink& reportSkip = {}, const ScanExclusions& exclusions = {});

// Passes to addRow the full path of every matching file of the folder tree:
// the folder's own files, then those of each sub-folder in the order of
// CollectSubFolders. Names starting with "~" and hidden files (attribute
// value 34) are left out. The stop request is checked once per folder.
// An empty folder path scans nothing. reportSkip hears of every matching file
// and every folder the scan leaves out, with the reason; the exclusions, as
// for CollectSubFolders.
void AddFolderFiles(const std::string& folder, const std::string& pattern, const RowSink& addRow,
                    std::stop_token stop = {}, const SkipSink& reportSkip = {},
                    const ScanExclusions& exclusions = {});

// What a drop adds, in drop order: a folder is scanned with every file (and
// the exclusions); anything else becomes a row exactly as dropped, without
// any test.
void AddDroppedPaths(const std::vector<std::string>& droppedPaths, const RowSink& addRow,
                     std::stop_token stop = {}, const ScanExclusions& exclusions = {});

} // namespace tollamere
