// SPDX-License-Identifier: MIT
#pragma once

// Room around a bevelled picture and a soft shadow of its shape beneath it.
// The shape is read from the picture before the bevel (which changes its
// colours), the canvas grows by the margin, then the shadow is drawn: under
// the shape's own pixels and over the background around it.

#include "picture.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tollamere {

struct ShapeSource;

// A colour and how much of it covers what lies beneath.
struct LookColour {
    std::uint32_t rgb = 0;  // 0xRRGGBB
    std::int32_t opacityPercent = 100;
    friend bool operator==(const LookColour&, const LookColour&) = default;
};

inline constexpr std::int32_t MaxMargin = 4096;
inline constexpr std::int32_t MaxShadowOffset = 4096;
// Three boxes whose reaches add up to the radius; at this radius their sums
// still fit 64 bits exactly, in both directions.
inline constexpr std::int32_t MaxShadowBlur = 512;

struct DropShadow {
    std::int32_t offsetX = 0;
    std::int32_t offsetY = 0;
    // How far beyond the shape the shadow reaches, in pixels.
    std::int32_t blurRadius = 0;
    LookColour colour{0x000000, 60};
    friend bool operator==(const DropShadow&, const DropShadow&) = default;
};

// What is added around the bevelled picture; nothing by default.
struct Decoration {
    std::int32_t margin = 0;
    std::optional<DropShadow> shadow;
    bool Any() const noexcept { return margin > 0 || shadow.has_value(); }
    friend bool operator==(const Decoration&, const Decoration&) = default;
};

// Raises Overflow (6) for a margin, offset, blur radius or opacity out of
// its range.
void CheckDecoration(const Decoration& decoration);

// The shape's coverage, 0 (outside) to 255 (inside), one byte a pixel, by
// the rule the smooth technique reads it with.
struct ShapeMask {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> coverage;
};

// Reads the mask from the picture; raises Out of memory (7).
void ReadShapeMask(const Picture& picture, const ShapeSource& source, ShapeMask& mask, unsigned threads = 1);

// The picture's size once the margin is added to every side; sides beyond
// 32 bits stay exact.
struct GrownSize {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
};
GrownSize GrowBy(std::int32_t width, std::int32_t height, std::int32_t margin) noexcept;

// Bytes per pixel of the grown picture that Decorate takes beside the
// picture it starts from, for a memory budget to count.
std::uint64_t DecorationBytesPerPixel(const Decoration& decoration) noexcept;

// Adds the margin and draws the shadow of `shape` (read from the picture
// before the bevel, at its size). With keepsAlpha the new pixels are
// transparent and the result is the picture composited over the shadow
// layer where it is not opaque; without, the new pixels take the colour of
// the picture's top-left pixel, opaque, and so does every pixel's
// transparent part, so that an output that drops alpha shows the shadow on
// the picture's background rather than on whatever colour transparent
// pixels hold. Opaque pixels outside the shape are the background: the
// shadow is blended onto them, by the share of the pixel the shape leaves.
// background, when given, is the colour taken instead of the top-left
// pixel's (the picture's corner before a margin was added to it).
// Raises Overflow (6) for a grown side beyond 32 bits or a decoration
// CheckDecoration refuses, Out of memory (7); the picture is left as it was
// on failure.
void Decorate(Picture& picture, const ShapeMask& shape, const Decoration& decoration, bool keepsAlpha,
              unsigned threads = 1, std::optional<std::uint32_t> background = std::nullopt);

} // namespace tollamere
