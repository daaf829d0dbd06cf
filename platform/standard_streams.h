// SPDX-License-Identifier: MIT
#pragma once

// A picture through a pipe: standard input into a file, a file onto standard
// output, and the private folder those files live in meanwhile, so that a
// picture from a pipe takes the same path through a run as any other file.

#include <cstdint>
#include <filesystem>

namespace tollamere {

// A folder of this process's own (mode 0700) under the system's temporary
// folder ($TMPDIR, else /tmp), removed with what it holds when it goes.
class PrivateFolder {
public:
    // Raises Path/File access error (75) when no folder can be made.
    static PrivateFolder Make();

    PrivateFolder(PrivateFolder&& other) noexcept;
    PrivateFolder& operator=(PrivateFolder&&) = delete;
    ~PrivateFolder();

    const std::filesystem::path& Path() const noexcept { return path_; }

private:
    explicit PrivateFolder(std::filesystem::path path) : path_(std::move(path)) {}
    std::filesystem::path path_;
};

// Copies standard input, until it ends, into a new file at path. Raises
// Out of memory (7) once it has given more than maxBytes (the file is then
// removed), Path/File access error (75) when it cannot be read or the file
// cannot be written.
std::uint64_t CopyStandardInputTo(const std::filesystem::path& path, std::uint64_t maxBytes);

// Copies the file onto standard output. Answers 0, or the error of the
// read or write that failed (EPIPE when the reader went away).
int CopyToStandardOutput(const std::filesystem::path& path) noexcept;

} // namespace tollamere
