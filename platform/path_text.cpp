// SPDX-License-Identifier: MIT
#include "path_text.h"

#include "runtime_error.h"

#include <QFile>
#include <QStandardPaths>
#include <QString>

#include <system_error>

namespace tollamere {

std::string GetDesktopFolder()
{
    std::string folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).toStdString();
    if (folder.empty())
        Raise(ErrorNumber::InvalidProcedureCall);
    if (folder.back() != PathSeparator)
        folder += PathSeparator;
    return folder;
}

std::string GetFallbackOutputFolder()
{
    for (const auto location : {QStandardPaths::PicturesLocation, QStandardPaths::HomeLocation}) {
        std::string folder = QFile::encodeName(QStandardPaths::writableLocation(location)).toStdString();
        if (FolderExists(folder) != std::optional<bool>(true))
            continue;
        if (folder.back() != PathSeparator)
            folder += PathSeparator;
        return folder;
    }
    return {};
}

bool PathExists(std::string_view path)
{
    if (path.empty())
        return false;
    std::error_code error;
    static_cast<void>(std::filesystem::last_write_time(ToFileSystemPath(path), error));
    return !error;
}

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

std::optional<bool> FolderExists(std::string_view path)
{
    if (path.empty())
        return std::nullopt;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(ToFileSystemPath(path), error);
    if (error || !std::filesystem::exists(status))
        return std::nullopt;
    return std::filesystem::is_directory(status);
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
