// tollamere-cli: the window's conversion run for scripts and servers.
#include "AddFolder.h"
#include "Main.h"
#include "command_line.h"
#include "conversion_run.h"
#include "picture_files.h"
#include "terminal.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace tollamere {
namespace {

constexpr int ExitWritten = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

bool HasPictureExtension(const std::string& path)
{
    const std::string name = GetFileName(path);
    const std::size_t dot = name.rfind('.');
    return dot != std::string::npos && CanWritePictureExtension(name.substr(dot + 1));
}

// The files to convert, in argument order: a file as given, a folder scanned
// for the extension (every picture file for "*").
std::vector<std::string> CollectInputs(const CliOptions& options)
{
    std::vector<std::string> inputs;
    for (const std::string& path : options.paths) {
        if (FolderExists(path) != std::optional<bool>(true)) {
            inputs.push_back(path);
            continue;
        }
        const bool anyPicture = options.extension == "*";
        AddFolderFiles(path, "*." + options.extension, [&](const std::string& row) {
            if (!anyPicture || HasPictureExtension(row))
                inputs.push_back(row);
        });
    }
    return inputs;
}

class CliObserver : public ConversionObserver {
public:
    CliObserver(std::FILE* messages, bool quiet, bool terminal) : out_(messages), quiet_(quiet), terminal_(terminal) {}

    void Progress(double value, const std::string& text) override
    {
        if (quiet_ || !terminal_)
            return;
        std::fprintf(out_, "\r\033[K%3.0f%%  %s", value, text.c_str());
        lineOpen_ = value > 0;
    }

    void Failure(const ConversionFailure& failure) override
    {
        EndProgressLine();
        std::fprintf(out_, "%s: %s\n", failure.inputPath.c_str(), failure.description.c_str());
    }

    void Message(const std::string& text) override
    {
        EndProgressLine();
        if (text != DoneMessage)
            std::fprintf(out_, "%s\n", text.c_str());
    }

private:
    void EndProgressLine()
    {
        if (lineOpen_)
            std::fputs("\r\033[K", out_);
        lineOpen_ = false;
    }

    std::FILE* out_;
    bool quiet_;
    bool terminal_;
    bool lineOpen_ = false;
};

int Main(const std::vector<std::string>& arguments)
{
    std::string error;
    const std::optional<CliOptions> options = ParseCommandLine(arguments, error);
    if (!options) {
        std::cerr << "tollamere-cli: " << error << "\nTry 'tollamere-cli --help' for more.\n";
        return ExitUsage;
    }
    if (options->help) {
        std::cout << UsageText();
        return ExitWritten;
    }
    if (options->version) {
        std::cout << "tollamere-cli " << TOLLAMERE_VERSION << '\n';
        return ExitWritten;
    }
    if (FolderExists(options->outputFolder) != std::optional<bool>(true)) {
        std::cerr << "tollamere-cli: " << options->outputFolder << ": " << FolderMissingMessage << '\n';
        return ExitUsage;
    }

    ConversionRequest request;
    request.inputPaths = CollectInputs(*options);
    request.outputFolder = ToPathText(std::filesystem::absolute(ToFileSystemPath(options->outputFolder)));
    request.bevelSizeText = options->bevelSize;
    request.lightAngleText = options->lightAngle;
    request.lightElevationText = options->lightElevation;
    request.decimalSeparator = ".";
    request.workers = options->jobs;

    std::stop_source stop;
    StopOnInterrupt(stop);
    const bool terminal = StandardErrorIsTerminal();
    std::FILE* messages = TakeStandardErrorForMessages();
    CliObserver observer(messages, options->quiet, terminal);
    const ConversionSummary summary = RunConversion(request, observer, stop.get_token());
    if (!options->quiet && !request.inputPaths.empty())
        std::fprintf(messages, "%zu of %zu file(s) written to %s%s\n", summary.written, request.inputPaths.size(),
                     request.outputFolder.c_str(), summary.stopped ? " (stopped)" : "");
    return summary.written == request.inputPaths.size() && !request.inputPaths.empty() ? ExitWritten : ExitFailed;
}

} // namespace
} // namespace tollamere

int main(int argc, char** argv)
{
    return tollamere::Main(std::vector<std::string>(argv + 1, argv + argc));
}
