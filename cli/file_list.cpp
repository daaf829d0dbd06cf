// SPDX-License-Identifier: MIT
#include "file_list.h"

#include "runtime_error.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tollamere {

std::vector<std::string> SplitFileList(std::string_view bytes, bool nullSeparated)
{
    const char separator = nullSeparated ? '\0' : '\n';
    std::vector<std::string> paths;
    while (!bytes.empty()) {
        const std::size_t end = std::min(bytes.find(separator), bytes.size());
        if (end > 0)
            paths.emplace_back(bytes.substr(0, end));
        bytes.remove_prefix(std::min(end + 1, bytes.size()));
    }
    return paths;
}

std::optional<std::string> ReadFileList(const std::string& source, std::string& reason)
{
    const bool standardInput = source == "-";
    const std::string shown = standardInput ? "on standard input" : Printable(source);
    const auto failed = [&](int error) {
        std::string text = std::strerror(error);
        if (!text.empty() && text.front() >= 'A' && text.front() <= 'Z')
            text.front() = static_cast<char>(text.front() - 'A' + 'a');
        reason = "cannot read the list " + shown + ": " + text;
        return std::nullopt;
    };

    // Standard streams and fopen rather than the picture reader: a list is
    // often a pipe ("<(find ...)"), which that reader refuses on purpose.
    std::FILE* file = standardInput ? stdin : std::fopen(source.c_str(), "rb");
    if (file == nullptr)
        return failed(errno);
    std::string bytes;
    std::array<char, 65536> buffer{};
    while (const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), file))
        bytes.append(buffer.data(), count);
    const int error = std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
    if (!standardInput)
        std::fclose(file);
    if (error != 0)
        return failed(error);
    return bytes;
}

} // namespace tollamere
