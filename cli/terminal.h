// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdio>
#include <stop_token>
#include <string>

namespace tollamere {

// True when standard error is a terminal, where a progress line can be redrawn.
bool StandardErrorIsTerminal();

// The longest path the system takes, in bytes, without the ending NUL.
std::size_t LongestPathBytes();

// True when reading the list at source ("-" for standard input) may wait for
// someone else: a named pipe or socket, a terminal on standard input, or a
// pipe there with nothing to read after a moment's look (a list already
// flowing in says nothing).
bool ReadingMayWait(const std::string& source);

// Decoder libraries print their own complaints about damaged files straight
// to standard error. This keeps standard error for the program's messages
// only: it returns a stream on the real standard error and sends what else is
// written there to the null device. Falls back to stderr when it cannot.
std::FILE* TakeStandardErrorForMessages();

// Turns Ctrl+C (and a termination request) into a stop request of the run,
// so the pictures being written are finished and no temporary file is left.
// A closed pipe on standard output (SIGPIPE) no longer ends the program: the
// write fails instead.
void StopOnInterrupt(std::stop_source& source);

// The signal that asked the run to stop (SIGINT or SIGTERM), 0 when none came.
int InterruptSignal();

} // namespace tollamere
