// SPDX-License-Identifier: MIT
#include "folder_tree.h"

#include <memory>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tollamere {
namespace {

struct DirCloser {
    void operator()(DIR* folder) const noexcept { closedir(folder); }
};

EntryStatus StatusFrom(const struct stat& item)
{
    EntryStatus status;
    status.kind = S_ISREG(item.st_mode)   ? EntryStatus::Kind::File
                  : S_ISDIR(item.st_mode) ? EntryStatus::Kind::Folder
                  : S_ISLNK(item.st_mode) ? EntryStatus::Kind::Link
                                          : EntryStatus::Kind::Other;
    status.device = std::uint64_t(item.st_dev);
    status.inode = std::uint64_t(item.st_ino);
    status.size = std::int64_t(item.st_size);
    status.changedNanoseconds = std::int64_t(item.st_mtim.tv_sec) * 1'000'000'000 + item.st_mtim.tv_nsec;
    return status;
}

// The folder at `at` opened for listing, without following a link.
std::shared_ptr<DIR> OpenListing(int at, const char* name)
{
    const int fd = openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    std::shared_ptr<DIR> listing(fdopendir(fd), DirCloser{});
    if (!listing)
        close(fd);
    return listing;
}

} // namespace

std::optional<EntryStatus> StatusOf(const std::string& path, bool followLinks)
{
    struct stat item {};
    if ((followLinks ? stat(path.c_str(), &item) : lstat(path.c_str(), &item)) != 0)
        return std::nullopt;
    return StatusFrom(item);
}

HeldFolder::HeldFolder(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

HeldFolder::~HeldFolder()
{
    if (fd_ >= 0)
        close(fd_);
}

bool HeldFolder::StillAt(const std::string& path) const
{
    struct stat opened {};
    struct stat named {};
    return fd_ >= 0 && fstat(fd_, &opened) == 0 && stat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
           named.st_ino == opened.st_ino;
}

bool HeldFolder::List(const std::function<bool(const Entry& entry)>& visit) const
{
    // Each folder to list, with its parent's listing kept open until its own
    // is opened from it.
    struct ToList {
        std::string path;
        std::shared_ptr<DIR> parent;
        std::string name;
    };
    std::vector<ToList> folders{{"", nullptr, "."}};
    while (!folders.empty()) {
        const ToList folder = std::move(folders.back());
        folders.pop_back();
        const std::shared_ptr<DIR> listing = OpenListing(folder.parent ? dirfd(folder.parent.get()) : fd_, folder.name.c_str());
        if (!listing) {
            if (!folder.parent)
                return false;
            continue;
        }
        const int at = dirfd(listing.get());
        while (const dirent* found = readdir(listing.get())) {
            const std::string name = found->d_name;
            struct stat item {};
            if (name == "." || name == ".." || fstatat(at, name.c_str(), &item, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            const EntryStatus status = StatusFrom(item);
            const std::string path = folder.path + name;
            if (visit({path, name, status}) && status.kind == EntryStatus::Kind::Folder)
                folders.push_back({path + "/", listing, name});
        }
    }
    return true;
}

} // namespace tollamere
