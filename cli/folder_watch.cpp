// SPDX-License-Identifier: MIT
#include "folder_watch.h"

#include "collect_inputs.h"
#include "folder_scan.h"

#include <utility>

namespace tollamere {

FolderWatch::Seen FolderWatch::SeenOf(const EntryStatus& status)
{
    return Seen{status.device, status.inode, status.size, status.changedNanoseconds};
}

FolderWatch::FolderWatch(WatchRules rules)
    : rules_(std::move(rules)), folder_(rules_.folder)
{
    if (!rules_.folder.empty() && rules_.folder.back() != '/')
        rules_.folder.push_back('/');
    done_ = Look();
}

void FolderWatch::Ignore(const std::string& path)
{
    if (const std::optional<EntryStatus> status = StatusOf(path, false); status && status->kind == EntryStatus::Kind::File)
        own_.insert(SeenOf(*status));
}

std::map<std::string, FolderWatch::Seen> FolderWatch::Look()
{
    std::map<std::string, Seen> found;
    lost_.clear();
    if (!folder_.IsOpen()) {
        lost_ = "the watched folder cannot be read";
        return found;
    }
    if (!folder_.StillAt(rules_.folder)) {
        lost_ = "the watched folder was moved, removed or replaced";
        return found;
    }
    const std::optional<EntryStatus> output =
        rules_.outputFolder.empty() ? std::nullopt : StatusOf(rules_.outputFolder, true);
    std::set<Seen> ownSeen;
    const bool listed = folder_.List([&](const HeldFolder::Entry& entry) {
        // A link, to a file or a folder, is never followed.
        if (entry.status.kind == EntryStatus::Kind::Folder) {
            const bool isOutput = output && entry.status.device == output->device && entry.status.inode == output->inode;
            return rules_.recursive && !isOutput && !IsHiddenName(entry.name);
        }
        if (entry.status.kind != EntryStatus::Kind::File || SkippedByName(entry.name) ||
            !AskedFor(entry.name, rules_.extension))
            return false;
        const Seen seen = SeenOf(entry.status);
        if (own_.contains(seen))
            ownSeen.insert(seen);
        else
            found[rules_.folder + entry.path] = seen;
        return false;
    });
    if (!listed) {
        lost_ = "the watched folder cannot be read any more";
        return found;
    }
    // Only the outputs still there as they were are remembered.
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
