// SPDX-License-Identifier: MIT
#include "path_text.h"

#include "runtime_error.h"


namespace tollamere {

std::string StripExtension(std::string_view path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos)
        Raise(ErrorNumber::InvalidProcedureCall);
    return std::string(path.substr(0, dot));
}

std::string GetFileName(std::string_view path)
{
    const std::size_t separator = path.rfind(PathSeparator);
    return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

std::optional<std::string> FileExtension(std::string_view path)
{
    const std::string name = GetFileName(path);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return std::nullopt;
    return name.substr(dot + 1);
}

std::string LowerCaseAscii(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

} // namespace tollamere
