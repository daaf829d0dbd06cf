// SPDX-License-Identifier: MIT
#pragma once

#include "bevel.h"
#include "bevel_look.h"
#include "picture.h"

#include <cstdint>

namespace tollamere {

// The size a picture of width x height takes to fit a box (a side of 0 is
// not bounded; both 0 keeps the size), with its aspect kept, then times
// scale; at least 1 by 1.
struct ScaledSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};
// The factor by which a picture of width x height is resized to fit the box
// at that scale.
double FitFactor(std::int64_t width, std::int64_t height, std::int64_t boxWidth, std::int64_t boxHeight, double scale);
// The picture's size times the factor, rounded, at least 1 by 1; nothing
// beyond what an int holds is asked of it (callers check the pixel count).
ScaledSize SizeTimes(std::int64_t width, std::int64_t height, double factor);

// The picture resized to width x height with a separable Lanczos filter of
// three lobes, on premultiplied alpha so that the colour of see-through
// pixels does not bleed into their neighbours. Lanczos-3 is what the
// well-kept resamplers (libvips, Pillow, ImageMagick) use for photographs
// and drawings alike: sharp, with little ringing. The rows are split into
// bands over `threads`. Raises Out of memory (7).
Picture ResizePicture(const Picture& source, std::int32_t width, std::int32_t height, unsigned threads);

// The effect's pixel sizes scaled by the factor a picture was resized by, so
// that a button at twice the size looks like the first at twice the
// density: the bevel size, and the look's soften radius, margin and drop
// shadow; rounded and kept within their ranges.
void ScaleEffect(BevelParameters& parameters, BevelLook& look, double factor);

} // namespace tollamere
