#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace tollamere {

// Files larger than this cannot hold a picture within MaxSurfaceBytes in any
// format read here (an uncompressed 16-bit TIFF or a text PPM comes closest).
inline constexpr std::uint64_t MaxPictureFileBytes = 2048ull * 1024 * 1024;

// Reads a whole regular file without changing it. Raises File not found (53),
// Permission denied (70), Out of memory (7) beyond MaxPictureFileBytes, and
// Path/File access error (75) for anything else; the reason names the path.
std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);

// Writes the bytes to a temporary file in the target's folder, flushes it to
// the disk and renames it over the target, so the target is either the old
// file or the complete new one. Raises Permission denied (70) where the
// folder or the target may not be written, and Path/File access error (75)
// for a missing folder, a full disk or any other failure.
void WriteFileReplacing(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

} // namespace tollamere
