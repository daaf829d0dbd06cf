// SPDX-License-Identifier: MIT
// The row kernels of the bevel stages against the effect operators and plain
// per-pixel arithmetic: the exact divisions over every input they can meet,
// and every kernel set this processor runs over random rows of many widths,
// so that both the vector loops and their scalar tails are exercised.

#include "bevel_kernels.h"
#include "checked_arithmetic.h"
#include "effect_operators.h"
#include "work_bands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace tollamere {
namespace {

using Bytes = std::vector<std::uint8_t>;

int Uniform(std::mt19937& rng, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(rng);
}

// Random bytes with runs of 0 and of 255 (long enough to skip whole chunks)
// between runs of noise or of band values.
Bytes RandomRow(std::mt19937& rng, std::int32_t width)
{
    Bytes row(std::size_t(std::max(width, 0)));
    std::size_t x = 0;
    while (x < row.size()) {
        const std::size_t run = std::size_t(Uniform(rng, 1, 80));
        const int kind = Uniform(rng, 0, 3);
        for (std::size_t i = 0; i < run && x < row.size(); ++i, ++x)
            row[x] = kind == 0 ? 0 : kind == 1 ? 255 : static_cast<std::uint8_t>(Uniform(rng, 0, 255));
    }
    return row;
}

// ---------------------------------------------------------------------------
// Exact divisions, every input
// ---------------------------------------------------------------------------

TEST(ExactDivisionTest, BlurSumOverTwentyNineForEverySum)
{
    for (std::uint32_t sum = 0; sum <= LargestBlurSum; ++sum)
        ASSERT_EQ(DivideBlurSum(sum), sum / 29) << "sum " << sum;
}

TEST(ExactDivisionTest, FadeByteIsMulDivForEveryPairOfBytes)
{
    for (int value = 0; value < 256; ++value)
        for (int keep = 0; keep < 256; ++keep) {
            const auto fade = FadeByte(static_cast<std::uint16_t>(value), static_cast<std::uint16_t>(keep));
            ASSERT_EQ(fade, MulDiv(value, keep, 255)) << value << " * " << keep << " / 255";
            ASSERT_EQ(fade, (value * keep + 127) / 255) << value << " * " << keep;
        }
}

TEST(ExactDivisionTest, NormalizeHeightForEveryBoundAndHeight)
{
    for (std::uint32_t high = 1; high <= 255; ++high) {
        const std::uint32_t multiplier = NormalizeMultiplier(high);
        for (std::uint32_t h = 0; h <= high; ++h)
            ASSERT_EQ(NormalizeHeight(h, multiplier), h * 255 / high) << h << " of " << high;
    }
}

// ---------------------------------------------------------------------------
// Row distances
// ---------------------------------------------------------------------------

TEST(RowDistancesTest, DistanceToTheNearestOutsidePixelOrEdge)
{
    std::mt19937 rng(11);
    for (int iteration = 0; iteration < 3000; ++iteration) {
        const std::int32_t width = Uniform(rng, 1, 600);
        const auto cap = static_cast<std::uint8_t>(Uniform(rng, 0, 9) == 0 ? 255 : Uniform(rng, 1, 60));
        const int outsidePercent = Uniform(rng, 0, 3) == 0 ? 0 : Uniform(rng, 1, 40);
        Bytes row(static_cast<std::size_t>(width));
        for (auto& value : row)
            value = Uniform(rng, 0, 99) < outsidePercent ? 0 : 1;
        Bytes expected(row.size());
        for (std::int32_t x = 0; x < width; ++x) {
            if (row[std::size_t(x)] == 0)
                continue;
            int distance = std::min(x + 1, width - x);
            for (std::int32_t other = 0; other < width; ++other)
                if (row[std::size_t(other)] == 0)
                    distance = std::min(distance, std::abs(other - x));
            expected[std::size_t(x)] = static_cast<std::uint8_t>(std::min<int>(distance, cap));
        }
        RowDistances(row.data(), width, cap);
        ASSERT_EQ(row, expected) << "width " << width << ", cap " << int(cap) << ", iteration " << iteration;
    }
}

// ---------------------------------------------------------------------------
// Every kernel set against the operators
// ---------------------------------------------------------------------------

struct KernelSet {
    const char* name;
    const RowKernels* kernels;
};

std::vector<KernelSet> KernelSets()
{
    std::vector<KernelSet> sets{{"portable", &PortableKernels()}};
    if (Avx2Kernels() != nullptr)
        sets.push_back({"avx2", Avx2Kernels()});
    return sets;
}

class RowKernelsTest : public ::testing::TestWithParam<KernelSet> {
protected:
    const RowKernels& Kernels() const { return *GetParam().kernels; }
};

TEST_P(RowKernelsTest, ShapeMaskMarksNonZeroGreen)
{
    std::mt19937 rng(21);
    for (std::int32_t width = 0; width < 150; ++width) {
        Bytes pixels = RandomRow(rng, 3 * width);
        Bytes mask(static_cast<std::size_t>(width) + 1, 7);
        Kernels().ShapeMaskRow(pixels.data(), mask.data(), width);
        for (std::int32_t x = 0; x < width; ++x)
            ASSERT_EQ(mask[std::size_t(x)], pixels[std::size_t(3 * x + 1)] != 0 ? 1 : 0) << "width " << width << ", x " << x;
        EXPECT_EQ(mask[std::size_t(width)], 7) << "written beyond the row";
    }
}

TEST_P(RowKernelsTest, DistanceStepsTakeTheNearerRowPlusOne)
{
    std::mt19937 rng(22);
    for (int iteration = 0; iteration < 2000; ++iteration) {
        const std::int32_t width = Uniform(rng, 1, 200);
        const std::int32_t begin = Uniform(rng, 0, width);
        const std::int32_t end = Uniform(rng, begin, width);
        const auto cap = static_cast<std::uint8_t>(Uniform(rng, 1, 255));
        Bytes nearer(static_cast<std::size_t>(width));
        Bytes row(static_cast<std::size_t>(width));
        for (std::size_t x = 0; x < row.size(); ++x) {
            nearer[x] = static_cast<std::uint8_t>(Uniform(rng, 0, cap));
            row[x] = static_cast<std::uint8_t>(Uniform(rng, 0, cap));
        }
        Bytes stepped = row;
        Kernels().DistanceStep(nearer.data(), stepped.data(), begin, end, cap);
        Bytes edge = row;
        Kernels().DistanceAtEdge(edge.data(), begin, end);
        for (std::int32_t x = 0; x < width; ++x) {
            const auto at = std::size_t(x);
            const bool inside = x >= begin && x < end;
            const int step = std::min<int>({row[at], nearer[at] + 1, cap});
            ASSERT_EQ(stepped[at], inside ? step : row[at]) << "x " << x << ", cap " << int(cap);
            ASSERT_EQ(edge[at], inside ? std::min<int>(row[at], 1) : row[at]) << "x " << x;
        }
    }
}

TEST_P(RowKernelsTest, NormalizeRowRescalesEveryHeight)
{
    std::mt19937 rng(23);
    for (std::uint32_t high = 1; high <= 255; ++high) {
        const std::int32_t width = Uniform(rng, 0, 100);
        Bytes row(static_cast<std::size_t>(width));
        for (auto& value : row)
            value = static_cast<std::uint8_t>(Uniform(rng, 0, int(high)));
        Bytes normalized = row;
        Kernels().NormalizeRow(normalized.data(), width, NormalizeMultiplier(high));
        for (std::size_t x = 0; x < row.size(); ++x)
            ASSERT_EQ(normalized[x], row[x] * 255u / high) << "high " << high << ", value " << int(row[x]);
    }
}

TEST_P(RowKernelsTest, BlurRowIsTheWeightedAverage)
{
    std::mt19937 rng(24);
    for (int iteration = 0; iteration < 3000; ++iteration) {
        const std::int32_t width = Uniform(rng, 3, 260);
        const std::int32_t begin = Uniform(rng, 1, width - 1);
        const std::int32_t end = Uniform(rng, begin, width - 1);
        const Bytes above = RandomRow(rng, width);
        const Bytes row = RandomRow(rng, width);
        const Bytes below = RandomRow(rng, width);
        Bytes out(static_cast<std::size_t>(width), 0x5A);
        Kernels().BlurRow(above.data(), row.data(), below.data(), out.data(), begin, end);
        for (std::int32_t x = 0; x < width; ++x) {
            const auto at = std::size_t(x);
            if (x < begin || x >= end) {
                ASSERT_EQ(out[at], 0x5A) << "written outside the columns at " << x;
                continue;
            }
            const int sum = 3 * (above[at - 1] + above[at + 1] + below[at - 1] + below[at + 1]) +
                            4 * (above[at] + row[at - 1] + row[at + 1] + below[at]) + row[at];
            ASSERT_EQ(out[at], sum / 29) << "width " << width << ", x " << x;
        }
    }
}

TEST_P(RowKernelsTest, FadeRowIsMulDivByWhatTheHeightLeaves)
{
    std::mt19937 rng(25);
    for (int iteration = 0; iteration < 2000; ++iteration) {
        const std::int32_t width = Uniform(rng, 0, 200);
        const std::int32_t begin = Uniform(rng, 0, width);
        const std::int32_t end = Uniform(rng, begin, width);
        const Bytes values = RandomRow(rng, width);
        const Bytes heights = RandomRow(rng, width);
        Bytes faded = values;
        Kernels().FadeRow(faded.data(), heights.data(), begin, end);
        for (std::int32_t x = 0; x < width; ++x) {
            const auto at = std::size_t(x);
            const int expected = x >= begin && x < end ? MulDiv(values[at], 255 - heights[at], 255) : values[at];
            ASSERT_EQ(faded[at], expected) << "x " << x;
        }
    }
}

TEST_P(RowKernelsTest, RenderRowDarkensThenLightensTheBevelBand)
{
    std::mt19937 rng(26);
    for (int iteration = 0; iteration < 3000; ++iteration) {
        const std::int32_t width = Uniform(rng, 0, 200);
        const std::int32_t begin = Uniform(rng, 0, width);
        const std::int32_t end = Uniform(rng, begin, width);
        const Bytes pixels = RandomRow(rng, 3 * width + 1);
        const Bytes heights = RandomRow(rng, width);
        const Bytes light = RandomRow(rng, width);
        const Bytes shadow = RandomRow(rng, width);
        Bytes rendered = pixels;
        Kernels().RenderRow(rendered.data(), heights.data(), light.data(), shadow.data(), begin, end);
        Bytes expected = pixels;
        for (std::int32_t x = begin; x < end; ++x) {
            std::uint8_t* pixel = expected.data() + 3 * x;
            const auto at = std::size_t(x);
            if (pixel[1] == 0 || heights[at] == 0 || heights[at] == 255)
                continue;
            if (shadow[at] > 0)
                DarkenPixel(shadow[at], pixel[2], pixel[1], pixel[0]);
            if (light[at] > 0)
                LightenPixel(light[at], pixel[2], pixel[1], pixel[0]);
        }
        ASSERT_EQ(rendered, expected) << "width " << width << ", columns " << begin << " to " << end;
    }
}

// The lighting as the effect describes it, one pixel at a time.
void LightPixelPlainly(const Bytes& above, const Bytes& row, const Bytes& below, Bytes& light, Bytes& shadow,
                       std::size_t x, const Vector3& lightVector)
{
    const std::uint8_t h = row[x];
    if (h == 0 || h == 255)
        return;
    Vector3 normal;
    normal.x = h - (2 * row[x + 1] + above[x + 1] + below[x + 1]) * 0.25;
    normal.y = h - (2 * below[x] + below[x - 1] + below[x + 1]) * 0.25;
    normal.z = 1.0;
    const double v = DotProduct(normal, lightVector) / VectorLength(normal);
    if (v > 0)
        light[x] = RoundToByte(v * 255);
    else
        shadow[x] = RoundToByte(v * -255);
}

Vector3 RandomLight(std::mt19937& rng)
{
    const double angle = DegreesToRadians(Uniform(rng, -360, 360) + Uniform(rng, 0, 99) / 100.0);
    const double elevation = DegreesToRadians(Uniform(rng, -90, 90) + Uniform(rng, 0, 99) / 100.0);
    return ComputeLightVector(angle, elevation);
}

TEST_P(RowKernelsTest, LightRowLightsTheBandAsTheEffectDescribes)
{
    std::mt19937 rng(27);
    for (int iteration = 0; iteration < 1500; ++iteration) {
        const Vector3 lightVector = RandomLight(rng);
        // One cache for several rows, as a stage uses it.
        NormalCache cache;
        for (int rowIndex = 0; rowIndex < 4; ++rowIndex) {
            const std::int32_t width = Uniform(rng, 3, 200);
            const Bytes above = RandomRow(rng, width);
            const Bytes row = RandomRow(rng, width);
            const Bytes below = RandomRow(rng, width);
            Bytes light(static_cast<std::size_t>(width), 0);
            Bytes shadow(static_cast<std::size_t>(width), 0);
            const RowSpan span = Kernels().LightRow(above.data(), row.data(), below.data(), light.data(), shadow.data(),
                                                    width, lightVector, cache);
            Bytes expectedLight(static_cast<std::size_t>(width), 0);
            Bytes expectedShadow(static_cast<std::size_t>(width), 0);
            for (std::size_t x = 1; x + 1 < std::size_t(width); ++x)
                LightPixelPlainly(above, row, below, expectedLight, expectedShadow, x, lightVector);
            ASSERT_EQ(light, expectedLight) << "width " << width << ", iteration " << iteration;
            ASSERT_EQ(shadow, expectedShadow) << "width " << width << ", iteration " << iteration;
            for (std::int32_t x = 0; x < width; ++x) {
                const bool band = x > 0 && x < width - 1 && row[std::size_t(x)] != 0 && row[std::size_t(x)] != 255;
                if (band) {
                    ASSERT_TRUE(x >= span.begin && x < span.end) << "band pixel " << x << " outside the span";
                }
            }
            ASSERT_TRUE(span.Empty() || (span.begin >= 1 && span.end <= width - 1));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKernelSet, RowKernelsTest, ::testing::ValuesIn(KernelSets()),
                         [](const ::testing::TestParamInfo<KernelSet>& info) { return std::string(info.param.name); });

TEST(KernelSetTest, TheFastestSetIsOneOfTheSets)
{
    const RowKernels* fastest = &FastestKernels();
    EXPECT_TRUE(fastest == &PortableKernels() || fastest == Avx2Kernels());
    if (Avx2Kernels() != nullptr) {
        EXPECT_EQ(fastest, Avx2Kernels());
    }
}

// ---------------------------------------------------------------------------
// The cache of strengths
// ---------------------------------------------------------------------------

TEST(NormalCacheTest, GivesTheStrengthOfEveryNormalAlsoAfterCollisions)
{
    std::mt19937 rng(31);
    // Straight above and straight below give the strongest light and shadow
    // (255) to the flat normal: the ends of what an entry holds.
    for (int round = 0; round < 4; ++round) {
        const Vector3 lightVector = round == 0 ? Vector3{0, 0, 1} : round == 1 ? Vector3{0, 0, -1} : RandomLight(rng);
        NormalCache cache;
        // More normals than slots, each asked for twice, so that slots are
        // shared and overwritten.
        std::vector<std::pair<int, int>> normals;
        for (int i = 0; i < 12000; ++i)
            normals.emplace_back(Uniform(rng, -1020, 1020), Uniform(rng, -1020, 1020));
        normals.emplace_back(-1020, -1020);
        normals.emplace_back(1020, 1020);
        for (int pass = 0; pass < 2; ++pass)
            for (const auto& [scaledX, scaledY] : normals) {
                const std::uint32_t key = NormalCache::Key(scaledX, scaledY);
                const std::uint32_t entry = cache.Lookup(key, NormalCache::Slot(key), scaledX, scaledY, lightVector);
                const int strength = LightStrength(scaledX, scaledY, lightVector);
                ASSERT_TRUE(NormalCache::Holds(entry, key)) << scaledX << ", " << scaledY;
                ASSERT_EQ(NormalCache::LightOf(entry), std::max(strength, 0)) << scaledX << ", " << scaledY;
                ASSERT_EQ(NormalCache::ShadowOf(entry), std::max(-strength, 0)) << scaledX << ", " << scaledY;
            }
    }
}

TEST(NormalCacheTest, KeysAreDistinctSlotsInRangeAndEmptySlotsHoldNoKey)
{
    const NormalCache empty;
    std::vector<bool> seen(std::size_t{1} << 22, false);
    for (int scaledX = -1020; scaledX <= 1020; ++scaledX)
        for (int scaledY = -1020; scaledY <= 1020; ++scaledY) {
            const std::uint32_t key = NormalCache::Key(scaledX, scaledY);
            ASSERT_LT(key, std::uint32_t{1} << 22);
            ASSERT_FALSE(seen[key]) << scaledX << ", " << scaledY;
            seen[key] = true;
            ASSERT_LT(NormalCache::Slot(key), std::uint32_t{1} << NormalCache::SlotBits);
            ASSERT_FALSE(NormalCache::Holds(empty.Entry(NormalCache::Slot(key)), key)) << scaledX << ", " << scaledY;
        }
}

// ---------------------------------------------------------------------------
// Bands of work
// ---------------------------------------------------------------------------

TEST(ForEachBandTest, EveryItemExactlyOnceInOrderedBands)
{
    for (unsigned threads : {0u, 1u, 2u, 3u, 7u, 64u}) {
        for (std::int32_t count : {0, 1, 2, 5, 6, 7, 100, 4096}) {
            // Small items run one band after the other, large ones concurrently.
            for (std::int64_t itemPixels : {std::int64_t{1}, ConcurrentPixels}) {
                std::vector<std::atomic<int>> visits(static_cast<std::size_t>(count));
                std::atomic<int> bands{0};
                ForEachBand(threads, count, itemPixels, [&](std::int32_t begin, std::int32_t end) {
                    EXPECT_LT(begin, end);
                    ++bands;
                    for (std::int32_t item = begin; item < end; ++item)
                        ++visits[std::size_t(item)];
                });
                for (std::int32_t item = 0; item < count; ++item)
                    ASSERT_EQ(visits[std::size_t(item)].load(), 1) << "item " << item << " of " << count;
                EXPECT_EQ(bands.load(), std::min<std::int64_t>(std::max(threads, 1u), count)) << threads << " threads";
            }
        }
    }
}

} // namespace
} // namespace tollamere
