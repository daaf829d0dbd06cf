// SPDX-License-Identifier: MIT
#pragma once

// One item's way from its input's bytes to its output's bytes: the picture
// loaded (a JPEG written as JPEG straight into the workspace's surface, a
// drawing rendered at the size asked for), the effect at each size the output
// holds, and the encoding. No threads and no files: the run does those.

#include "bevel.h"
#include "output_planner.h"
#include "picture_codec.h"
#include "picture_size.h"
#include "run_steps.h"
#include "run_types.h"

#include <cstdint>
#include <optional>
#include <stop_token>
#include <vector>

namespace tollamere {

// Whether the output is one file holding the picture at several sizes.
bool WritesSizes(const ItemPlan& plan);

// The factor an item's picture of that size is resized by: to fit the
// options' box, then times the plan's scale; 1 when it is not resized.
double ResizeFactor(const ItemPlan& plan, const OutputOptions& options, PictureSize size);

// The refusal of a picture the look's margin would grow beyond what any
// picture may be; nothing when it fits.
std::optional<StepFailure> GrownBeyondLimits(PictureSize size, std::int32_t margin);

struct ItemOutput {
    // The step that failed, or nothing.
    std::optional<StepFailure> failure;
    // The picture is larger than the pixels allowed (its header said less):
    // its size, for the run to find room for it.
    std::optional<PictureSize> larger;
    // A stop came after the effect: nothing was encoded.
    bool stopped = false;
    EncodedBytes bytes;
};

// Converts the input's bytes (given up once the picture is loaded) as the
// plan and the request say, in the workspace, whose kept picture and surface
// it uses and leaves for the next item. The load refuses a picture of more
// than allowedPixels. engineThreads: how many threads the effect may use.
ItemOutput ConvertItem(const ItemPlan& plan, const ConversionRequest& request, std::vector<std::uint8_t>&& input,
                       BevelWorkspace& space, std::uint64_t allowedPixels, unsigned engineThreads,
                       std::stop_token stop = {});

} // namespace tollamere
