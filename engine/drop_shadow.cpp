// SPDX-License-Identifier: MIT
#include "drop_shadow.h"

#include "bevel_look.h"
#include "runtime_error.h"
#include "smooth_kernels.h"
#include "work_bands.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <new>

namespace tollamere {

namespace {

// Columns the vertical blur takes at a time: their running sums walk the
// rows side by side instead of striding down one column.
constexpr std::int32_t ColumnBlock = 64;

// The reaches of the three boxes: together the radius, the first ones the
// larger by the remainder.
struct BoxReaches {
    std::int32_t reach[3];
    explicit BoxReaches(std::int32_t radius)
        : reach{radius / 3 + (radius % 3 > 0), radius / 3 + (radius % 3 > 1), radius / 3}
    {
    }
    // What the three sums of a coverage of 1 add up to.
    std::uint64_t Weight() const noexcept
    {
        std::uint64_t weight = 1;
        for (const std::int32_t r : reach)
            weight *= std::uint64_t(2 * r + 1);
        return weight;
    }
};

// One box of reach r over `count` rows of `columns` sums each, with zeros
// beyond both ends: out[i] is the sum of in[i - r .. i + r]. The sums are of
// whole numbers, so they stay exact and a pixel beyond the shadow's reach
// stays exactly 0.
void BoxSums(const std::uint64_t* in, std::uint64_t* out, std::int32_t count, std::int32_t columns, std::int32_t r,
             std::uint64_t* sums)
{
    std::fill(sums, sums + columns, 0);
    for (std::int32_t i = 0; i < std::min(r, count); ++i)
        for (std::int32_t c = 0; c < columns; ++c)
            sums[c] += in[std::size_t(i) * std::size_t(columns) + std::size_t(c)];
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint64_t* entering = i + r < count ? in + std::size_t(i + r) * std::size_t(columns) : nullptr;
        const std::uint64_t* leaving = i - r - 1 >= 0 ? in + std::size_t(i - r - 1) * std::size_t(columns) : nullptr;
        std::uint64_t* row = out + std::size_t(i) * std::size_t(columns);
        for (std::int32_t c = 0; c < columns; ++c) {
            if (entering)
                sums[c] += entering[c];
            if (leaving)
                sums[c] -= leaving[c];
            row[c] = sums[c];
        }
    }
}

// The three boxes in turn; the result is in `data`, `spare` is scratch.
void ThreeBoxes(std::vector<std::uint64_t>& data, std::vector<std::uint64_t>& spare, std::int32_t count,
                std::int32_t columns, const BoxReaches& boxes, std::vector<std::uint64_t>& sums)
{
    for (const std::int32_t r : boxes.reach) {
        BoxSums(data.data(), spare.data(), count, columns, r, sums.data());
        data.swap(spare);
    }
}

std::uint8_t ToByte(double value) noexcept
{
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

// What lies where the canvas is: the fill, and how much of it shows.
struct Backdrop {
    double red, green, blue, alpha;
};

// One pixel of the result. A pixel is split by coverage: the shape's share
// (at most its alpha) lies above the shadow, the rest of its alpha is
// background beneath the shadow, and what it leaves transparent shows the
// shadow over the backdrop.
std::uint32_t Composite(std::uint32_t word, double coverage, double shadowAlpha, const double shadow[3],
                        const Backdrop& backdrop) noexcept
{
    const double alpha = double(word >> 24) / 255.0;
    const double above = std::min(alpha, coverage);
    const double beneath = alpha - above;
    const double open = 1.0 - alpha;
    const double colour[3] = {double(word >> 16 & 0xFF), double(word >> 8 & 0xFF), double(word & 0xFF)};
    const double fill[3] = {backdrop.red, backdrop.green, backdrop.blue};
    const double fillShows = (1.0 - shadowAlpha) * backdrop.alpha;
    const double outAlpha = alpha + open * (shadowAlpha + fillShows);
    if (outAlpha <= 0.0)
        return word;
    std::uint32_t result = std::uint32_t(ToByte(outAlpha * 255.0)) << 24;
    for (int i = 0; i < 3; ++i) {
        const double premultiplied = above * colour[i] + beneath * ((1.0 - shadowAlpha) * colour[i] + shadowAlpha * shadow[i]) +
                                     open * (shadowAlpha * shadow[i] + fillShows * fill[i]);
        result |= std::uint32_t(ToByte(premultiplied / outAlpha)) << (16 - 8 * i);
    }
    return result;
}

// The horizontal sums of the shape's rows, over the columns [x0, x1) of the
// shape's coordinates (which reach `radius` beyond its sides).
struct ShadowRows {
    std::int32_t x0 = 0;
    std::int32_t x1 = 0;
    std::vector<std::uint64_t> sums;
    std::int32_t Width() const noexcept { return x1 - x0; }
};

[[noreturn]] void RaiseOutOfMemory()
{
    RaiseWithReason(ErrorNumber::OutOfMemory, "no memory for the drop shadow");
}

void SumRows(const ShapeMask& shape, const BoxReaches& boxes, std::int32_t radius, ShadowRows& rows, unsigned threads)
{
    const std::int32_t length = shape.width + 2 * radius;
    std::atomic<bool> failed = false;
    ForEachBand(threads, shape.height, length, [&](std::int32_t first, std::int32_t last) {
        try {
            const auto cells = static_cast<std::size_t>(length);
            std::vector<std::uint64_t> data(cells, 0), spare(cells), sums(1);
            for (std::int32_t y = first; y < last; ++y) {
                std::fill(data.begin(), data.end(), 0);
                const std::uint8_t* coverage = shape.coverage.data() + std::size_t(y) * std::size_t(shape.width);
                std::copy(coverage, coverage + shape.width, data.begin() + radius);
                ThreeBoxes(data, spare, length, 1, boxes, sums);
                std::copy(data.begin() + (rows.x0 + radius), data.begin() + (rows.x1 + radius),
                          rows.sums.begin() + std::ptrdiff_t(y) * rows.Width());
            }
        } catch (const std::bad_alloc&) {
            failed = true;
        }
    });
    if (failed)
        RaiseOutOfMemory();
}

// The shadow's alpha, 0 to 1, at every pixel of the canvas.
void SumColumns(const ShadowRows& rows, std::int32_t shapeHeight, const BoxReaches& boxes, std::int32_t radius,
                std::int32_t offsetX, std::int32_t offsetY, std::int32_t canvasWidth, std::int32_t canvasHeight,
                double scale, std::vector<float>& alphas, unsigned threads)
{
    const std::int32_t length = shapeHeight + 2 * radius;
    // The canvas rows the shadow reaches, as rows of the shape.
    const std::int32_t y0 = std::max(-radius, -offsetY);
    const std::int32_t y1 = std::min(shapeHeight + radius, canvasHeight - offsetY);
    const std::int32_t blocks = (rows.Width() + ColumnBlock - 1) / ColumnBlock;
    std::atomic<bool> failed = false;
    ForEachBand(threads, blocks, std::int64_t{length} * ColumnBlock, [&](std::int32_t first, std::int32_t last) {
        try {
            const std::size_t cells = std::size_t(length) * ColumnBlock;
            std::vector<std::uint64_t> data(cells), spare(cells), sums(ColumnBlock);
            for (std::int32_t block = first; block < last; ++block) {
                const std::int32_t c0 = block * ColumnBlock;
                const std::int32_t columns = std::min(ColumnBlock, rows.Width() - c0);
                std::fill(data.begin(), data.end(), 0);
                for (std::int32_t y = 0; y < shapeHeight; ++y)
                    std::copy_n(rows.sums.begin() + std::ptrdiff_t(y) * rows.Width() + c0, columns,
                                data.begin() + std::ptrdiff_t(y + radius) * columns);
                ThreeBoxes(data, spare, length, columns, boxes, sums);
                for (std::int32_t y = y0; y < y1; ++y) {
                    const std::uint64_t* source = data.data() + std::size_t(y + radius) * std::size_t(columns);
                    float* target = alphas.data() + std::size_t(y + offsetY) * std::size_t(canvasWidth) +
                                    std::size_t(rows.x0 + c0 + offsetX);
                    for (std::int32_t c = 0; c < columns; ++c)
                        target[c] = static_cast<float>(double(source[c]) * scale);
                }
            }
        } catch (const std::bad_alloc&) {
            failed = true;
        }
    });
    if (failed)
        RaiseOutOfMemory();
}

// The shadow's alpha over the canvas, the shape standing at (margin, margin).
std::vector<float> ShadowAlphas(const ShapeMask& shape, const DropShadow& shadow, std::int32_t margin,
                                std::int32_t canvasWidth, std::int32_t canvasHeight, unsigned threads)
{
    std::vector<float> alphas;
    ShadowRows rows;
    try {
        alphas.assign(std::size_t(canvasWidth) * std::size_t(canvasHeight), 0.0f);
        const std::int32_t radius = shadow.blurRadius;
        // Where the shape, moved by the offset, puts the canvas's columns.
        const std::int32_t offsetX = margin + shadow.offsetX;
        rows.x0 = std::max(-radius, -offsetX);
        rows.x1 = std::min(shape.width + radius, canvasWidth - offsetX);
        if (rows.x0 >= rows.x1)
            return alphas;
        rows.sums.resize(std::size_t(rows.Width()) * std::size_t(shape.height));
    } catch (const std::bad_alloc&) {
        RaiseOutOfMemory();
    }
    const BoxReaches boxes(shadow.blurRadius);
    SumRows(shape, boxes, shadow.blurRadius, rows, threads);
    const double weight = double(boxes.Weight());
    const double scale = double(shadow.colour.opacityPercent) / 100.0 / (255.0 * weight * weight);
    SumColumns(rows, shape.height, boxes, shadow.blurRadius, margin + shadow.offsetX, margin + shadow.offsetY,
               canvasWidth, canvasHeight, scale, alphas, threads);
    return alphas;
}

} // namespace

void CheckDecoration(const Decoration& decoration)
{
    const auto within = [](std::int32_t value, std::int32_t low, std::int32_t high) { return value >= low && value <= high; };
    bool valid = within(decoration.margin, 0, MaxMargin);
    if (const std::optional<DropShadow>& shadow = decoration.shadow)
        valid = valid && within(shadow->offsetX, -MaxShadowOffset, MaxShadowOffset) &&
                within(shadow->offsetY, -MaxShadowOffset, MaxShadowOffset) && within(shadow->blurRadius, 0, MaxShadowBlur) &&
                within(shadow->colour.opacityPercent, 0, 100) && shadow->colour.rgb <= 0xFFFFFFu;
    if (!valid)
        Raise(ErrorNumber::Overflow);
}

void ReadShapeMask(const Picture& picture, const ShapeSource& source, ShapeMask& mask, unsigned threads)
{
    try {
        mask.coverage.resize(std::size_t(picture.Width()) * std::size_t(picture.Height()));
    } catch (const std::bad_alloc&) {
        RaiseWithReason(ErrorNumber::OutOfMemory, "no memory for the shape of the drop shadow");
    }
    mask.width = picture.Width();
    mask.height = picture.Height();
    // By the rule the smooth technique reads its shape with.
    const SmoothKernels& kernels = FastestSmoothKernels();
    ForEachBand(threads, mask.height, mask.width, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y)
            kernels.CoverageRow(picture.Row(y), mask.coverage.data() + std::size_t(y) * std::size_t(mask.width),
                                mask.width, source);
    });
}

GrownSize GrowBy(std::int32_t width, std::int32_t height, std::int32_t margin) noexcept
{
    const std::uint64_t added = 2 * std::uint64_t(std::max(margin, 0));
    return {std::uint64_t(std::max(width, 0)) + added, std::uint64_t(std::max(height, 0)) + added};
}

std::uint64_t DecorationBytesPerPixel(const Decoration& decoration) noexcept
{
    if (!decoration.Any())
        return 0;
    // The grown picture's words; with a shadow, its alpha as floats, the
    // rows' exact sums and the shape's byte.
    return decoration.shadow ? 4 + 4 + 8 + 1 : 4;
}

void Decorate(Picture& picture, const ShapeMask& shape, const Decoration& decoration, bool keepsAlpha, unsigned threads,
              std::optional<std::uint32_t> background)
{
    CheckDecoration(decoration);
    if (!picture.HasBitmap() || (decoration.margin == 0 && !decoration.shadow && keepsAlpha))
        return;
    if (decoration.shadow && (shape.width != picture.Width() || shape.height != picture.Height()))
        Raise(ErrorNumber::InvalidProcedureCall);
    const GrownSize grown = GrowBy(picture.Width(), picture.Height(), decoration.margin);
    if (grown.width > std::uint64_t(INT32_MAX) || grown.height > std::uint64_t(INT32_MAX))
        Raise(ErrorNumber::Overflow);
    const auto width = std::int32_t(grown.width);
    const auto height = std::int32_t(grown.height);
    const std::int32_t margin = decoration.margin;

    const std::uint32_t corner = background.value_or(picture.Pixel(0, 0));
    const Backdrop backdrop = keepsAlpha ? Backdrop{0, 0, 0, 0}
                                         : Backdrop{double(corner >> 16 & 0xFF), double(corner >> 8 & 0xFF),
                                                    double(corner & 0xFF), 1.0};
    const std::uint32_t fill = keepsAlpha ? 0u : corner | 0xFF000000u;

    // Everything is had before the picture is touched.
    std::vector<float> alphas;
    if (decoration.shadow)
        alphas = ShadowAlphas(shape, *decoration.shadow, margin, width, height, threads);
    Picture canvas;
    if (margin > 0)
        canvas.Resize(width, height);

    const double shadow[3] = {double(decoration.shadow ? decoration.shadow->colour.rgb >> 16 & 0xFF : 0),
                              double(decoration.shadow ? decoration.shadow->colour.rgb >> 8 & 0xFF : 0),
                              double(decoration.shadow ? decoration.shadow->colour.rgb & 0xFF : 0)};
    Picture& target = margin > 0 ? canvas : picture;
    ForEachBand(threads, height, width, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t y = first; y < last; ++y) {
            std::uint32_t* row = target.Row(y);
            const std::int32_t sourceY = y - margin;
            const bool inside = sourceY >= 0 && sourceY < picture.Height();
            for (std::int32_t x = 0; x < width; ++x) {
                const std::int32_t sourceX = x - margin;
                const bool here = inside && sourceX >= 0 && sourceX < picture.Width();
                const std::uint32_t word = here ? picture.Pixel(sourceX, sourceY) : fill;
                const double coverage =
                    here && !shape.coverage.empty() ? double(shape.coverage[std::size_t(sourceY) * std::size_t(shape.width) + std::size_t(sourceX)]) / 255.0
                         : 0.0;
                const double shadowAlpha = alphas.empty() ? 0.0 : double(alphas[std::size_t(y) * std::size_t(width) + std::size_t(x)]);
                row[x] = shadowAlpha == 0.0 && (word >> 24 == 0xFF || keepsAlpha)
                             ? word
                             : Composite(word, coverage, shadowAlpha, shadow, backdrop);
            }
        }
    });
    if (margin > 0)
        picture = std::move(canvas);
}

} // namespace tollamere
