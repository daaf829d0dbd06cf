// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tollamere {

// A path text (the file name's bytes, UTF-8 where it is valid, "/" between
// folders) as a file-system path, and back. Going through char8_t keeps the
// bytes as they are on every platform, not only where the narrow encoding
// happens to be UTF-8; no byte is replaced on the way.
inline std::filesystem::path ToFileSystemPath(std::string_view path)
{
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

inline std::string ToPathText(const std::filesystem::path& path)
{
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

} // namespace tollamere
