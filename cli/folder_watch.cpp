// SPDX-License-Identifier: MIT
#include "folder_watch.h"

#include "format_registry.h"
#include "path_text.h"

#include <dirent.h>
#include <sys/stat.h>

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

} // namespace

FolderWatch::FolderWatch(WatchRules rules) : rules_(std::move(rules))
{
    if (!rules_.folder.empty() && rules_.folder.back() != '/')
        rules_.folder.push_back('/');
    done_ = Look();
}

std::map<std::string, FolderWatch::Seen> FolderWatch::Look()
{
    std::map<std::string, Seen> found;
    struct stat output {};
    const bool hasOutput = !rules_.outputFolder.empty() && stat(rules_.outputFolder.c_str(), &output) == 0;
    std::vector<std::string> folders{rules_.folder};
    readable_ = true;
    while (!folders.empty()) {
        const std::string folder = std::move(folders.back());
        folders.pop_back();
        const std::unique_ptr<DIR, DirCloser> listing(opendir(folder.c_str()));
        if (!listing) {
            if (folder == rules_.folder)
                readable_ = false;
            continue;
        }
        while (const dirent* entry = readdir(listing.get())) {
            const std::string name = entry->d_name;
            // Hidden names, the listing's "." and "..", and a program's
            // "~" copies are never pictures to convert.
            if (name.empty() || name.front() == '.' || name.front() == '~')
                continue;
            const std::string path = folder + name;
            struct stat item {};
            // Links to files are followed; a link to a folder is not entered.
            if (lstat(path.c_str(), &item) != 0)
                continue;
            if (S_ISDIR(item.st_mode)) {
                const bool isOutput = hasOutput && item.st_dev == output.st_dev && item.st_ino == output.st_ino;
                if (rules_.recursive && !isOutput)
                    folders.push_back(path + "/");
                continue;
            }
            if (S_ISLNK(item.st_mode) && (stat(path.c_str(), &item) != 0 || S_ISDIR(item.st_mode)))
                continue;
            if (!S_ISREG(item.st_mode) || !Wanted(name, rules_.extension))
                continue;
            found[path] = Seen{std::uint64_t(item.st_dev), std::uint64_t(item.st_ino), std::int64_t(item.st_size),
                               std::int64_t(item.st_mtim.tv_sec) * 1'000'000'000 + item.st_mtim.tv_nsec};
        }
    }
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
