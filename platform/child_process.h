// SPDX-License-Identifier: MIT
#pragma once

// Work done in a process of its own, a copy of this one, so that whatever
// goes wrong in it (a library that crashes on a hostile file, say) ends that
// process only. The child says what it did on a channel as it goes, so that
// what it finished before it ended is known.

#include <functional>
#include <string>
#include <string_view>

namespace tollamere {

// How a child ended and what it sent.
struct ChildEnd {
    std::string sent;
    // Its exit status when it exited, else the signal that ended it.
    int exitStatus = 0;
    int signal = 0;

    // The signal's name, or the exit status, in words: "Aborted",
    // "exit status 3".
    std::string How() const;
};

// Runs work in a child process (a fork of this one, so call it where no
// other thread holds a lock the work needs): work gets the descriptor of its
// channel and answers the child's exit status. The child dies with this
// process, dumps no core and flushes standard output before it exits. Waits
// for the child, reading what it sends. Raises Path/File access error (75)
// when no child can be made.
ChildEnd RunInChildProcess(const std::function<int(int channel)>& work);

// Sends the bytes on a child's channel; false when they could not all go.
bool SendOnChannel(int channel, std::string_view bytes) noexcept;

} // namespace tollamere
