// SPDX-License-Identifier: MIT
// The shape's edge at sub-pixel precision and the Euclidean distance to it:
// the stages that split the kernels' rows over the threads.

#include "runtime_error.h"
#include "smooth_bevel.h"
#include "smooth_kernels.h"
#include "work_bands.h"

namespace tollamere {
namespace {

constexpr std::int32_t WordBits = 64;

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
    for (std::size_t y = 1; y <= std::size_t(maps.height); ++y)
        maps.rowFirstEdge[y] += maps.rowFirstEdge[y - 1];
    const std::size_t points = maps.rowFirstEdge[std::size_t(maps.height)];
    GrowExactly(maps.rawEdgePoints, points);
    GrowExactly(maps.edgePoints, points);
    const float* table = StepTable();
    // Each band's rings before any thread starts: the bands' work may not
    // raise.
    const Bands bands(threads, maps.height);
    GrowRows(maps, bands.bands);
    for (std::int32_t band = 0; band < bands.bands; ++band)
        GrowExactly(maps.rows[std::size_t(band)].coverageRows, std::size_t(BlurRingRows) * std::size_t(width));
    const std::int64_t bandPixels = std::int64_t{width} * (maps.height / bands.bands + 1);
    ForEachBand(bands.bands, bands.bands, bandPixels, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t band = first; band < last; ++band)
            kernels.EdgeRows(maps, bands.Start(band), bands.Start(band + 1), table,
                             maps.rows[std::size_t(band)].coverageRows.data());
    });
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
    GrowExactly(maps.nearestRows, std::size_t(maps.wordsPerRow) * WordBits);
    ForEachBand(threads, maps.wordsPerRow, std::int64_t{WordBits} * maps.height,
                [&](std::int32_t first, std::int32_t last) {
                    kernels.ColumnOffsets(maps, first, last, maps.nearestRows.data());
                });
}

void BuildDistanceField(SmoothMaps& maps, unsigned threads)
{
    BuildDistanceField(maps, threads, FastestSmoothKernels());
}

void DistanceRow(const SmoothMaps& maps, std::int32_t y, float reach, SmoothRowScratch& scratch, float* distances,
                 float outsideReach)
{
    GrowExactly(scratch.candidates, std::size_t(maps.width / 2 + 1));
    GrowExactly(scratch.vertices, std::size_t(maps.width));
    GrowExactly(scratch.spans, std::size_t(maps.width));
    GrowExactly(scratch.crossings, std::size_t(maps.width));
    GrowExactly(scratch.levels, std::size_t(maps.width));
    GrowExactly(scratch.points, std::size_t(maps.width));
    FastestSmoothKernels().DistanceRow(maps, y, reach, outsideReach, scratch, distances);
}

} // namespace tollamere
