// SPDX-License-Identifier: MIT
#pragma once

// A helper program of this install run on bytes it could be harmed by (a
// drawing): started without a shell, with nothing of the caller's but a
// pipe in and out, limited in memory, processor time and wall time, and
// always reaped. Its answer is read back whole or not at all.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tollamere {

// Where a helper program of this install is: beside the running program,
// else in ../lib/tollamere from its folder (an install's bin/, and the build
// tree's program folders), else two folders up (the build tree's tests).
// Empty when none of them holds it.
std::filesystem::path FindHelperProgram(std::string_view name);

struct HelperLimits {
    // 0 leaves the address space unlimited.
    std::uint64_t addressSpaceBytes = 0;
    std::chrono::seconds processorTime{20};
    std::chrono::milliseconds wallTime{30'000};
};

struct HelperOutcome {
    enum class End {
        Exited,          // `code` is its exit status
        Signalled,       // `code` is the signal that ended it
        OutOfTime,       // the wall time ran out and it was killed
        OutOfProcessor,  // its processor time ran out
        Abandoned,       // the caller's work was abandoned and it was killed
        NotStarted,      // `errors` says why
    };
    End end = End::NotStarted;
    int code = 0;
    // What it wrote on its standard output, up to the most asked for.
    std::vector<std::uint8_t> output;
    // The end of what it wrote on its standard error.
    std::string errors;
};

// Runs `program` with `arguments`, its standard input the bytes given (then
// closed), and waits for it to end. Its standard output is kept up to
// mostOutput bytes; more ends it as if it had crashed. Its environment holds
// only what the font set-up reads (HOME, the XDG folders, FONTCONFIG_*).
HelperOutcome RunHelper(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                        std::span<const std::uint8_t> input, std::size_t mostOutput, const HelperLimits& limits);

// While one lives, the helpers this thread runs are killed as soon as
// `abandoned` answers true (asked a few times a second): the window's
// preview gives up a picture it no longer shows.
class AbandonHelpersWhen {
public:
    explicit AbandonHelpersWhen(std::function<bool()> abandoned);
    ~AbandonHelpersWhen();
    AbandonHelpersWhen(const AbandonHelpersWhen&) = delete;
    AbandonHelpersWhen& operator=(const AbandonHelpersWhen&) = delete;

private:
    std::function<bool()> previous_;
};

} // namespace tollamere
