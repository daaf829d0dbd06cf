// SPDX-License-Identifier: MIT
#pragma once

// The choices of the bevel's look beside the classic effect's three
// parameters: which technique builds the height field, the profile of the
// band, its depth and direction, how much the height field is softened and
// which pixels make the shape.

#include "drop_shadow.h"

#include <cstdint>

namespace tollamere {

// The ranges of the look's numbers that CheckBevelLook keeps.
inline constexpr std::int32_t MaxDepthPercent = 1000;
inline constexpr std::int32_t MaxSoftenRadius = 64;

enum class BevelTechnique {
    // The erosion height field in bytes, the effect as it always was.
    Classic,
    // The Euclidean distance to the shape's edge, at sub-pixel precision,
    // shaped by the profile, in floating point.
    Smooth,
    // The same distance, linear, with hard facets meeting in a sharp ridge.
    Chisel,
};

// How the band rises from the edge (0) to the flat top (1).
enum class BevelProfile {
    Linear,
    // A quarter wave: steep at the edge, level at the top.
    Round,
    // The reverse: level at the edge, steep at the top.
    Cove,
    // Up to a crest in the middle of the band and down again.
    Ridge,
};

enum class BevelDirection { Up, Down };

// Where the band lies against the shape's edge.
enum class BevelStyle {
    // Inside the shape, rising from the edge to the flat top.
    Inner,
    // Outside it, rising from the band's far edge to the shape, which is the
    // flat top.
    Outer,
    // Half each side of the edge.
    Emboss,
    // A groove along the edge: rising away from it on both sides, each half
    // as wide.
    Pillow,
};

// Which pixels make the shape.
enum class ShapeSourceKind {
    // The classic rule: green byte not 0.
    Green,
    // The alpha byte as coverage, so anti-aliased edges keep their position.
    Alpha,
    // Luminance (0.299 red + 0.587 green + 0.114 blue) above a threshold.
    Luma,
};

struct ShapeSource {
    ShapeSourceKind kind = ShapeSourceKind::Green;
    // For Luma: a pixel is inside when its luminance is above this (0..255).
    std::int32_t lumaThreshold = 0;
};

// How a tone's colour goes onto the picture's colour where the band is lit
// (the highlight) or turned from the light (the shadow).
enum class BlendMode {
    // The tone's colour itself.
    Normal,
    // Lighter: 1 - (1 - picture)(1 - tone).
    Screen,
    // Darker: picture x tone.
    Multiply,
    // Multiply in the picture's darks, screen in its lights, twice as strong.
    Overlay,
};

// The colour the band's light or shade brings, how much of it at most, and
// how it is blended.
struct BandTone {
    LookColour colour;
    BlendMode mode = BlendMode::Normal;
    friend bool operator==(const BandTone&, const BandTone&) = default;
};

// The smooth and chisel techniques' light: white and black laid on as they
// are, as the classic effect lightens and darkens.
inline constexpr BandTone DefaultHighlight{{0xFFFFFF, 100}, BlendMode::Normal};
inline constexpr BandTone DefaultShadow{{0x000000, 100}, BlendMode::Normal};

// Everything but Classic's defaults is used by Smooth and Chisel only.
struct BevelLook {
    BevelTechnique technique = BevelTechnique::Classic;
    BevelProfile profile = BevelProfile::Linear;
    // The band's height as a share of the classic height, in percent (0..1000).
    std::int32_t depthPercent = 100;
    BevelDirection direction = BevelDirection::Up;
    BevelStyle style = BevelStyle::Inner;
    // The radius in pixels of the blur over the height field (0..64); Chisel
    // keeps its facets hard and ignores it.
    std::int32_t softenRadius = 0;
    ShapeSource shapeSource;
    // What the lit side and the shaded side of the band take on.
    BandTone highlight = DefaultHighlight;
    BandTone shadow = DefaultShadow;
    // The margin and the drop shadow, added after the bevel with every
    // technique; the shadow's shape comes from shapeSource.
    Decoration decoration;
};

// Raises Overflow (6) for a depth, soften radius or luminance threshold out
// of its range, a choice that names no technique, profile, style or source, or a
// decoration CheckDecoration refuses.
void CheckBevelLook(const BevelLook& look);

} // namespace tollamere
