// SPDX-License-Identifier: MIT
#include "smooth_bevel.h"

#include "smooth_kernels.h"

#include "effect_operators.h"
#include "runtime_error.h"
#include "work_bands.h"

#include <algorithm>

namespace tollamere {
namespace {

// The blur of the distances evens out what is left of the pixel grid in the
// edge points, which bends the distance's slope by a degree or two from one
// boundary pixel to the next; a box of 7 pixels does, and leaves the
// straight slope of the band as it is.
constexpr std::int32_t DistanceBlurRadius = 3;
// Chisel's facets meet in ridges a wider box would round off; a box of 5
// still evens out the facets' slopes, which unblurred show as rays across
// the band and dotted ridges.
constexpr std::int32_t ChiselBlurRadius = 2;
// Distances are needed this far beyond the band: the blur of 3 pixels each
// way, and then some, never reaches a pixel in the band from one beyond.
constexpr float ReachBeyondBand = 16;
// The softened heights are summed in integers, so that a sum carried down a
// band of rows is exact wherever the band starts: heights in 1/1024 level
// (at most 2550 * 1024 * 129 for a row's sum, within 32 bits).
constexpr float SoftenUnit = 1024;

// The sizes of one thread's rows, for a picture that wide.
struct RowLayout {
    RowLayout(std::int32_t width, std::int32_t blurRadius, std::int32_t softenRadius)
        : width(width),
          blurRadius(blurRadius),
          softenRadius(softenRadius),
          padded(std::size_t(width) + 2),
          // The rows a blurred row sums, and an odd row's neighbours
          // around it while it is their mean.
          blurRows(2 * blurRadius + 3),
          distanceRows(2 * softenRadius + 4),
          softenRows(softenRadius > 0 ? 2 * softenRadius + 2 : 0)
    {
    }

    std::size_t DistanceInput() const { return 0; }
    std::size_t BlurRing() const { return DistanceInput() + std::size_t(width) + 2 * std::size_t(blurRadius); }
    std::size_t DistanceRing() const { return BlurRing() + std::size_t(blurRows) * std::size_t(width); }
    std::size_t HeightRing() const { return DistanceRing() + std::size_t(distanceRows) * std::size_t(width); }
    std::size_t ZeroRow() const { return HeightRing() + HeightRows * padded; }
    std::size_t HeightInput() const { return ZeroRow() + padded; }
    std::size_t Floats() const { return HeightInput() + std::size_t(width); }
    std::size_t Ints() const
    {
        return softenRadius > 0 ? std::size_t(width) + 2 * std::size_t(softenRadius)
                                      + std::size_t(softenRows) * std::size_t(width)
                                : 0;
    }
    std::size_t Sums() const { return softenRadius > 0 ? std::size_t(width) : 0; }

    // The lit row and the rows above and below it.
    static constexpr std::int32_t HeightRows = 4;
    std::int32_t width;
    std::int32_t blurRadius;
    std::int32_t softenRadius;
    std::size_t padded;
    std::int32_t blurRows;
    std::int32_t distanceRows;
    std::int32_t softenRows;
};

// One band's rows on their way from the distances to the light, each made
// once as the rows below ask for it and kept in a ring while rows still
// need it: the distances and their horizontal blur, the blurred distances
// and the heights, the softened heights. Every row is worked out from the
// maps alone (the soften's running sums are exact), so the band's result
// does not depend on where it starts.
class BandRows {
public:
    BandRows(const SmoothMaps& maps, const RowLayout& layout, const HeightRule& heights, float reach,
             float outsideReach, const SmoothKernels& kernels, SmoothRowScratch& scratch, std::int32_t firstRow)
        : maps_(maps),
          layout_(layout),
          heights_(heights),
          reach_(reach),
          outsideReach_(outsideReach),
          kernels_(kernels),
          scratch_(scratch)
    {
        const std::int32_t s = layout.softenRadius;
        std::fill_n(scratch.floats.begin(), layout.Floats(), 0.0f);
        std::fill_n(scratch.ints.begin(), layout.Ints(), 0);
        heightNext_ = std::max(firstRow - 1, 0);
        heightStart_ = heightNext_;
        distanceNext_ = std::max(heightNext_ - s, 0);
        blurNext_ = std::max(distanceNext_ - layout.blurRadius, 0) & ~1;
    }

    // The blurred distances of row y (after Heights asked for y + 1).
    const float* Distances(std::int32_t y) const { return DistanceSlot(y); }

    // The heights of row y from column -1 to column width. Beyond the
    // picture the inner style's frame is the shape's edge, at 0; the other
    // styles' ground goes on as it is at the picture's edge, so that a band
    // the picture cuts keeps its slope.
    const float* Heights(std::int32_t y)
    {
        const bool inPicture = y >= 0 && y < maps_.height;
        if (!inPicture && !heights_.styled)
            return Floats(layout_.ZeroRow()) + 1;
        y = std::clamp(y, 0, maps_.height - 1);
        if (layout_.softenRadius > 0)
            MakeSoftened(y);
        else
            MakeDistances(y);
        float* heights = HeightRow(y) + 1;
        if (heights_.styled) {
            heights[-1] = heights[0];
            heights[layout_.width] = heights[layout_.width - 1];
        }
        return heights;
    }

private:
    float* Floats(std::size_t at) const { return scratch_.floats.data() + at; }
    static std::size_t Slot(std::int32_t row, std::int32_t rows) { return std::size_t(row % rows); }
    float* DistanceSlot(std::int32_t y) const
    {
        return Floats(layout_.DistanceRing()) + Slot(y, layout_.distanceRows) * std::size_t(layout_.width);
    }
    float* BlurRow(std::int32_t y) const
    {
        return Floats(layout_.BlurRing()) + Slot(y, layout_.blurRows) * std::size_t(layout_.width);
    }
    float* HeightRow(std::int32_t y) const
    {
        return Floats(layout_.HeightRing()) + Slot(y, RowLayout::HeightRows) * layout_.padded;
    }
    std::int32_t* SoftenRow(std::int32_t y) const
    {
        return scratch_.ints.data() + std::size_t(layout_.width) + 2 * std::size_t(layout_.softenRadius)
               + Slot(y, layout_.softenRows) * std::size_t(layout_.width);
    }

    // Row y's distances into the row blur's input; beyond the picture the
    // styles other than inner see them go on as at its edge.
    void DistanceInput(std::int32_t y, float* input)
    {
        const std::int32_t width = layout_.width;
        const std::int32_t a = layout_.blurRadius;
        kernels_.DistanceRow(maps_, y, reach_, outsideReach_, scratch_, input + a);
        if (heights_.styled) {
            std::fill_n(input, a, input[a]);
            std::fill_n(input + a + width, a, input[a + width - 1]);
        }
    }

    // Up to row y: the distances, blurred along the row.
    void MakeBlurInput(std::int32_t y)
    {
        const std::int32_t width = layout_.width;
        const std::int32_t a = layout_.blurRadius;
        float* input = Floats(layout_.DistanceInput());
        for (y = std::min(y, maps_.height - 1); blurNext_ <= y; ++blurNext_) {
            const std::int32_t row = blurNext_;
            if (row % 2 == 0 || row + 1 == maps_.height) {
                DistanceInput(row, input);
                kernels_.BoxRow(input, BlurRow(row), width, a);
                continue;
            }
            DistanceInput(row + 1, input);
            kernels_.BoxRow(input, BlurRow(row + 1), width, a);
            const float* rows[2] = {BlurRow(row - 1), BlurRow(row + 1)};
            kernels_.SumRows(rows, 2, 0.5f, BlurRow(row), width);
            ++blurNext_;
        }
    }

    // Up to row y: the distances blurred down the columns too, and their
    // heights (softened: in whole units, summed along the row).
    void MakeDistances(std::int32_t y)
    {
        const std::int32_t width = layout_.width;
        const std::int32_t a = layout_.blurRadius;
        const float scale = 1.0f / float((2 * a + 1) * (2 * a + 1));
        for (y = std::min(y, maps_.height - 1); distanceNext_ <= y; ++distanceNext_) {
            const std::int32_t row = distanceNext_;
            MakeBlurInput(row + a);
            float* distances = DistanceSlot(row);
            // The frame's rows count as 0 (but for the styles, see Heights).
            const float* blurred[2 * DistanceBlurRadius + 1];
            for (std::int32_t j = -a; j <= a; ++j) {
                const bool inPicture = row + j >= 0 && row + j < maps_.height;
                blurred[j + a] = inPicture          ? BlurRow(row + j)
                                 : heights_.styled ? BlurRow(std::clamp(row + j, 0, maps_.height - 1))
                                                   : Floats(layout_.ZeroRow());
            }
            kernels_.SumRows(blurred, 2 * a + 1, scale, distances, width);
            if (layout_.softenRadius == 0) {
                kernels_.HeightsRow(distances, HeightRow(row) + 1, width, heights_);
                continue;
            }
            float* heights = Floats(layout_.HeightInput());
            kernels_.HeightsRow(distances, heights, width, heights_);
            const std::int32_t s = layout_.softenRadius;
            std::int32_t* units = scratch_.ints.data();
            for (std::int32_t x = 0; x < width; ++x)
                units[s + x] = static_cast<std::int32_t>(heights[x] * SoftenUnit + (heights[x] < 0 ? -0.5f : 0.5f));
            if (heights_.styled) {
                std::fill_n(units, s, units[s]);
                std::fill_n(units + s + width, s, units[s + width - 1]);
            }
            std::int32_t* sums = SoftenRow(row);
            std::int32_t sum = 0;
            for (std::int32_t i = 0; i < 2 * s; ++i)
                sum += units[i];
            for (std::int32_t x = 0; x < width; ++x) {
                sum += units[x + 2 * s];
                sums[x] = sum;
                sum -= units[x];
            }
        }
    }

    // Up to row y: the heights softened down the columns, by a running sum
    // that is exact.
    void MakeSoftened(std::int32_t y)
    {
        const std::int32_t width = layout_.width;
        const std::int32_t s = layout_.softenRadius;
        const float scale = 1.0f / (float((2 * s + 1) * (2 * s + 1)) * SoftenUnit);
        std::int64_t* sums = scratch_.sums.data();
        for (y = std::min(y, maps_.height - 1); heightNext_ <= y; ++heightNext_) {
            const std::int32_t row = heightNext_;
            MakeDistances(row + s);
            const auto add = [&](std::int32_t j, std::int64_t sign) {
                if ((j < 0 || j >= maps_.height) && !heights_.styled)
                    return;
                j = std::clamp(j, 0, maps_.height - 1);
                const std::int32_t* soften = SoftenRow(j);
                for (std::int32_t x = 0; x < width; ++x)
                    sums[x] += sign * soften[x];
            };
            if (row == heightStart_) {
                std::fill_n(sums, width, 0);
                for (std::int32_t j = row - s; j <= row + s; ++j)
                    add(j, 1);
            } else {
                add(row + s, 1);
                add(row - s - 1, -1);
            }
            float* heights = HeightRow(row) + 1;
            for (std::int32_t x = 0; x < width; ++x)
                heights[x] = float(sums[x]) * scale;
        }
    }

    const SmoothMaps& maps_;
    const RowLayout& layout_;
    const HeightRule& heights_;
    float reach_;
    float outsideReach_;
    const SmoothKernels& kernels_;
    SmoothRowScratch& scratch_;
    std::int32_t blurNext_ = 0;
    std::int32_t distanceNext_ = 0;
    std::int32_t heightNext_ = 0;
    std::int32_t heightStart_ = 0;
};

RowLayout LayoutFor(std::int32_t width, const BevelLook& look)
{
    const bool chisel = look.technique == BevelTechnique::Chisel;
    return RowLayout(width, chisel ? ChiselBlurRadius : DistanceBlurRadius, chisel ? 0 : look.softenRadius);
}

} // namespace

void SmoothMaps::Reset(std::int32_t newWidth, std::int32_t newHeight)
{
    width = newWidth;
    height = newHeight;
    wordsPerRow = (width + 63) / 64;
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    const std::size_t words = std::size_t(wordsPerRow) * std::size_t(height);
    GrowExactly(coverage, pixels);
    GrowExactly(columnOffset, std::size_t(height / 2 + 1) * std::size_t(width));
    GrowExactly(insideBits, words);
    GrowExactly(boundaryBits, words);
    GrowExactly(wordFirstEdge, words);
    GrowExactly(rowFirstEdge, std::size_t(height) + 1);
}

std::uint64_t SmoothMaps::Bytes() const noexcept
{
    const auto bytes = [](const auto& map) { return std::uint64_t(map.capacity()) * sizeof(map.front()); };
    std::uint64_t total = bytes(coverage) + bytes(insideBits) + bytes(boundaryBits) + bytes(wordFirstEdge)
                          + bytes(rowFirstEdge) + bytes(rawEdgePoints) + bytes(edgePoints) + bytes(columnOffset)
                          + bytes(nearestRows);
    for (const SmoothRowScratch& row : rows)
        total += bytes(row.candidates) + bytes(row.vertices) + bytes(row.spans) + bytes(row.crossings)
                 + bytes(row.points) + bytes(row.floats) + bytes(row.ints) + bytes(row.sums) + bytes(row.coverageRows);
    return total;
}

std::uint64_t SmoothMapsBytes(std::int32_t width, std::int32_t height) noexcept
{
    const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
    const std::uint64_t words = std::uint64_t((width + 63) / 64) * std::uint64_t(height);
    const std::uint64_t offsets = std::uint64_t(height / 2 + 1) * std::uint64_t(width) * sizeof(std::int16_t);
    const std::uint64_t bits = words * (2 * sizeof(std::uint64_t) + sizeof(std::uint32_t));
    const std::uint64_t rows = (std::uint64_t(height) + 1) * sizeof(std::uint32_t);
    const std::uint64_t sweeps = std::uint64_t((width + 63) / 64) * 64 * sizeof(std::int32_t);
    return pixels * (sizeof(std::uint8_t) + 2 * sizeof(PackedEdgePoint)) + offsets + bits + rows + sweeps;
}

std::uint64_t SmoothRowBytes(std::int32_t width, std::int32_t softenRadius, unsigned threads) noexcept
{
    const RowLayout layout(width, DistanceBlurRadius, softenRadius);
    const std::uint64_t columns = std::uint64_t(width);
    const std::uint64_t envelope =
        columns * (2 * sizeof(std::int32_t) + 2 * sizeof(std::int64_t) + sizeof(PackedEdgePoint))
        + (columns / 2 + 1) * sizeof(std::int32_t);
    const std::uint64_t edgeRings = columns * BlurRingRows * sizeof(std::uint16_t);
    const std::uint64_t perThread = layout.Floats() * sizeof(float) + layout.Ints() * sizeof(std::int32_t)
                                    + layout.Sums() * sizeof(std::int64_t) + envelope + edgeRings;
    return perThread * std::max(threads, 1u);
}

void BuildCoverage(const Picture& picture, const ShapeSource& source, SmoothMaps& maps, unsigned threads,
                   const SmoothKernels& kernels)
{
    ForEachBand(threads, maps.height, maps.width, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y)
            kernels.CoverageRow(picture.Row(y), maps.coverage.data() + std::size_t(y) * std::size_t(maps.width),
                                maps.width, source);
    });
}

void BuildCoverage(const Picture& picture, const ShapeSource& source, SmoothMaps& maps, unsigned threads)
{
    BuildCoverage(picture, source, maps, threads, FastestSmoothKernels());
}

void RenderSmoothBevel(const Picture& picIn, Picture& picOut, const Vector3& lightVector, std::int32_t bevelSize,
                       const BevelLook& look, SmoothMaps& maps, unsigned threads, const SmoothKernels& kernels)
{
    const std::int32_t width = maps.width;
    const std::int32_t height = maps.height;
    const RowLayout layout = LayoutFor(width, look);
    const HeightRule heights(bevelSize, look);
    const LightRule light{float(lightVector.x),
                          float(lightVector.y),
                          float(lightVector.z),
                          heights.inverseBevel,
                          heights.banded,
                          look.technique == BevelTechnique::Chisel,
                          look.highlight != DefaultHighlight || look.shadow != DefaultShadow,
                          ToneRuleOf(look.highlight),
                          ToneRuleOf(look.shadow),
                          heights.styled,
                          heights.band};
    const float reach = float(std::max(bevelSize, 0)) + ReachBeyondBand;
    // A band outside the shape needs its distances as far out as it reaches,
    // and ReachBeyondBand beyond, as inside; a distance costs the same
    // however far it may reach.
    const float outsideReach = heights.styled ? heights.band.halfWidth + ReachBeyondBand : InnerOutsideReach;
    // Each band gets its rows' memory before any thread starts: the bands'
    // work may not raise.
    const Bands bands(threads, height);
    GrowRows(maps, bands.bands);
    for (std::int32_t band = 0; band < bands.bands; ++band) {
        SmoothRowScratch& scratch = maps.rows[std::size_t(band)];
        GrowExactly(scratch.floats, layout.Floats());
        GrowExactly(scratch.ints, layout.Ints());
        GrowExactly(scratch.sums, layout.Sums());
        GrowExactly(scratch.candidates, std::size_t(width / 2 + 1));
        GrowExactly(scratch.vertices, std::size_t(width));
        GrowExactly(scratch.spans, std::size_t(width));
        GrowExactly(scratch.crossings, std::size_t(width));
        GrowExactly(scratch.levels, std::size_t(width));
        GrowExactly(scratch.points, std::size_t(width));
    }
    const std::int64_t bandPixels = std::int64_t{width} * (height / bands.bands + 1);
    ForEachBand(bands.bands, bands.bands, bandPixels, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t band = first; band < last; ++band) {
            BandRows rows(maps, layout, heights, reach, outsideReach, kernels, maps.rows[std::size_t(band)], bands.Start(band));
            for (std::int32_t y = bands.Start(band); y < bands.Start(band + 1); ++y) {
                LightRowInput row{};
                row.below = rows.Heights(y + 1);
                row.here = rows.Heights(y);
                row.above = rows.Heights(y - 1);
                row.in = picIn.Row(y);
                row.out = picOut.Row(y);
                row.coverage = maps.coverage.data() + std::size_t(y) * std::size_t(width);
                row.distances = rows.Distances(y);
                row.width = width;
                kernels.LightRow(row, light);
            }
        }
    });
}

void RenderSmoothBevel(const Picture& picIn, Picture& picOut, const Vector3& lightVector, std::int32_t bevelSize,
                       const BevelLook& look, SmoothMaps& maps, unsigned threads)
{
    RenderSmoothBevel(picIn, picOut, lightVector, bevelSize, look, maps, threads, FastestSmoothKernels());
}

void ApplySmoothBevel(const Picture& picIn, Picture& picOut, const BevelParameters& parameters,
                      const BevelLook& look, unsigned threads, SmoothMaps& maps, const SmoothKernels& kernels)
{
    if (!picIn.HasBitmap())
        Raise(ErrorNumber::InvalidPicture);
    CheckBevelParameters(parameters);
    CheckBevelLook(look);
    const Vector3 lightVector = ComputeLightVector(parameters.lightAngle, parameters.lightElevation);
    maps.Reset(picIn.Width(), picIn.Height());
    if (picOut.Width() != picIn.Width() || picOut.Height() != picIn.Height())
        picOut = picIn;

    BuildCoverage(picIn, look.shapeSource, maps, threads, kernels);
    FindEdgePoints(maps, threads, kernels);
    BuildDistanceField(maps, threads, kernels);
    RenderSmoothBevel(picIn, picOut, lightVector, parameters.bevelSize, look, maps, threads, kernels);
}

void ApplySmoothBevel(const Picture& picIn, Picture& picOut, const BevelParameters& parameters,
                      const BevelLook& look, unsigned threads, SmoothMaps& maps)
{
    ApplySmoothBevel(picIn, picOut, parameters, look, threads, maps, FastestSmoothKernels());
}

} // namespace tollamere
