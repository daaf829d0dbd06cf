// SPDX-License-Identifier: MIT
#include "folder_scan.h"

#include "file_path.h"

#include <QChar>
#include <QList>
#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

namespace tollamere {
namespace {

namespace fs = std::filesystem;

// Attribute bits of the file-attribute value the scan compares with.
constexpr int ReadOnly = 1;
constexpr int Hidden = 2;
constexpr int Folder = 16;
constexpr int Archive = 32;
constexpr int ReparsePoint = 1024;
// A hidden, writable regular file: the one value the scan leaves out.
constexpr int HiddenArchive = Hidden | Archive;

// An empty path or one with a NUL would reach the system as some other path
// (the NUL cuts it short), so such a path names nothing.
bool IsWellFormed(std::string_view path)
{
    return !path.empty() && path.find('\0') == std::string_view::npos;
}

std::string WithSeparator(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder.push_back('/');
    return folder;
}

} // namespace

// The first folder-list entry: absolute, single separators, ending with "/",
// so rows built from it never carry a doubled separator.
std::string FolderEntry(const std::string& folder)
{
    std::error_code error;
    const fs::path absolute = fs::absolute(ToFileSystemPath(folder), error);
    const std::string path = error ? folder : ToPathText(absolute);
    std::string entry;
    entry.reserve(path.size() + 1);
    for (const char c : path) {
        if (c != '/' || entry.empty() || entry.back() != '/')
            entry.push_back(c);
    }
    return WithSeparator(std::move(entry));
}

namespace {

// Simple (one to one) upper-case mapping per code point, the way NTFS
// compares names for its listing order; invalid bytes become U+FFFD.
std::u32string CaseKey(std::string_view utf8)
{
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    std::u32string key;
    key.reserve(static_cast<std::size_t>(text.size()));
    for (const char32_t codePoint : text.toUcs4())
        key.push_back(QChar::toUpper(codePoint));
    return key;
}

// Case-insensitive order, then the exact bytes, so that names differing only
// in case still come in the same order on every machine.
void SortInListingOrder(std::vector<std::string>& names)
{
    std::vector<std::pair<std::u32string, std::string>> keyed;
    keyed.reserve(names.size());
    for (std::string& name : names)
        keyed.emplace_back(CaseKey(name), std::move(name));
    std::sort(keyed.begin(), keyed.end());
    names.clear();
    for (auto& [key, name] : keyed)
        names.push_back(std::move(name));
}

// The wildcard match on names already mapped by CaseKey.
bool MatchesCaseKeys(const std::u32string& text, const std::u32string& wildcard)
{
    const std::size_t length = text.size();

    // later[j] tells whether the pattern from position i + 1 on matches the
    // name from position j on; one row per pattern position, built backwards.
    std::vector<char> later(length + 1, 0);
    later[length] = 1;
    std::vector<char> current(length + 1, 0);
    for (std::size_t i = wildcard.size(); i-- > 0;) {
        const char32_t symbol = wildcard[i];
        for (std::size_t j = length + 1; j-- > 0;) {
            if (symbol == U'*')
                current[j] = later[j] || (j < length && current[j + 1]);
            else if (j == length)
                current[j] = symbol == U'.' && later[j];
            else
                current[j] = (symbol == U'?' || symbol == text[j]) && later[j + 1];
        }
        std::swap(later, current);
    }
    return later[0] != 0;
}

constexpr const char* UnsafeNameReason = "the name holds characters the scan does not accept";

bool IsRefused(const std::error_code& error)
{
    return error == std::errc::permission_denied || error == std::errc::operation_not_permitted;
}

constexpr const char* HiddenFolderReason = "hidden folder";

// A folder that vanished while the scan ran had nothing left to leave out.
void ReportListingFailure(const std::string& folder, const std::error_code& error, const SkipSink& skipSink,
                          const ScanExclusions& exclusions)
{
    const SkipSink& reportSkip = exclusions.reportUnlisted ? exclusions.reportUnlisted : skipSink;
    if (!reportSkip || error == std::errc::no_such_file_or_directory)
        return;
    std::string reason = IsRefused(error) ? "permission denied" : error.message();
    if (!reason.empty() && reason.front() >= 'A' && reason.front() <= 'Z')
        reason.front() = static_cast<char>(reason.front() - 'A' + 'a');
    reportSkip(folder, "the folder cannot be listed: " + reason);
}

// Reported in listing order, so the same tree gives the same report everywhere.
void ReportNames(const std::string& folder, std::vector<std::string> names, const char* suffix,
                 std::string_view reason, const SkipSink& report)
{
    if (!report)
        return;
    SortInListingOrder(names);
    for (const std::string& name : names)
        report(folder + name + suffix, std::string(reason));
}

// True when the folder is the output folder: the same file, by device and
// inode, so that "dir/./out", a link to it or a bind mount count too.
bool IsOutputFolder(const fs::path& folder, const ScanExclusions& exclusions)
{
    if (exclusions.outputFolder.empty())
        return false;
    std::error_code error;
    return fs::equivalent(folder, ToFileSystemPath(exclusions.outputFolder), error) && !error;
}

// Appends the folder's direct sub-folders, in listing order, to found.
// Answers false when the listing was refused; any other failure ends the
// listing and keeps what was found before it.
bool AppendSubFolders(const std::string& listedFolder, std::vector<std::string>& found, const SkipSink& reportSkip,
                      const ScanExclusions& exclusions)
{
    if (!IsWellFormed(listedFolder))
        return true;
    const std::string folder = WithSeparator(listedFolder);
    std::error_code error;
    fs::directory_iterator entry(ToFileSystemPath(folder), error);
    if (error) {
        ReportListingFailure(folder, error, reportSkip, exclusions);
        return !IsRefused(error);
    }

    std::vector<std::string> names;
    std::vector<std::string> unsafeNames;
    std::vector<std::string> hiddenNames;
    std::vector<std::string> links;
    std::vector<std::string> outputFolders;
    for (const fs::directory_iterator end; entry != end; entry.increment(error)) {
        std::error_code statusError;
        // symlink_status: a link to a folder is not followed, so a link back
        // up the tree cannot make the walk endless.
        const fs::file_type type = entry->symlink_status(statusError).type();
        if (type == fs::file_type::symlink && entry->is_directory(statusError))
            links.push_back(ToPathText(entry->path().filename()));
        if (type != fs::file_type::directory)
            continue;
        std::string name = ToPathText(entry->path().filename());
        if (IsOutputFolder(entry->path(), exclusions))
            outputFolders.push_back(std::move(name));
        else if (exclusions.everyName)
            (IsHiddenName(name) ? hiddenNames : names).push_back(std::move(name));
        else
            (HasUnsafeCharacters(name) ? unsafeNames : names).push_back(std::move(name));
    }
    SortInListingOrder(names);
    for (const std::string& name : names)
        found.push_back(folder + name + '/');
    ReportNames(folder, std::move(unsafeNames), "/", UnsafeNameReason, reportSkip);
    ReportNames(folder, std::move(hiddenNames), "/", HiddenFolderReason, reportSkip);
    ReportNames(folder, std::move(outputFolders), "/", OutputFolderReason, exclusions.reportLeftOut);
    ReportNames(folder, std::move(links), "/", FolderLinkReason, exclusions.reportLeftOut);
    return true;
}

// Lists the sub-folders of every entry of level into next, and answers the
// entries that stay: all but those whose listing was refused. After a stop
// request the rest are kept unlisted.
std::vector<std::string> ExpandLevel(std::vector<std::string> level, std::vector<std::string>& next,
                                     const std::stop_token& stop, const SkipSink& reportSkip,
                                     const ScanExclusions& exclusions)
{
    std::vector<std::string> kept;
    kept.reserve(level.size());
    for (std::string& folder : level) {
        if (!stop.stop_requested() && !AppendSubFolders(folder, next, reportSkip, exclusions))
            continue;
        kept.push_back(std::move(folder));
    }
    return kept;
}

void Append(std::vector<std::string>& list, std::vector<std::string>&& more)
{
    list.insert(list.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
}

int AttributeValue(const std::string& path)
{
    std::error_code error;
    const fs::path filePath = ToFileSystemPath(path);
    const fs::file_status link = fs::symlink_status(filePath, error);
    if (error)
        return 0;
    const fs::file_status target = fs::is_symlink(link) ? fs::status(filePath, error) : link;

    int value = 0;
    if (ToPathText(filePath.filename()).starts_with('.'))
        value |= Hidden;
    if (fs::is_directory(target))
        value |= Folder;
    if (fs::is_regular_file(target))
        value |= Archive;
    if (fs::exists(target) && (target.permissions() & fs::perms::owner_write) == fs::perms::none)
        value |= ReadOnly;
    if (fs::is_symlink(link))
        value |= ReparsePoint;
    return value;
}

bool IsFolder(const std::string& path)
{
    std::error_code error;
    return IsWellFormed(path) && fs::is_directory(ToFileSystemPath(path), error);
}

std::vector<std::string> ListMatchingFiles(const std::string& folder, const std::string& pattern,
                                           const SkipSink& reportSkip, bool everyName)
{
    std::vector<std::string> names;
    if (!IsWellFormed(folder))
        return names;
    const std::string entry = WithSeparator(folder);
    std::error_code error;
    fs::directory_iterator file(ToFileSystemPath(entry), error);
    if (error)
        return names;
    const std::u32string wildcard = CaseKey(pattern);
    std::vector<std::string> unsafeNames;
    for (const fs::directory_iterator end; file != end; file.increment(error)) {
        std::string name = ToPathText(file->path().filename());
        if (MatchesCaseKeys(CaseKey(name), wildcard) && IsExistingFile(entry + name))
            (!everyName && HasUnsafeCharacters(name) ? unsafeNames : names).push_back(std::move(name));
    }
    SortInListingOrder(names);
    ReportNames(entry, std::move(unsafeNames), "", UnsafeNameReason, reportSkip);
    return names;
}

} // namespace

bool IsHiddenName(std::string_view name)
{
    return name.starts_with('.');
}

std::optional<std::string_view> SkippedByName(std::string_view name)
{
    if (name.starts_with('~'))
        return TildeNameReason;
    if (IsHiddenName(name))
        return HiddenFileReason;
    return std::nullopt;
}

bool HasUnsafeCharacters(std::string_view name)
{
    // UTF-8 stands in for the old single-byte code page: a byte sequence it
    // cannot decode is the character that would have come back as "?".
    // Stateless: a sequence cut off at the end is an error, not held back.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder(QByteArrayView(name.data(), static_cast<qsizetype>(name.size())));
    if (decoder.hasError())
        return true;
    for (const char32_t codePoint : text.toUcs4()) {
        if (codePoint < 32 || (codePoint >= 127 && codePoint <= 159) || codePoint == U'?')
            return true;
    }
    return false;
}

bool MatchesFilePattern(std::string_view name, std::string_view pattern)
{
    return MatchesCaseKeys(CaseKey(name), CaseKey(pattern));
}

bool IsExistingFile(const std::string& path)
{
    // Only the file's status is read: opening could block on a named pipe
    // put in its place, and an unreadable file should still reach the run,
    // which reports why it cannot be read.
    std::error_code error;
    return IsWellFormed(path) && fs::is_regular_file(ToFileSystemPath(path), error);
}

std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern)
{
    return ListMatchingFiles(folder, pattern, {}, false);
}

void CollectSubFolders(std::vector<std::string>& folders, bool recurse, std::stop_token stop,
                       const SkipSink& reportSkip, const ScanExclusions& exclusions)
{
    // No folder here is a system folder, so the hidden-and-system test that
    // keeps a folder out of the walk never holds: every listed folder stays.
    std::vector<std::string> next;
    folders = ExpandLevel(std::move(folders), next, stop, reportSkip, exclusions);
    while (recurse && !next.empty() && !stop.stop_requested()) {
        std::vector<std::string> deeper;
        Append(folders, ExpandLevel(std::move(next), deeper, stop, reportSkip, exclusions));
        next = std::move(deeper);
    }
    if (!recurse)
        Append(folders, std::move(next));
}

void AddFolderFiles(const std::string& folder, const std::string& pattern, const RowSink& addRow,
                    std::stop_token stop, const SkipSink& reportSkip, const ScanExclusions& exclusions)
{
    // An empty folder would turn into "/" and scan the whole file system.
    if (folder.empty())
        return;
    const auto skip = [&reportSkip](const std::string& path, const char* reason) {
        if (reportSkip)
            reportSkip(path, reason);
    };
    std::vector<std::string> folders{FolderEntry(folder)};
    CollectSubFolders(folders, true, stop, reportSkip, exclusions);
    for (const std::string& entry : folders) {
        if (stop.stop_requested())
            return;
        for (const std::string& name : ListMatchingFiles(entry, pattern, reportSkip, exclusions.everyName)) {
            std::string path = entry + name;
            const std::optional<std::string_view> byName = SkippedByName(name);
            const bool hidden = exclusions.everyName ? byName.has_value() : AttributeValue(path) == HiddenArchive;
            if (name.front() == '~')
                skip(path, TildeNameReason.data());
            else if (!IsExistingFile(path))
                continue;
            else if (hidden)
                skip(path, HiddenFileReason.data());
            else
                addRow(path);
        }
    }
}

void AddDroppedPaths(const std::vector<std::string>& droppedPaths, const RowSink& addRow, std::stop_token stop,
                     const ScanExclusions& exclusions)
{
    for (const std::string& path : droppedPaths) {
        if (stop.stop_requested())
            return;
        if (IsFolder(path))
            AddFolderFiles(path, std::string(AllFilesPattern), addRow, stop, {}, exclusions);
        else
            addRow(path);
    }
}

} // namespace tollamere
