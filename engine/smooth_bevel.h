// SPDX-License-Identifier: MIT
#pragma once

// The smooth and chisel techniques: a height field from the Euclidean
// distance to the shape's edge at sub-pixel precision, shaped by a profile,
// lit as the classic effect lights its band. Works on a picture's words
// (0xAARRGGBB) so that the alpha byte can be the shape's coverage.

#include "bevel.h"
#include "bevel_look.h"
#include "vector_math.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace tollamere {

// Where the shape's edge crosses near one boundary pixel: the point's offset
// from the pixel's centre and the edge's unit normal, pointing inside (both 0
// when the coverage around the pixel has no slope).
struct EdgePoint {
    float offsetX = 0;
    float offsetY = 0;
    float normalX = 0;
    float normalY = 0;
};

// An edge point as the maps keep it, in 16-bit fixed point: the offsets in
// 1/2048 pixel (the fit keeps them within 12 pixels), the normal in
// 1/32767.
struct PackedEdgePoint {
    std::int16_t offsetX = 0;
    std::int16_t offsetY = 0;
    std::int16_t normalX = 0;
    std::int16_t normalY = 0;
};

PackedEdgePoint PackEdgePoint(const EdgePoint& point) noexcept;
EdgePoint UnpackEdgePoint(const PackedEdgePoint& point) noexcept;

// One thread's rows while the distances are finished and lit: the row's
// envelope and the rings of the blurred distances and heights. Kept in the
// maps so that the next picture finds its memory.
struct SmoothRowScratch {
    std::vector<std::int32_t> candidates;
    std::vector<std::int32_t> vertices;
    std::vector<std::int32_t> spans;
    std::vector<std::int64_t> crossings;
    std::vector<std::int64_t> levels;
    std::vector<PackedEdgePoint> points;
    std::vector<float> floats;
    std::vector<std::int32_t> ints;
    std::vector<std::int64_t> sums;
    std::vector<std::uint16_t> coverageRows;
};

// The maps of one call, each the picture's size. They hold at most
// SmoothMapsBytes (some SmoothMapsBytesPerPixel per pixel); the rows of the
// threads come on top (SmoothRowBytes).
struct SmoothMaps {
    // As if made anew at that size, keeping memory that is large enough.
    // Raises Out of memory (7).
    void Reset(std::int32_t width, std::int32_t height);
    // Bytes the maps and the threads' rows hold now.
    std::uint64_t Bytes() const noexcept;

    std::int32_t width = 0;
    std::int32_t height = 0;
    // 64 pixels to a word, row y's words from y * wordsPerRow.
    std::int32_t wordsPerRow = 0;
    // The shape's coverage, 0 (outside) to 255 (inside); inside from 128.
    std::vector<std::uint8_t> coverage;
    // A bit per pixel: inside, and a boundary pixel (inside with a neighbour
    // outside, or the reverse; the frame beyond the picture is outside).
    std::vector<std::uint64_t> insideBits;
    std::vector<std::uint64_t> boundaryBits;
    // Per word of boundaryBits, the index in edgePoints of its first
    // boundary pixel: a boundary pixel's index is that plus the bits below
    // it in its word.
    std::vector<std::uint32_t> wordFirstEdge;
    // Per row, the index of its first boundary pixel; one more entry holds
    // their count.
    std::vector<std::uint32_t> rowFirstEdge;
    // Per boundary pixel in row order, its edge point from the blurred
    // coverage alone, and fitted to its neighbours' (what the distances use).
    std::vector<PackedEdgePoint> rawEdgePoints;
    std::vector<PackedEdgePoint> edgePoints;
    // For the even rows and the last (row y in row (y + 1) / 2), per pixel
    // the rows to the nearest boundary pixel of its column (signed), or
    // NoBoundary: the rows whose distances are worked out, the others being
    // the mean of the rows around them.
    std::vector<std::int16_t> columnOffset;
    // The column sweeps' nearest boundary rows, one per column (and to the
    // end of the last word).
    std::vector<std::int32_t> nearestRows;
    std::vector<SmoothRowScratch> rows;
};

inline constexpr std::int16_t NoBoundary = std::numeric_limits<std::int16_t>::min();

// What SmoothMaps holds per pixel at most: the coverage (1), the column
// offsets of every other row (1), the two bit maps and their word indices
// (20 bytes to 64 pixels), and two edge points (16) for a picture whose
// every pixel is a boundary pixel. SmoothMapsBytes adds what goes by rows.
inline constexpr double SmoothMapsBytesPerPixel = 1 + 1 + 20.0 / 64 + 2 * 8;

// The most SmoothMaps holds for a picture that big, beside the threads' rows.
std::uint64_t SmoothMapsBytes(std::int32_t width, std::int32_t height) noexcept;

// What the threads' rows of a picture that wide take beside the maps: per
// thread and column some 140 bytes, and 16 more per pixel of soften radius.
std::uint64_t SmoothRowBytes(std::int32_t width, std::int32_t softenRadius, unsigned threads) noexcept;

// The stages, in the order ApplySmoothBevel runs them; each splits its rows
// (or columns) over up to `threads` threads, with a result that does not
// depend on their number.
void BuildCoverage(const Picture& picture, const ShapeSource& source, SmoothMaps& maps, unsigned threads = 1);
// The boundary pixels and their edge points, from the coverage softened by a
// 5 by 5 binomial blur (a hard mask's staircase becomes a smooth contour).
void FindEdgePoints(SmoothMaps& maps, unsigned threads = 1);
// The column half of the Euclidean feature transform to the boundary pixels
// (separable, linear time): columnOffset. DistanceRow finishes it one row
// at a time.
void BuildDistanceField(SmoothMaps& maps, unsigned threads = 1);
// Outside the shape the inner style keeps distances down to this, so that
// a blur of the field near the edge sees the same slope on both sides.
inline constexpr float InnerOutsideReach = 4;

// Row y's signed distance to the edge in pixels, through the edge point of
// each pixel's nearest boundary pixel (of the nearer of each two columns'):
// inside positive up to `reach`, outside kept down to -outsideReach; y even
// or the last row. The odd columns but the last are the mean of the columns
// around them. scratch needs no size.
void DistanceRow(const SmoothMaps& maps, std::int32_t y, float reach, SmoothRowScratch& scratch, float* distances,
                 float outsideReach = InnerOutsideReach);
// The distances, lightly blurred (chisel's by a narrower box, to keep its
// ridges sharp), shaped by the profile into heights, softened, and lit: the
// band lightens or darkens picOut's colours from picIn's, keeping picOut's
// alpha, but where a style's band lies outside the shape on see-through
// pixels: there the tones go in over them; both of the maps' size. Raises
// Out of memory (7).
void RenderSmoothBevel(const Picture& picIn, Picture& picOut, const Vector3& lightVector, std::int32_t bevelSize,
                       const BevelLook& look, SmoothMaps& maps, unsigned threads = 1);

// Bevels picIn into picOut (made picIn's size when it is not) with the
// smooth or chisel technique; raises what ApplyBevel raises for the
// parameters and CheckBevelLook for the look. picIn and picOut may be the
// same picture.
void ApplySmoothBevel(const Picture& picIn, Picture& picOut, const BevelParameters& parameters,
                      const BevelLook& look, unsigned threads, SmoothMaps& maps);

} // namespace tollamere
