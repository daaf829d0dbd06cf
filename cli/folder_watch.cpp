// SPDX-License-Identifier: MIT
#include "folder_watch.h"

#include "format_registry.h"
#include "path_text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <utility>

namespace tollamere {
namespace {

struct DirCloser {
    void operator()(DIR* folder) const noexcept { closedir(folder); }
};

bool Wanted(const std::string& name, const std::string& extension)
{
    const std::optional<std::string> found = FileExtension(name);
    if (!found)
        return false;
    return extension == "*" ? CanReadPictureExtension(*found) : LowerCaseAscii(*found) == LowerCaseAscii(extension);
}

// The folder at `at` listed, opened without following a link; nothing when
// it cannot be.
std::unique_ptr<DIR, DirCloser> OpenListing(int at, const char* name)
{
    const int fd = openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    std::unique_ptr<DIR, DirCloser> listing(fdopendir(fd));
    if (!listing)
        close(fd);
    return listing;
}

} // namespace

FolderWatch::Seen FolderWatch::SeenOf(const struct stat& item)
{
    return Seen{std::uint64_t(item.st_dev), std::uint64_t(item.st_ino), std::int64_t(item.st_size),
                std::int64_t(item.st_mtim.tv_sec) * 1'000'000'000 + item.st_mtim.tv_nsec};
}

FolderWatch::FolderWatch(WatchRules rules) : rules_(std::move(rules))
{
    if (!rules_.folder.empty() && rules_.folder.back() != '/')
        rules_.folder.push_back('/');
    // The folder named is followed once, here, as a link the user named.
    folder_ = open(rules_.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    done_ = Look();
}

FolderWatch::~FolderWatch()
{
    if (folder_ >= 0)
        close(folder_);
}

void FolderWatch::Ignore(const std::string& path)
{
    struct stat item {};
    if (lstat(path.c_str(), &item) == 0 && S_ISREG(item.st_mode))
        own_.insert(SeenOf(item));
}

std::map<std::string, FolderWatch::Seen> FolderWatch::Look()
{
    std::map<std::string, Seen> found;
    lost_.clear();
    struct stat opened {};
    struct stat named {};
    if (folder_ < 0 || fstat(folder_, &opened) != 0) {
        lost_ = "the watched folder cannot be read";
        return found;
    }
    if (stat(rules_.folder.c_str(), &named) != 0 || named.st_dev != opened.st_dev || named.st_ino != opened.st_ino) {
        lost_ = "the watched folder was moved, removed or replaced";
        return found;
    }
    struct stat output {};
    const bool hasOutput = !rules_.outputFolder.empty() && stat(rules_.outputFolder.c_str(), &output) == 0;
    std::set<Seen> ownSeen;
    // Each folder to list, with its path text and its parent's listing kept
    // open until its own is opened from it.
    struct ToList {
        std::string path;
        std::shared_ptr<DIR> parent;
        std::string name;
    };
    std::vector<ToList> folders{{rules_.folder, nullptr, "."}};
    while (!folders.empty()) {
        const ToList folder = std::move(folders.back());
        folders.pop_back();
        const std::shared_ptr<DIR> listing =
            OpenListing(folder.parent ? dirfd(folder.parent.get()) : folder_, folder.name.c_str());
        if (!listing) {
            if (!folder.parent)
                lost_ = "the watched folder cannot be read any more";
            continue;
        }
        const int at = dirfd(listing.get());
        while (const dirent* entry = readdir(listing.get())) {
            const std::string name = entry->d_name;
            // Hidden names, the listing's "." and "..", and a program's
            // "~" copies are never pictures to convert.
            if (name.empty() || name.front() == '.' || name.front() == '~')
                continue;
            struct stat item {};
            // A link, to a file or a folder, is never followed.
            if (fstatat(at, name.c_str(), &item, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISDIR(item.st_mode)) {
                const bool isOutput = hasOutput && item.st_dev == output.st_dev && item.st_ino == output.st_ino;
                if (rules_.recursive && !isOutput)
                    folders.push_back({folder.path + name + "/", listing, name});
                continue;
            }
            if (!S_ISREG(item.st_mode) || !Wanted(name, rules_.extension))
                continue;
            const Seen seen = SeenOf(item);
            if (own_.contains(seen)) {
                ownSeen.insert(seen);
                continue;
            }
            found[folder.path + name] = seen;
        }
    }
    // Only the outputs still there as they were are remembered.
    if (lost_.empty())
        own_ = std::move(ownSeen);
    return found;
}

std::vector<std::string> FolderWatch::Poll(Clock::time_point now)
{
    const std::map<std::string, Seen> current = Look();
    std::vector<std::string> settled;
    for (const auto& [path, seen] : current) {
        if (const auto done = done_.find(path); done != done_.end() && done->second == seen)
            continue;
        const auto pending = pending_.find(path);
        if (pending == pending_.end() || !(pending->second.seen == seen)) {
            pending_[path] = Pending{seen, now};
            continue;
        }
        if (now - pending->second.since >= rules_.stillFor) {
            settled.push_back(path);
            done_[path] = seen;
            pending_.erase(pending);
        }
    }
    // A file removed is forgotten: if it comes back, it is new.
    std::erase_if(pending_, [&](const auto& item) { return !current.contains(item.first); });
    std::erase_if(done_, [&](const auto& item) { return !current.contains(item.first); });
    return settled;
}

} // namespace tollamere
