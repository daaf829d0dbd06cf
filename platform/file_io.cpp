// SPDX-License-Identifier: MIT
#include "file_io.h"

#include "descriptors.h"
#include "runtime_error.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <system_error>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tollamere {
namespace {

// ".tollamere-" + 12 hexadecimal digits + ".tmp": 27 bytes, so a temporary
// name fits every file system's name limit whatever the target's length.
constexpr std::string_view TemporaryPrefix = ".tollamere-";
constexpr std::string_view TemporarySuffix = ".tmp";
constexpr std::size_t TemporaryDigits = 12;

std::string Shown(const std::filesystem::path& path)
{
    return Printable(path.native());
}

std::string SystemReason(int error)
{
    return std::generic_category().message(error);
}

std::filesystem::path FolderOf(const std::filesystem::path& path)
{
    return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

[[noreturn]] void RaiseReadFailure(const std::filesystem::path& path, int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR: RaiseWithReason(ErrorNumber::FileNotFound, Shown(path));
    case EACCES:
    case EPERM: RaiseWithReason(ErrorNumber::PermissionDenied, "cannot read " + Shown(path));
    case ENOMEM: RaiseWithReason(ErrorNumber::OutOfMemory, "no memory to read " + Shown(path));
    default: RaiseWithReason(ErrorNumber::PathFileAccessError, "cannot read " + Shown(path) + ": " + SystemReason(error));
    }
}

// The reason a write into the folder failed, from the system's error.
[[noreturn]] void RaiseWriteFailure(const std::filesystem::path& path, int error)
{
    const std::filesystem::path folder = FolderOf(path);
    switch (error) {
    case ENOENT: RaiseWithReason(ErrorNumber::PathFileAccessError, "the folder " + Shown(folder) + " does not exist");
    case ENOTDIR: RaiseWithReason(ErrorNumber::PathFileAccessError, Shown(folder) + " is not a folder");
    case EISDIR: RaiseWithReason(ErrorNumber::PathFileAccessError, Shown(path) + " is a folder");
    case EACCES:
    case EPERM: RaiseWithReason(ErrorNumber::PermissionDenied, "cannot write in the folder " + Shown(folder));
    case EROFS: RaiseWithReason(ErrorNumber::PermissionDenied, Shown(folder) + " is on a read-only file system");
    case ENOSPC:
    case EDQUOT:
        RaiseWithReason(ErrorNumber::PathFileAccessError, "cannot write " + Shown(path) + ": the disk is full");
    case EFBIG:
        RaiseWithReason(ErrorNumber::PathFileAccessError,
                        "cannot write " + Shown(path) + ": the file would be larger than this system allows");
    default:
        RaiseWithReason(ErrorNumber::PathFileAccessError, "cannot write " + Shown(path) + ": " + SystemReason(error));
    }
}

std::string RandomTemporaryName()
{
    thread_local std::mt19937_64 random{std::random_device{}()};
    constexpr char hex[] = "0123456789abcdef";
    std::string name(TemporaryPrefix);
    std::uint64_t bits = random();
    for (std::size_t i = 0; i < TemporaryDigits; ++i, bits >>= 4)
        name += hex[bits & 0xF];
    name += TemporarySuffix;
    return name;
}

} // namespace

namespace {

// Opens a file for reading, non-blocking so that a named pipe swapped in
// after the caller's checks cannot hang the open, then checks what was
// opened before anything reads from it. Answers its size.
std::uint64_t OpenRegularFile(const std::filesystem::path& path, Descriptor& file)
{
    file.Reset(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.Get() < 0)
        RaiseReadFailure(path, errno);
    struct stat status {};
    if (fstat(file.Get(), &status) != 0)
        RaiseReadFailure(path, errno);
    if (S_ISDIR(status.st_mode))
        RaiseWithReason(ErrorNumber::PathFileAccessError, Shown(path) + " is a folder");
    if (!S_ISREG(status.st_mode))
        RaiseWithReason(ErrorNumber::PathFileAccessError, Shown(path) + " is not a regular file");
    fcntl(file.Get(), F_SETFL, fcntl(file.Get(), F_GETFL) & ~O_NONBLOCK);
    return std::uint64_t(status.st_size);
}

// Bytes [from, count) of a regular file into a buffer of count bytes whose
// start the caller has filled; the buffer ends where the file does, if it
// shrank since its size was taken.
std::vector<std::uint8_t> ReadRest(const std::filesystem::path& path, int fd, std::span<const std::uint8_t> from, std::uint64_t count)
{
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(std::size_t(count));
    } catch (const std::bad_alloc&) {
        RaiseWithReason(ErrorNumber::OutOfMemory, "no memory to read " + Shown(path));
    }
    std::copy(from.begin(), from.end(), bytes.begin());
    std::size_t got = from.size();
    while (got < bytes.size()) {
        const ssize_t read = pread(fd, bytes.data() + got, bytes.size() - got, off_t(got));
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            RaiseReadFailure(path, errno);
        if (read == 0)
            break;
        got += std::size_t(read);
    }
    bytes.resize(got);
    return bytes;
}

void CheckPictureFileSize(const std::filesystem::path& path, std::uint64_t size)
{
    if (size > MaxPictureFileBytes)
        RaiseWithReason(ErrorNumber::OutOfMemory, Shown(path) + " has " + std::to_string(size) + " bytes, beyond the "
                                                      + std::to_string(MaxPictureFileBytes >> 20) + " MiB a picture file may take");
}

} // namespace

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path)
{
    return InputFile::Open(path, 0).ReadAll();
}

InputFile InputFile::Open(const std::filesystem::path& path, std::size_t startBytes)
{
    Descriptor file;
    InputFile input;
    input.path_ = path;
    input.start_.size = OpenRegularFile(path, file);
    input.start_.bytes = ReadRest(path, file.Get(), {}, std::min<std::uint64_t>(startBytes, input.start_.size));
    input.fd_ = file.Release();
    return input;
}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)), start_(std::move(other.start_))
{
}

InputFile& InputFile::operator=(InputFile&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        start_ = std::move(other.start_);
    }
    return *this;
}

InputFile::~InputFile()
{
    if (fd_ >= 0)
        close(fd_);
}

std::vector<std::uint8_t> InputFile::ReadAll() const
{
    CheckPictureFileSize(path_, start_.size);
    return ReadRest(path_, fd_, start_.bytes, start_.size);
}

struct OutputFolder::Node {
    Descriptor fd;
    // The folder this one was opened from and its name there; for the folder
    // a caller named, no parent and that path.
    std::shared_ptr<const Node> parent;
    std::string name;
    dev_t device = 0;
    ino_t inode = 0;
};

namespace {

bool SameEntry(const struct stat& a, const OutputFolder::Node& node)
{
    return a.st_dev == node.device && a.st_ino == node.inode;
}

[[noreturn]] void RaiseFolderGone(const std::filesystem::path& folder)
{
    RaiseWithReason(ErrorNumber::PathFileAccessError,
                    "the folder " + Shown(folder) + " was moved, removed or replaced while the run wrote into it");
}

// A new temporary file in the folder, locked for as long as it is open so
// that a clean-up by another run leaves it alone. A clean-up that took the
// lock between the creation and this lock has removed the file by the time
// the lock comes: then another name is tried.
int CreateTemporaryFile(int folder, const std::filesystem::path& finalPath, std::string& temporary)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = RandomTemporaryName();
        Descriptor file(openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
        if (file.Get() < 0) {
            if (errno != EEXIST && errno != EINTR)
                RaiseWriteFailure(finalPath, errno);
            continue;
        }
        struct stat status {};
        while (flock(file.Get(), LOCK_EX) != 0 && errno == EINTR) {
        }
        if (fstat(file.Get(), &status) == 0 && status.st_nlink > 0) {
            return file.Release();
        }
    }
    RaiseWithReason(ErrorNumber::PathFileAccessError, "no free temporary name in " + Shown(FolderOf(finalPath)));
}

// Puts the flushed temporary file at the target in the same folder: over
// whatever is there, or only where nothing is. Answers errno, 0 on success.
int MoveIntoPlace(int folder, const std::string& temporary, const std::string& name, bool replace)
{
    if (replace)
        return renameat(folder, temporary.c_str(), folder, name.c_str()) == 0 ? 0 : errno;
    if (renameat2(folder, temporary.c_str(), folder, name.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File systems without the no-replace rename: a hard link fails the same
    // way where a name exists.
    if (linkat(folder, temporary.c_str(), folder, name.c_str(), 0) != 0)
        return errno;
    unlinkat(folder, temporary.c_str(), 0);
    return 0;
}

} // namespace

OutputFolder::OutputFolder(std::shared_ptr<const Node> node, std::filesystem::path path)
    : node_(std::move(node)), path_(std::move(path))
{
}

OutputFolder OutputFolder::Open(const std::filesystem::path& path)
{
    auto node = std::make_shared<Node>();
    // O_PATH: the folder is only a place to create, rename and remove in, so
    // it needs no right to be read.
    node->fd.Reset(open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat status {};
    if (node->fd.Get() < 0 || fstat(node->fd.Get(), &status) != 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM)
            RaiseWithReason(ErrorNumber::PermissionDenied, "cannot open the folder " + Shown(path));
        if (error == ENOENT)
            RaiseWithReason(ErrorNumber::PathFileAccessError, "the folder " + Shown(path) + " does not exist");
        if (error == ENOTDIR)
            RaiseWithReason(ErrorNumber::PathFileAccessError, Shown(path) + " is not a folder");
        RaiseWithReason(ErrorNumber::PathFileAccessError, "cannot open the folder " + Shown(path) + ": " + SystemReason(error));
    }
    node->device = status.st_dev;
    node->inode = status.st_ino;
    node->name = path.native();
    return OutputFolder(std::move(node), path);
}

std::optional<OutputFolder> OutputFolder::Below(const std::filesystem::path& relative, bool create) const
{
    std::shared_ptr<const Node> current = node_;
    std::filesystem::path path = path_;
    for (const std::filesystem::path& part : relative) {
        const std::string name = part.native();
        if (name.empty() || name == ".")
            continue;
        path /= part;
        if (name == "..")
            RaiseWithReason(ErrorNumber::PathFileAccessError, Shown(path) + " leads out of the output folder");
        if (create && mkdirat(current->fd.Get(), name.c_str(), 0777) != 0 && errno != EEXIST)
            RaiseWriteFailure(path, errno);
        auto node = std::make_shared<Node>();
        node->fd.Reset(openat(current->fd.Get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (node->fd.Get() < 0) {
            const int error = errno;
            struct stat entry {};
            const bool exists = fstatat(current->fd.Get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0;
            if (!exists && !create)
                return std::nullopt;
            if (exists && S_ISLNK(entry.st_mode))
                RaiseWithReason(ErrorNumber::PathFileAccessError,
                                Shown(path) + " is a link; outputs are not written through links");
            if (exists && S_ISDIR(entry.st_mode))
                RaiseFolderGone(path);  // it was something else a moment ago
            if (exists)
                RaiseWithReason(ErrorNumber::PathFileAccessError, Shown(path) + " is not a folder");
            RaiseWriteFailure(path / ".", error);
        }
        struct stat status {};
        if (fstat(node->fd.Get(), &status) != 0)
            RaiseWriteFailure(path / ".", errno);
        node->device = status.st_dev;
        node->inode = status.st_ino;
        node->parent = current;
        node->name = name;
        current = std::move(node);
    }
    return OutputFolder(std::move(current), std::move(path));
}

void OutputFolder::CheckStillInPlace() const
{
    struct stat status {};
    for (const Node* node = node_.get(); node != nullptr; node = node->parent.get()) {
        const bool found = node->parent ? fstatat(node->parent->fd.Get(), node->name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0
                                        : stat(node->name.c_str(), &status) == 0;
        if (!found || !S_ISDIR(status.st_mode) || !SameEntry(status, *node))
            RaiseFolderGone(path_);
    }
}

PendingWrite::PendingWrite(PendingWrite&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), folder_(std::move(other.folder_)), temporary_(std::move(other.temporary_))
{
}

PendingWrite& PendingWrite::operator=(PendingWrite&& other) noexcept
{
    if (this != &other) {
        Abandon();
        fd_ = std::exchange(other.fd_, -1);
        folder_ = std::move(other.folder_);
        temporary_ = std::move(other.temporary_);
    }
    return *this;
}

PendingWrite::~PendingWrite()
{
    Abandon();
}

void PendingWrite::Abandon() noexcept
{
    if (fd_ < 0)
        return;
    unlinkat(folder_->node_->fd.Get(), temporary_.c_str(), 0);
    close(fd_);
    fd_ = -1;
}

bool PendingWrite::Finish(const std::string& name, bool replace)
{
    if (fd_ < 0)
        RaiseWithReason(ErrorNumber::InvalidProcedureCall, "nothing is being written to " + Printable(name));
    const int folder = folder_->node_->fd.Get();
    const std::filesystem::path path = folder_->Path() / name;
    try {
        folder_->CheckStillInPlace();
    } catch (const RuntimeError&) {
        Abandon();
        throw;
    }
    struct stat target {};
    const bool targetExists = fstatat(folder, name.c_str(), &target, AT_SYMLINK_NOFOLLOW) == 0;
    if (targetExists && S_ISDIR(target.st_mode)) {
        Abandon();
        RaiseWriteFailure(path, EISDIR);
    }
    if (targetExists && !replace)
        return false;
    int error = 0;
    // The file takes the permissions of the one it replaces.
    if (targetExists && S_ISREG(target.st_mode))
        fchmod(fd_, target.st_mode & 07777);
    if (fdatasync(fd_) != 0)
        error = errno;
    if (error == 0)
        error = MoveIntoPlace(folder, temporary_, name, replace);
    if (error == EEXIST && !replace)
        return false;
    if (error != 0) {
        Abandon();
        RaiseWriteFailure(path, error);
    }
    close(fd_);
    fd_ = -1;
    return true;
}

PendingWrite StartWrite(const OutputFolder& folder, const std::string& name, std::span<const std::uint8_t> bytes)
{
    const int at = folder.node_->fd.Get();
    const std::filesystem::path path = folder.Path() / name;
    // What is at the target now: a folder is refused; a read-only file is
    // not replaced; a link is replaced, never followed.
    struct stat target {};
    const bool targetExists = fstatat(at, name.c_str(), &target, AT_SYMLINK_NOFOLLOW) == 0;
    if (targetExists && S_ISDIR(target.st_mode))
        RaiseWriteFailure(path, EISDIR);
    if (targetExists && S_ISREG(target.st_mode) && faccessat(at, name.c_str(), W_OK, 0) != 0 && errno == EACCES)
        RaiseWithReason(ErrorNumber::PermissionDenied, Shown(path) + " is read-only");
    PendingWrite pending;
    pending.folder_ = folder;
    pending.fd_ = CreateTemporaryFile(at, path, pending.temporary_);
    if (const int error = WriteAll(pending.fd_, bytes); error != 0) {
        pending.Abandon();
        RaiseWriteFailure(path, error);
    }
    return pending;
}

void WriteFileReplacing(const std::filesystem::path& path, std::span<const std::uint8_t> bytes)
{
    const OutputFolder folder = OutputFolder::Open(FolderOf(path));
    const std::string name = path.filename().native();
    StartWrite(folder, name, bytes).Finish(name, true);
}

bool PathEntryExists(const std::filesystem::path& path)
{
    struct stat entry {};
    return lstat(path.c_str(), &entry) == 0;
}

bool IsTemporaryFileName(std::string_view name)
{
    if (name.size() != TemporaryPrefix.size() + TemporaryDigits + TemporarySuffix.size() || !name.starts_with(TemporaryPrefix)
        || !name.ends_with(TemporarySuffix))
        return false;
    const std::string_view digits = name.substr(TemporaryPrefix.size(), TemporaryDigits);
    return digits.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

namespace {

// How deep a clean-up goes below the folder it starts in; kept sub-folders
// mirror input trees, which are never this deep.
constexpr int MaxCleanUpDepth = 64;

// Removes the stale temporary files of the folder open for reading at
// `listed` (which it closes), and with `levels` left, those of the folders
// below it, opened without following a link. Dot folders are left alone: no
// output goes there.
std::size_t RemoveStaleIn(int listed, int levels)
{
    DIR* listing = fdopendir(listed);
    if (listing == nullptr) {
        close(listed);
        return 0;
    }
    const int at = dirfd(listing);
    std::size_t removed = 0;
    while (const dirent* entry = readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (levels > 0 && (entry->d_type == DT_DIR || entry->d_type == DT_UNKNOWN) && !name.starts_with('.')) {
            const int below = openat(at, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (below >= 0) {
                removed += RemoveStaleIn(below, levels - 1);
                continue;
            }
        }
        if (!IsTemporaryFileName(name))
            continue;
        // A write in progress holds its lock, whatever its age; a killed
        // one holds it no longer.
        const Descriptor file(openat(at, entry->d_name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
        struct stat opened {};
        struct stat named {};
        if (file.Get() < 0 || flock(file.Get(), LOCK_EX | LOCK_NB) != 0 || fstat(file.Get(), &opened) != 0
            || !S_ISREG(opened.st_mode) || fstatat(at, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0
            || opened.st_ino != named.st_ino || opened.st_dev != named.st_dev)
            continue;
        if (unlinkat(at, entry->d_name, 0) == 0)
            ++removed;
    }
    closedir(listing);
    return removed;
}

} // namespace

std::size_t RemoveStaleTemporaryFiles(const OutputFolder& folder, bool subFolders)
{
    // The folder is held only as a place (O_PATH), which cannot be listed:
    // the listing opens it for reading.
    const int readable = openat(folder.node_->fd.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return readable < 0 ? 0 : RemoveStaleIn(readable, subFolders ? MaxCleanUpDepth : 0);
}

} // namespace tollamere
