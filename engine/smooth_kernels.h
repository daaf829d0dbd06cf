// SPDX-License-Identifier: MIT
#pragma once

// The row kernels of the smooth and chisel techniques, compiled portable and
// for AVX2 (kernel_targets.h); both give the same bits, as they do the same
// float operations in the same order.

#include "bevel_look.h"
#include "runtime_error.h"
#include "smooth_bevel.h"

#include <cstdint>
#include <new>
#include <vector>

namespace tollamere {

// Where a style other than inner puts its band: the band position u is
// max(distance * slope + offset, distance * mirrorSlope) within 0 and 1
// (the mirror folds the outside onto the inside for the pillow), and the
// band holds the distances within halfWidth of the edge, its light fading
// over them by inverseHalf.
struct StyleBand {
    float slope = 0;
    float offset = 0;
    float mirrorSlope = 0;
    float halfWidth = 0;
    float inverseHalf = 0;
};

// How distances become heights: a curved profile is
// m + n * QuarterSine(p + q * |r * u + s|), with u the band position.
struct HeightRule {
    HeightRule(std::int32_t bevelSize, const BevelLook& look) noexcept;

    float scale = 0;
    bool banded = false;
    float inverseBevel = 0;
    // False for the inner style, whose band position is the distance over
    // the bevel size.
    bool styled = false;
    StyleBand band;
    bool linear = true;
    float p = 0;
    float q = 1;
    float r = 1;
    float s = 0;
    float m = 0;
    float n = 1;
};

// One row to light: the picture's rows, the coverage, the blurred
// distances, and the heights of the row and the rows above and below it
// from column -1 to column width.
struct LightRowInput {
    const std::uint32_t* in;
    std::uint32_t* out;
    const std::uint8_t* coverage;
    const float* distances;
    const float* above;
    const float* here;
    const float* below;
    std::int32_t width;
};

// A tone as the light kernel lays it on: its channels 0..255 (red, green,
// blue), its opacity 0..1, its blend.
struct ToneRule {
    float channel[3];
    float opacity;
    BlendMode mode;
};

struct LightRule {
    float x;
    float y;
    float z;
    float inverseBevel;
    bool banded;
    bool hardFacets;
    // False for the default tones, white and black laid on as they are.
    bool toned = false;
    ToneRule highlight{};
    ToneRule shadow{};
    // As the heights' rule has them.
    bool styled = false;
    StyleBand band{};
};

ToneRule ToneRuleOf(const BandTone& tone) noexcept;

struct SmoothKernels {
    void (*CoverageRow)(const std::uint32_t* words, std::uint8_t* coverage, std::int32_t width,
                        const ShapeSource& source);
    // The bit maps of rows [first, last): inside, then boundary (which reads
    // the inside bits of the rows around); BoundaryRows leaves each row's
    // count in rowFirstEdge[y + 1] and the word indices within the row.
    void (*InsideRows)(SmoothMaps& maps, std::int32_t first, std::int32_t last);
    void (*BoundaryRows)(SmoothMaps& maps, std::int32_t first, std::int32_t last);
    // The raw edge points of rows [first, last), then their fit: first of
    // the points that lead their 2 by 2 block, then of the others, which
    // take their leader's line.
    // rings: BlurRingRows rows of the picture's width.
    void (*EdgeRows)(SmoothMaps& maps, std::int32_t first, std::int32_t last, const float* stepTable,
                     std::uint16_t* rings);
    void (*FitRows)(SmoothMaps& maps, std::int32_t first, std::int32_t last);
    void (*FollowRows)(SmoothMaps& maps, std::int32_t first, std::int32_t last);
    // nearest: the picture's width of scratch.
    void (*ColumnOffsets)(SmoothMaps& maps, std::int32_t firstWord, std::int32_t lastWord, std::int32_t* nearest);
    void (*DistanceRow)(const SmoothMaps& maps, std::int32_t y, float reach, float outsideReach,
                        SmoothRowScratch& scratch, float* distances);
    // out = sum of rows[0..count) times scale.
    void (*SumRows)(const float* const* rows, std::int32_t count, float scale, float* out, std::int32_t width);
    // out[x] = sum of padded[x .. x + 2 * radius].
    void (*BoxRow)(const float* padded, float* out, std::int32_t width, std::int32_t radius);
    void (*HeightsRow)(const float* distances, float* heights, std::int32_t width, const HeightRule& rule);
    void (*LightRow)(const LightRowInput& row, const LightRule& rule);
};

// Grows memory to at least size elements, allocating exactly size when it
// must, so that the maps hold what SmoothMapsBytes says; never shrinks it.
// Raises Out of memory (7).
template <typename T>
void GrowExactly(std::vector<T>& memory, std::size_t size)
{
    try {
        if (memory.capacity() < size) {
            std::vector<T> larger;
            larger.reserve(size);
            larger.resize(size);
            memory.swap(larger);
        } else if (memory.size() < size) {
            memory.resize(size);
        }
    } catch (const std::bad_alloc&) {
        Raise(ErrorNumber::OutOfMemory);
    }
}

// At least that many threads' rows in the maps. Raises Out of memory (7).
inline void GrowRows(SmoothMaps& maps, std::int32_t bands)
{
    try {
        if (maps.rows.size() < std::size_t(bands))
            maps.rows.resize(std::size_t(bands));
    } catch (const std::bad_alloc&) {
        Raise(ErrorNumber::OutOfMemory);
    }
}

// The rows of the blurred coverage the edge points are read from.
inline constexpr std::int32_t BlurRingRows = 8 + 4 + 1;

// The stepTable's size: the step edge's distance over the blurred coverage
// from 0 to 1, read with linear interpolation.
inline constexpr int StepTableSize = 4096;
const float* StepTable();

const SmoothKernels& PortableSmoothKernels() noexcept;
// nullptr where this build or this processor has no AVX2.
const SmoothKernels* Avx2SmoothKernels() noexcept;
const SmoothKernels& FastestSmoothKernels() noexcept;

// The stages and ApplySmoothBevel with the kernels given; the ones in
// smooth_bevel.h take the fastest.
void BuildCoverage(const Picture& picture, const ShapeSource& source, SmoothMaps& maps, unsigned threads,
                   const SmoothKernels& kernels);
void FindEdgePoints(SmoothMaps& maps, unsigned threads, const SmoothKernels& kernels);
void BuildDistanceField(SmoothMaps& maps, unsigned threads, const SmoothKernels& kernels);
void RenderSmoothBevel(const Picture& picIn, Picture& picOut, const Vector3& lightVector, std::int32_t bevelSize,
                       const BevelLook& look, SmoothMaps& maps, unsigned threads, const SmoothKernels& kernels);
void ApplySmoothBevel(const Picture& picIn, Picture& picOut, const BevelParameters& parameters,
                      const BevelLook& look, unsigned threads, SmoothMaps& maps, const SmoothKernels& kernels);

} // namespace tollamere
