// SPDX-License-Identifier: MIT
#pragma once

// The command line's exit status, by one rule, and what it writes to
// standard output: a JSON line or the help, each flushed at once.

#include <cstdio>
#include <string>

namespace tollamere {

inline constexpr int ExitWritten = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;
// The shell's convention for a program ended by a signal.
inline constexpr int ExitSignalBase = 128;

// Says the usage error and where help is, on standard error; ExitUsage.
int UsageError(const std::string& reason);

// Writes the text (a JSON line, the help) and flushes it at once, so that
// a reader on a pipe sees every item as it ends. Returns the error of a
// write that failed (the reader went away, the disk is full), 0 when
// standard output took it all.
int WriteStandardOutput(const std::string& text);

// The exit status when standard output could not take what was written to
// it: 128 + SIGPIPE when its reader has gone, as if the signal had ended the
// program; otherwise (a full disk, a closed descriptor) a failure, said on
// messages.
int StandardOutputLost(int error, std::FILE* messages = stderr);

// Text for standard output alone, such as the help; the exit status.
int WriteText(const std::string& text);

} // namespace tollamere
