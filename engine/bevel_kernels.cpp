// SPDX-License-Identifier: MIT
#include "bevel_kernels.h"

#include "checked_arithmetic.h"
#include "effect_operators.h"
#include "kernel_targets.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace tollamere {

namespace {

using Byte = std::uint8_t;

// True for a height in the bevel band, neither 0 nor 255 (one unsigned compare).
inline unsigned InBand(unsigned height) noexcept
{
    return static_cast<Byte>(height - 1) < 254 ? 1u : 0u;
}

// ---- Row distances --------------------------------------------------------

// The first x in [from, width) whose 0/1 byte equals value, or width; eight
// bytes at a time, as runs are mostly long.
std::int32_t FindMaskValue(const Byte* row, std::int32_t from, std::int32_t width, Byte value) noexcept
{
    constexpr std::uint64_t ones = 0x0101010101010101u;
    const std::uint64_t flip = value != 0 ? 0 : ones;
    std::int32_t x = from;
    for (; x + 8 <= width; x += 8) {
        std::uint64_t word;
        std::memcpy(&word, row + x, sizeof word);
        word ^= flip;
        if (word != 0) {
            const int bit = std::endian::native == std::endian::little ? std::countr_zero(word) : std::countl_zero(word);
            return x + bit / 8;
        }
    }
    while (x < width && row[x] != value)
        ++x;
    return x;
}

// Distances min(i + 1, length - i, cap) over a run of inside pixels bounded
// by outside pixels or the edges. Plain loops: copying ramps of varying
// length (memcpy) costs more on short runs.
void FillRun(Byte* run, std::int32_t length, Byte cap) noexcept
{
    const std::int32_t rise = std::min<std::int32_t>(cap, (length + 1) / 2);
    const std::int32_t fall = std::min<std::int32_t>(cap, length / 2);
    for (std::int32_t i = 0; i < rise; ++i)
        run[i] = static_cast<Byte>(i + 1);
    for (std::int32_t i = rise; i < length - fall; ++i)
        run[i] = cap;
    for (std::int32_t i = length - fall; i < length; ++i)
        run[i] = static_cast<Byte>(length - i);
}

// ---- Kernel bodies ----------------------------------------------------------

TOLLAMERE_KERNEL_BODY void ShapeMaskBody(const Byte* pixels, Byte* mask, std::int32_t width) noexcept
{
    for (std::int32_t x = 0; x < width; ++x)
        mask[x] = pixels[3 * x + 1] != 0 ? 1 : 0;
}

TOLLAMERE_KERNEL_BODY void DistanceStepBody(const Byte* nearer, Byte* row, std::int32_t begin, std::int32_t end,
                                            Byte cap) noexcept
{
    const auto belowCap = static_cast<Byte>(cap - 1);
    for (std::int32_t x = begin; x < end; ++x)
        row[x] = std::min(row[x], static_cast<Byte>(std::min(nearer[x], belowCap) + 1));
}

TOLLAMERE_KERNEL_BODY void DistanceAtEdgeBody(Byte* row, std::int32_t begin, std::int32_t end) noexcept
{
    for (std::int32_t x = begin; x < end; ++x)
        row[x] = std::min<Byte>(row[x], 1);
}

TOLLAMERE_KERNEL_BODY void NormalizeBody(Byte* row, std::int32_t width, std::uint32_t multiplier) noexcept
{
    for (std::int32_t x = 0; x < width; ++x)
        row[x] = static_cast<Byte>(NormalizeHeight(row[x], multiplier));
}

// Whether any of the bytes is not 0, eight at a time: cheaper than the
// compiler's byte-wise reduction of a vector.
template <std::size_t Count>
TOLLAMERE_KERNEL_BODY bool AnyNonZero(const std::array<Byte, Count>& bytes) noexcept
{
    static_assert(Count % 8 == 0);
    std::uint64_t any = 0;
    for (std::size_t i = 0; i < Count; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, &bytes[i], sizeof word);
        any |= word;
    }
    return any != 0;
}

// Columns blurred together: a chunk whose inputs are all 0 (most of the light
// and shadow maps) gives 0 without the arithmetic.
constexpr std::int32_t BlurChunk = 32;

TOLLAMERE_KERNEL_BODY Byte BlurPixel(const Byte* above, const Byte* row, const Byte* below, std::int32_t x) noexcept
{
    // Sums held in 16 bits (at most 29 * 255) let the compiler use 16-bit lanes.
    const auto corners = static_cast<std::uint16_t>(above[x - 1] + above[x + 1] + below[x - 1] + below[x + 1]);
    const auto edges = static_cast<std::uint16_t>(above[x] + below[x] + row[x - 1] + row[x + 1]);
    const auto sum = static_cast<std::uint16_t>(3 * corners + 4 * edges + row[x]);
    return static_cast<Byte>(DivideBlurSum(sum));
}

TOLLAMERE_KERNEL_BODY void BlurBody(const Byte* above, const Byte* row, const Byte* below, Byte* out,
                                    std::int32_t begin, std::int32_t end) noexcept
{
    std::int32_t x = begin;
    for (; x + BlurChunk <= end; x += BlurChunk) {
        // The inputs of the chunk's columns x - 1 .. x + BlurChunk.
        std::array<Byte, BlurChunk> inputs;
        for (std::int32_t i = 0; i < BlurChunk; ++i)
            inputs[std::size_t(i)] = above[x - 1 + i] | row[x - 1 + i] | below[x - 1 + i];
        const std::int32_t last = x + BlurChunk - 1;
        const Byte lastTwo = above[last] | row[last] | below[last] | above[last + 1] | row[last + 1] | below[last + 1];
        if (!AnyNonZero(inputs) && lastTwo == 0) {
            std::memset(out + x, 0, BlurChunk);
            continue;
        }
        for (std::int32_t i = x; i < x + BlurChunk; ++i)
            out[i] = BlurPixel(above, row, below, i);
    }
    for (; x < end; ++x)
        out[x] = BlurPixel(above, row, below, x);
}

// Columns lit together: a chunk without band pixels is skipped whole.
constexpr std::int32_t LightChunk = 32;

// The normals of one chunk of pixels, worked out in vector lanes.
struct ChunkNormals {
    std::array<std::int32_t, LightChunk> scaledX;
    std::array<std::int32_t, LightChunk> scaledY;
    std::array<std::uint32_t, LightChunk> keys;
    std::array<std::uint32_t, LightChunk> slots;
    std::array<Byte, LightChunk> bandMask;
};

// One bit per pixel of the chunk's band mask. On a little-endian machine
// eight bytes of 0 or 255 at a time: multiplying their low bits by
// 0x0102040810204080 gathers them in the top byte.
TOLLAMERE_KERNEL_BODY std::uint32_t BandBits(const std::array<Byte, LightChunk>& bandMask) noexcept
{
    static_assert(LightChunk == 32);
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < LightChunk; i += 8) {
        if constexpr (std::endian::native == std::endian::little) {
            std::uint64_t bytes;
            std::memcpy(&bytes, &bandMask[i], sizeof bytes);
            bits |= static_cast<std::uint32_t>(((bytes & 0x0101010101010101u) * 0x0102040810204080u) >> 56) << i;
        } else {
            for (std::size_t bit = 0; bit < 8; ++bit)
                bits |= (bandMask[i + bit] & 1u) << (i + bit);
        }
    }
    return bits;
}

// The strengths of a chunk with few band pixels, as at the edges of a narrow
// bevel: one lookup per band pixel. Scalar, and kept apart so that its few
// values stay in registers.
[[gnu::noinline]] void LookUpFew(const ChunkNormals& normals, std::uint32_t inBand, Byte* light, Byte* shadow,
                                 const Vector3& lightVector, NormalCache& cache) noexcept
{
    std::memset(light, 0, LightChunk);
    std::memset(shadow, 0, LightChunk);
    for (; inBand != 0; inBand &= inBand - 1) {
        const auto i = static_cast<std::size_t>(std::countr_zero(inBand));
        const std::uint32_t entry =
            cache.Lookup(normals.keys[i], normals.slots[i], normals.scaledX[i], normals.scaledY[i], lightVector);
        light[i] = static_cast<Byte>(NormalCache::LightOf(entry));
        shadow[i] = static_cast<Byte>(NormalCache::ShadowOf(entry));
    }
}

// Works out the strengths of the band pixels whose slots held other normals.
[[gnu::noinline]] void RefillChunk(const ChunkNormals& normals, const std::array<Byte, LightChunk>& stale,
                                   std::array<std::uint32_t, LightChunk>& entries, const Vector3& lightVector,
                                   NormalCache& cache) noexcept
{
    for (std::size_t i = 0; i < LightChunk; ++i)
        if (stale[i] != 0)
            entries[i] =
                cache.Fill(normals.keys[i], normals.slots[i], normals.scaledX[i], normals.scaledY[i], lightVector);
}

// The strengths of one chunk's band pixels from the cache, 0 for the others.
// A chunk mostly in the band, as in a wide bevel, loads every pixel's slot
// and checks the keys together afterwards, so that no pixel waits on a branch.
TOLLAMERE_KERNEL_BODY void LookUpChunk(const ChunkNormals& normals, Byte* light, Byte* shadow,
                                       const Vector3& lightVector, NormalCache& cache) noexcept
{
    const std::uint32_t inBand = BandBits(normals.bandMask);
    if (std::popcount(inBand) < LightChunk / 2) {
        LookUpFew(normals, inBand, light, shadow, lightVector, cache);
        return;
    }
    std::array<std::uint32_t, LightChunk> entries;
    for (std::size_t i = 0; i < LightChunk; ++i)
        entries[i] = cache.Entry(normals.slots[i]);
    std::array<Byte, LightChunk> stale;
    for (std::size_t i = 0; i < LightChunk; ++i)
        stale[i] = normals.bandMask[i] & (NormalCache::Holds(entries[i], normals.keys[i]) ? 0 : 0xFF);
    if (AnyNonZero(stale))
        RefillChunk(normals, stale, entries, lightVector, cache);
    for (std::size_t i = 0; i < LightChunk; ++i) {
        light[i] = static_cast<Byte>(NormalCache::LightOf(entries[i])) & normals.bandMask[i];
        shadow[i] = static_cast<Byte>(NormalCache::ShadowOf(entries[i])) & normals.bandMask[i];
    }
}

TOLLAMERE_KERNEL_BODY RowSpan LightBody(const Byte* above, const Byte* row, const Byte* below, Byte* light,
                                        Byte* shadow, std::int32_t width, const Vector3& lightVector,
                                        NormalCache& cache) noexcept
{
    RowSpan written{width, 0};
    std::int32_t x = 1;
    ChunkNormals normals;
    for (; x + LightChunk <= width - 1; x += LightChunk) {
        for (std::int32_t i = 0; i < LightChunk; ++i)
            normals.bandMask[std::size_t(i)] = static_cast<Byte>(0u - InBand(row[x + i]));
        if (!AnyNonZero(normals.bandMask))
            continue;
        written.begin = std::min(written.begin, x);
        written.end = x + LightChunk;
        for (std::int32_t i = 0; i < LightChunk; ++i) {
            const std::int32_t at = x + i;
            const int h = row[at];
            const auto n = std::size_t(i);
            normals.scaledX[n] = 4 * h - (2 * row[at + 1] + above[at + 1] + below[at + 1]);
            normals.scaledY[n] = 4 * h - (2 * below[at] + below[at - 1] + below[at + 1]);
            normals.keys[n] = NormalCache::Key(normals.scaledX[n], normals.scaledY[n]);
            normals.slots[n] = NormalCache::Slot(normals.keys[n]);
        }
        LookUpChunk(normals, light + x, shadow + x, lightVector, cache);
    }
    for (; x < width - 1; ++x) {
        const int h = row[x];
        if (InBand(static_cast<unsigned>(h)) == 0)
            continue;
        written.begin = std::min(written.begin, x);
        written.end = x + 1;
        const int strength = LightStrength(4 * h - (2 * row[x + 1] + above[x + 1] + below[x + 1]),
                                           4 * h - (2 * below[x] + below[x - 1] + below[x + 1]), lightVector);
        light[x] = static_cast<Byte>(std::max(strength, 0));
        shadow[x] = static_cast<Byte>(std::max(-strength, 0));
    }
    return written.Empty() ? RowSpan{} : written;
}

// Columns faded together: 0 stays 0, so a chunk of zeros is left as it is.
constexpr std::int32_t FadeChunk = 32;

TOLLAMERE_KERNEL_BODY void FadeBody(Byte* values, const Byte* heights, std::int32_t begin, std::int32_t end) noexcept
{
    std::int32_t x = begin;
    for (; x + FadeChunk <= end; x += FadeChunk) {
        std::array<Byte, FadeChunk> chunk;
        std::memcpy(chunk.data(), values + x, FadeChunk);
        if (!AnyNonZero(chunk))
            continue;
        for (std::int32_t i = x; i < x + FadeChunk; ++i)
            values[i] = static_cast<Byte>(FadeByte(values[i], static_cast<std::uint16_t>(255u - heights[i])));
    }
    for (; x < end; ++x)
        values[x] = static_cast<Byte>(FadeByte(values[x], static_cast<std::uint16_t>(255u - heights[x])));
}

// Pixels rendered together: a chunk without light or shadow is skipped.
constexpr std::int32_t RenderChunk = 32;

// Each of 32 pixels' amount for its three bytes.
using PerByte = std::array<Byte, 3 * RenderChunk + 1>;

// Portable: on a little-endian machine each pixel's amount goes as one
// 4-byte word, the fourth byte overwritten by the next pixel's word (hence
// one byte more than needed).
TOLLAMERE_KERNEL_BODY void SpreadByWords(const std::array<Byte, RenderChunk>& amounts, PerByte& perByte) noexcept
{
    for (std::size_t i = 0; i < RenderChunk; ++i) {
        if constexpr (std::endian::native == std::endian::little) {
            const std::uint32_t word = amounts[i] * 0x010101u;
            std::memcpy(&perByte[3 * i], &word, 4);
        } else {
            perByte[3 * i] = perByte[3 * i + 1] = perByte[3 * i + 2] = amounts[i];
        }
    }
}

#if defined(TOLLAMERE_AVX2_KERNELS)
// With byte shuffles (AVX2's vpshufb): 16 amounts to 48 bytes in three
// shuffles, where the words above would come back through memory too late
// for the loads that follow.
TOLLAMERE_KERNEL_BODY void SpreadByShuffles(const std::array<Byte, RenderChunk>& amounts, PerByte& perByte) noexcept
{
    constexpr Vector16 first{0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5};
    constexpr Vector16 second{5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10};
    constexpr Vector16 third{10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15};
    for (std::size_t half = 0; half < 2; ++half) {
        Vector16 sixteen;
        std::memcpy(&sixteen, &amounts[16 * half], 16);
        const Vector16 spread[3] = {__builtin_shuffle(sixteen, first), __builtin_shuffle(sixteen, second),
                                    __builtin_shuffle(sixteen, third)};
        std::memcpy(&perByte[48 * half], spread, 48);
    }
}
#endif

template <bool Shuffles>
TOLLAMERE_KERNEL_BODY void RenderBody(Byte* pixels, const Byte* heights, const Byte* light, const Byte* shadow,
                                      std::int32_t begin, std::int32_t end) noexcept
{
    std::int32_t x = begin;
    for (; x + RenderChunk <= end; x += RenderChunk) {
        std::array<Byte, RenderChunk> amounts;
        for (std::int32_t i = 0; i < RenderChunk; ++i)
            amounts[std::size_t(i)] = light[x + i] | shadow[x + i];
        if (!AnyNonZero(amounts))
            continue;
        // Amounts of 0 leave a byte as it is (FadeByte(c, 255) is c), so the
        // pixels the effect skips get 0 and every byte takes the same path.
        Byte* chunk = pixels + 3 * x;
        std::array<Byte, RenderChunk> keeps;
        for (std::int32_t i = 0; i < RenderChunk; ++i) {
            const auto affected = static_cast<Byte>(0u - ((chunk[3 * i + 1] != 0 ? 1u : 0u) & InBand(heights[x + i])));
            keeps[std::size_t(i)] = static_cast<Byte>(255u - (shadow[x + i] & affected));
            amounts[std::size_t(i)] = static_cast<Byte>(light[x + i] & affected);
        }
        PerByte keepPerByte;
        PerByte amountPerByte;
#if defined(TOLLAMERE_AVX2_KERNELS)
        if constexpr (Shuffles) {
            SpreadByShuffles(keeps, keepPerByte);
            SpreadByShuffles(amounts, amountPerByte);
        } else
#endif
        {
            SpreadByWords(keeps, keepPerByte);
            SpreadByWords(amounts, amountPerByte);
        }
        for (std::size_t i = 0; i < 3 * RenderChunk; ++i) {
            const std::uint16_t darkened = FadeByte(chunk[i], keepPerByte[i]);
            chunk[i] = static_cast<Byte>(amountPerByte[i] +
                                         FadeByte(darkened, static_cast<std::uint16_t>(255u - amountPerByte[i])));
        }
    }
    for (; x < end; ++x) {
        Byte* pixel = pixels + 3 * x;
        if (pixel[1] == 0 || InBand(heights[x]) == 0)
            continue;
        if (shadow[x] > 0)
            DarkenPixel(shadow[x], pixel[2], pixel[1], pixel[0]);
        if (light[x] > 0)
            LightenPixel(light[x], pixel[2], pixel[1], pixel[0]);
    }
}

// ---- Kernel sets -----------------------------------------------------------
// The same bodies behind a set of functions compiled for one kind of processor.

#define TOLLAMERE_KERNEL_SET(Name, Attributes, ByteShuffles)                                                           \
    namespace Name {                                                                                                   \
    Attributes void ShapeMaskRow(const Byte* pixels, Byte* mask, std::int32_t width) noexcept                          \
    {                                                                                                                  \
        ShapeMaskBody(pixels, mask, width);                                                                            \
    }                                                                                                                  \
    Attributes void DistanceStep(const Byte* nearer, Byte* row, std::int32_t begin, std::int32_t end,                  \
                                 Byte cap) noexcept                                                                    \
    {                                                                                                                  \
        DistanceStepBody(nearer, row, begin, end, cap);                                                                \
    }                                                                                                                  \
    Attributes void DistanceAtEdge(Byte* row, std::int32_t begin, std::int32_t end) noexcept                           \
    {                                                                                                                  \
        DistanceAtEdgeBody(row, begin, end);                                                                           \
    }                                                                                                                  \
    Attributes void NormalizeRow(Byte* row, std::int32_t width, std::uint32_t multiplier) noexcept                     \
    {                                                                                                                  \
        NormalizeBody(row, width, multiplier);                                                                         \
    }                                                                                                                  \
    Attributes void BlurRow(const Byte* above, const Byte* row, const Byte* below, Byte* out, std::int32_t begin,      \
                            std::int32_t end) noexcept                                                                 \
    {                                                                                                                  \
        BlurBody(above, row, below, out, begin, end);                                                                  \
    }                                                                                                                  \
    Attributes RowSpan LightRow(const Byte* above, const Byte* row, const Byte* below, Byte* light, Byte* shadow,      \
                                std::int32_t width, const Vector3& lightVector, NormalCache& cache) noexcept           \
    {                                                                                                                  \
        return LightBody(above, row, below, light, shadow, width, lightVector, cache);                                 \
    }                                                                                                                  \
    Attributes void FadeRow(Byte* values, const Byte* heights, std::int32_t begin, std::int32_t end) noexcept          \
    {                                                                                                                  \
        FadeBody(values, heights, begin, end);                                                                         \
    }                                                                                                                  \
    Attributes void RenderRow(Byte* pixels, const Byte* heights, const Byte* light, const Byte* shadow,                \
                              std::int32_t begin, std::int32_t end) noexcept                                           \
    {                                                                                                                  \
        RenderBody<ByteShuffles>(pixels, heights, light, shadow, begin, end);                                          \
    }                                                                                                                  \
    constexpr RowKernels Kernels{&ShapeMaskRow, &DistanceStep, &DistanceAtEdge, &NormalizeRow,                         \
                                 &BlurRow, &LightRow, &FadeRow, &RenderRow};                                           \
    }

TOLLAMERE_KERNEL_SETS(TOLLAMERE_KERNEL_SET)

#undef TOLLAMERE_KERNEL_SET

using KernelsChoice = TOLLAMERE_KERNEL_CHOICE(Kernels);

} // namespace

int LightStrength(int scaledX, int scaledY, const Vector3& lightVector)
{
    // h - (2 r + a + b) * 0.25 is exact in double, and so is (4 h - 2 r - a - b) * 0.25.
    Vector3 normal;
    normal.x = scaledX * 0.25;
    normal.y = scaledY * 0.25;
    normal.z = 1.0;
    const double v = DotProduct(normal, lightVector) / VectorLength(normal);
    if (v > 0)
        return RoundToByte(v * 255);
    return -RoundToByte(v * -255);
}

NormalCache::NormalCache() noexcept
{
    entries_.fill(EmptyEntry);
}

std::uint32_t NormalCache::Fill(std::uint32_t key, std::uint32_t slot, int scaledX, int scaledY,
                                const Vector3& lightVector)
{
    const int strength = LightStrength(scaledX, scaledY, lightVector);
    entries_[slot] = key << 9 | static_cast<std::uint32_t>(strength + 255);
    return entries_[slot];
}

void RowDistances(std::uint8_t* row, std::int32_t width, std::uint8_t cap) noexcept
{
    std::int32_t x = FindMaskValue(row, 0, width, 1);
    while (x < width) {
        const std::int32_t end = FindMaskValue(row, x, width, 0);
        FillRun(row + x, end - x, cap);
        x = FindMaskValue(row, end, width, 1);
    }
}

const RowKernels& PortableKernels() noexcept
{
    return portable::Kernels;
}

const RowKernels* Avx2Kernels() noexcept
{
    return KernelsChoice::Avx2();
}

const RowKernels& FastestKernels() noexcept
{
    return KernelsChoice::Fastest();
}

} // namespace tollamere
