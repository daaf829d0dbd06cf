// SPDX-License-Identifier: MIT
// The smooth technique's row kernels: the shape's coverage, its inside and boundary,
// and its edge found and fitted at sub-pixel precision.
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

// ---- Coverage and boundary --------------------------------------------------

TOLLAMERE_KERNEL_BODY void CoverageBody(const std::uint32_t* words, std::uint8_t* coverage, std::int32_t width,
                                        const ShapeSource& source) noexcept
{
    switch (source.kind) {
    case ShapeSourceKind::Alpha:
        for (std::int32_t x = 0; x < width; ++x)
            coverage[x] = static_cast<std::uint8_t>(words[x] >> 24);
        return;
    case ShapeSourceKind::Luma: {
        // Luminance (299 red + 587 green + 114 blue + 500) / 1000 above the
        // threshold, without the division.
        const std::uint32_t from = (std::uint32_t(source.lumaThreshold) + 1) * 1000;
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint32_t word = words[x];
            const std::uint32_t sum = 299 * (word >> 16 & 0xFF) + 587 * (word >> 8 & 0xFF) + 114 * (word & 0xFF) + 500;
            coverage[x] = sum >= from ? 255 : 0;
        }
        return;
    }
    case ShapeSourceKind::Green:
        break;
    }
    for (std::int32_t x = 0; x < width; ++x)
        coverage[x] = (words[x] & 0xFF00) != 0 ? 255 : 0;
}

TOLLAMERE_KERNEL_BODY void InsideBody(SmoothMaps& maps, std::int32_t first, std::int32_t last) noexcept
{
    const std::int32_t width = maps.width;
    for (std::int32_t y = first; y < last; ++y) {
        const std::uint8_t* coverage = maps.coverage.data() + At(maps, 0, y);
        std::uint64_t* words = maps.insideBits.data() + WordAt(maps, 0, y);
        std::int32_t start = 0;
        // Inside from 128 is the top bit of each byte: eight bytes' top
        // bits gathered into one byte by a multiplication (little-endian).
        if constexpr (std::endian::native == std::endian::little) {
            for (; start + WordBits <= width; start += WordBits) {
                std::uint64_t bits = 0;
                for (std::int32_t i = 0; i < WordBits; i += 8) {
                    std::uint64_t bytes;
                    std::memcpy(&bytes, coverage + start + i, sizeof bytes);
                    bits |= ((bytes & 0x8080808080808080u) >> 7) * 0x0102040810204080u >> 56 << i;
                }
                words[start / WordBits] = bits;
            }
        }
        for (; start < width; start += WordBits) {
            const std::int32_t count = std::min(WordBits, width - start);
            std::uint64_t bits = 0;
            for (std::int32_t i = 0; i < count; ++i)
                bits |= std::uint64_t{coverage[start + i] >= InsideFrom} << i;
            words[start / WordBits] = bits;
        }
    }
}

// A boundary pixel's inside-ness differs from one of its four neighbours';
// the frame beyond the picture is outside.
TOLLAMERE_KERNEL_BODY void BoundaryBody(SmoothMaps& maps, std::int32_t first, std::int32_t last) noexcept
{
    const std::int32_t words = maps.wordsPerRow;
    const std::int32_t tail = maps.width % WordBits;
    for (std::int32_t y = first; y < last; ++y) {
        const std::uint64_t* here = maps.insideBits.data() + WordAt(maps, 0, y);
        const std::uint64_t* above = y > 0 ? here - words : nullptr;
        const std::uint64_t* below = y + 1 < maps.height ? here + words : nullptr;
        std::uint64_t* boundary = maps.boundaryBits.data() + WordAt(maps, 0, y);
        std::uint32_t* firsts = maps.wordFirstEdge.data() + WordAt(maps, 0, y);
        std::uint32_t count = 0;
        for (std::int32_t w = 0; w < words; ++w) {
            const std::uint64_t inside = here[w];
            const std::uint64_t left = inside << 1 | (w > 0 ? here[w - 1] >> 63 : 0);
            const std::uint64_t right = inside >> 1 | (w + 1 < words ? here[w + 1] << 63 : 0);
            const std::uint64_t up = above != nullptr ? above[w] : 0;
            const std::uint64_t down = below != nullptr ? below[w] : 0;
            std::uint64_t bits = (inside ^ left) | (inside ^ right) | (inside ^ up) | (inside ^ down);
            if (w + 1 == words && tail != 0)
                bits &= (std::uint64_t{1} << tail) - 1;
            boundary[w] = bits;
            firsts[w] = count;
            count += std::uint32_t(std::popcount(bits));
        }
        maps.rowFirstEdge[std::size_t(y) + 1] = count;
    }
}


// The count bits of a row of bits from column x on (count below 64).
TOLLAMERE_KERNEL_BODY std::uint64_t BitsAt(const std::uint64_t* row, std::int32_t x, std::int32_t count) noexcept
{
    const std::int32_t word = x / WordBits;
    const std::int32_t shift = x % WordBits;
    std::uint64_t bits = row[word] >> shift;
    if (shift + count > WordBits)
        bits |= row[word + 1] << (WordBits - shift);
    return bits & ((std::uint64_t{1} << count) - 1);
}

TOLLAMERE_KERNEL_BODY std::uint64_t BoundaryBitsAt(const SmoothMaps& maps, std::int32_t x, std::int32_t y,
                                                   std::int32_t count) noexcept
{
    return BitsAt(maps.boundaryBits.data() + WordAt(maps, 0, y), x, count);
}

// ---- Edge points ------------------------------------------------------------

TOLLAMERE_KERNEL_BODY float StepDistanceOf(const float* table, float b) noexcept
{
    const float position = std::clamp(b, 0.0f, 1.0f) * StepTableSize;
    const int index = std::min(static_cast<int>(position), StepTableSize - 1);
    const float fraction = position - float(index);
    return table[index] * (1 - fraction) + table[index + 1] * fraction;
}

// The coverage blurred by the binomial 1 4 6 4 1 both ways, close to a
// Gaussian of deviation 1 (which turns a hard mask's staircase into a smooth
// ramp), in whole numbers: a row's sums reach 16 * 255, the rows' 256 * 255.
// The frame beyond the picture is 0.
TOLLAMERE_KERNEL_BODY void BlurAlongRow(const std::uint8_t* coverage, std::uint16_t* out, std::int32_t width) noexcept
{
    const auto at = [&](std::int32_t x) { return x >= 0 && x < width ? std::int32_t{coverage[x]} : 0; };
    const auto edge = [&](std::int32_t x) {
        out[x] = static_cast<std::uint16_t>(at(x - 2) + 4 * at(x - 1) + 6 * at(x) + 4 * at(x + 1) + at(x + 2));
    };
    for (std::int32_t x = 0; x < std::min(2, width); ++x)
        edge(x);
    for (std::int32_t x = 2; x + 2 < width; ++x)
        out[x] = static_cast<std::uint16_t>(coverage[x - 2] + 4 * coverage[x - 1] + 6 * coverage[x]
                                            + 4 * coverage[x + 1] + coverage[x + 2]);
    for (std::int32_t x = std::max(width - 2, 2); x < width; ++x)
        edge(x);
}

TOLLAMERE_KERNEL_BODY void BlurDownColumns(const std::uint16_t* const* rows, std::uint16_t* out,
                                           std::int32_t width) noexcept
{
    const std::uint16_t* r0 = rows[0];
    const std::uint16_t* r1 = rows[1];
    const std::uint16_t* r2 = rows[2];
    const std::uint16_t* r3 = rows[3];
    const std::uint16_t* r4 = rows[4];
    for (std::int32_t x = 0; x < width; ++x)
        out[x] = static_cast<std::uint16_t>(r0[x] + 4 * r1[x] + 6 * r2[x] + 4 * r3[x] + r4[x]);
}

// The edge near boundary pixel x of the row `here` of the blurred coverage:
// the edge's normal along its slope by central differences; the pixel's
// distance from the edge from the blurred value itself, as a blurred
// straight edge would give it (the slope alone would put far pixels' edges
// too far).
TOLLAMERE_KERNEL_BODY EdgePoint EdgeNear(const std::uint16_t* above, const std::uint16_t* here,
                                         const std::uint16_t* below, std::int32_t x, std::int32_t width,
                                         const float* table) noexcept
{
    constexpr float Unit = 1.0f / (256.0f * 255.0f);
    const float left = x > 0 ? float(here[x - 1]) * Unit : 0.0f;
    const float right = x + 1 < width ? float(here[x + 1]) * Unit : 0.0f;
    const float slopeX = (right - left) / 2;
    const float slopeY = (float(below[x]) * Unit - float(above[x]) * Unit) / 2;
    const float slope = std::sqrt(slopeX * slopeX + slopeY * slopeY);
    if (!(slope > 1e-6f))
        return {};
    const float normalX = slopeX / slope;
    const float normalY = slopeY / slope;
    const float inside = StepDistanceOf(table, float(here[x]) * Unit);
    return {-inside * normalX, -inside * normalY, normalX, normalY};
}

// The raw edge points of rows [first, last), the blurred coverage made a
// row at a time in rings: 8 rows along, 4 down, and a row of the frame's 0.
static_assert(BlurRingRows == 8 + 4 + 1);

TOLLAMERE_KERNEL_BODY void EdgeRowsBody(SmoothMaps& maps, std::int32_t first, std::int32_t last, const float* table,
                                        std::uint16_t* rings) noexcept
{
    const std::int32_t width = maps.width;
    const std::size_t stride = std::size_t(width);
    std::uint16_t* frame = rings + 12 * stride;
    std::fill_n(frame, width, std::uint16_t{0});
    const auto along = [&](std::int32_t row) { return rings + std::size_t(row % 8) * stride; };
    const auto down = [&](std::int32_t row) { return rings + std::size_t(8 + row % 4) * stride; };
    const auto inPicture = [&](std::int32_t row) { return row >= 0 && row < maps.height; };
    std::int32_t alongNext = std::max(first - 3, 0);
    std::int32_t downNext = std::max(first - 1, 0);
    for (std::int32_t y = first; y < last; ++y) {
        for (; downNext <= std::min(y + 1, maps.height - 1); ++downNext) {
            for (; alongNext <= std::min(downNext + 2, maps.height - 1); ++alongNext)
                BlurAlongRow(maps.coverage.data() + At(maps, 0, alongNext), along(alongNext), width);
            const std::uint16_t* rows[5];
            for (std::int32_t k = 0; k < 5; ++k)
                rows[k] = inPicture(downNext + k - 2) ? along(downNext + k - 2) : frame;
            BlurDownColumns(rows, down(downNext), width);
        }
        const std::uint16_t* above = inPicture(y - 1) ? down(y - 1) : frame;
        const std::uint16_t* here = down(y);
        const std::uint16_t* below = inPicture(y + 1) ? down(y + 1) : frame;
        const std::uint64_t* bits = maps.boundaryBits.data() + WordAt(maps, 0, y);
        std::uint32_t* firsts = maps.wordFirstEdge.data() + WordAt(maps, 0, y);
        const std::uint32_t rowFirst = maps.rowFirstEdge[std::size_t(y)];
        for (std::int32_t w = 0; w < maps.wordsPerRow; ++w) {
            firsts[w] += rowFirst;
            std::uint32_t index = firsts[w];
            for (std::uint64_t word = bits[w]; word != 0; word &= word - 1)
                maps.rawEdgePoints[index++] =
                    Pack(EdgeNear(above, here, below, w * WordBits + std::countr_zero(word), width, table));
        }
    }
}

// The edge points of the boundary pixels within FitReach of (x, y) whose
// normals agree with its own, fitted by one straight line: the staircase's
// noise, which even the blurred coverage keeps, averages out along the edge
// (6 pixels bring a hard-edged disc's edge points within 0.05 pixel of the
// circle; a curve's bend over that reach is far smaller).
constexpr std::int32_t FitReach = 6;

TOLLAMERE_KERNEL_BODY EdgePoint FittedEdge(const SmoothMaps& maps, std::int32_t x, std::int32_t y,
                                           const PackedEdgePoint& packed) noexcept
{
    const EdgePoint own = Unpack(packed);
    if (packed.normalX == 0 && packed.normalY == 0)
        return own;
    // The sums in the packed points' whole units, exact; the normals agree
    // from a cosine of 0.7 on.
    constexpr std::int32_t Agreeing = static_cast<std::int32_t>(0.7 * 32767 * 32767);
    std::int32_t normalX = 0;
    std::int32_t normalY = 0;
    std::int32_t offsetX = 0;
    std::int32_t offsetY = 0;
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    std::int32_t count = 0;
    const std::int32_t left = std::max(x - FitReach, 0);
    const std::int32_t span = std::min(x + FitReach, maps.width - 1) - left + 1;
    for (std::int32_t j = std::max(y - FitReach, 0); j <= std::min(y + FitReach, maps.height - 1); ++j) {
        // The inside pixels of the boundary only: the outside ones lie
        // beside them and see the same edge, at twice the work.
        const std::uint64_t all = BoundaryBitsAt(maps, left, j, span);
        std::uint64_t bits = all & BitsAt(maps.insideBits.data() + WordAt(maps, 0, j), left, span);
        if (bits == 0)
            continue;
        const PackedEdgePoint* points = maps.rawEdgePoints.data() + EdgeIndexAt(maps, left, j);
        for (; bits != 0; bits &= bits - 1) {
            const PackedEdgePoint other = points[std::popcount(all & ((bits & (~bits + 1)) - 1))];
            if (std::int32_t{other.normalX} * packed.normalX + std::int32_t{other.normalY} * packed.normalY < Agreeing)
                continue;
            normalX += other.normalX;
            normalY += other.normalY;
            offsetX += other.offsetX;
            offsetY += other.offsetY;
            columns += left + std::countr_zero(bits) - x;
            rows += j - y;
            ++count;
        }
    }
    const float sumX = float(normalX);
    const float sumY = float(normalY);
    const float length = std::sqrt(sumX * sumX + sumY * sumY);
    if (count == 0 || !(length > 0))
        return own;
    // The mean of the other points' distances along this pixel's normal.
    const float acrossX = float(columns) + float(offsetX) * (1.0f / 2048);
    const float acrossY = float(rows) + float(offsetY) * (1.0f / 2048);
    const float along = (acrossX * own.normalX + acrossY * own.normalY) / float(count);
    return {along * own.normalX, along * own.normalY, sumX / length, sumY / length};
}

TOLLAMERE_KERNEL_BODY bool IsBoundary(const SmoothMaps& maps, std::int32_t x, std::int32_t y) noexcept
{
    return (maps.boundaryBits[WordAt(maps, x / WordBits, y)] >> (x % WordBits) & 1) != 0;
}

// The fit leans on the boundary pixels around a point, which its neighbours
// share nearly all of; so only the first boundary pixel (in row order) of
// each 2 by 2 block is fitted, and the others of the block take its line.
// Writes x and y of that first pixel.
TOLLAMERE_KERNEL_BODY bool LeadsBlock(const SmoothMaps& maps, std::int32_t x, std::int32_t y, std::int32_t& leadX,
                                      std::int32_t& leadY) noexcept
{
    const std::int32_t left = x & ~1;
    if (y % 2 == 1) {
        leadY = y - 1;
        for (leadX = left; leadX <= std::min(left + 1, maps.width - 1); ++leadX)
            if (IsBoundary(maps, leadX, leadY))
                return false;
    }
    leadY = y;
    leadX = left;
    return x == left || !IsBoundary(maps, left, y);
}

template <bool Leaders>
TOLLAMERE_KERNEL_BODY void FitRowsOf(SmoothMaps& maps, std::int32_t first, std::int32_t last) noexcept
{
    // A follower whose own normal turns from its leader's by more than this
    // (a corner between them) is fitted on its own.
    constexpr std::int32_t Following = static_cast<std::int32_t>(0.9 * 32767 * 32767);
    for (std::int32_t y = first; y < last; ++y) {
        const std::uint64_t* bits = maps.boundaryBits.data() + WordAt(maps, 0, y);
        const std::uint32_t* firsts = maps.wordFirstEdge.data() + WordAt(maps, 0, y);
        for (std::int32_t w = 0; w < maps.wordsPerRow; ++w) {
            std::uint32_t index = firsts[w];
            for (std::uint64_t word = bits[w]; word != 0; word &= word - 1, ++index) {
                const std::int32_t x = w * WordBits + std::countr_zero(word);
                const PackedEdgePoint& raw = maps.rawEdgePoints[index];
                std::int32_t leadX = 0;
                std::int32_t leadY = 0;
                if (LeadsBlock(maps, x, y, leadX, leadY)) {
                    if constexpr (Leaders)
                        maps.edgePoints[index] = Pack(FittedEdge(maps, x, y, raw));
                    continue;
                }
                if constexpr (Leaders)
                    continue;
                const std::uint32_t lead = EdgeIndexAt(maps, leadX, leadY);
                const PackedEdgePoint& leadRaw = maps.rawEdgePoints[lead];
                if (std::int32_t{raw.normalX} * leadRaw.normalX + std::int32_t{raw.normalY} * leadRaw.normalY < Following) {
                    maps.edgePoints[index] = Pack(FittedEdge(maps, x, y, raw));
                    continue;
                }
                // The leader's line, at its distance along the leader's normal.
                const EdgePoint line = Unpack(maps.edgePoints[lead]);
                const float along = (float(leadX - x) + line.offsetX) * line.normalX
                                    + (float(leadY - y) + line.offsetY) * line.normalY;
                maps.edgePoints[index] = Pack({along * line.normalX, along * line.normalY, line.normalX, line.normalY});
            }
        }
    }
}

} // namespace

#define TOLLAMERE_SHAPE_KERNELS(Name, Attributes, ByteShuffles)                                                        \
    namespace smooth_shape::Name {                                                                                     \
    Attributes void CoverageRow(const std::uint32_t* words, std::uint8_t* coverage, std::int32_t width,                \
                                const ShapeSource& source)                                                             \
    {                                                                                                                  \
        CoverageBody(words, coverage, width, source);                                                                  \
    }                                                                                                                  \
    Attributes void InsideRows(SmoothMaps& maps, std::int32_t first, std::int32_t last)                                \
    {                                                                                                                  \
        InsideBody(maps, first, last);                                                                                 \
    }                                                                                                                  \
    Attributes void BoundaryRows(SmoothMaps& maps, std::int32_t first, std::int32_t last)                              \
    {                                                                                                                  \
        BoundaryBody(maps, first, last);                                                                               \
    }                                                                                                                  \
    Attributes void EdgeRows(SmoothMaps& maps, std::int32_t first, std::int32_t last, const float* table,              \
                             std::uint16_t* rings)                                                                     \
    {                                                                                                                  \
        EdgeRowsBody(maps, first, last, table, rings);                                                                 \
    }                                                                                                                  \
    Attributes void FitRows(SmoothMaps& maps, std::int32_t first, std::int32_t last)                                   \
    {                                                                                                                  \
        FitRowsOf<true>(maps, first, last);                                                                            \
    }                                                                                                                  \
    Attributes void FollowRows(SmoothMaps& maps, std::int32_t first, std::int32_t last)                                \
    {                                                                                                                  \
        FitRowsOf<false>(maps, first, last);                                                                           \
    }                                                                                                                  \
    }

TOLLAMERE_KERNEL_SETS(TOLLAMERE_SHAPE_KERNELS)

#undef TOLLAMERE_SHAPE_KERNELS

} // namespace tollamere
