// SPDX-License-Identifier: MIT
#pragma once

// A folder held open and listed, with what is below it, without following
// a link: the listing a watched folder is looked at with.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tollamere {

// What the system says of a file or folder: which one it is, and its size
// and time of change, which change when it is written.
struct EntryStatus {
    enum class Kind { File, Folder, Link, Other };
    Kind kind = Kind::Other;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t changedNanoseconds = 0;
};

// The status of the entry at path, a link's own (not its target's) unless
// followLinks; nothing when there is none.
std::optional<EntryStatus> StatusOf(const std::string& path, bool followLinks);

class HeldFolder {
public:
    // Opens the folder at path; a link the caller named is followed here,
    // once. Not open (IsOpen false) when it cannot be.
    explicit HeldFolder(const std::string& path);
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    ~HeldFolder();

    bool IsOpen() const noexcept { return fd_ >= 0; }

    // Whether path (a link followed) still leads to the folder opened.
    bool StillAt(const std::string& path) const;

    // One entry of a listing: its path below the held folder ("sub/a.png"),
    // its name, and its status; a link is given as a link, never followed.
    struct Entry {
        const std::string& path;
        const std::string& name;
        const EntryStatus& status;
    };

    // Lists the held folder, and each folder below it for which visit
    // answers true, each opened from its parent without following a link.
    // False when the held folder itself cannot be listed; a folder below
    // that cannot is passed over.
    bool List(const std::function<bool(const Entry& entry)>& visit) const;

private:
    int fd_ = -1;
};

} // namespace tollamere
