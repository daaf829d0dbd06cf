// SPDX-License-Identifier: MIT
#pragma once

#include "command_line.h"
#include "conversion_run.h"

#include <stop_token>

namespace tollamere {

// --watch: converts each picture that appears in the watched folder once its
// writer is done with it, as many at a time as the run has workers, until a
// stop comes; the pictures in progress then are finished, so that nothing is
// left half done. Each batch runs in a process of its own, so that a picture
// that crashes a decoder costs that picture only. The output folder is
// opened once: every batch writes into that folder, wherever its path leads
// later. The request holds everything but the inputs. Answers the exit
// status.
int Watch(const CliOptions& options, ConversionRequest settings, std::stop_source& stop);

} // namespace tollamere
