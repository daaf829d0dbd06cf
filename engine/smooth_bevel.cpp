// SPDX-License-Identifier: MIT
#include "smooth_bevel.h"

#include "bevel_stages.h"
#include "effect_operators.h"
#include "runtime_error.h"
#include "work_bands.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>

namespace tollamere {

void SmoothMaps::Reset(std::int32_t newWidth, std::int32_t newHeight)
{
    width = newWidth;
    height = newHeight;
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    try {
        coverage.resize(pixels);
        edgeIndex.resize(pixels);
        columnOffset.resize(pixels);
        distance.resize(pixels);
        heights.resize(pixels);
        rowFirstEdge.assign(std::size_t(height) + 1, 0);
        edgePoints.clear();
    } catch (const std::bad_alloc&) {
        Raise(ErrorNumber::OutOfMemory);
    }
}

std::uint64_t SmoothMaps::Bytes() const noexcept
{
    const auto bytes = [](const auto& map) { return std::uint64_t(map.capacity()) * sizeof(map.front()); };
    return bytes(coverage) + bytes(edgeIndex) + bytes(edgePoints) + bytes(columnOffset) + bytes(distance)
           + bytes(heights) + bytes(rowFirstEdge);
}

namespace {

std::uint8_t CoverageOf(std::uint32_t word, const ShapeSource& source) noexcept
{
    const std::uint32_t red = word >> 16 & 0xFF;
    const std::uint32_t green = word >> 8 & 0xFF;
    const std::uint32_t blue = word & 0xFF;
    switch (source.kind) {
    case ShapeSourceKind::Alpha:
        return static_cast<std::uint8_t>(word >> 24);
    case ShapeSourceKind::Luma:
        return (299 * red + 587 * green + 114 * blue + 500) / 1000 > std::uint32_t(source.lumaThreshold) ? 255 : 0;
    case ShapeSourceKind::Green:
        break;
    }
    return green != 0 ? 255 : 0;
}

// The profile's height at u (0 at the edge, 1 where the flat top begins).
float ProfileAt(BevelProfile profile, float u) noexcept
{
    constexpr float HalfPi = std::numbers::pi_v<float> / 2;
    switch (profile) {
    case BevelProfile::Round:
        return std::sin(u * HalfPi);
    case BevelProfile::Cove:
        return 1 - std::cos(u * HalfPi);
    case BevelProfile::Ridge:
        return std::sin(u * 2 * HalfPi);
    case BevelProfile::Linear:
        break;
    }
    return u;
}

// How far into the band a distance lies: 0 at the edge, 1 from the flat top
// on (a bevel of 0 has no band).
float BandPosition(float distance, std::int32_t bevelSize) noexcept
{
    if (bevelSize <= 0)
        return distance > 0 ? 1.0f : 0.0f;
    return std::clamp(distance / float(bevelSize), 0.0f, 1.0f);
}

// Box blurs of radius r, the picture's frame counted as 0: along a row into
// another row, and down columns [begin, end) of one map into another, a
// block of columns at a time so that the rows are read in order. The sums
// are kept in double so that the running sum does not drift.
void BoxRow(const float* source, float* target, std::int32_t count, std::int32_t radius) noexcept
{
    double sum = 0;
    for (std::int32_t i = 0; i < std::min(radius, count); ++i)
        sum += source[i];
    const double scale = 1.0 / (2 * radius + 1);
    for (std::int32_t i = 0; i < count; ++i) {
        if (i + radius < count)
            sum += source[i + radius];
        if (i - radius - 1 >= 0)
            sum -= source[i - radius - 1];
        target[i] = static_cast<float>(sum * scale);
    }
}

constexpr std::int32_t ColumnBlock = 64;

void BoxColumns(const float* source, float* target, std::int32_t width, std::int32_t height, std::int32_t begin,
                std::int32_t end, std::int32_t radius) noexcept
{
    double sums[ColumnBlock] = {};
    const std::int32_t count = end - begin;
    const auto row = [&](std::int32_t y) { return std::size_t(y) * std::size_t(width) + std::size_t(begin); };
    for (std::int32_t y = 0; y < std::min(radius, height); ++y)
        for (std::int32_t i = 0; i < count; ++i)
            sums[i] += source[row(y) + std::size_t(i)];
    const double scale = 1.0 / (2 * radius + 1);
    for (std::int32_t y = 0; y < height; ++y) {
        if (y + radius < height)
            for (std::int32_t i = 0; i < count; ++i)
                sums[i] += source[row(y + radius) + std::size_t(i)];
        if (y - radius - 1 >= 0)
            for (std::int32_t i = 0; i < count; ++i)
                sums[i] -= source[row(y - radius - 1) + std::size_t(i)];
        for (std::int32_t i = 0; i < count; ++i)
            target[row(y) + std::size_t(i)] = static_cast<float>(sums[i] * scale);
    }
}

// A box blur of radius r over the field, through a scratch map of its size.
void BlurField(std::vector<float>& field, std::vector<float>& scratch, std::int32_t radius, const SmoothMaps& maps,
               unsigned threads)
{
    const std::int32_t width = maps.width;
    const std::int32_t height = maps.height;
    ForEachBand(threads, height, width, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y) {
            const std::size_t start = std::size_t(y) * std::size_t(width);
            BoxRow(field.data() + start, scratch.data() + start, width, radius);
        }
    });
    const std::int32_t blocks = (width + ColumnBlock - 1) / ColumnBlock;
    ForEachBand(threads, blocks, std::int64_t{ColumnBlock} * height, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t block = first; block < last; ++block)
            BoxColumns(scratch.data(), field.data(), width, height, block * ColumnBlock,
                       std::min((block + 1) * ColumnBlock, width), radius);
    });
}

} // namespace

void BuildCoverage(const Picture& picture, const ShapeSource& source, SmoothMaps& maps, unsigned threads)
{
    ForEachBand(threads, maps.height, maps.width, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y) {
            const std::uint32_t* words = picture.Row(y);
            std::uint8_t* coverage = maps.coverage.data() + std::size_t(y) * std::size_t(maps.width);
            for (std::int32_t x = 0; x < maps.width; ++x)
                coverage[x] = CoverageOf(words[x], source);
        }
    });
}

void ShapeHeights(std::int32_t bevelSize, const BevelLook& look, SmoothMaps& maps, unsigned threads)
{
    const float sign = look.direction == BevelDirection::Down ? -1.0f : 1.0f;
    // At a depth of 100 the band climbs 255 as the classic height field does.
    const float scale = sign * 255.0f * float(look.depthPercent) / 100.0f;
    const BevelProfile profile = look.technique == BevelTechnique::Chisel ? BevelProfile::Linear : look.profile;
    ForEachBand(threads, maps.height, maps.width, [&](std::int32_t first, std::int32_t last) {
        const std::size_t begin = std::size_t(first) * std::size_t(maps.width);
        const std::size_t end = std::size_t(last) * std::size_t(maps.width);
        for (std::size_t i = begin; i < end; ++i)
            maps.heights[i] = scale * ProfileAt(profile, BandPosition(maps.distance[i], bevelSize));
    });
}

void SmoothDistances(SmoothMaps& maps, unsigned threads)
{
    // What is left of the pixel grid in the edge points bends the distance's
    // slope by a degree or two from one boundary pixel to the next; a box of
    // 7 pixels evens that out and leaves the straight slope of the band as
    // it is. The heights are not made yet: their map serves as scratch.
    BlurField(maps.distance, maps.heights, 3, maps, threads);
}

void SoftenHeights(std::int32_t radius, SmoothMaps& maps, unsigned threads)
{
    if (radius <= 0)
        return;
    std::vector<float> scratch;
    try {
        scratch.resize(maps.heights.size());
    } catch (const std::bad_alloc&) {
        Raise(ErrorNumber::OutOfMemory);
    }
    BlurField(maps.heights, scratch, radius, maps, threads);
}

void RenderSmoothBevel(const Picture& picIn, Picture& picOut, const Vector3& lightVector, std::int32_t bevelSize,
                       const BevelLook& look, const SmoothMaps& maps, unsigned threads)
{
    const std::int32_t width = maps.width;
    const std::int32_t height = maps.height;
    const bool hardFacets = look.technique == BevelTechnique::Chisel;
    const float lightX = float(lightVector.x);
    const float lightY = float(lightVector.y);
    const float lightZ = float(lightVector.z);
    // The frame beyond the picture is level at 0.
    std::vector<float> frame;
    try {
        frame.assign(std::size_t(width), 0.0f);
    } catch (const std::bad_alloc&) {
        Raise(ErrorNumber::OutOfMemory);
    }
    ForEachBand(threads, height, width, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y) {
            const std::size_t rowStart = std::size_t(y) * std::size_t(width);
            const float* heights = maps.heights.data() + rowStart;
            const float* above = y > 0 ? heights - width : frame.data();
            const float* below = y + 1 < height ? heights + width : frame.data();
            const float* distances = maps.distance.data() + rowStart;
            const std::uint8_t* coverage = maps.coverage.data() + rowStart;
            const std::uint32_t* in = picIn.Row(y);
            std::uint32_t* out = picOut.Row(y);
            for (std::int32_t x = 0; x < width; ++x) {
                const std::uint32_t word = in[x];
                const float u = coverage[x] == 0 ? 1.0f : BandPosition(distances[x], bevelSize);
                if (u >= 1) {
                    out[x] = (out[x] & 0xFF000000u) | (word & 0x00FFFFFFu);
                    continue;
                }
                // The classic normal (height here minus height beyond), by
                // central differences.
                const float normalX = ((x > 0 ? heights[x - 1] : 0.0f) - (x + 1 < width ? heights[x + 1] : 0.0f)) / 2;
                const float normalY = (above[x] - below[x]) / 2;
                const float facing = (normalX * lightX + normalY * lightY + lightZ)
                                     / std::sqrt(normalX * normalX + normalY * normalY + 1);
                // As the classic merge does, the light fades toward the flat
                // top; chisel facets keep theirs to the ridge.
                const float fade = hardFacets ? 1.0f : 1.0f - u;
                const float amount = facing * fade * float(coverage[x]) * (1.0f / 255.0f);
                const float light = std::max(amount, 0.0f);
                const float keep = (1 - std::max(-amount, 0.0f)) * (1 - light);
                // Both terms are at least 0 and at most 255 together.
                const auto shade = [&](std::uint32_t channel) {
                    return std::min(static_cast<std::uint32_t>(255 * light + float(channel) * keep + 0.5f), 255u);
                };
                out[x] = (out[x] & 0xFF000000u) | shade(word >> 16 & 0xFF) << 16 | shade(word >> 8 & 0xFF) << 8
                         | shade(word & 0xFF);
            }
        }
    });
}

void ApplySmoothBevel(const Picture& picIn, Picture& picOut, const BevelParameters& parameters,
                      const BevelLook& look, unsigned threads, SmoothMaps& maps)
{
    if (!picIn.HasBitmap())
        Raise(ErrorNumber::InvalidPicture);
    CheckBevelParameters(parameters);
    CheckBevelLook(look);
    const Vector3 lightVector = ComputeLightVector(parameters.lightAngle, parameters.lightElevation);
    maps.Reset(picIn.Width(), picIn.Height());
    if (picOut.Width() != picIn.Width() || picOut.Height() != picIn.Height())
        picOut = picIn;

    BuildCoverage(picIn, look.shapeSource, maps, threads);
    FindEdgePoints(maps, threads);
    BuildDistanceField(maps, threads);
    if (look.technique != BevelTechnique::Chisel)
        SmoothDistances(maps, threads);
    ShapeHeights(parameters.bevelSize, look, maps, threads);
    if (look.technique != BevelTechnique::Chisel)
        SoftenHeights(look.softenRadius, maps, threads);
    RenderSmoothBevel(picIn, picOut, lightVector, parameters.bevelSize, look, maps, threads);
}

} // namespace tollamere
