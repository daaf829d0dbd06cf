// SPDX-License-Identifier: MIT
#include "standard_output.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>

namespace tollamere {

int UsageError(const std::string& reason)
{
    std::cerr << "tollamere-cli: " << reason << "\nTry 'tollamere-cli --help' for more.\n";
    return ExitUsage;
}

int WriteStandardOutput(const std::string& text)
{
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    const int error = errno;
    if (std::fflush(stdout) == 0 && written)
        return 0;
    return errno != 0 ? errno : error != 0 ? error : EIO;
}

int StandardOutputLost(int error, std::FILE* messages)
{
    if (error == EPIPE)
        return ExitSignalBase + SIGPIPE;
    std::fprintf(messages, "tollamere-cli: standard output: %s\n", std::strerror(error));
    return ExitFailed;
}

int WriteText(const std::string& text)
{
    if (const int error = WriteStandardOutput(text))
        return StandardOutputLost(error);
    return ExitWritten;
}

} // namespace tollamere
