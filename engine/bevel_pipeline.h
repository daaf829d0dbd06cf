#pragma once

#include "bevel_kernels.h"
#include "byte_map.h"
#include "cDIBSection.h"
#include "effect_operators.h"
#include "numeric_text.h"
#include "picture.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tollamere {

// The effect's parameters as the user typed them, converted: bevel size in
// pixels, light angle and elevation in radians.
struct BevelParameters {
    std::int32_t BevelSize = 5;
    double LightAngle = 0.0;
    double LightElevation = 0.0;
};

// Converts the three parameter texts in this order: bevel size (rounded
// halves to even), light angle, light elevation (degrees). A text that is no
// number raises Type mismatch (13); one beyond the range, Overflow (6).
BevelParameters ParseBevelParameters(std::string_view bevelSizeText, std::string_view lightAngleText,
                                     std::string_view lightElevationText,
                                     const std::string& decimalSeparator = LocaleDecimalSeparator());

// A byte view over the surface's pixel memory: (row byte, memory row), rows
// stored bottom-up as the surface keeps them. It owns nothing.
struct PixelView {
    std::uint8_t* data = nullptr;
    std::int32_t bytesPerScanLine = 0;
    std::int32_t rows = 0;

    std::uint8_t* MemoryRow(std::int32_t memoryRow) const noexcept
    {
        return data + std::size_t(memoryRow) * std::size_t(bytesPerScanLine);
    }
    // The blue, green, red bytes of picture pixel (x, y) counted from the top left.
    std::uint8_t* PixelAt(std::int32_t x, std::int32_t y) const noexcept { return MemoryRow(rows - 1 - y) + 3 * x; }
};

// The maps of one call, each the picture's size, and where the light and
// shadow maps may hold anything but 0. Made filled with 0.
struct BevelMaps {
    BevelMaps(std::int32_t width, std::int32_t height);

    ByteMap HeightMap;
    ByteMap LightMap;
    ByteMap ShadowMap;
    // Per row, the columns outside of which the map holds only 0.
    std::vector<RowSpan> LightSpans;
    std::vector<RowSpan> ShadowSpans;
};

// The stages, in the order the effect runs them. Each splits its sweeps into
// up to `threads` bands, run on their own threads when the picture is large;
// the result does not depend on the number of threads.
void BuildShapeMask(const PixelView& pixels, BevelMaps& maps, unsigned threads = 1);
// From the shape mask (exactly 0 or 1) to 1 + the erosion passes each inside
// pixel survives, limited to bevelSize + 1 (a size below 1 makes no pass).
// Above 254, raises Overflow (6) when a pixel would survive 255 passes.
void BuildHeightField(std::int32_t bevelSize, BevelMaps& maps, unsigned threads = 1);
// Heights from 0..bevelSize + 1 to 0..255. A bound outside a byte raises
// Overflow (6); bevel size -1 raises Division by zero (11).
void NormalizeHeightField(std::int32_t bevelSize, BevelMaps& maps, unsigned threads = 1);
void BlurHeight(BevelMaps& maps, unsigned threads = 1);
// Expects the light and shadow maps as BevelMaps makes them or as this stage
// and the later ones leave them (their spans true).
void CalculateLight(const Vector3& lightVector, BevelMaps& maps, unsigned threads = 1);
void BlurLights(BevelMaps& maps, unsigned threads = 1);
void MergeHeightLight(BevelMaps& maps, unsigned threads = 1);
void RenderBevel(const PixelView& pixels, const BevelMaps& maps, unsigned threads = 1);

// Bevel sizes outside 0..254 are refused before any work: -1 raises Division
// by zero (11), any other Overflow (6), the errors the effect would meet.
void CheckBevelSize(std::int32_t bevelSize);

// Bevels the surface in place. A surface without pixels raises Invalid
// picture (481); on any failure the pixels are unchanged. threads: how many
// threads a large picture may use (0 counts as 1).
void ApplyBevel(cDIBSection& surface, const BevelParameters& parameters, EffectState& state, unsigned threads = 1);

// Bevels picIn into picOut at (0, 0); picOut receives nothing on failure.
void ApplyBevel(const Picture& picIn, Picture& picOut, const BevelParameters& parameters, EffectState& state,
                unsigned threads = 1);

} // namespace tollamere
