#pragma once

#include <stop_token>

namespace tollamere {

// True when standard error is a terminal, where a progress line can be redrawn.
bool StandardErrorIsTerminal();

// Turns Ctrl+C (and a termination request) into a stop request of the run,
// so the pictures being written are finished and no temporary file is left.
void StopOnInterrupt(std::stop_source& source);

} // namespace tollamere
