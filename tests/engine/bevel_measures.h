// SPDX-License-Identifier: MIT
#pragma once

// Measures of a bevel's quality on a disc: how smooth the shading runs round
// the band, how well the band turns with the light, how strong it is.

#include "picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace tollamere::measures {

struct Disc {
    std::int32_t size = 560;
    double radius = 240;
    double Centre() const { return (size - 1) / 2.0; }
};

// Grey 128 on a black ground: a hard edge (green not 0 exactly inside), or
// anti-aliased, its coverage in alpha and its colour faded to black with it,
// so the green rule and the alpha give the same shape.
inline Picture DiscPicture(const Disc& disc, bool antiAliased)
{
    Picture picture(disc.size, disc.size, 0x00000000u);
    const double c = disc.Centre();
    for (std::int32_t y = 0; y < disc.size; ++y)
        for (std::int32_t x = 0; x < disc.size; ++x) {
            const double r = std::hypot(x - c, y - c);
            const double coverage = antiAliased ? std::clamp(disc.radius - r + 0.5, 0.0, 1.0) : (r < disc.radius ? 1.0 : 0.0);
            const auto alpha = static_cast<std::uint32_t>(std::lround(255 * coverage));
            const auto grey = static_cast<std::uint32_t>(std::lround(128 * coverage));
            picture.Pixel(x, y) = alpha << 24 | grey << 16 | grey << 8 | grey;
        }
    return picture;
}

// The green byte at (x, y), interpolated between the four pixels around it.
inline double GreenAt(const Picture& picture, double x, double y)
{
    const auto x0 = static_cast<std::int32_t>(std::floor(x));
    const auto y0 = static_cast<std::int32_t>(std::floor(y));
    const double fx = x - x0;
    const double fy = y - y0;
    const auto green = [&](std::int32_t px, std::int32_t py) {
        px = std::clamp(px, 0, picture.Width() - 1);
        py = std::clamp(py, 0, picture.Height() - 1);
        return double(picture.Pixel(px, py) >> 8 & 0xFF);
    };
    return (green(x0, y0) * (1 - fx) + green(x0 + 1, y0) * fx) * (1 - fy)
           + (green(x0, y0 + 1) * (1 - fx) + green(x0 + 1, y0 + 1) * fx) * fy;
}

struct Shading {
    // Light to shadow, in levels, of the smooth fit.
    double span = 0;
    // RMS distance from the fit, as a share of the span.
    double ripple = 0;
};

// The shading round the circle in the middle of the band, 2048 samples,
// against its least-squares fit by a Fourier series of 16 harmonics: the
// light's own variation round the disc is that smooth (lighten and darken
// meet with a kink, which 16 harmonics follow), steps and streaks are not.
inline Shading ShadingRound(const Picture& picture, const Disc& disc, double bevelSize)
{
    constexpr int Samples = 2048;
    constexpr int Harmonics = 16;
    const double r = disc.radius - bevelSize / 2;
    std::vector<double> values(Samples);
    for (int i = 0; i < Samples; ++i) {
        const double angle = 2 * std::numbers::pi * i / Samples;
        values[std::size_t(i)] = GreenAt(picture, disc.Centre() + r * std::cos(angle), disc.Centre() - r * std::sin(angle));
    }
    // Over whole periods of equal samples the harmonics are orthogonal, so
    // the fit's coefficients are plain projections.
    std::vector<double> fit(Samples, 0.0);
    for (int k = 0; k <= Harmonics; ++k) {
        double a = 0;
        double b = 0;
        for (int i = 0; i < Samples; ++i) {
            const double angle = 2 * std::numbers::pi * k * i / Samples;
            a += values[std::size_t(i)] * std::cos(angle);
            b += values[std::size_t(i)] * std::sin(angle);
        }
        const double norm = k == 0 ? 1.0 / Samples : 2.0 / Samples;
        for (int i = 0; i < Samples; ++i) {
            const double angle = 2 * std::numbers::pi * k * i / Samples;
            fit[std::size_t(i)] += norm * (a * std::cos(angle) + b * std::sin(angle));
        }
    }
    double squares = 0;
    for (int i = 0; i < Samples; ++i)
        squares += (values[std::size_t(i)] - fit[std::size_t(i)]) * (values[std::size_t(i)] - fit[std::size_t(i)]);
    const auto [low, high] = std::minmax_element(fit.begin(), fit.end());
    Shading shading;
    shading.span = *high - *low;
    shading.ripple = std::sqrt(squares / Samples) / shading.span;
    return shading;
}

// How alike a disc lit from 135 degrees and one lit from 90 degrees then
// turned 45 degrees counter-clockwise are, in dB (PSNR of the green bytes):
// for each pixel of the band of the first (from two pixels inside the edge
// to two pixels inside the flat top, so the pixel staircase of the edge and
// of the top's rim do not count), the second is read bilinearly at the
// point the turn brings there. A perfect bevel turns with its light.
inline double RotationPsnr(const Picture& litFrom135, const Picture& litFrom90, const Disc& disc, double bevelSize)
{
    const double c = disc.Centre();
    const double s = std::sqrt(0.5);
    double squares = 0;
    std::int64_t count = 0;
    for (std::int32_t y = 0; y < disc.size; ++y)
        for (std::int32_t x = 0; x < disc.size; ++x) {
            const double dx = x - c;
            const double dy = y - c;
            const double r = std::hypot(dx, dy);
            if (r > disc.radius - 2 || r < disc.radius - bevelSize + 2)
                continue;
            // Turned back clockwise on the screen (y grows downward).
            const double sourceX = c + dx * s - dy * s;
            const double sourceY = c + dx * s + dy * s;
            const double difference = double(litFrom135.Pixel(x, y) >> 8 & 0xFF) - GreenAt(litFrom90, sourceX, sourceY);
            squares += difference * difference;
            ++count;
        }
    const double meanSquare = std::max(squares / double(count), 1e-12);
    return 10 * std::log10(255.0 * 255.0 / meanSquare);
}

} // namespace tollamere::measures
