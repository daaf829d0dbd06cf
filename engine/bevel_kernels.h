// SPDX-License-Identifier: MIT
#pragma once

// The row kernels of the bevel stages: plain loops over one row (or part of
// one) that the compiler turns into vector code. Where a kernel works in
// fixed chunks, a scalar tail finishes the row with the same arithmetic (the
// lighting and the rendering through the effect operators themselves). Each
// kernel is compiled twice, for any processor and for x86-64 processors with
// AVX2; the tests compare both with the operators.

#include "vector_math.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace tollamere {

// Columns [begin, end) of a map row; empty when begin >= end.
struct RowSpan {
    std::int32_t begin = 0;
    std::int32_t end = 0;

    bool Empty() const noexcept { return begin >= end; }
    friend bool operator==(const RowSpan&, const RowSpan&) = default;
};

// The smallest span holding both; an empty span adds nothing.
inline RowSpan Hull(const RowSpan& a, const RowSpan& b) noexcept
{
    if (a.Empty())
        return b;
    if (b.Empty())
        return a;
    return {std::min(a.begin, b.begin), std::max(a.end, b.end)};
}

// Exact integer division by multiplication and shift, for the ranges the
// effect produces (the tests try every value of each range).

// The largest weighted sum of one blur pass: weights summing to 29, bytes.
inline constexpr std::uint32_t LargestBlurSum = 29 * 255;
// sum / 29 for sum in 0..LargestBlurSum: 2260 = ceil(2^16 / 29), and its
// excess over 2^16 / 29 stays below 1/29 up to a sum of 16383.
constexpr std::uint32_t DivideBlurSum(std::uint32_t sum) noexcept
{
    return (sum * 2260u) >> 16;
}

// MulDiv(value, keep, 255) for bytes. The product is never negative and 255
// is odd, so no quotient falls on a half and rounding it is (product + 127)
// / 255; 32897 = ceil(2^23 / 255) divides exactly up to 66051.
// Written in 16-bit steps (the high half of a 16 x 16-bit product, then a
// shift by 7) so that the compiler keeps 16-bit lanes.
constexpr std::uint16_t FadeByte(std::uint16_t value, std::uint16_t keep) noexcept
{
    const auto product = static_cast<std::uint16_t>(value * keep + 127u);
    const auto high = static_cast<std::uint16_t>((std::uint32_t{product} * 32897u) >> 16);
    return static_cast<std::uint16_t>(high >> 7);
}

// The normalisation h * 255 / high (fraction dropped) for h in 0..high and
// high in 1..255, as (h * multiplier) >> 16: the multiplier overshoots
// 255 * 2^16 / high by less than 1, and h * high < 2^16 keeps the error below
// 1/high. h * multiplier stays below 2^32.
constexpr std::uint32_t NormalizeMultiplier(std::uint32_t high) noexcept
{
    return (255u * 65536u + high - 1) / high;
}
constexpr std::uint32_t NormalizeHeight(std::uint32_t h, std::uint32_t multiplier) noexcept
{
    return (h * multiplier) >> 16;
}

// The lighting of one pixel whose normal is (scaledX / 4, scaledY / 4, 1):
// v = DotProduct(normal, lightVector) / VectorLength(normal) in double
// precision; for v > 0 the light strength v * 255 rounded halves to even,
// else minus the shadow strength v * -255 rounded the same way.
int LightStrength(int scaledX, int scaledY, const Vector3& lightVector);

// The strengths of the normals met so far, for one light vector: a bevel
// repeats a few hundred to a few thousand normals over millions of pixels, so
// most pixels find theirs here instead of taking a square root and a division.
// A slot is one word, the key above the strength, so that a row kernel can
// load a chunk's entries first and check them all at once.
class NormalCache {
public:
    static constexpr int SlotBits = 13;

    // The normal's components times 4 (each in -1020..1020) as one 22-bit key.
    static constexpr std::uint32_t Key(int scaledX, int scaledY) noexcept
    {
        return static_cast<std::uint32_t>(scaledX + 1020) << 11 | static_cast<std::uint32_t>(scaledY + 1020);
    }
    // Fibonacci hashing: the top bits of the key times 2^32 / golden ratio.
    static constexpr std::uint32_t Slot(std::uint32_t key) noexcept
    {
        return (key * 2654435761u) >> (32 - SlotBits);
    }

    // An entry holds the key in its top bits and LightStrength + 255
    // (0..510) in its low 9 bits.
    static constexpr bool Holds(std::uint32_t entry, std::uint32_t key) noexcept { return entry >> 9 == key; }
    static constexpr std::uint32_t LightOf(std::uint32_t entry) noexcept
    {
        return std::max<std::uint32_t>(entry & 0x1FFu, 255) - 255;
    }
    static constexpr std::uint32_t ShadowOf(std::uint32_t entry) noexcept
    {
        return 255 - std::min<std::uint32_t>(entry & 0x1FFu, 255);
    }

    NormalCache() noexcept;

    // The entry in a slot, whichever normal it holds.
    std::uint32_t Entry(std::uint32_t slot) const noexcept { return entries_[slot]; }
    // The entry for this normal (of that key and slot), worked out at the
    // first meeting with LightStrength.
    std::uint32_t Lookup(std::uint32_t key, std::uint32_t slot, int scaledX, int scaledY, const Vector3& lightVector)
    {
        const std::uint32_t entry = entries_[slot];
        return Holds(entry, key) ? entry : Fill(key, slot, scaledX, scaledY, lightVector);
    }
    // Works out the normal's strength into its slot and returns the entry.
    [[gnu::cold]] std::uint32_t Fill(std::uint32_t key, std::uint32_t slot, int scaledX, int scaledY,
                                     const Vector3& lightVector);

private:
    // No key reaches the empty mark's top bits.
    static constexpr std::uint32_t EmptyEntry = 0xFFFFFFFFu;
    std::array<std::uint32_t, std::size_t{1} << SlotBits> entries_;
};

// Turns a row of 0/1 into each inside pixel's distance to the nearest outside
// pixel of the row or to the picture's left or right edge (1 next to it),
// limited to cap (1..255); outside pixels stay 0. Each run of inside pixels
// is filled at once: a rise 1, 2, ..., a plateau at cap, a fall ..., 2, 1.
void RowDistances(std::uint8_t* row, std::int32_t width, std::uint8_t cap) noexcept;

// The vectorised row kernels. No kernel allocates, checks bounds or raises;
// the stages give them valid ranges.
struct RowKernels {
    // mask[x] = 1 where the green byte of pixel x (bytes blue, green, red) is not 0, else 0.
    void (*ShapeMaskRow)(const std::uint8_t* pixels, std::uint8_t* mask, std::int32_t width) noexcept;
    // row[x] = min(row[x], nearer[x] + 1), the sum limited to cap, for x in
    // [begin, end): one step of the vertical distance sweeps, nearer being
    // the row already swept.
    void (*DistanceStep)(const std::uint8_t* nearer, std::uint8_t* row, std::int32_t begin, std::int32_t end,
                         std::uint8_t cap) noexcept;
    // row[x] = min(row[x], 1) for x in [begin, end): the first row of a
    // sweep, next to the picture's top or bottom edge.
    void (*DistanceAtEdge)(std::uint8_t* row, std::int32_t begin, std::int32_t end) noexcept;
    // row[x] = NormalizeHeight(row[x], multiplier).
    void (*NormalizeRow)(std::uint8_t* row, std::int32_t width, std::uint32_t multiplier) noexcept;
    // One blur pass over columns [begin, end) of a row (1 <= begin, end <=
    // width - 1), reading the rows above, at and below it. Chunks of columns
    // whose inputs are all 0 become 0 without the arithmetic.
    void (*BlurRow)(const std::uint8_t* above, const std::uint8_t* row, const std::uint8_t* below, std::uint8_t* out,
                    std::int32_t begin, std::int32_t end) noexcept;
    // The lighting of one inner row of the blurred height field (width >=
    // 3): light and shadow strengths for the band pixels (height neither 0
    // nor 255), which the caller's maps must hold as 0 everywhere else.
    // Returns the columns outside of which it wrote nothing. The cache must
    // serve one light vector.
    RowSpan (*LightRow)(const std::uint8_t* above, const std::uint8_t* row, const std::uint8_t* below,
                        std::uint8_t* light, std::uint8_t* shadow, std::int32_t width, const Vector3& lightVector,
                        NormalCache& cache) noexcept;
    // values[x] = MulDiv(values[x], 255 - heights[x], 255) for x in [begin, end).
    void (*FadeRow)(std::uint8_t* values, const std::uint8_t* heights, std::int32_t begin, std::int32_t end) noexcept;
    // The rendering of pixels [begin, end) of a row (bytes blue, green, red):
    // where the pixel's green byte is not 0 and its height is neither 0 nor
    // 255, darken by the shadow, then lighten by the light.
    void (*RenderRow)(std::uint8_t* pixels, const std::uint8_t* heights, const std::uint8_t* light,
                      const std::uint8_t* shadow, std::int32_t begin, std::int32_t end) noexcept;
};

// The kernels compiled for any processor of the build's architecture.
const RowKernels& PortableKernels() noexcept;
// The same compiled for x86-64 processors with AVX2, or nullptr when this
// build or this processor has none.
const RowKernels* Avx2Kernels() noexcept;
// The fastest set this processor runs; chosen once.
const RowKernels& FastestKernels() noexcept;

} // namespace tollamere
