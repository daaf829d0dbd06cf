// SPDX-License-Identifier: MIT
#include "bevel_stages.h"

#include "checked_arithmetic.h"
#include "effect_defaults.h"
#include "map_blur.h"
#include "runtime_error.h"
#include "work_bands.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tollamere {

BevelMaps::BevelMaps(std::int32_t width, std::int32_t height)
{
    Reset(width, height);
}

void BevelMaps::Reset(std::int32_t width, std::int32_t height)
{
    heightMap.Reset(width, height);
    lightMap.Reset(width, height);
    shadowMap.Reset(width, height);
    try {
        const std::size_t rows = std::size_t(heightMap.Height());
        lightSpans.assign(rows, RowSpan{});
        shadowSpans.assign(rows, RowSpan{});
    } catch (const std::bad_alloc&) {
        Raise(ErrorNumber::OutOfMemory);
    }
}

namespace {

// Column sweeps go in bands of whole cache lines, so that two threads never
// write into the same line.
constexpr std::int32_t ColumnBlock = 64;

// The vertical part of the distances over columns [begin, end): down from the
// top edge, then up from the bottom edge.
void SweepColumns(ByteMap& heights, std::int32_t begin, std::int32_t end, std::uint8_t cap) noexcept
{
    const RowKernels& kernels = FastestKernels();
    const std::int32_t height = heights.Height();
    kernels.DistanceAtEdge(heights.Row(0), begin, end);
    for (std::int32_t y = 1; y < height; ++y)
        kernels.DistanceStep(heights.Row(y - 1), heights.Row(y), begin, end, cap);
    kernels.DistanceAtEdge(heights.Row(height - 1), begin, end);
    for (std::int32_t y = height - 2; y >= 0; --y)
        kernels.DistanceStep(heights.Row(y + 1), heights.Row(y), begin, end, cap);
}

// Whether any pixel that lighting works on, off the outermost ring, lies in
// the bevel band (neither outside nor on the flat top).
bool HasBandPixel(const ByteMap& heights) noexcept
{
    for (std::int32_t y = 1; y < heights.Height() - 1; ++y) {
        const std::uint8_t* row = heights.Row(y);
        for (std::int32_t x = 1; x < heights.Width() - 1; ++x)
            if (row[x] != 0 && row[x] != 255)
                return true;
    }
    return false;
}

// Clears a row over a span.
void ClearSpan(std::uint8_t* row, const RowSpan& span) noexcept
{
    if (!span.Empty())
        std::memset(row + span.begin, 0, std::size_t(span.end - span.begin));
}

} // namespace

void BuildShapeMask(const PixelView& pixels, BevelMaps& maps, unsigned threads)
{
    const RowKernels& kernels = FastestKernels();
    ByteMap& heights = maps.heightMap;
    ForEachBand(threads, heights.Height(), heights.Width(), [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y)
            kernels.ShapeMaskRow(pixels.PixelAt(0, y), heights.Row(y), heights.Width());
    });
}

void BuildHeightField(std::int32_t bevelSize, BevelMaps& maps, unsigned threads)
{
    // Surviving k passes means lying more than k pixels, counted along rows
    // and columns, from every outside pixel and, as the passes never keep the
    // outermost ring, from the frame just beyond the picture's edge. So the
    // height is that city-block distance, limited to bevelSize + 1: distances
    // along each row, then swept down and up the columns.
    const auto cap = static_cast<std::uint8_t>(std::clamp(bevelSize, 0, MaxBevelSize) + 1);
    ByteMap& heights = maps.heightMap;
    const std::int32_t width = heights.Width();
    ForEachBand(threads, heights.Height(), width, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y)
            RowDistances(heights.Row(y), width, cap);
    });
    const std::int32_t blocks = (width + ColumnBlock - 1) / ColumnBlock;
    const std::int64_t blockPixels = std::int64_t{ColumnBlock} * heights.Height();
    ForEachBand(threads, blocks, blockPixels, [&](std::int32_t first, std::int32_t last) {
        SweepColumns(heights, first * ColumnBlock, std::min(last * ColumnBlock, width), cap);
    });
}

void NormalizeHeightField(std::int32_t bevelSize, BevelMaps& maps, unsigned threads)
{
    const std::uint8_t high = CheckedByte(std::int64_t{bevelSize} + 1);
    ByteMap& heights = maps.heightMap;
    if (heights.Width() <= 0 || heights.Height() <= 0)
        return;
    if (high == 0)
        Raise(ErrorNumber::DivisionByZero);
    const std::uint32_t multiplier = NormalizeMultiplier(high);
    const RowKernels& kernels = FastestKernels();
    ForEachBand(threads, heights.Height(), heights.Width(), [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y)
            kernels.NormalizeRow(heights.Row(y), heights.Width(), multiplier);
    });
}

void BlurHeight(BevelMaps& maps, unsigned threads)
{
    BlurInPlace(maps.heightMap, nullptr, 1, threads);
}

void CalculateLight(const Vector3& lightVector, BevelMaps& maps, unsigned threads)
{
    const RowKernels& kernels = FastestKernels();
    const ByteMap& heights = maps.heightMap;
    const std::int32_t width = heights.Width();
    const std::int32_t height = heights.Height();
    // The row kernels may not raise: a light vector whose strengths could
    // leave a byte (an infinite angle makes it NaN) fails here instead, as
    // the first band pixel would have.
    if (!(VectorLength(lightVector) * 255 < 255.5) && HasBandPixel(heights))
        Raise(ErrorNumber::Overflow);
    ForEachBand(threads, height, width, [&](std::int32_t first, std::int32_t last) {
        NormalCache cache;
        for (std::int32_t y = first; y < last; ++y) {
            std::uint8_t* light = maps.lightMap.Row(y);
            std::uint8_t* shadow = maps.shadowMap.Row(y);
            RowSpan& lightSpan = maps.lightSpans[std::size_t(y)];
            RowSpan& shadowSpan = maps.shadowSpans[std::size_t(y)];
            ClearSpan(light, lightSpan);
            ClearSpan(shadow, shadowSpan);
            lightSpan = shadowSpan = {};
            if (y > 0 && y < height - 1 && width >= 3)
                lightSpan = shadowSpan = kernels.LightRow(heights.Row(y - 1), heights.Row(y), heights.Row(y + 1), light,
                                                          shadow, width, lightVector, cache);
        }
    });
}

void BlurLights(BevelMaps& maps, unsigned threads)
{
    BlurInPlace(maps.lightMap, &maps.lightSpans, 3, threads);
    BlurInPlace(maps.shadowMap, &maps.shadowSpans, 3, threads);
}

void MergeHeightLight(BevelMaps& maps, unsigned threads)
{
    const RowKernels& kernels = FastestKernels();
    const ByteMap& heights = maps.heightMap;
    ForEachBand(threads, heights.Height(), heights.Width(), [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y) {
            const RowSpan light = maps.lightSpans[std::size_t(y)];
            const RowSpan shadow = maps.shadowSpans[std::size_t(y)];
            kernels.FadeRow(maps.lightMap.Row(y), heights.Row(y), light.begin, light.end);
            kernels.FadeRow(maps.shadowMap.Row(y), heights.Row(y), shadow.begin, shadow.end);
        }
    });
}

void RenderBevel(const PixelView& pixels, const BevelMaps& maps, unsigned threads)
{
    const RowKernels& kernels = FastestKernels();
    const ByteMap& heights = maps.heightMap;
    ForEachBand(threads, heights.Height(), heights.Width(), [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y) {
            const RowSpan span = Hull(maps.lightSpans[std::size_t(y)], maps.shadowSpans[std::size_t(y)]);
            if (!span.Empty())
                kernels.RenderRow(pixels.PixelAt(0, y), heights.Row(y), maps.lightMap.Row(y), maps.shadowMap.Row(y),
                                  span.begin, span.end);
        }
    });
}

void CheckBevelSize(std::int32_t bevelSize)
{
    if (bevelSize == -1)
        Raise(ErrorNumber::DivisionByZero);
    if (bevelSize < 0 || bevelSize > MaxBevelSize)
        Raise(ErrorNumber::Overflow);
}

} // namespace tollamere
