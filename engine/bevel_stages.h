// SPDX-License-Identifier: MIT
#pragma once

// The bevel effect's stages and the maps they pass on, for the engine's own
// files, its tests and its benchmarks; the rest of the program uses bevel.h.

#include "bevel.h"
#include "bevel_kernels.h"
#include "byte_map.h"
#include "cDIBSection.h"
#include "vector_math.h"

#include <cstdint>
#include <vector>

namespace tollamere {

// A view over a surface's pixel memory, laid out as cDIBSection's. It owns nothing.
struct PixelView {
    std::uint8_t* data = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;

    // The blue, green, red bytes of picture pixel (x, y) counted from the top left.
    std::uint8_t* PixelAt(std::int32_t x, std::int32_t y) const noexcept
    {
        return data + cDIBSection::PixelOffsetFor(width, height, x, y);
    }
};

// The maps of one call, each the picture's size, and where the light and
// shadow maps may hold anything but 0. Made filled with 0.
struct BevelMaps {
    BevelMaps() = default;
    BevelMaps(std::int32_t width, std::int32_t height);
    // As if made anew at that size, keeping the memory that is large enough.
    void Reset(std::int32_t width, std::int32_t height);

    ByteMap heightMap;
    ByteMap lightMap;
    ByteMap shadowMap;
    // Per row, the columns outside of which the map holds only 0.
    std::vector<RowSpan> lightSpans;
    std::vector<RowSpan> shadowSpans;
};

// The stages, in the order the effect runs them. Each splits its sweeps into
// up to `threads` bands, run on their own threads when the picture is large;
// the result does not depend on the number of threads.
void BuildShapeMask(const PixelView& pixels, BevelMaps& maps, unsigned threads = 1);
// From the shape mask (exactly 0 or 1) to 1 + the erosion passes each inside
// pixel survives, limited to bevelSize + 1 (a size below 1 makes no pass).
// Sizes above MaxBevelSize are CheckBevelSize's to refuse before.
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

// Bevel sizes outside 0..MaxBevelSize are refused before any work: -1 raises Division
// by zero (11), any other Overflow (6), the errors the effect would meet.
void CheckBevelSize(std::int32_t bevelSize);

// Bevels the surface in place. A surface of no size raises Invalid picture
// (481), one without pixel memory Out of memory (7); on any failure the
// pixels are unchanged. threads: how many
// threads a large picture may use (0 counts as 1).
void ApplyBevel(cDIBSection& surface, const BevelParameters& parameters, unsigned threads = 1);
// The same with maps kept from an earlier call, reset here.
void ApplyBevel(cDIBSection& surface, const BevelParameters& parameters, unsigned threads, BevelMaps& maps);

} // namespace tollamere
