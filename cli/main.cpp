// SPDX-License-Identifier: MIT
// tollamere-cli: the window's conversion run for scripts and servers.
#include "cli_main.h"
#include "process_environment.h"

int main(int argc, char** argv)
{
    // Before any file is opened: a descriptor the caller closed would
    // otherwise be handed to an output, and messages would land in it.
    const tollamere::ClosedStreams closed = tollamere::EnsureStandardStreamsOpen();
    return tollamere::RunCommandLine(std::vector<std::string>(argv + 1, argv + argc), closed.output);
}
