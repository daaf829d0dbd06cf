// SPDX-License-Identifier: MIT
#include "smooth_kernels.h"

#include "smooth_kernel_parts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace tollamere {
namespace {

using namespace smooth_parts;

// Each set's table, of the kernels its files compile for its processor.
#define TOLLAMERE_SMOOTH_KERNELS(Name, Attributes, ByteShuffles)                                                       \
    namespace Name {                                                                                                   \
    constexpr SmoothKernels Kernels{&smooth_shape::Name::CoverageRow, &smooth_shape::Name::InsideRows,                 \
                                    &smooth_shape::Name::BoundaryRows, &smooth_shape::Name::EdgeRows,                  \
                                    &smooth_shape::Name::FitRows, &smooth_shape::Name::FollowRows,                     \
                                    &smooth_distance::Name::ColumnOffsets, &smooth_distance::Name::DistanceRow,        \
                                    &smooth_shading::Name::SumRows, &smooth_shading::Name::BoxRow,                     \
                                    &smooth_shading::Name::HeightsRow, &smooth_shading::Name::LightRow};               \
    }

TOLLAMERE_KERNEL_SETS(TOLLAMERE_SMOOTH_KERNELS)

#undef TOLLAMERE_SMOOTH_KERNELS

using SmoothKernelsChoice = TOLLAMERE_KERNEL_CHOICE(Kernels);

} // namespace

ToneRule ToneRuleOf(const BandTone& tone) noexcept
{
    const std::uint32_t rgb = tone.colour.rgb;
    return {{float(rgb >> 16 & 0xFF), float(rgb >> 8 & 0xFF), float(rgb & 0xFF)},
            float(tone.colour.opacityPercent) / 100.0f, tone.mode};
}

HeightRule::HeightRule(std::int32_t bevelSize, const BevelLook& look) noexcept
{
    const float sign = look.direction == BevelDirection::Down ? -1.0f : 1.0f;
    // At a depth of 100 the band climbs 255 as the classic height field does.
    scale = sign * 255.0f * float(look.depthPercent) / 100.0f;
    banded = bevelSize > 0;
    inverseBevel = banded ? 1.0f / float(bevelSize) : 0.0f;
    styled = look.style != BevelStyle::Inner;
    // The band's width on each side of the edge it reaches across.
    const float side = look.style == BevelStyle::Outer ? float(bevelSize) : float(bevelSize) / 2;
    const float inverseSide = banded ? 1.0f / side : 0.0f;
    switch (look.style) {
    case BevelStyle::Outer:
        band = {inverseBevel, 1, 0, side, inverseSide};
        break;
    case BevelStyle::Emboss:
        band = {inverseBevel, 0.5f, 0, side, inverseSide};
        break;
    case BevelStyle::Pillow:
        band = {inverseSide, 0, -inverseSide, side, inverseSide};
        break;
    case BevelStyle::Inner:
        break;
    }
    const BevelProfile profile = look.technique == BevelTechnique::Chisel ? BevelProfile::Linear : look.profile;
    linear = profile == BevelProfile::Linear;
    // Round sin(u pi/2); Cove 1 - sin((1 - u) pi/2); Ridge sin((1 - |2u - 1|)
    // pi/2), which is sin(u pi).
    if (profile == BevelProfile::Cove) {
        p = 1;
        q = -1;
        m = 1;
        n = -1;
    } else if (profile == BevelProfile::Ridge) {
        p = 1;
        q = -1;
        r = 2;
        s = -1;
    }
}

// The signed distance x at which a step edge blurred by a Gaussian of
// deviation 1 reaches the value b: the inverse of the normal distribution,
// worked out once by Newton's steps (the table's steps are far below the
// pixel's hundredth).
const float* StepTable()
{
    static const std::array<float, StepTableSize + 1> table = [] {
        std::array<float, StepTableSize + 1> values{};
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
    return table.data();
}

PackedEdgePoint PackEdgePoint(const EdgePoint& point) noexcept
{
    return Pack(point);
}

EdgePoint UnpackEdgePoint(const PackedEdgePoint& point) noexcept
{
    return Unpack(point);
}

const SmoothKernels& PortableSmoothKernels() noexcept
{
    return portable::Kernels;
}

const SmoothKernels* Avx2SmoothKernels() noexcept
{
    return SmoothKernelsChoice::Avx2();
}

const SmoothKernels& FastestSmoothKernels() noexcept
{
    return SmoothKernelsChoice::Fastest();
}

} // namespace tollamere