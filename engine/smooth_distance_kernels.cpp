// SPDX-License-Identifier: MIT
// The smooth technique's row kernels: the distance of every pixel to the edge.
#include "smooth_kernel_parts.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

namespace tollamere {
namespace {

using namespace smooth_parts;

// ---- Distances ----------------------------------------------------------------

// The row of column offsets that holds row y's (see SmoothMaps).
TOLLAMERE_KERNEL_BODY std::size_t OffsetRowAt(const SmoothMaps& maps, std::int32_t y) noexcept
{
    return std::size_t((y + 1) / 2) * std::size_t(maps.width);
}

TOLLAMERE_KERNEL_BODY std::int16_t* OffsetRow(SmoothMaps& maps, std::int32_t y) noexcept
{
    return maps.columnOffset.data() + OffsetRowAt(maps, y);
}

TOLLAMERE_KERNEL_BODY const std::int16_t* OffsetRow(const SmoothMaps& maps, std::int32_t y) noexcept
{
    return maps.columnOffset.data() + OffsetRowAt(maps, y);
}

TOLLAMERE_KERNEL_BODY bool KeepsOffsets(const SmoothMaps& maps, std::int32_t y) noexcept
{
    return y % 2 == 0 || y + 1 == maps.height;
}

// Calls visit(x) for each boundary pixel of row y in the words [first, last).
template <typename Visit>
TOLLAMERE_KERNEL_BODY void ForEachBoundaryBit(const SmoothMaps& maps, std::int32_t y, std::int32_t first,
                                              std::int32_t last, const Visit& visit) noexcept
{
    const std::uint64_t* bits = maps.boundaryBits.data() + WordAt(maps, 0, y);
    for (std::int32_t w = first; w < last; ++w)
        for (std::uint64_t word = bits[w]; word != 0; word &= word - 1)
            visit(w * WordBits + std::countr_zero(word));
}

// Down the columns of words [first, last) a row at a time, then up: the
// signed row offset to the nearest boundary pixel of its column, for the
// rows that keep them. The nearest rows change at the boundary pixels only;
// the rows that keep offsets are written without branches, so that the
// compiler sweeps the row at once.
TOLLAMERE_KERNEL_BODY void ColumnOffsetsBody(SmoothMaps& maps, std::int32_t first, std::int32_t last,
                                             std::int32_t* nearest) noexcept
{
    constexpr std::int32_t Far = std::numeric_limits<std::int16_t>::max();
    // Further than Far from every row, without overflow.
    constexpr std::int32_t Never = std::numeric_limits<std::int32_t>::max() / 4;
    const std::int32_t begin = first * WordBits;
    const std::int32_t end = std::min(last * WordBits, maps.width);
    std::fill(nearest + begin, nearest + end, -Never);
    for (std::int32_t y = 0; y < maps.height; ++y) {
        ForEachBoundaryBit(maps, y, first, last, [&](std::int32_t x) { nearest[x] = y; });
        if (!KeepsOffsets(maps, y))
            continue;
        std::int16_t* offsets = OffsetRow(maps, y);
        for (std::int32_t i = begin; i < end; ++i)
            offsets[i] = static_cast<std::int16_t>(y - nearest[i] > Far ? NoBoundary : nearest[i] - y);
    }
    std::fill(nearest + begin, nearest + end, Never);
    for (std::int32_t y = maps.height - 1; y >= 0; --y) {
        ForEachBoundaryBit(maps, y, first, last, [&](std::int32_t x) { nearest[x] = y; });
        if (!KeepsOffsets(maps, y))
            continue;
        std::int16_t* offsets = OffsetRow(maps, y);
        for (std::int32_t i = begin; i < end; ++i) {
            const std::int32_t below = std::min(nearest[i] - y, Far);
            const std::int32_t above = offsets[i] == NoBoundary ? Far : -offsets[i];
            offsets[i] = below < above ? static_cast<std::int16_t>(below) : offsets[i];
        }
    }
}

// Up to this width the envelope's products of a crossing's rise (below
// 2^41) and a span (below 2^21) fit 64 bits; wider rows compare them in
// double, and find their stretches' ends in double too.
inline constexpr std::int32_t WholeNumbersUpTo = 1 << 20;

// Whether the crossing rise / run lies right of crossing / span (runs and
// spans are positive).
TOLLAMERE_KERNEL_BODY bool RightOf(std::int64_t rise, std::int64_t run, std::int64_t crossing, std::int32_t span,
                                   bool wide) noexcept
{
    if (wide) [[unlikely]]
        return double(rise) * double(span) > double(crossing) * double(run);
    return rise * span > crossing * run;
}

// One row's lower envelope of the parabolas (x - q)^2 + offset(q)^2 over
// the columns q with a boundary pixel in their column (Felzenszwalb and
// Huttenlocher), then the distance of each stretch of pixels that shares a
// nearest boundary pixel: along the edge's normal, so that the pixels
// served by neighbouring boundary pixels see one smooth edge rather than a
// row of dots. The boundary pixels lie two deep along the edge, so the
// nearest may sit well to the side of the normal through the pixel; only
// beyond 45 degrees off the normal (at a corner) the distance to the point
// counts.
TOLLAMERE_KERNEL_BODY void DistanceRowBody(const SmoothMaps& maps, std::int32_t y, float reach, float outsideReach,
                                           SmoothRowScratch& scratch, float* distances) noexcept
{
    const std::int32_t width = maps.width;
    std::int32_t* vertices = scratch.vertices.data();
    std::int32_t* spans = scratch.spans.data();
    std::int64_t* crossings = scratch.crossings.data();
    std::int64_t* levels = scratch.levels.data();
    PackedEdgePoint* points = scratch.points.data();
    const std::int16_t* offsets = OffsetRow(maps, y);
    const std::uint8_t* coverage = maps.coverage.data() + At(maps, 0, y);
    // The parabolas' crossings kept as fractions, compared by products of
    // whole numbers: no division waits in the chain of pops.
    const bool wide = width > WholeNumbersUpTo;
    // Of two neighbouring columns the nearer boundary pixel only: the other
    // lies beside it on the same edge, and the two fitted lines all but
    // agree (the disc's measures do not move). Chosen for the whole row
    // first, without branches.
    const std::int32_t pairs = (width + 1) / 2;
    std::int32_t* candidates = scratch.candidates.data();
    for (std::int32_t pair = 0; pair < width / 2; ++pair) {
        const std::int32_t first = 2 * pair;
        candidates[pair] = std::abs(std::int32_t{offsets[first + 1]}) < std::abs(std::int32_t{offsets[first]}) ? first + 1
                                                                                                                : first;
    }
    if (width % 2 == 1)
        candidates[pairs - 1] = width - 1;
    // A column whose boundary pixel lies further up or down than the
    // distances reach serves no pixel a distance short of the reach: every
    // pixel it could be nearest to is past the reach whichever column serves
    // it, so the envelope leaves it out (on a flat top, most columns).
    const float reach2 = reach * reach;
    const float farOutside = (outsideReach + FarOutsideMargin) * (outsideReach + FarOutsideMargin);
    const float farthest = std::max(reach2, farOutside);
    std::int32_t k = -1;
    for (std::int32_t pair = 0; pair < pairs; ++pair) {
        const std::int32_t q = candidates[pair];
        if (offsets[q] == NoBoundary || float(offsets[q] * offsets[q]) > farthest)
            continue;
        const std::int64_t fq = std::int64_t{offsets[q]} * offsets[q] + std::int64_t{q} * q;
        std::int64_t rise = 0;
        std::int64_t run = 1;
        while (k >= 0) {
            rise = fq - levels[k];
            run = 2 * std::int64_t{q - vertices[k]};
            // Pop while this crossing lies at or before the one that starts
            // vertex k's stretch (vertex 0's starts at minus infinity).
            if (k == 0 || RightOf(rise, run, crossings[k], spans[k], wide))
                break;
            --k;
        }
        ++k;
        vertices[k] = q;
        levels[k] = fq;
        crossings[k] = rise;
        spans[k] = std::int32_t(run);
    }
    if (k < 0) {
        for (std::int32_t x = 0; x < width; ++x)
            distances[x] = coverage[x] >= InsideFrom ? reach : -outsideReach;
        return;
    }
    // First each stretch's end and its boundary pixel's edge point, which
    // the stretches look up independently of one another (so the loads
    // overlap); stretch j's end goes where its crossing's span was, read by
    // then.
    for (std::int32_t j = 0; j <= k; ++j) {
        std::int32_t end = width;
        if (j < k) {
            // In float: a crossing within the picture is at most the width
            // times the span, so that its rounding moves it by far less
            // than a pixel, and only a tie changes hands.
            const float bound = wide ? static_cast<float>(std::clamp(
                                           double(crossings[j + 1]) / double(spans[j + 1]), -1.0, double(width)))
                                     : float(crossings[j + 1]) / float(spans[j + 1]);
            end = std::min(static_cast<std::int32_t>(std::floor(std::clamp(bound, -1.0f, float(width)))) + 1, width);
        }
        const std::int32_t featureX = vertices[j];
        const PackedEdgePoint point = maps.edgePoints[EdgeIndexAt(maps, featureX, y + offsets[featureX])];
        spans[j] = end;
        points[j] = point;
    }
    std::int32_t start = 0;
    for (std::int32_t j = 0; j <= k; ++j) {
        // The pixels from the previous stretch's end. Even columns only, and
        // the last; the others are the mean of their neighbours.
        const std::int32_t end = spans[j];
        const std::int32_t from = start + (start & 1);
        const bool last = end == width && start < width && (width - 1) % 2 == 1;
        if (from >= end && !last) {
            start = std::max(start, end);
            continue;
        }
        const std::int32_t featureX = vertices[j];
        const std::int32_t rows = offsets[featureX];
        const EdgePoint edge = Unpack(points[j]);
        const float dy = float(-rows) - edge.offsetY;
        const float dy2 = dy * dy;
        const float acrossY = dy * edge.normalY;
        // Without a normal only the distance to the point counts.
        const bool hasNormal = edge.normalX != 0 || edge.normalY != 0;
        const float alongY = hasNormal ? dy * edge.normalX : std::numeric_limits<float>::infinity();
        const float rows2 = float(rows * rows);
        const auto distanceAt = [&](std::int32_t x) {
            const bool inside = coverage[x] >= InsideFrom;
            const float columns = float(x - featureX);
            const float feature2 = columns * columns + rows2;
            const float dx = columns - edge.offsetX;
            const float across = dx * edge.normalX + acrossY;
            const float along = alongY - dx * edge.normalY;
            // Off the normal (rare: at corners) the distance to the point.
            float distance = across;
            if (!(std::abs(along) <= std::abs(across))) [[unlikely]] {
                const float length = std::sqrt(dx * dx + dy2);
                distance = inside ? length : -length;
            }
            // Past the reach inside, a pixel lies on the flat top whichever
            // boundary pixel is nearest.
            return inside ? (feature2 > reach2 ? reach : std::min(distance, reach))
                          : (feature2 > farOutside ? -outsideReach : std::max(distance, -outsideReach));
        };
        for (std::int32_t x = from; x < end; x += 2)
            distances[x] = distanceAt(x);
        if (last)
            distances[width - 1] = distanceAt(width - 1);
        start = std::max(start, end);
    }
    for (std::int32_t x = 1; x + 1 < width; x += 2)
        distances[x] = (distances[x - 1] + distances[x + 1]) * 0.5f;
}

} // namespace

#define TOLLAMERE_DISTANCE_KERNELS(Name, Attributes, ByteShuffles)                                                     \
    namespace smooth_distance::Name {                                                                                  \
    Attributes void ColumnOffsets(SmoothMaps& maps, std::int32_t first, std::int32_t last, std::int32_t* nearest)      \
    {                                                                                                                  \
        ColumnOffsetsBody(maps, first, last, nearest);                                                                 \
    }                                                                                                                  \
    Attributes void DistanceRow(const SmoothMaps& maps, std::int32_t y, float reach, float outsideReach,               \
                                SmoothRowScratch& scratch, float* distances)                                           \
    {                                                                                                                  \
        DistanceRowBody(maps, y, reach, outsideReach, scratch, distances);                                             \
    }                                                                                                                  \
    }

TOLLAMERE_KERNEL_SETS(TOLLAMERE_DISTANCE_KERNELS)

#undef TOLLAMERE_DISTANCE_KERNELS

} // namespace tollamere
