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
    // The boundary pixel.
    std::int32_t column = 0;
    std::int32_t row = 0;
    float offsetX = 0;
    float offsetY = 0;
    float normalX = 0;
    float normalY = 0;
};

// The maps of one call, each the picture's size.
struct SmoothMaps {
    // As if made anew at that size, keeping memory that is large enough.
    // Raises Out of memory (7).
    void Reset(std::int32_t width, std::int32_t height);
    // Bytes the maps hold now.
    std::uint64_t Bytes() const noexcept;

    std::int32_t width = 0;
    std::int32_t height = 0;
    // The shape's coverage, 0 (outside) to 255 (inside); inside from 128.
    std::vector<std::uint8_t> coverage;
    // Per boundary pixel (inside with a neighbour outside, or the reverse) its
    // index in edgePoints; NoEdge elsewhere.
    std::vector<std::uint32_t> edgeIndex;
    std::vector<EdgePoint> edgePoints;
    // Per pixel, the rows to the nearest boundary pixel of its column (signed),
    // or NoBoundary.
    std::vector<std::int16_t> columnOffset;
    // The signed distance to the edge in pixels, inside positive, outside
    // kept down to -4.
    std::vector<float> distance;
    // The height field (before it, scratch for the distances' blur).
    std::vector<float> heights;
    // Per row, the index in edgePoints of its first boundary pixel; one more
    // entry holds their count.
    std::vector<std::uint32_t> rowFirstEdge;
};

// The most the maps take per pixel of the picture: every pixel may be a
// boundary pixel with an edge point, and softening takes a map of heights
// more.
inline constexpr std::uint64_t SmoothMapsBytesPerPixel = sizeof(std::uint8_t) + sizeof(std::uint32_t)
                                                         + sizeof(std::int16_t) + 3 * sizeof(float) + sizeof(EdgePoint);

inline constexpr std::uint32_t NoEdge = 0xFFFFFFFFu;
inline constexpr std::int16_t NoBoundary = std::numeric_limits<std::int16_t>::min();

// The stages, in the order ApplySmoothBevel runs them; each splits its rows
// (or columns) over up to `threads` threads, with a result that does not
// depend on their number.
void BuildCoverage(const Picture& picture, const ShapeSource& source, SmoothMaps& maps, unsigned threads = 1);
// The boundary pixels and their edge points, from the coverage softened by a
// 5 by 5 binomial blur (a hard mask's staircase becomes a smooth contour).
void FindEdgePoints(SmoothMaps& maps, unsigned threads = 1);
// The exact Euclidean feature transform to the boundary pixels (separable,
// linear time), then each pixel's signed distance to the edge through its
// nearest boundary pixel's edge point.
void BuildDistanceField(SmoothMaps& maps, unsigned threads = 1);
// A light blur of the distances for the smooth technique (chisel keeps its
// ridge sharp).
void SmoothDistances(SmoothMaps& maps, unsigned threads = 1);
void ShapeHeights(std::int32_t bevelSize, const BevelLook& look, SmoothMaps& maps, unsigned threads = 1);
void SoftenHeights(std::int32_t radius, SmoothMaps& maps, unsigned threads = 1);
// Lights the band and lightens or darkens picOut's colours from picIn's,
// keeping picOut's alpha; both of the maps' size.
void RenderSmoothBevel(const Picture& picIn, Picture& picOut, const Vector3& lightVector, std::int32_t bevelSize,
                       const BevelLook& look, const SmoothMaps& maps, unsigned threads = 1);

// Bevels picIn into picOut (made picIn's size when it is not) with the
// smooth or chisel technique; raises what ApplyBevel raises for the
// parameters and CheckBevelLook for the look. picIn and picOut may be the
// same picture.
void ApplySmoothBevel(const Picture& picIn, Picture& picOut, const BevelParameters& parameters,
                      const BevelLook& look, unsigned threads, SmoothMaps& maps);

} // namespace tollamere
