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

// One box blur of radius r from a line of count values into a line whose
// values lie stride apart, the picture's frame counted as 0.
void BoxLine(const float* source, float* target, std::int32_t count, std::ptrdiff_t stride, std::int32_t radius) noexcept
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
        target[i * stride] = static_cast<float>(sum * scale);
    }
}

std::uint32_t Channel(float value) noexcept
{
    return static_cast<std::uint32_t>(std::clamp(std::lround(value), 0L, 255L));
}

// A box blur of radius r over the field, along the rows, then the columns.
void BlurField(std::vector<float>& field, std::int32_t radius, SmoothMaps& maps, unsigned threads)
{
    if (radius <= 0)
        return;
    const std::int32_t width = maps.width;
    const std::int32_t height = maps.height;
    // Each line is copied aside and blurred back in place: one scratch line
    // per band, had before the threads start.
    std::vector<std::vector<float>> scratch;
    const Bands rowBands(threads, height);
    const Bands columnBands(threads, width);
    try {
        scratch.assign(std::size_t(std::max(rowBands.bands, columnBands.bands)),
                       std::vector<float>(std::size_t(std::max(width, height))));
    } catch (const std::bad_alloc&) {
        Raise(ErrorNumber::OutOfMemory);
    }
    const auto each = [&](const Bands& bands, std::int32_t lines, std::int32_t lineLength, auto&& blurLine) {
        const std::int64_t bandPixels = std::int64_t{lineLength} * (lines / bands.bands + 1);
        ForEachBand(bands.bands, bands.bands, bandPixels, [&](std::int32_t first, std::int32_t last) {
            for (std::int32_t band = first; band < last; ++band)
                for (std::int32_t line = bands.Start(band); line < bands.Start(band + 1); ++line)
                    blurLine(line, scratch[std::size_t(band)].data());
        });
    };
    each(rowBands, height, width, [&](std::int32_t y, float* copy) {
        float* row = field.data() + std::size_t(y) * std::size_t(width);
        std::copy_n(row, width, copy);
        BoxLine(copy, row, width, 1, radius);
    });
    each(columnBands, width, height, [&](std::int32_t x, float* copy) {
        float* column = field.data() + x;
        for (std::int32_t y = 0; y < height; ++y)
            copy[y] = column[std::size_t(y) * std::size_t(width)];
        BoxLine(copy, column, height, width, radius);
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
    // it is.
    BlurField(maps.distance, 3, maps, threads);
}

void SoftenHeights(std::int32_t radius, SmoothMaps& maps, unsigned threads)
{
    BlurField(maps.heights, radius, maps, threads);
}

void RenderSmoothBevel(const Picture& picIn, Picture& picOut, const Vector3& lightVector, std::int32_t bevelSize,
                       const BevelLook& look, const SmoothMaps& maps, unsigned threads)
{
    const std::int32_t width = maps.width;
    const std::int32_t height = maps.height;
    const bool hardFacets = look.technique == BevelTechnique::Chisel;
    const auto heightAt = [&](std::int32_t x, std::int32_t y) {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return 0.0f;
        return maps.heights[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    };
    ForEachBand(threads, height, width, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y) {
            const std::size_t rowStart = std::size_t(y) * std::size_t(width);
            const std::uint32_t* in = picIn.Row(y);
            std::uint32_t* out = picOut.Row(y);
            for (std::int32_t x = 0; x < width; ++x) {
                const std::uint32_t word = in[x];
                const float u = BandPosition(maps.distance[rowStart + std::size_t(x)], bevelSize);
                const std::uint8_t coverage = maps.coverage[rowStart + std::size_t(x)];
                if (coverage == 0 || u >= 1) {
                    out[x] = (out[x] & 0xFF000000u) | (word & 0x00FFFFFFu);
                    continue;
                }
                // The classic normal (height here minus height beyond), by
                // central differences.
                const float normalX = (heightAt(x - 1, y) - heightAt(x + 1, y)) / 2;
                const float normalY = (heightAt(x, y - 1) - heightAt(x, y + 1)) / 2;
                const float facing = (normalX * float(lightVector.x) + normalY * float(lightVector.y) + float(lightVector.z))
                                     / std::sqrt(normalX * normalX + normalY * normalY + 1);
                // As the classic merge does, the light fades toward the flat
                // top; chisel facets keep theirs to the ridge.
                const float fade = hardFacets ? 1.0f : 1.0f - u;
                const float amount = facing * fade * float(coverage) / 255.0f;
                const float light = std::max(amount, 0.0f);
                const float keep = (1 - std::max(-amount, 0.0f)) * (1 - light);
                const auto shade = [&](std::uint32_t channel) { return Channel(255 * light + float(channel) * keep); };
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
