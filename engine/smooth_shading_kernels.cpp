// SPDX-License-Identifier: MIT
// The smooth technique's row kernels: the blurs, the band's heights and the light.
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

// ---- Blurs, heights, light ------------------------------------------------------

// The sums in one pass, the rows added in their order, for the counts the
// blurs use (1, 2 and 7 rows or taps); others in a pass per row.
template <std::int32_t Count>
TOLLAMERE_KERNEL_BODY void SumRowsOf(const float* const* rows, float scale, float* out, std::int32_t width) noexcept
{
    const float* lines[Count];
    for (std::int32_t j = 0; j < Count; ++j)
        lines[j] = rows[j];
    for (std::int32_t x = 0; x < width; ++x) {
        float sum = lines[0][x];
        for (std::int32_t j = 1; j < Count; ++j)
            sum += lines[j][x];
        out[x] = sum * scale;
    }
}

TOLLAMERE_KERNEL_BODY void SumRowsBody(const float* const* rows, std::int32_t count, float scale, float* out,
                                       std::int32_t width) noexcept
{
    switch (count) {
    case 1:
        return SumRowsOf<1>(rows, scale, out, width);
    case 2:
        return SumRowsOf<2>(rows, scale, out, width);
    case 7:
        return SumRowsOf<7>(rows, scale, out, width);
    default:
        break;
    }
    for (std::int32_t x = 0; x < width; ++x)
        out[x] = rows[0][x];
    for (std::int32_t j = 1; j < count; ++j)
        for (std::int32_t x = 0; x < width; ++x)
            out[x] += rows[j][x];
    for (std::int32_t x = 0; x < width; ++x)
        out[x] *= scale;
}

TOLLAMERE_KERNEL_BODY void BoxRowBody(const float* padded, float* out, std::int32_t width, std::int32_t radius) noexcept
{
    if (radius == 3) {
        for (std::int32_t x = 0; x < width; ++x)
            out[x] = padded[x] + padded[x + 1] + padded[x + 2] + padded[x + 3] + padded[x + 4] + padded[x + 5]
                     + padded[x + 6];
        return;
    }
    for (std::int32_t x = 0; x < width; ++x)
        out[x] = padded[x];
    for (std::int32_t i = 1; i <= 2 * radius; ++i)
        for (std::int32_t x = 0; x < width; ++x)
            out[x] += padded[x + i];
}

// sin(t * pi / 2) for t in [0, 1], by its series to the 11th power (within
// 4e-8), so that the rows of heights vectorise.
TOLLAMERE_KERNEL_BODY float QuarterSine(float t) noexcept
{
    const float x = t * (std::numbers::pi_v<float> / 2);
    const float x2 = x * x;
    return x
           * (1
              + x2 * (-1.0f / 6 + x2 * (1.0f / 120 + x2 * (-1.0f / 5040 + x2 * (1.0f / 362880 - x2 / 39916800.0f)))));
}

// How far into the band a distance lies: 0 at the edge, 1 from the flat top
// on (a bevel of 0 has no band).
template <bool Banded>
TOLLAMERE_KERNEL_BODY float BandPosition(float distance, float inverseBevel) noexcept
{
    if constexpr (Banded)
        return std::min(std::max(distance * inverseBevel, 0.0f), 1.0f);
    return distance > 0 ? 1.0f : 0.0f;
}

template <bool Banded, bool Linear>
TOLLAMERE_KERNEL_BODY void HeightsOf(const float* distances, float* heights, std::int32_t width,
                                     const HeightRule& rule) noexcept
{
    for (std::int32_t x = 0; x < width; ++x) {
        const float u = BandPosition<Banded>(distances[x], rule.inverseBevel);
        if constexpr (Linear)
            heights[x] = rule.scale * u;
        else
            heights[x] = rule.scale * (rule.m + rule.n * QuarterSine(rule.p + rule.q * std::abs(rule.r * u + rule.s)));
    }
}

// A style's band position (see StyleBand), without branches so that the
// rows vectorise.
TOLLAMERE_KERNEL_BODY float StyledPosition(float distance, const StyleBand& band) noexcept
{
    const float rising = std::max(distance * band.slope + band.offset, distance * band.mirrorSlope);
    return std::min(std::max(rising, 0.0f), 1.0f);
}

template <bool Linear>
TOLLAMERE_KERNEL_BODY void StyledHeightsOf(const float* distances, float* heights, std::int32_t width,
                                           const HeightRule& rule) noexcept
{
    for (std::int32_t x = 0; x < width; ++x) {
        const float u = StyledPosition(distances[x], rule.band);
        if constexpr (Linear)
            heights[x] = rule.scale * u;
        else
            heights[x] = rule.scale * (rule.m + rule.n * QuarterSine(rule.p + rule.q * std::abs(rule.r * u + rule.s)));
    }
}

TOLLAMERE_KERNEL_BODY void HeightsBody(const float* distances, float* heights, std::int32_t width,
                                       const HeightRule& rule) noexcept
{
    if (rule.styled) {
        if (rule.linear)
            StyledHeightsOf<true>(distances, heights, width, rule);
        else
            StyledHeightsOf<false>(distances, heights, width, rule);
        return;
    }
    if (rule.banded) {
        if (rule.linear)
            HeightsOf<true, true>(distances, heights, width, rule);
        else
            HeightsOf<true, false>(distances, heights, width, rule);
    } else {
        if (rule.linear)
            HeightsOf<false, true>(distances, heights, width, rule);
        else
            HeightsOf<false, false>(distances, heights, width, rule);
    }
}

// 1 / sqrt(m) for m from 1 on: the first guess from the float's bits and
// two Newton steps, within 5e-6 of it (a thousandth of a level of light),
// in a few multiplications where a square root and a division would take
// tens of cycles a row of pixels.
TOLLAMERE_KERNEL_BODY float InverseSquareRoot(float m) noexcept
{
    float root = std::bit_cast<float>(0x5F3759DFu - (std::bit_cast<std::uint32_t>(m) >> 1));
    const float half = 0.5f * m;
    root = root * (1.5f - half * root * root);
    root = root * (1.5f - half * root * root);
    return root;
}

// How squarely the height field at column x of the row faces the light: the
// normal from central differences (height here minus height beyond, as the
// classic effect takes it) against the light's direction.
TOLLAMERE_KERNEL_BODY float Facing(const float* above, const float* here, const float* below, const LightRule& rule,
                                   std::int32_t x) noexcept
{
    const float normalX = (here[x - 1] - here[x + 1]) * 0.5f;
    const float normalY = (above[x] - below[x]) * 0.5f;
    return (normalX * rule.x + normalY * rule.y + rule.z) * InverseSquareRoot(normalX * normalX + normalY * normalY + 1);
}

// A picture's channel under a tone's, both 0..255, by the blend.
TOLLAMERE_KERNEL_BODY float Blend(BlendMode mode, float picture, float tone) noexcept
{
    constexpr float Scale = 1.0f / 255;
    switch (mode) {
    case BlendMode::Screen:
        return 255 - (255 - picture) * (255 - tone) * Scale;
    case BlendMode::Multiply:
        return picture * tone * Scale;
    case BlendMode::Overlay:
        return picture < 128 ? 2 * picture * tone * Scale : 255 - 2 * (255 - picture) * (255 - tone) * Scale;
    case BlendMode::Normal:
        break;
    }
    return tone;
}

// A picture's channel moved toward its blend with a tone's by weight (0..1).
TOLLAMERE_KERNEL_BODY float TowardTone(const ToneRule& tone, float picture, int channel, float weight) noexcept
{
    return picture + weight * (Blend(tone.mode, picture, tone.channel[channel]) - picture);
}

// The inner style's light on the pixels [first, last) of the row.
template <bool HardFacets, bool Banded, bool Toned>
TOLLAMERE_KERNEL_BODY void LightPixels(const LightRowInput& row, const LightRule& rule, std::int32_t first,
                                       std::int32_t last) noexcept
{
    const float* above = row.above;
    const float* here = row.here;
    const float* below = row.below;
    const std::uint8_t* coverage = row.coverage;
    const float* distances = row.distances;
    const std::uint32_t* in = row.in;
    std::uint32_t* out = row.out;
    for (std::int32_t x = first; x < last; ++x) {
        const float facing = Facing(above, here, below, rule, x);
        const float cover = float(coverage[x]);
        const float band = BandPosition<Banded>(distances[x], rule.inverseBevel);
        const float u = cover == 0 ? 1.0f : band;
        // As the classic merge does, the light fades toward the flat top;
        // chisel facets keep theirs to the ridge.
        const float fade = HardFacets ? 1.0f : 1.0f - u;
        const float lit = facing * fade * cover * (1.0f / 255.0f);
        const float amount = u < 1 ? lit : 0.0f;
        const float light = std::max(amount, 0.0f);
        const std::uint32_t word = in[x];
        if constexpr (Toned) {
            const float shade = std::max(-amount, 0.0f);
            const ToneRule& tone = light > 0 ? rule.highlight : rule.shadow;
            const float weight = (light > 0 ? light : shade) * tone.opacity;
            std::uint32_t channels = 0;
            for (int c = 0; c < 3; ++c) {
                const float picture = float(word >> (16 - 8 * c) & 0xFF);
                const float blended = TowardTone(tone, picture, c, weight);
                channels |= std::uint32_t(std::clamp(blended + 0.5f, 0.0f, 255.0f)) << (16 - 8 * c);
            }
            out[x] = (out[x] & 0xFF000000u) | channels;
            continue;
        }
        const float keep = (1 - std::max(-amount, 0.0f)) * (1 - light);
        const float lift = 255 * light + 0.5f;
        // Both terms are at least 0 and at most 255 together.
        const auto red = std::min(static_cast<std::int32_t>(lift + float(word >> 16 & 0xFF) * keep), 255);
        const auto green = std::min(static_cast<std::int32_t>(lift + float(word >> 8 & 0xFF) * keep), 255);
        const auto blue = std::min(static_cast<std::int32_t>(lift + float(word & 0xFF) * keep), 255);
        out[x] = (out[x] & 0xFF000000u) | std::uint32_t(red) << 16 | std::uint32_t(green) << 8
                     | std::uint32_t(blue);
    }
}

// Whether every pixel of [first, last) is on the flat top or outside the
// shape, where the light leaves the colour as it is; in a band, the first
// pixel tells.
template <bool Banded>
TOLLAMERE_KERNEL_BODY bool Unlit(const LightRowInput& row, const LightRule& rule, std::int32_t first,
                                 std::int32_t last) noexcept
{
    for (std::int32_t x = first; x < last; ++x)
        if (row.coverage[x] != 0 && BandPosition<Banded>(row.distances[x], rule.inverseBevel) < 1)
            return false;
    return true;
}

// One row lit for the inner style. Pixels on the flat top or outside the
// shape keep their colour, as the amount 0 leaves it: the row goes by runs
// of 64 pixels, and a stretch of unlit runs is copied rather than lit (on a
// photo's wide flat areas, most of the row), a stretch of the others lit in
// one loop that vectorises.
template <bool HardFacets, bool Banded, bool Toned>
TOLLAMERE_KERNEL_BODY void LightOf(const LightRowInput& row, const LightRule& rule) noexcept
{
    constexpr std::int32_t Run = 64;
    const std::int32_t width = row.width;
    std::int32_t first = 0;
    bool unlit = Unlit<Banded>(row, rule, 0, std::min(Run, width));
    while (first < width) {
        std::int32_t last = std::min(first + Run, width);
        bool next = unlit;
        while (last < width) {
            next = Unlit<Banded>(row, rule, last, std::min(last + Run, width));
            if (next != unlit)
                break;
            last = std::min(last + Run, width);
        }
        if (!unlit)
            LightPixels<HardFacets, Banded, Toned>(row, rule, first, last);
        else if (row.in != row.out)
            for (std::int32_t x = first; x < last; ++x)
                row.out[x] = (row.out[x] & 0xFF000000u) | (row.in[x] & 0x00FFFFFFu);
        first = last;
        unlit = next;
    }
}

// One row lit for a style other than inner. The light is strongest at the
// shape's edge and fades to the band's far ends (chisel facets keep it
// whole), so that no hard line shows where the band ends on the ground. It
// goes onto every pixel of the band whatever its coverage: outside the
// shape on a see-through pixel the tone goes in over it as a layer of that
// opacity (in straight alpha); elsewhere it is blended as the inner style
// blends it. Every pixel takes the same steps, selected without branches,
// so that a wider band costs no more.
template <bool HardFacets, bool Toned>
TOLLAMERE_KERNEL_BODY void StyledLightOf(const LightRowInput& row, const LightRule& rule) noexcept
{
    const float* above = row.above;
    const float* here = row.here;
    const float* below = row.below;
    const std::uint8_t* coverage = row.coverage;
    const float* distances = row.distances;
    const std::uint32_t* in = row.in;
    std::uint32_t* out = row.out;
    const StyleBand band = rule.band;
    const ToneRule highlight = rule.highlight;
    const ToneRule shadow = rule.shadow;
    const std::int32_t width = row.width;
    for (std::int32_t x = 0; x < width; ++x) {
        const float facing = Facing(above, here, below, rule, x);
        const float distance = distances[x];
        const float fromEdge = std::abs(distance);
        // Selections as products of 0 or 1, which the compiler keeps free
        // of branches.
        const float inBand = float(fromEdge < band.halfWidth) * float(StyledPosition(distance, band) < 1);
        const float fade = HardFacets ? 1.0f : 1.0f - fromEdge * band.inverseHalf;
        const float amount = facing * fade * inBand;
        const float light = std::max(amount, 0.0f);
        const float shade = std::max(-amount, 0.0f);
        const std::uint32_t word = in[x];
        const float beneath = float(word >> 24) * (1.0f / 255.0f);
        const float red = float(word >> 16 & 0xFF);
        const float green = float(word >> 8 & 0xFF);
        const float blue = float(word & 0xFF);
        float weight = 0;
        float layerRed = 0;
        float layerGreen = 0;
        float layerBlue = 0;
        float blendRed = 0;
        float blendGreen = 0;
        float blendBlue = 0;
        if constexpr (Toned) {
            const bool lit = light > 0;
            const ToneRule& tone = lit ? highlight : shadow;
            weight = std::min((lit ? light : shade) * tone.opacity, 1.0f);
            layerRed = tone.channel[0] * weight;
            layerGreen = tone.channel[1] * weight;
            layerBlue = tone.channel[2] * weight;
            blendRed = TowardTone(tone, red, 0, weight);
            blendGreen = TowardTone(tone, green, 1, weight);
            blendBlue = TowardTone(tone, blue, 2, weight);
        } else {
            // White and black, laid on as the inner style lays them.
            weight = std::min(light + shade, 1.0f);
            layerRed = layerGreen = layerBlue = 255 * light;
            const float keep = (1 - shade) * (1 - light);
            blendRed = 255 * light + red * keep;
            blendGreen = 255 * light + green * keep;
            blendBlue = 255 * light + blue * keep;
        }
        const float covered = beneath * (1 - weight);
        const float alpha = weight + covered;
        const float overs =
            float(float(coverage[x]) < float(InsideFrom)) * float(float(word >> 24) < 255.0f) * float(weight > 0);
        const float inverseAlpha = 1.0f / std::max(alpha, 1e-6f);
        const auto byte = [](float value) {
            return std::uint32_t(static_cast<std::int32_t>(std::min(std::max(value + 0.5f, 0.0f), 255.0f)));
        };
        const auto channel = [&](float layer, float picture, float blended) {
            return byte(blended + overs * ((layer + picture * covered) * inverseAlpha - blended));
        };
        const std::uint32_t channels = channel(layerRed, red, blendRed) << 16 | channel(layerGreen, green, blendGreen) << 8
                                       | channel(layerBlue, blue, blendBlue);
        const auto overMask = std::uint32_t(-static_cast<std::int32_t>(overs));
        const std::uint32_t alphaByte = (byte(alpha * 255) << 24 & overMask) | (out[x] & 0xFF000000u & ~overMask);
        out[x] = alphaByte | channels;
    }
}

TOLLAMERE_KERNEL_BODY void LightBody(const LightRowInput& row, const LightRule& rule) noexcept
{
    if (rule.styled) {
        if (rule.hardFacets)
            rule.toned ? StyledLightOf<true, true>(row, rule) : StyledLightOf<true, false>(row, rule);
        else
            rule.toned ? StyledLightOf<false, true>(row, rule) : StyledLightOf<false, false>(row, rule);
        return;
    }
    // Tones other than plain white and black blend each channel by itself.
    if (rule.toned) {
        if (rule.hardFacets)
            rule.banded ? LightOf<true, true, true>(row, rule) : LightOf<true, false, true>(row, rule);
        else
            rule.banded ? LightOf<false, true, true>(row, rule) : LightOf<false, false, true>(row, rule);
        return;
    }
    if (rule.hardFacets) {
        if (rule.banded)
            LightOf<true, true, false>(row, rule);
        else
            LightOf<true, false, false>(row, rule);
    } else {
        if (rule.banded)
            LightOf<false, true, false>(row, rule);
        else
            LightOf<false, false, false>(row, rule);
    }
}

} // namespace

#define TOLLAMERE_SHADING_KERNELS(Name, Attributes, ByteShuffles)                                                      \
    namespace smooth_shading::Name {                                                                                   \
    Attributes void SumRows(const float* const* rows, std::int32_t count, float scale, float* out, std::int32_t width) \
    {                                                                                                                  \
        SumRowsBody(rows, count, scale, out, width);                                                                   \
    }                                                                                                                  \
    Attributes void BoxRow(const float* padded, float* out, std::int32_t width, std::int32_t radius)                   \
    {                                                                                                                  \
        BoxRowBody(padded, out, width, radius);                                                                        \
    }                                                                                                                  \
    Attributes void HeightsRow(const float* distances, float* heights, std::int32_t width, const HeightRule& rule)     \
    {                                                                                                                  \
        HeightsBody(distances, heights, width, rule);                                                                  \
    }                                                                                                                  \
    Attributes void LightRow(const LightRowInput& row, const LightRule& rule)                                          \
    {                                                                                                                  \
        LightBody(row, rule);                                                                                          \
    }                                                                                                                  \
    }

TOLLAMERE_KERNEL_SETS(TOLLAMERE_SHADING_KERNELS)

#undef TOLLAMERE_SHADING_KERNELS

} // namespace tollamere
