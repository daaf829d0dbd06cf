// SPDX-License-Identifier: MIT
#pragma once

// A watched folder: the pictures that appear in it, each handed on once its
// writer is done with it, that is once its size, its time of change and the
// file behind its name have stayed the same for a while. A file renamed in
// arrives whole and is handed on after that while too; one written slowly
// waits until the writing stops.

#include <chrono>
#include <cstdint>
#include <map>
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

    // Notes what the folder holds now: those pictures are not new.
    explicit FolderWatch(WatchRules rules);

    // Looks again at `now`: the pictures that appeared, or changed, since the
    // watch began or since they were last handed on, and have stayed the
    // same for stillFor, each once, in name order. Names are kept as the file
    // system holds them (hidden names and names starting with "~" left out).
    std::vector<std::string> Poll(Clock::time_point now);

    // Whether the folder itself could be read at the last look.
    bool FolderReadable() const noexcept { return readable_; }

private:
    struct Seen {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = 0;
        std::int64_t changedNanoseconds = 0;
        friend bool operator==(const Seen&, const Seen&) = default;
    };
    struct Pending {
        Seen seen;
        Clock::time_point since;
    };

    std::map<std::string, Seen> Look();

    WatchRules rules_;
    bool readable_ = true;
    // What was handed on (or there at the start), as it was then.
    std::map<std::string, Seen> done_;
    // What is new or changed, as it was last seen, and since when.
    std::map<std::string, Pending> pending_;
};

} // namespace tollamere
