// SPDX-License-Identifier: MIT
// The shape's edge at sub-pixel precision and the Euclidean distance to it.

#include "runtime_error.h"
#include "smooth_bevel.h"
#include "work_bands.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <numbers>

namespace tollamere {
namespace {

constexpr std::uint8_t InsideFrom = 128;
// Outside, distances are kept down to this, so that a blur of the field
// near the edge sees the same slope on both sides.
constexpr float OutsideReach = 4;
// An outside pixel this far (squared) from every boundary pixel lies beyond
// OutsideReach of the edge.
constexpr std::int64_t FarOutside = 36;
// The rows of a column sweep go in blocks of whole cache lines of offsets.
constexpr std::int32_t ColumnBlock = 64;

std::size_t At(const SmoothMaps& maps, std::int32_t x, std::int32_t y) noexcept
{
    return std::size_t(y) * std::size_t(maps.width) + std::size_t(x);
}

// Calls visit(x) for each boundary pixel of row y: a pixel whose
// inside-ness differs from one of its four neighbours'; the frame beyond the
// picture is outside.
template <typename Visit>
void ForEachBoundaryPixel(const SmoothMaps& maps, std::int32_t y, const Visit& visit)
{
    const std::int32_t width = maps.width;
    const std::uint8_t* row = maps.coverage.data() + std::size_t(y) * std::size_t(width);
    const std::uint8_t* above = y > 0 ? row - width : nullptr;
    const std::uint8_t* below = y + 1 < maps.height ? row + width : nullptr;
    for (std::int32_t x = 0; x < width; ++x) {
        const bool inside = row[x] >= InsideFrom;
        const bool left = x > 0 && row[x - 1] >= InsideFrom;
        const bool right = x + 1 < width && row[x + 1] >= InsideFrom;
        const bool up = above != nullptr && above[x] >= InsideFrom;
        const bool down = below != nullptr && below[x] >= InsideFrom;
        if (left != inside || right != inside || up != inside || down != inside)
            visit(x);
    }
}

std::uint8_t CoverageAt(const SmoothMaps& maps, std::int32_t x, std::int32_t y) noexcept
{
    if (x < 0 || y < 0 || x >= maps.width || y >= maps.height)
        return 0;
    return maps.coverage[std::size_t(y) * std::size_t(maps.width) + std::size_t(x)];
}

// The signed distance x at which a step edge blurred by a Gaussian of
// deviation 1 reaches the value b: the inverse of the normal distribution,
// worked out once by Newton's steps into a table over b read with linear
// interpolation (the table's steps are far below the pixel's hundredth).
constexpr int StepTableSize = 4096;

float StepDistanceOf(float b) noexcept
{
    static const std::vector<float> table = [] {
        std::vector<float> values(StepTableSize + 1);
        for (int i = 0; i <= StepTableSize; ++i) {
            const double target = std::clamp(double(i) / StepTableSize, 1e-4, 1 - 1e-4);
            double x = (target - 0.5) * 2.5;
            for (int step = 0; step < 8; ++step) {
                const double value = 0.5 * std::erfc(-x / std::numbers::sqrt2);
                const double density = std::exp(-x * x / 2) / std::sqrt(2 * std::numbers::pi);
                x = std::clamp(x - (value - target) / density, -4.0, 4.0);
            }
            values[std::size_t(i)] = static_cast<float>(x);
        }
        return values;
    }();
    const float position = std::clamp(b, 0.0f, 1.0f) * StepTableSize;
    const int index = std::min(static_cast<int>(position), StepTableSize - 1);
    const float fraction = position - float(index);
    return table[std::size_t(index)] * (1 - fraction) + table[std::size_t(index) + 1] * fraction;
}

// The edge near boundary pixel (x, y): the coverage blurred by the binomial
// 1 4 6 4 1 both ways, close to a Gaussian of deviation 1 (which turns a
// hard mask's staircase into a smooth ramp); the edge's normal along the
// blurred coverage's slope by central differences; the pixel's distance
// from the edge from the blurred value itself, as a blurred straight edge
// would give it (the slope alone would put far pixels' edges too far).
EdgePoint EdgeNear(const SmoothMaps& maps, std::int32_t x, std::int32_t y) noexcept
{
    static constexpr float Weights[5] = {1, 4, 6, 4, 1};
    // rows[j][c]: the horizontal blur of row y + j - 3 at column x + c - 1.
    float rows[7][3];
    const bool interior = x >= 3 && y >= 3 && x + 3 < maps.width && y + 3 < maps.height;
    for (std::int32_t j = 0; j < 7; ++j) {
        float values[7];
        if (interior) {
            const std::uint8_t* row = maps.coverage.data() + At(maps, x - 3, y + j - 3);
            for (std::int32_t i = 0; i < 7; ++i)
                values[i] = float(row[i]);
        } else {
            for (std::int32_t i = 0; i < 7; ++i)
                values[i] = float(CoverageAt(maps, x + i - 3, y + j - 3));
        }
        for (std::int32_t c = 0; c < 3; ++c) {
            float sum = 0;
            for (std::int32_t i = 0; i < 5; ++i)
                sum += Weights[i] * values[c + i];
            rows[j][c] = sum;
        }
    }
    const auto blurred = [&](std::int32_t c, std::int32_t r) {
        float sum = 0;
        for (std::int32_t k = 0; k < 5; ++k)
            sum += Weights[k] * rows[r + 3 + k - 2][c + 1];
        return sum / (256.0f * 255.0f);
    };
    const float slopeX = (blurred(1, 0) - blurred(-1, 0)) / 2;
    const float slopeY = (blurred(0, 1) - blurred(0, -1)) / 2;
    const float slope = std::hypot(slopeX, slopeY);
    if (!(slope > 1e-6f))
        return {x, y};
    const float normalX = slopeX / slope;
    const float normalY = slopeY / slope;
    const float inside = StepDistanceOf(blurred(0, 0));
    return {x, y, -inside * normalX, -inside * normalY, normalX, normalY};
}


// The distance from pixel (x, y) to the edge at the boundary pixel
// (featureX, featureY): along the edge's normal, so that the pixels served
// by neighbouring boundary pixels see one smooth edge rather than a row of
// dots. The boundary pixels lie two deep along the edge, so the nearest may
// sit well to the side of the normal through the pixel; only beyond 45
// degrees off the normal (at a corner) the distance to the point counts.
float DistanceToEdge(const EdgePoint& edge, std::int32_t x, std::int32_t y, std::int32_t featureX,
                     std::int32_t featureY, bool inside) noexcept
{
    const float dx = float(x - featureX) - edge.offsetX;
    const float dy = float(y - featureY) - edge.offsetY;
    const float across = dx * edge.normalX + dy * edge.normalY;
    const float along = dx * -edge.normalY + dy * edge.normalX;
    if ((edge.normalX != 0 || edge.normalY != 0) && std::abs(along) <= std::abs(across))
        return across;
    const float length = std::sqrt(dx * dx + dy * dy);
    return inside ? length : -length;
}

// One row's lower envelope of the parabolas (x - q)^2 + offset(q)^2 over
// the columns q with a boundary pixel in their column (Felzenszwalb and
// Huttenlocher), then each covered pixel's distance through its nearest
// boundary pixel.
void RowDistances(SmoothMaps& maps, std::int32_t y, std::vector<std::int32_t>& vertices,
                  std::vector<double>& bounds) noexcept
{
    const std::int32_t width = maps.width;
    const std::int16_t* offsets = maps.columnOffset.data() + At(maps, 0, y);
    const auto f = [&](std::int32_t q) { return double(offsets[q]) * offsets[q] + double(q) * q; };
    std::int32_t k = -1;
    for (std::int32_t q = 0; q < width; ++q) {
        if (offsets[q] == NoBoundary)
            continue;
        double s = -std::numeric_limits<double>::infinity();
        while (k >= 0) {
            s = (f(q) - f(vertices[std::size_t(k)])) / (2.0 * (q - vertices[std::size_t(k)]));
            if (s > bounds[std::size_t(k)])
                break;
            --k;
        }
        ++k;
        vertices[std::size_t(k)] = q;
        bounds[std::size_t(k)] = k == 0 ? -std::numeric_limits<double>::infinity() : s;
    }
    float* distances = maps.distance.data() + At(maps, 0, y);
    const std::uint8_t* coverage = maps.coverage.data() + At(maps, 0, y);
    std::int32_t j = 0;
    for (std::int32_t x = 0; x < width; ++x) {
        if (k < 0) {
            distances[x] = coverage[x] >= InsideFrom ? std::numeric_limits<float>::infinity() : -OutsideReach;
            continue;
        }
        while (j < k && bounds[std::size_t(j) + 1] < x)
            ++j;
        const std::int32_t featureX = vertices[std::size_t(j)];
        const bool inside = coverage[x] >= InsideFrom;
        const std::int64_t across = x - featureX;
        if (!inside && across * across + offsets[featureX] * offsets[featureX] > FarOutside) {
            distances[x] = -OutsideReach;
            continue;
        }
        const std::int32_t featureY = y + offsets[featureX];
        const EdgePoint& edge = maps.edgePoints[maps.edgeIndex[At(maps, featureX, featureY)]];
        distances[x] = std::max(DistanceToEdge(edge, x, y, featureX, featureY, inside), -OutsideReach);
    }
}

// Down the columns [begin, end), then up: each pixel's signed row offset to
// the nearest boundary pixel of its column. Written without branches, so
// that the compiler sweeps a row of the block at once.
void ColumnOffsets(SmoothMaps& maps, std::int32_t begin, std::int32_t end) noexcept
{
    constexpr std::int32_t Far = std::numeric_limits<std::int16_t>::max();
    constexpr std::int32_t None = -(Far + 1);
    std::int32_t nearest[ColumnBlock];
    const std::int32_t count = end - begin;
    std::fill_n(nearest, count, None);
    for (std::int32_t y = 0; y < maps.height; ++y) {
        const std::uint32_t* edges = maps.edgeIndex.data() + At(maps, begin, y);
        std::int16_t* offsets = maps.columnOffset.data() + At(maps, begin, y);
        for (std::int32_t i = 0; i < count; ++i) {
            nearest[i] = edges[i] != NoEdge ? y : std::max(nearest[i], y - Far);
            offsets[i] = static_cast<std::int16_t>(nearest[i] == y - Far ? NoBoundary : nearest[i] - y);
        }
    }
    std::fill_n(nearest, count, std::numeric_limits<std::int32_t>::max());
    for (std::int32_t y = maps.height - 1; y >= 0; --y) {
        const std::uint32_t* edges = maps.edgeIndex.data() + At(maps, begin, y);
        std::int16_t* offsets = maps.columnOffset.data() + At(maps, begin, y);
        for (std::int32_t i = 0; i < count; ++i) {
            nearest[i] = edges[i] != NoEdge ? y : nearest[i];
            const std::int32_t below = std::min(nearest[i] - y, Far);
            const std::int32_t above = offsets[i] == NoBoundary ? Far : -offsets[i];
            offsets[i] = below < above ? static_cast<std::int16_t>(below) : offsets[i];
        }
    }
}

// The edge points of the boundary pixels within FitReach of (x, y) whose
// normals agree with its own, fitted by one straight line: the staircase's
// noise, which even the blurred coverage keeps, averages out along the edge
// (6 pixels bring a hard-edged disc's edge points within 0.05 pixel of the
// circle; a curve's bend over that reach is far smaller).
constexpr std::int32_t FitReach = 6;

EdgePoint FittedEdge(const SmoothMaps& maps, const EdgePoint& own) noexcept
{
    const std::int32_t x = own.column;
    const std::int32_t y = own.row;
    if (own.normalX == 0 && own.normalY == 0)
        return own;
    float normalX = 0;
    float normalY = 0;
    float offsetSum = 0;
    int count = 0;
    for (std::int32_t j = std::max(y - FitReach, 0); j <= std::min(y + FitReach, maps.height - 1); ++j)
        for (std::int32_t i = std::max(x - FitReach, 0); i <= std::min(x + FitReach, maps.width - 1); ++i) {
            const std::uint32_t index = maps.edgeIndex[At(maps, i, j)];
            if (index == NoEdge)
                continue;
            const EdgePoint& other = maps.edgePoints[index];
            if (other.normalX * own.normalX + other.normalY * own.normalY < 0.7f)
                continue;
            normalX += other.normalX;
            normalY += other.normalY;
            // The other point's distance along this pixel's normal.
            offsetSum += float(i - x) * own.normalX + other.offsetX * own.normalX + float(j - y) * own.normalY
                         + other.offsetY * own.normalY;
            ++count;
        }
    const float length = std::hypot(normalX, normalY);
    if (count == 0 || !(length > 0))
        return own;
    const float along = offsetSum / float(count);
    return {x, y, along * own.normalX, along * own.normalY, normalX / length, normalY / length};
}

} // namespace

void FindEdgePoints(SmoothMaps& maps, unsigned threads)
{
    const std::int32_t width = maps.width;
    // First how many boundary pixels each row holds, so that each row knows
    // where its points go in the one list.
    ForEachBand(threads, maps.height, width, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y) {
            std::uint32_t count = 0;
            ForEachBoundaryPixel(maps, y, [&](std::int32_t) { ++count; });
            maps.rowFirstEdge[std::size_t(y) + 1] = count;
        }
    });
    maps.rowFirstEdge[0] = 0;
    for (std::size_t y = 1; y < maps.rowFirstEdge.size(); ++y)
        maps.rowFirstEdge[y] += maps.rowFirstEdge[y - 1];
    try {
        maps.edgePoints.resize(maps.rowFirstEdge.back());
    } catch (const std::bad_alloc&) {
        Raise(ErrorNumber::OutOfMemory);
    }
    ForEachBand(threads, maps.height, width, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y) {
            std::uint32_t next = maps.rowFirstEdge[std::size_t(y)];
            std::uint32_t* indices = maps.edgeIndex.data() + At(maps, 0, y);
            std::fill_n(indices, width, NoEdge);
            ForEachBoundaryPixel(maps, y, [&](std::int32_t x) {
                maps.edgePoints[next] = EdgeNear(maps, x, y);
                indices[x] = next++;
            });
        }
    });
    std::vector<EdgePoint> fitted;
    try {
        fitted.resize(maps.edgePoints.size());
    } catch (const std::bad_alloc&) {
        Raise(ErrorNumber::OutOfMemory);
    }
    ForEachBand(threads, maps.height, width, [&](std::int32_t first, std::int32_t last) {
        for (std::uint32_t index = maps.rowFirstEdge[std::size_t(first)]; index < maps.rowFirstEdge[std::size_t(last)];
             ++index)
            fitted[index] = FittedEdge(maps, maps.edgePoints[index]);
    });
    maps.edgePoints.swap(fitted);
}

void BuildDistanceField(SmoothMaps& maps, unsigned threads)
{
    const std::int32_t blocks = (maps.width + ColumnBlock - 1) / ColumnBlock;
    ForEachBand(threads, blocks, std::int64_t{ColumnBlock} * maps.height, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t block = first; block < last; ++block)
            ColumnOffsets(maps, block * ColumnBlock, std::min((block + 1) * ColumnBlock, maps.width));
    });
    // Each band gets its envelope's memory before any thread starts: the
    // bands' work may not raise.
    const Bands bands(threads, maps.height);
    std::vector<std::vector<std::int32_t>> vertices;
    std::vector<std::vector<double>> bounds;
    try {
        vertices.assign(std::size_t(bands.bands), std::vector<std::int32_t>(std::size_t(maps.width)));
        bounds.assign(std::size_t(bands.bands), std::vector<double>(std::size_t(maps.width) + 1));
    } catch (const std::bad_alloc&) {
        Raise(ErrorNumber::OutOfMemory);
    }
    const std::int64_t bandPixels = std::int64_t{maps.width} * (maps.height / bands.bands + 1);
    ForEachBand(bands.bands, bands.bands, bandPixels, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t band = first; band < last; ++band)
            for (std::int32_t y = bands.Start(band); y < bands.Start(band + 1); ++y)
                RowDistances(maps, y, vertices[std::size_t(band)], bounds[std::size_t(band)]);
    });
}

} // namespace tollamere
