// SPDX-License-Identifier: MIT
#include "smooth_kernels.h"

#include "kernel_targets.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

namespace tollamere {
namespace {

constexpr std::uint8_t InsideFrom = 128;
static_assert(InsideFrom == 0x80, "the inside bits are the coverage's top bits");
// An outside pixel this much further than the outside reach from every
// boundary pixel lies beyond that reach of the edge.
constexpr float FarOutsideMargin = 2;
constexpr std::int32_t WordBits = 64;

TOLLAMERE_KERNEL_BODY std::size_t At(const SmoothMaps& maps, std::int32_t x, std::int32_t y) noexcept
{
    return std::size_t(y) * std::size_t(maps.width) + std::size_t(x);
}

TOLLAMERE_KERNEL_BODY std::size_t WordAt(const SmoothMaps& maps, std::int32_t word, std::int32_t y) noexcept
{
    return std::size_t(y) * std::size_t(maps.wordsPerRow) + std::size_t(word);
}

TOLLAMERE_KERNEL_BODY std::int16_t Fixed(float value, float scale) noexcept
{
    const float scaled = std::clamp(value * scale, -32767.0f, 32767.0f);
    return static_cast<std::int16_t>(scaled + (scaled < 0 ? -0.5f : 0.5f));
}

TOLLAMERE_KERNEL_BODY PackedEdgePoint Pack(const EdgePoint& point) noexcept
{
    return {Fixed(point.offsetX, 2048), Fixed(point.offsetY, 2048), Fixed(point.normalX, 32767),
            Fixed(point.normalY, 32767)};
}

TOLLAMERE_KERNEL_BODY EdgePoint Unpack(const PackedEdgePoint& point) noexcept
{
    return {float(point.offsetX) * (1.0f / 2048), float(point.offsetY) * (1.0f / 2048),
            float(point.normalX) * (1.0f / 32767), float(point.normalY) * (1.0f / 32767)};
}

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

// The index in the edge points of boundary pixel (x, y).
TOLLAMERE_KERNEL_BODY std::uint32_t EdgeIndexAt(const SmoothMaps& maps, std::int32_t x, std::int32_t y) noexcept
{
    const std::size_t word = WordAt(maps, x / WordBits, y);
    const std::uint64_t below = (std::uint64_t{1} << (x % WordBits)) - 1;
    return maps.wordFirstEdge[word] + std::uint32_t(std::popcount(maps.boundaryBits[word] & below));
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

// ---- Distances ----------------------------------------------------------------

// The row of column offsets that holds row y's (see SmoothMaps).
TOLLAMERE_KERNEL_BODY std::size_t OffsetRowAt(const SmoothMaps& maps, std::int32_t y) noexcept
{
    return std::size_t((y + 1) / 2) * std::size_t(maps.width);
}

TOLLAMERE_KERNEL_BODY std::int16_t* OffsetRow(SmoothMaps& maps, std::int32_t y) noexcept
{
    return maps.columnOffset.data() + OffsetRowAt(maps, y);
}

TOLLAMERE_KERNEL_BODY const std::int16_t* OffsetRow(const SmoothMaps& maps, std::int32_t y) noexcept
{
    return maps.columnOffset.data() + OffsetRowAt(maps, y);
}

TOLLAMERE_KERNEL_BODY bool KeepsOffsets(const SmoothMaps& maps, std::int32_t y) noexcept
{
    return y % 2 == 0 || y + 1 == maps.height;
}

// Calls visit(x) for each boundary pixel of row y in the words [first, last).
template <typename Visit>
TOLLAMERE_KERNEL_BODY void ForEachBoundaryBit(const SmoothMaps& maps, std::int32_t y, std::int32_t first,
                                              std::int32_t last, const Visit& visit) noexcept
{
    const std::uint64_t* bits = maps.boundaryBits.data() + WordAt(maps, 0, y);
    for (std::int32_t w = first; w < last; ++w)
        for (std::uint64_t word = bits[w]; word != 0; word &= word - 1)
            visit(w * WordBits + std::countr_zero(word));
}

// Down the columns of words [first, last) a row at a time, then up: the
// signed row offset to the nearest boundary pixel of its column, for the
// rows that keep them. The nearest rows change at the boundary pixels only;
// the rows that keep offsets are written without branches, so that the
// compiler sweeps the row at once.
TOLLAMERE_KERNEL_BODY void ColumnOffsetsBody(SmoothMaps& maps, std::int32_t first, std::int32_t last,
                                             std::int32_t* nearest) noexcept
{
    constexpr std::int32_t Far = std::numeric_limits<std::int16_t>::max();
    // Further than Far from every row, without overflow.
    constexpr std::int32_t Never = std::numeric_limits<std::int32_t>::max() / 4;
    const std::int32_t begin = first * WordBits;
    const std::int32_t end = std::min(last * WordBits, maps.width);
    std::fill(nearest + begin, nearest + end, -Never);
    for (std::int32_t y = 0; y < maps.height; ++y) {
        ForEachBoundaryBit(maps, y, first, last, [&](std::int32_t x) { nearest[x] = y; });
        if (!KeepsOffsets(maps, y))
            continue;
        std::int16_t* offsets = OffsetRow(maps, y);
        for (std::int32_t i = begin; i < end; ++i)
            offsets[i] = static_cast<std::int16_t>(y - nearest[i] > Far ? NoBoundary : nearest[i] - y);
    }
    std::fill(nearest + begin, nearest + end, Never);
    for (std::int32_t y = maps.height - 1; y >= 0; --y) {
        ForEachBoundaryBit(maps, y, first, last, [&](std::int32_t x) { nearest[x] = y; });
        if (!KeepsOffsets(maps, y))
            continue;
        std::int16_t* offsets = OffsetRow(maps, y);
        for (std::int32_t i = begin; i < end; ++i) {
            const std::int32_t below = std::min(nearest[i] - y, Far);
            const std::int32_t above = offsets[i] == NoBoundary ? Far : -offsets[i];
            offsets[i] = below < above ? static_cast<std::int16_t>(below) : offsets[i];
        }
    }
}

// Up to this width the envelope's products of a crossing's rise (below
// 2^41) and a span (below 2^21) fit 64 bits; wider rows compare them in
// double, and find their stretches' ends in double too.
inline constexpr std::int32_t WholeNumbersUpTo = 1 << 20;

// Whether the crossing rise / run lies right of crossing / span (runs and
// spans are positive).
TOLLAMERE_KERNEL_BODY bool RightOf(std::int64_t rise, std::int64_t run, std::int64_t crossing, std::int32_t span,
                                   bool wide) noexcept
{
    if (wide) [[unlikely]]
        return double(rise) * double(span) > double(crossing) * double(run);
    return rise * span > crossing * run;
}

// One row's lower envelope of the parabolas (x - q)^2 + offset(q)^2 over
// the columns q with a boundary pixel in their column (Felzenszwalb and
// Huttenlocher), then the distance of each stretch of pixels that shares a
// nearest boundary pixel: along the edge's normal, so that the pixels
// served by neighbouring boundary pixels see one smooth edge rather than a
// row of dots. The boundary pixels lie two deep along the edge, so the
// nearest may sit well to the side of the normal through the pixel; only
// beyond 45 degrees off the normal (at a corner) the distance to the point
// counts.
TOLLAMERE_KERNEL_BODY void DistanceRowBody(const SmoothMaps& maps, std::int32_t y, float reach, float outsideReach,
                                           SmoothRowScratch& scratch, float* distances) noexcept
{
    const std::int32_t width = maps.width;
    std::int32_t* vertices = scratch.vertices.data();
    std::int32_t* spans = scratch.spans.data();
    std::int64_t* crossings = scratch.crossings.data();
    std::int64_t* levels = scratch.levels.data();
    PackedEdgePoint* points = scratch.points.data();
    const std::int16_t* offsets = OffsetRow(maps, y);
    const std::uint8_t* coverage = maps.coverage.data() + At(maps, 0, y);
    // The parabolas' crossings kept as fractions, compared by products of
    // whole numbers: no division waits in the chain of pops.
    const bool wide = width > WholeNumbersUpTo;
    // Of two neighbouring columns the nearer boundary pixel only: the other
    // lies beside it on the same edge, and the two fitted lines all but
    // agree (the disc's measures do not move). Chosen for the whole row
    // first, without branches.
    const std::int32_t pairs = (width + 1) / 2;
    std::int32_t* candidates = scratch.candidates.data();
    for (std::int32_t pair = 0; pair < width / 2; ++pair) {
        const std::int32_t first = 2 * pair;
        candidates[pair] = std::abs(std::int32_t{offsets[first + 1]}) < std::abs(std::int32_t{offsets[first]}) ? first + 1
                                                                                                                : first;
    }
    if (width % 2 == 1)
        candidates[pairs - 1] = width - 1;
    // A column whose boundary pixel lies further up or down than the
    // distances reach serves no pixel a distance short of the reach: every
    // pixel it could be nearest to is past the reach whichever column serves
    // it, so the envelope leaves it out (on a flat top, most columns).
    const float reach2 = reach * reach;
    const float farOutside = (outsideReach + FarOutsideMargin) * (outsideReach + FarOutsideMargin);
    const float farthest = std::max(reach2, farOutside);
    std::int32_t k = -1;
    for (std::int32_t pair = 0; pair < pairs; ++pair) {
        const std::int32_t q = candidates[pair];
        if (offsets[q] == NoBoundary || float(offsets[q] * offsets[q]) > farthest)
            continue;
        const std::int64_t fq = std::int64_t{offsets[q]} * offsets[q] + std::int64_t{q} * q;
        std::int64_t rise = 0;
        std::int64_t run = 1;
        while (k >= 0) {
            rise = fq - levels[k];
            run = 2 * std::int64_t{q - vertices[k]};
            // Pop while this crossing lies at or before the one that starts
            // vertex k's stretch (vertex 0's starts at minus infinity).
            if (k == 0 || RightOf(rise, run, crossings[k], spans[k], wide))
                break;
            --k;
        }
        ++k;
        vertices[k] = q;
        levels[k] = fq;
        crossings[k] = rise;
        spans[k] = std::int32_t(run);
    }
    if (k < 0) {
        for (std::int32_t x = 0; x < width; ++x)
            distances[x] = coverage[x] >= InsideFrom ? reach : -outsideReach;
        return;
    }
    // First each stretch's end and its boundary pixel's edge point, which
    // the stretches look up independently of one another (so the loads
    // overlap); stretch j's end goes where its crossing's span was, read by
    // then.
    for (std::int32_t j = 0; j <= k; ++j) {
        std::int32_t end = width;
        if (j < k) {
            // In float: a crossing within the picture is at most the width
            // times the span, so that its rounding moves it by far less
            // than a pixel, and only a tie changes hands.
            const float bound = wide ? static_cast<float>(std::clamp(
                                           double(crossings[j + 1]) / double(spans[j + 1]), -1.0, double(width)))
                                     : float(crossings[j + 1]) / float(spans[j + 1]);
            end = std::min(static_cast<std::int32_t>(std::floor(std::clamp(bound, -1.0f, float(width)))) + 1, width);
        }
        const std::int32_t featureX = vertices[j];
        const PackedEdgePoint point = maps.edgePoints[EdgeIndexAt(maps, featureX, y + offsets[featureX])];
        spans[j] = end;
        points[j] = point;
    }
    std::int32_t start = 0;
    for (std::int32_t j = 0; j <= k; ++j) {
        // The pixels from the previous stretch's end. Even columns only, and
        // the last; the others are the mean of their neighbours.
        const std::int32_t end = spans[j];
        const std::int32_t from = start + (start & 1);
        const bool last = end == width && start < width && (width - 1) % 2 == 1;
        if (from >= end && !last) {
            start = std::max(start, end);
            continue;
        }
        const std::int32_t featureX = vertices[j];
        const std::int32_t rows = offsets[featureX];
        const EdgePoint edge = Unpack(points[j]);
        const float dy = float(-rows) - edge.offsetY;
        const float dy2 = dy * dy;
        const float acrossY = dy * edge.normalY;
        // Without a normal only the distance to the point counts.
        const bool hasNormal = edge.normalX != 0 || edge.normalY != 0;
        const float alongY = hasNormal ? dy * edge.normalX : std::numeric_limits<float>::infinity();
        const float rows2 = float(rows * rows);
        const auto distanceAt = [&](std::int32_t x) {
            const bool inside = coverage[x] >= InsideFrom;
            const float columns = float(x - featureX);
            const float feature2 = columns * columns + rows2;
            const float dx = columns - edge.offsetX;
            const float across = dx * edge.normalX + acrossY;
            const float along = alongY - dx * edge.normalY;
            // Off the normal (rare: at corners) the distance to the point.
            float distance = across;
            if (!(std::abs(along) <= std::abs(across))) [[unlikely]] {
                const float length = std::sqrt(dx * dx + dy2);
                distance = inside ? length : -length;
            }
            // Past the reach inside, a pixel lies on the flat top whichever
            // boundary pixel is nearest.
            return inside ? (feature2 > reach2 ? reach : std::min(distance, reach))
                          : (feature2 > farOutside ? -outsideReach : std::max(distance, -outsideReach));
        };
        for (std::int32_t x = from; x < end; x += 2)
            distances[x] = distanceAt(x);
        if (last)
            distances[width - 1] = distanceAt(width - 1);
        start = std::max(start, end);
    }
    for (std::int32_t x = 1; x + 1 < width; x += 2)
        distances[x] = (distances[x - 1] + distances[x + 1]) * 0.5f;
}

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

// ---- Kernel sets -----------------------------------------------------------

#define TOLLAMERE_SMOOTH_KERNELS(Name, Attributes, ByteShuffles)                                                       \
    namespace Name {                                                                                                   \
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
    Attributes void ColumnOffsets(SmoothMaps& maps, std::int32_t first, std::int32_t last, std::int32_t* nearest)      \
    {                                                                                                                  \
        ColumnOffsetsBody(maps, first, last, nearest);                                                                 \
    }                                                                                                                  \
    Attributes void DistanceRow(const SmoothMaps& maps, std::int32_t y, float reach, float outsideReach,               \
                                SmoothRowScratch& scratch, float* distances)                                           \
    {                                                                                                                  \
        DistanceRowBody(maps, y, reach, outsideReach, scratch, distances);                                             \
    }                                                                                                                  \
    Attributes void SumRows(const float* const* rows, std::int32_t count, float scale, float* out,                     \
                            std::int32_t width)                                                                        \
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
    constexpr SmoothKernels Kernels{&CoverageRow, &InsideRows, &BoundaryRows, &EdgeRows, &FitRows, &FollowRows, &ColumnOffsets,     \
                                    &DistanceRow, &SumRows,    &BoxRow,       &HeightsRow, &LightRow};                 \
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
