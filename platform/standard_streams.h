// SPDX-License-Identifier: MIT
#pragma once

// A picture through a pipe: standard input into a file, a file onto standard
// output, and the private folder those files live in meanwhile, so that a
// picture from a pipe takes the same path through a run as any other file.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>

namespace tollamere {

// A folder of this process's own (mode 0700) under the system's temporary
// folder ($TMPDIR, else /tmp), removed with what it holds when it goes. It
// is locked while the process lives, so that the folders of killed
// processes, which a copy of standard input can make large, are told apart
// and removed by the next one made.
class PrivateFolder {
public:
    // Removes the stale folders of this user first. Raises Path/File access
    // error (75) when no folder can be made.
    static PrivateFolder Make();

    PrivateFolder(PrivateFolder&& other) noexcept;
    PrivateFolder& operator=(PrivateFolder&&) = delete;
    ~PrivateFolder();

    const std::filesystem::path& Path() const noexcept { return path_; }

private:
    PrivateFolder(std::filesystem::path path, int lock) : path_(std::move(path)), lock_(lock) {}
    std::filesystem::path path_;
    int lock_ = -1;
};

// Copies standard input, until it ends, into a new file at path; answers
// how many bytes. A stop request ends the copy within a moment, even while
// the writer sends nothing, and answers nothing, the file removed. Raises Out
// of memory (7) once it has given more than maxBytes (the file is then
// removed), Path/File access error (75) when it cannot be read or the file
// cannot be written.
std::optional<std::uint64_t> CopyStandardInputTo(const std::filesystem::path& path, std::uint64_t maxBytes,
                                                 std::stop_token stop = {});

// Copies the file onto standard output. Answers 0, or the error of the
// read or write that failed (EPIPE when the reader went away).
int CopyToStandardOutput(const std::filesystem::path& path) noexcept;

} // namespace tollamere
