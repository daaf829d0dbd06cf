// SPDX-License-Identifier: MIT
// The shape's edge at sub-pixel precision and the Euclidean distance to it:
// the stages that split the kernels' rows over the threads.

#include "runtime_error.h"
#include "smooth_bevel.h"
#include "smooth_kernels.h"
#include "work_bands.h"

#include <new>

namespace tollamere {
namespace {

constexpr std::int32_t WordBits = 64;

template <typename T>
void Grow(std::vector<T>& memory, std::size_t size)
{
    try {
        if (memory.size() < size)
            memory.resize(size);
    } catch (const std::bad_alloc&) {
        Raise(ErrorNumber::OutOfMemory);
    }
}

} // namespace

void FindEdgePoints(SmoothMaps& maps, unsigned threads, const SmoothKernels& kernels)
{
    const std::int32_t width = maps.width;
    ForEachBand(threads, maps.height, width,
                [&](std::int32_t first, std::int32_t last) { kernels.InsideRows(maps, first, last); });
    // How many boundary pixels each row holds, so that each row knows where
    // its points go in the one list.
    ForEachBand(threads, maps.height, width,
                [&](std::int32_t first, std::int32_t last) { kernels.BoundaryRows(maps, first, last); });
    maps.rowFirstEdge[0] = 0;
    for (std::size_t y = 1; y < maps.rowFirstEdge.size(); ++y)
        maps.rowFirstEdge[y] += maps.rowFirstEdge[y - 1];
    const std::size_t points = maps.rowFirstEdge.back();
    Grow(maps.rawEdgePoints, points);
    Grow(maps.edgePoints, points);
    const float* table = StepTable();
    ForEachBand(threads, maps.height, width,
                [&](std::int32_t first, std::int32_t last) { kernels.EdgeRows(maps, first, last, table); });
    ForEachBand(threads, maps.height, width,
                [&](std::int32_t first, std::int32_t last) { kernels.FitRows(maps, first, last); });
    ForEachBand(threads, maps.height, width,
                [&](std::int32_t first, std::int32_t last) { kernels.FollowRows(maps, first, last); });
}

void FindEdgePoints(SmoothMaps& maps, unsigned threads)
{
    FindEdgePoints(maps, threads, FastestSmoothKernels());
}

void BuildDistanceField(SmoothMaps& maps, unsigned threads, const SmoothKernels& kernels)
{
    // The sweeps' memory before any thread starts: the bands' work may not
    // raise. Bands of whole words, so that each reads its own bits.
    std::vector<std::int32_t> nearest;
    std::vector<std::uint8_t> flags;
    Grow(nearest, std::size_t(maps.wordsPerRow) * WordBits);
    Grow(flags, std::size_t(maps.wordsPerRow) * WordBits);
    ForEachBand(threads, maps.wordsPerRow, std::int64_t{WordBits} * maps.height,
                [&](std::int32_t first, std::int32_t last) {
                    kernels.ColumnOffsets(maps, first, last, nearest.data(), flags.data());
                });
}

void BuildDistanceField(SmoothMaps& maps, unsigned threads)
{
    BuildDistanceField(maps, threads, FastestSmoothKernels());
}

void DistanceRow(const SmoothMaps& maps, std::int32_t y, float reach, SmoothRowScratch& scratch, float* distances)
{
    Grow(scratch.vertices, std::size_t(maps.width));
    Grow(scratch.spans, std::size_t(maps.width));
    Grow(scratch.crossings, std::size_t(maps.width));
    FastestSmoothKernels().DistanceRow(maps, y, reach, scratch, distances);
}

} // namespace tollamere
