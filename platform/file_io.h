// SPDX-License-Identifier: MIT
#pragma once

// Reading and safely replacing files, the output folder held open and the
// run's temporary files. A path here is bytes, passed to the system exactly as
// given; messages show it through Printable.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tollamere {

// Files larger than this cannot hold a picture within MaxSurfaceBytes in any
// format read here (an uncompressed 16-bit TIFF or a text PPM comes closest).
inline constexpr std::uint64_t MaxPictureFileBytes = 2048ull * 1024 * 1024;

// Reads a whole regular file without changing it. It is opened so that a
// pipe, device or folder put in its place can never block, then checked.
// Raises File not found (53), Permission denied (70), Out of memory (7)
// beyond MaxPictureFileBytes, and Path/File access error (75) for anything
// else; the reason names the path.
std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);

// The first bytes of a file (all of a shorter one) and its size, for a look
// at its header.
struct FileStart {
    std::vector<std::uint8_t> bytes;
    std::uint64_t size = 0;
};

// A file opened once for a look at its header and, later, a read of all of
// it: what is read whole is the file whose header was looked at, whatever
// has been renamed in between. Opened and checked as ReadFileBytes does.
class InputFile {
public:
    // Raises as ReadFileBytes.
    static InputFile Open(const std::filesystem::path& path, std::size_t startBytes);

    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    ~InputFile();

    // The first startBytes bytes (all of a shorter file) and the file's size.
    const FileStart& Start() const noexcept { return start_; }

    // The whole file: the first bytes kept and the rest read now. It may be
    // asked for again. Raises as ReadFileBytes.
    std::vector<std::uint8_t> ReadAll() const;

private:
    InputFile() = default;

    int fd_ = -1;
    std::filesystem::path path_;
    FileStart start_;
};

// Writes the bytes to a temporary file in the target's folder, flushes it to
// the disk and renames it over the target, so the target is either the old
// file or the complete new one. A link at the target is replaced by the file,
// as a rename does, and what it pointed to is never touched. Raises
// Permission denied (70) where the folder or the target may not be written,
// and Path/File access error (75) for a missing folder, a full disk, a
// folder at the target or any other failure.
void WriteFileReplacing(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// True when anything, a dangling link included, has that name.
bool PathEntryExists(const std::filesystem::path& path);

class PendingWrite;

// A folder that outputs are written into, held open: every file in it is
// created, renamed and removed relative to the open folder, never by a path
// walked again, so that a folder swapped for a link while a run writes
// cannot take a file anywhere else. Copies share the open folder.
class OutputFolder {
public:
    // Opens the folder at path; a link the caller named is followed here,
    // once. Raises Path/File access error (75) for a missing folder or
    // anything that is not a folder, Permission denied (70) where it may
    // not be opened.
    static OutputFolder Open(const std::filesystem::path& path);

    // The folders of `relative` below this one, opened one level at a time
    // without following a link, and created where missing when `create`
    // (else nothing where one is missing). A link or a file where a folder
    // should be raises Path/File access error (75), so that nothing is
    // written outside this folder through a link.
    std::optional<OutputFolder> Below(const std::filesystem::path& relative, bool create) const;

    const std::filesystem::path& Path() const noexcept { return path_; }

    // Raises Path/File access error (75) when the folder's path no longer
    // leads to the folder that was opened: it was removed, moved, or
    // replaced by a link or another folder.
    void CheckStillInPlace() const;

    struct Node;

private:
    OutputFolder(std::shared_ptr<const Node> node, std::filesystem::path path);

    std::shared_ptr<const Node> node_;
    std::filesystem::path path_;

    friend class PendingWrite;
    friend PendingWrite StartWrite(const OutputFolder& folder, const std::string& name, std::span<const std::uint8_t> bytes);
    friend std::size_t RemoveStaleTemporaryFiles(const OutputFolder& folder, bool subFolders);
};

// A file being written: its bytes are in a locked temporary file in its
// folder, not yet flushed to the disk nor renamed, so that the flush can run
// while other work goes on. Dropped unfinished, it removes its temporary file.
class PendingWrite {
public:
    PendingWrite() = default;
    PendingWrite(PendingWrite&& other) noexcept;
    PendingWrite& operator=(PendingWrite&& other) noexcept;
    ~PendingWrite();

    // Flushes the file to the disk and renames it to `name` in its folder,
    // over whatever is there when replace, else only where nothing is: false
    // then, with the file kept for another name. A folder that is no longer
    // where it was raises Path/File access error (75); otherwise raises as
    // WriteFileReplacing. The temporary file is removed on any failure.
    bool Finish(const std::string& name, bool replace);

private:
    friend PendingWrite StartWrite(const OutputFolder& folder, const std::string& name, std::span<const std::uint8_t> bytes);
    void Abandon() noexcept;

    int fd_ = -1;
    std::optional<OutputFolder> folder_;
    std::string temporary_;
};

// The first half of WriteFileReplacing: the bytes into a temporary file in
// the folder, for the file `name` there (one name, no folders). Raises as
// WriteFileReplacing.
PendingWrite StartWrite(const OutputFolder& folder, const std::string& name, std::span<const std::uint8_t> bytes);

// True for the names WriteFileReplacing gives its temporary files.
bool IsTemporaryFileName(std::string_view name);

// Removes, from that folder (and with subFolders, from every folder below it,
// never through a link), the temporary files a write left behind when its
// process was killed: files of the temporary pattern that no write holds
// locked, however new. Answers how many went; failures are silent.
std::size_t RemoveStaleTemporaryFiles(const OutputFolder& folder, bool subFolders = false);


} // namespace tollamere
