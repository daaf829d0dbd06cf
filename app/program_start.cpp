// SPDX-License-Identifier: MIT
#include "program_start.h"

#include "file_path.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <array>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace tollamere {

namespace {

constexpr std::string_view EndOfOptions = "--";

bool HoldsProgramFiles(const QString& folder)
{
    // The files Form1 looks for; any one of them marks the folder as the program's.
    static const std::array<QString, 3> names = {QStringLiteral("Samples"), QStringLiteral("HAND-M.CUR"),
                                                 QStringLiteral("x/o.cjs")};
    for (const QString& name : names)
        if (QFileInfo::exists(folder + QLatin1Char('/') + name))
            return true;
    return false;
}

bool IsOption(std::string_view argument)
{
    // A lone "-" is a name, as QCommandLineParser reads it.
    return argument.size() > 1 && argument.front() == '-';
}

std::string AbsolutePath(std::string_view argument)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(ToFileSystemPath(argument), error);
    if (error)
        return std::string(argument);
    // "." steps add nothing to the path a user reads; ".." stays, since
    // dropping it along with the folder before would be wrong past a link.
    std::filesystem::path cleaned;
    for (const std::filesystem::path& step : absolute)
        if (step != "." && !step.empty())
            cleaned /= step;
    return ToPathText(cleaned);
}

} // namespace

QString FindProgramFolder(const QString& executableFolder, const QString& dataFromExecutable)
{
    if (HoldsProgramFiles(executableFolder))
        return executableFolder;
    const QString installed = QDir::cleanPath(executableFolder + QLatin1Char('/') + dataFromExecutable);
    if (HoldsProgramFiles(installed))
        return installed;
    return executableFolder;
}

void DescribeCommandLine(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Turns pictures into bevelled button images. Each PATH is a picture file, put in the list\n"
                       "as it is, or a folder, whose files (in every sub-folder) are put in the list."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(QStringLiteral("dark"),
                                        QStringLiteral("Dark colours (the Fusion style with a dark palette), as a "
                                                       "desktop whose GTK_THEME ends in :dark gets them anyway.")));
    parser.addPositionalArgument(QStringLiteral("PATH"),
                                 QStringLiteral("Picture files and folders to put in the list."),
                                 QStringLiteral("[PATH...]"));
}

bool AsksForHelpOrVersion(int argc, const char* const argv[])
{
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument == EndOfOptions)
            return false;
        if (argument == "-h" || argument == "-?" || argument == "--help" || argument == "--help-all" ||
            argument == "-v" || argument == "--version")
            return true;
    }
    return false;
}

std::vector<std::string> PathArguments(int argc, const char* const argv[])
{
    std::vector<std::string> paths;
    bool optionsEnded = false;
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (!optionsEnded && argument == EndOfOptions) {
            optionsEnded = true;
            continue;
        }
        if (argument.empty() || (!optionsEnded && IsOption(argument)))
            continue;
        paths.push_back(AbsolutePath(argument));
    }
    return paths;
}

} // namespace tollamere
