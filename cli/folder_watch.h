// SPDX-License-Identifier: MIT
#pragma once

// A watched folder: the pictures that appear in it, each handed on once its
// writer is done with it, that is once its size, its time of change and the
// file behind its name have stayed the same for a while. A file renamed in
// arrives whole and is handed on after that while too; one written slowly
// waits until the writing stops. The folder is held open from the start:
// one moved away or swapped for a link is no longer watched, and links in it
// are never followed. The files the watch wrote itself are never handed on.

#include "folder_tree.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tollamere {

struct WatchRules {
    std::string folder;
    // The sub-folders too (never through a link to a folder).
    bool recursive = false;
    // Only files with this extension; "*" takes every picture file.
    std::string extension = "*";
    // Left out, with everything below it: the run's own outputs.
    std::string outputFolder;
    std::chrono::milliseconds stillFor{1000};
};

class FolderWatch {
public:
    using Clock = std::chrono::steady_clock;

    // Opens the folder and notes what it holds now: those pictures are not
    // new.
    explicit FolderWatch(WatchRules rules);

    // Looks again at `now`: the pictures that appeared, or changed, since the
    // watch began or since they were last handed on, and have stayed the
    // same for stillFor, each once, in name order. Names are kept as the file
    // system holds them; what the folder scan's rules leave out (hidden
    // names, names starting with "~", hidden folders) and --ext does not
    // ask for is left out as the scan leaves it.
    std::vector<std::string> Poll(Clock::time_point now);

    // A file this process wrote at path (an output the watch's run put in
    // the folder): never handed on, whatever its name, for as long as it
    // stays as it is now.
    void Ignore(const std::string& path);

    // Why the folder can no longer be watched, as of the last look: it
    // cannot be read, or its path no longer leads to the folder opened at
    // the start. Empty while it can.
    const std::string& Lost() const noexcept { return lost_; }

private:
    struct Seen {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = 0;
        std::int64_t changedNanoseconds = 0;
        friend auto operator<=>(const Seen&, const Seen&) = default;
    };
    struct Pending {
        Seen seen;
        Clock::time_point since;
    };

    static Seen SeenOf(const EntryStatus& status);
    std::map<std::string, Seen> Look();

    WatchRules rules_;
    HeldFolder folder_;
    std::string lost_;
    // The files written by this process, as they were then, as long as
    // they are seen so.
    std::set<Seen> own_;
    // What was handed on (or there at the start), as it was then.
    std::map<std::string, Seen> done_;
    // What is new or changed, as it was last seen, and since when.
    std::map<std::string, Pending> pending_;
};

} // namespace tollamere
