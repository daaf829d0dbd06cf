// SPDX-License-Identifier: MIT
#include "folders.h"

#include "file_path.h"
#include "path_text.h"
#include "runtime_error.h"

#include <QFile>
#include <QStandardPaths>
#include <QString>

#include <filesystem>
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

} // namespace tollamere
