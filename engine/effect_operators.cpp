#include "effect_operators.h"

#include "bevel_kernels.h"
#include "checked_arithmetic.h"
#include "runtime_error.h"

#include <array>
#include <chrono>
#include <cmath>
#include <utility>

namespace tollamere {

void ComputeLightVector(EffectState& state)
{
    const double a = state.LightAngle;
    const double e = state.LightElevation;
    state.LightVector.x = std::cos(e) * std::cos(a);
    state.LightVector.y = -std::cos(e) * std::sin(a);
    state.LightVector.z = std::sin(e);
}

void MarkStage(EffectState& state, std::string_view /*label*/, bool /*restart*/)
{
    using namespace std::chrono;
    const auto sinceEpoch = system_clock::now().time_since_epoch();
    const auto sinceMidnight = sinceEpoch - floor<days>(sinceEpoch);
    state.StageStartTime = duration<float>(sinceMidnight).count();
}

void NormalizeMap(ByteMap& map, std::uint8_t low, std::uint8_t high)
{
    if (map.Width() <= 0 || map.Height() <= 0)
        return;
    if (map(0, 0) < low)
        Raise(ErrorNumber::Overflow);
    if (high < low)
        Raise(ErrorNumber::Overflow);
    if (high == low)
        Raise(ErrorNumber::DivisionByZero);

    // Every value meets the same rule, so decide it once per byte value:
    // -1 marks a value whose rescaling fails.
    std::array<std::int16_t, 256> rescaled{};
    for (int v = 0; v < 256; ++v) {
        const int result = v < low ? -1 : (v - low) * 255 / (high - low);
        rescaled[v] = static_cast<std::int16_t>(result > 255 ? -1 : result);
    }
    for (std::int32_t y = 0; y < map.Height(); ++y) {
        std::uint8_t* row = map.Row(y);
        for (std::int32_t x = 0; x < map.Width(); ++x) {
            const std::int16_t value = rescaled[row[x]];
            if (value < 0)
                Raise(ErrorNumber::Overflow);
            row[x] = static_cast<std::uint8_t>(value);
        }
    }
}

void BlurMap(ByteMap& map)
{
    const std::int32_t width = map.Width();
    const std::int32_t height = map.Height();
    ByteMap blurred(width, height);
    for (std::int32_t y = 1; y < height - 1; ++y)
        FastestKernels().BlurRow(map.Row(y - 1), map.Row(y), map.Row(y + 1), blurred.Row(y), 1, width - 1);
    map = std::move(blurred);
}

void DarkenPixel(std::uint8_t amount, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue)
{
    const std::int32_t keep = 255 - amount;
    red = CheckedByte(MulDiv(red, keep, 255));
    green = CheckedByte(MulDiv(green, keep, 255));
    blue = CheckedByte(MulDiv(blue, keep, 255));
}

void LightenPixel(std::uint8_t amount, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue)
{
    const std::int32_t keep = 255 - amount;
    red = CheckedByte(amount + MulDiv(red, keep, 255));
    green = CheckedByte(amount + MulDiv(green, keep, 255));
    blue = CheckedByte(amount + MulDiv(blue, keep, 255));
}

} // namespace tollamere
