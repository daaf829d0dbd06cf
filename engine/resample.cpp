// SPDX-License-Identifier: MIT
#include "resample.h"

#include "drop_shadow.h"
#include "effect_defaults.h"
#include "runtime_error.h"
#include "work_bands.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>
#include <vector>

namespace tollamere {
namespace {

constexpr double Lobes = 3.0;

double Sinc(double x)
{
    if (x == 0.0)
        return 1.0;
    const double px = std::numbers::pi * x;
    return std::sin(px) / px;
}

double Lanczos(double x)
{
    return std::abs(x) < Lobes ? Sinc(x) * Sinc(x / Lobes) : 0.0;
}

// For each output position, the source positions it reads and their
// weights, which add up to 1. Shrinking widens the filter by the factor so
// that every source pixel counts.
struct Taps {
    std::vector<std::int32_t> first;  // per output position
    std::vector<std::int32_t> count;
    std::vector<float> weights;       // `span` per output position
    std::int32_t span = 0;
};

Taps MakeTaps(std::int32_t sourceSize, std::int32_t outputSize)
{
    const double scale = double(outputSize) / double(sourceSize);
    const double stretch = std::max(1.0, 1.0 / scale);
    const double support = Lobes * stretch;
    Taps taps;
    taps.span = std::int32_t(std::ceil(support)) * 2 + 1;
    taps.first.resize(std::size_t(outputSize));
    taps.count.resize(std::size_t(outputSize));
    taps.weights.assign(std::size_t(outputSize) * std::size_t(taps.span), 0.0f);
    for (std::int32_t out = 0; out < outputSize; ++out) {
        const double centre = (out + 0.5) / scale - 0.5;
        const std::int32_t low = std::max<std::int32_t>(0, std::int32_t(std::floor(centre - support)) + 1);
        const std::int32_t high = std::min<std::int32_t>(sourceSize - 1, std::int32_t(std::ceil(centre + support)) - 1);
        const std::int32_t count = std::min(std::max(high - low + 1, 1), taps.span);
        float* weights = &taps.weights[std::size_t(out) * std::size_t(taps.span)];
        double sum = 0.0;
        for (std::int32_t i = 0; i < count; ++i) {
            weights[i] = float(Lanczos((low + i - centre) / stretch));
            sum += weights[i];
        }
        // Near the edges part of the filter falls outside: the rest is made to
        // weigh 1, as if the edge pixels went on.
        for (std::int32_t i = 0; i < count; ++i)
            weights[i] = sum != 0.0 ? float(weights[i] / sum) : (i == 0 ? 1.0f : 0.0f);
        taps.first[std::size_t(out)] = std::min(low, sourceSize - 1);
        taps.count[std::size_t(out)] = count;
    }
    return taps;
}

std::uint32_t Channel(float value)
{
    return std::uint32_t(std::clamp(std::lround(value), 0L, 255L));
}

std::int32_t Scaled(std::int32_t value, double factor, std::int32_t low, std::int32_t high)
{
    return std::int32_t(std::clamp<double>(std::round(value * factor), low, high));
}

} // namespace

double FitFactor(std::int64_t width, std::int64_t height, std::int64_t boxWidth, std::int64_t boxHeight, double scale)
{
    double factor = 1.0;
    if (boxWidth > 0 && boxHeight > 0)
        factor = std::min(double(boxWidth) / double(width), double(boxHeight) / double(height));
    else if (boxWidth > 0)
        factor = double(boxWidth) / double(width);
    else if (boxHeight > 0)
        factor = double(boxHeight) / double(height);
    return factor * scale;
}

ScaledSize SizeTimes(std::int64_t width, std::int64_t height, double factor)
{
    constexpr double most = 1 << 30;
    return {std::int32_t(std::clamp(std::round(double(width) * factor), 1.0, most)),
            std::int32_t(std::clamp(std::round(double(height) * factor), 1.0, most))};
}

Picture ResizePicture(const Picture& source, std::int32_t width, std::int32_t height, unsigned threads)
{
    if (!source.HasBitmap() || width <= 0 || height <= 0)
        return {};
    Picture resized;
    std::vector<float> across;  // the source's rows at the output's width: four premultiplied channels
    Taps columns;
    Taps rows;
    try {
        resized.Resize(width, height);
        columns = MakeTaps(source.Width(), width);
        rows = MakeTaps(source.Height(), height);
        across.resize(std::size_t(source.Height()) * std::size_t(width) * 4);
    } catch (const std::bad_alloc&) {
        RaiseWithReason(ErrorNumber::OutOfMemory, "no memory to resize the picture");
    }

    ForEachBand(threads, source.Height(), width, [&](std::int32_t begin, std::int32_t end) {
        std::vector<float> premultiplied(std::size_t(source.Width()) * 4);
        for (std::int32_t y = begin; y < end; ++y) {
            const std::uint32_t* in = source.Row(y);
            for (std::int32_t x = 0; x < source.Width(); ++x) {
                const float alpha = float(in[x] >> 24);
                const float cover = alpha / 255.0f;
                premultiplied[std::size_t(x) * 4 + 0] = float((in[x] >> 16) & 0xFF) * cover;
                premultiplied[std::size_t(x) * 4 + 1] = float((in[x] >> 8) & 0xFF) * cover;
                premultiplied[std::size_t(x) * 4 + 2] = float(in[x] & 0xFF) * cover;
                premultiplied[std::size_t(x) * 4 + 3] = alpha;
            }
            float* out = &across[std::size_t(y) * std::size_t(width) * 4];
            for (std::int32_t x = 0; x < width; ++x) {
                const float* weights = &columns.weights[std::size_t(x) * std::size_t(columns.span)];
                const float* from = &premultiplied[std::size_t(columns.first[std::size_t(x)]) * 4];
                float sum[4] = {0, 0, 0, 0};
                for (std::int32_t i = 0; i < columns.count[std::size_t(x)]; ++i)
                    for (int c = 0; c < 4; ++c)
                        sum[c] += weights[i] * from[std::size_t(i) * 4 + std::size_t(c)];
                std::copy(sum, sum + 4, out + std::size_t(x) * 4);
            }
        }
    });

    ForEachBand(threads, height, width, [&](std::int32_t begin, std::int32_t end) {
        std::vector<float> sum(std::size_t(width) * 4);
        for (std::int32_t y = begin; y < end; ++y) {
            std::fill(sum.begin(), sum.end(), 0.0f);
            const float* weights = &rows.weights[std::size_t(y) * std::size_t(rows.span)];
            for (std::int32_t i = 0; i < rows.count[std::size_t(y)]; ++i) {
                const float* from = &across[std::size_t(rows.first[std::size_t(y)] + i) * std::size_t(width) * 4];
                for (std::size_t k = 0; k < sum.size(); ++k)
                    sum[k] += weights[i] * from[k];
            }
            std::uint32_t* out = resized.Row(y);
            for (std::int32_t x = 0; x < width; ++x) {
                const float* pixel = &sum[std::size_t(x) * 4];
                const std::uint32_t alpha = Channel(pixel[3]);
                // Back from premultiplied; a pixel that came out see-through
                // keeps no colour, as the effect counts it outside the shape.
                const float uncover = alpha == 0 ? 0.0f : 255.0f / pixel[3];
                out[x] = alpha << 24 | Channel(pixel[0] * uncover) << 16 | Channel(pixel[1] * uncover) << 8 |
                         Channel(pixel[2] * uncover);
            }
        }
    });
    return resized;
}

void ScaleEffect(BevelParameters& parameters, BevelLook& look, double factor)
{
    if (factor == 1.0)
        return;
    parameters.bevelSize = Scaled(parameters.bevelSize, factor, 0, MaxBevelSize);
    look.softenRadius = Scaled(look.softenRadius, factor, 0, MaxSoftenRadius);
    Decoration& decoration = look.decoration;
    decoration.margin = Scaled(decoration.margin, factor, 0, MaxMargin);
    if (decoration.shadow) {
        decoration.shadow->offsetX = Scaled(decoration.shadow->offsetX, factor, -MaxShadowOffset, MaxShadowOffset);
        decoration.shadow->offsetY = Scaled(decoration.shadow->offsetY, factor, -MaxShadowOffset, MaxShadowOffset);
        decoration.shadow->blurRadius = Scaled(decoration.shadow->blurRadius, factor, 0, MaxShadowBlur);
    }
}

} // namespace tollamere
