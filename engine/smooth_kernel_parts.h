// SPDX-License-Identifier: MIT
#pragma once

// What the smooth technique's kernel files share: the maps' indexing, the
// packing of edge points, and the row kernels each file compiles for each
// processor (smooth_shape_kernels.cpp: coverage, boundary and the edge;
// smooth_distance_kernels.cpp: distances to the edge;
// smooth_shading_kernels.cpp: blurs, heights and light), which
// smooth_kernels.cpp gathers into its tables. Only those files include it.

#include "kernel_targets.h"
#include "smooth_kernels.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace tollamere::smooth_parts {

constexpr std::uint8_t InsideFrom = 128;
static_assert(InsideFrom == 0x80, "the inside bits are the coverage's top bits");
// An outside pixel this much further than the outside reach from every
// boundary pixel lies beyond that reach of the edge.
constexpr float FarOutsideMargin = 2;
constexpr std::int32_t WordBits = 64;

TOLLAMERE_KERNEL_BODY std::size_t At(const SmoothMaps& maps, std::int32_t x, std::int32_t y) noexcept
{
    return std::size_t(y) * std::size_t(maps.width) + std::size_t(x);
}

TOLLAMERE_KERNEL_BODY std::size_t WordAt(const SmoothMaps& maps, std::int32_t word, std::int32_t y) noexcept
{
    return std::size_t(y) * std::size_t(maps.wordsPerRow) + std::size_t(word);
}

TOLLAMERE_KERNEL_BODY std::int16_t Fixed(float value, float scale) noexcept
{
    const float scaled = std::clamp(value * scale, -32767.0f, 32767.0f);
    return static_cast<std::int16_t>(scaled + (scaled < 0 ? -0.5f : 0.5f));
}

TOLLAMERE_KERNEL_BODY PackedEdgePoint Pack(const EdgePoint& point) noexcept
{
    return {Fixed(point.offsetX, 2048), Fixed(point.offsetY, 2048), Fixed(point.normalX, 32767),
            Fixed(point.normalY, 32767)};
}

TOLLAMERE_KERNEL_BODY EdgePoint Unpack(const PackedEdgePoint& point) noexcept
{
    return {float(point.offsetX) * (1.0f / 2048), float(point.offsetY) * (1.0f / 2048),
            float(point.normalX) * (1.0f / 32767), float(point.normalY) * (1.0f / 32767)};
}


// The index in the edge points of boundary pixel (x, y).
TOLLAMERE_KERNEL_BODY std::uint32_t EdgeIndexAt(const SmoothMaps& maps, std::int32_t x, std::int32_t y) noexcept
{
    const std::size_t word = WordAt(maps, x / WordBits, y);
    const std::uint64_t below = (std::uint64_t{1} << (x % WordBits)) - 1;
    return maps.wordFirstEdge[word] + std::uint32_t(std::popcount(maps.boundaryBits[word] & below));
}

} // namespace tollamere::smooth_parts

// The kernels of each file, for the set Name.
#define TOLLAMERE_DECLARE_SMOOTH_PARTS(Name, Attributes, ByteShuffles)                                                 \
    namespace smooth_shape::Name {                                                                                     \
    void CoverageRow(const std::uint32_t* words, std::uint8_t* coverage, std::int32_t width, const ShapeSource& source); \
    void InsideRows(SmoothMaps& maps, std::int32_t first, std::int32_t last);                                          \
    void BoundaryRows(SmoothMaps& maps, std::int32_t first, std::int32_t last);                                        \
    void EdgeRows(SmoothMaps& maps, std::int32_t first, std::int32_t last, const float* table, std::uint16_t* rings);  \
    void FitRows(SmoothMaps& maps, std::int32_t first, std::int32_t last);                                             \
    void FollowRows(SmoothMaps& maps, std::int32_t first, std::int32_t last);                                          \
    }                                                                                                                  \
    namespace smooth_distance::Name {                                                                                  \
    void ColumnOffsets(SmoothMaps& maps, std::int32_t first, std::int32_t last, std::int32_t* nearest);                \
    void DistanceRow(const SmoothMaps& maps, std::int32_t y, float reach, float outsideReach,                          \
                     SmoothRowScratch& scratch, float* distances);                                                     \
    }                                                                                                                  \
    namespace smooth_shading::Name {                                                                                   \
    void SumRows(const float* const* rows, std::int32_t count, float scale, float* out, std::int32_t width);           \
    void BoxRow(const float* padded, float* out, std::int32_t width, std::int32_t radius);                             \
    void HeightsRow(const float* distances, float* heights, std::int32_t width, const HeightRule& rule);               \
    void LightRow(const LightRowInput& row, const LightRule& rule);                                                    \
    }

namespace tollamere {
TOLLAMERE_KERNEL_SETS(TOLLAMERE_DECLARE_SMOOTH_PARTS)
} // namespace tollamere

#undef TOLLAMERE_DECLARE_SMOOTH_PARTS
