#include "cDIBSection.h"

#include "bevel_kernels.h"
#include "checked_arithmetic.h"

#include <algorithm>
#include <limits>

namespace tollamere {

namespace {

std::uint32_t ReadColour(const std::uint8_t* pixel) noexcept
{
    return std::uint32_t{pixel[0]} | std::uint32_t{pixel[1]} << 8 | std::uint32_t{pixel[2]} << 16;
}

void WriteColour(std::uint8_t* pixel, std::uint32_t colour) noexcept
{
    pixel[0] = static_cast<std::uint8_t>(colour);
    pixel[1] = static_cast<std::uint8_t>(colour >> 8);
    pixel[2] = static_cast<std::uint8_t>(colour >> 16);
}

// The part of a block copy that lies inside both the source and the
// destination, as a copy never reads or writes beyond either.
struct CopyRect {
    std::int64_t sourceLeft, sourceTop, destLeft, destTop, width, height;
};

CopyRect ClipCopy(std::int64_t sourceLeft, std::int64_t sourceTop, std::int64_t sourceWidth, std::int64_t sourceHeight,
                  std::int64_t destLeft, std::int64_t destTop, std::int64_t destWidth, std::int64_t destHeight,
                  std::int64_t width, std::int64_t height)
{
    CopyRect rect{sourceLeft, sourceTop, destLeft, destTop, width, height};
    const auto clipStart = [](std::int64_t& source, std::int64_t& dest, std::int64_t& extent) {
        const std::int64_t shift = std::max<std::int64_t>({0, -source, -dest});
        source += shift;
        dest += shift;
        extent -= shift;
    };
    clipStart(rect.sourceLeft, rect.destLeft, rect.width);
    clipStart(rect.sourceTop, rect.destTop, rect.height);
    rect.width = std::min({rect.width, sourceWidth - rect.sourceLeft, destWidth - rect.destLeft});
    rect.height = std::min({rect.height, sourceHeight - rect.sourceTop, destHeight - rect.destTop});
    rect.width = std::max<std::int64_t>(rect.width, 0);
    rect.height = std::max<std::int64_t>(rect.height, 0);
    return rect;
}

} // namespace

void cDIBSection::CreateFromPicture(const Picture& picThis)
{
    if (!Create(picThis.Width(), picThis.Height()))
        return;
    LoadPictureBlt(picThis, 0, 0, -1, -1, RasterOp::SrcCopy);
}

bool cDIBSection::Create(std::int32_t lWidth, std::int32_t lHeight)
{
    ClearUp();
    return CreateDIB(lWidth, lHeight, dib_);
}

bool cDIBSection::CreateDIB(std::int32_t lWidth, std::int32_t lHeight, DibHandle& hDib)
{
    headerWidth_ = lWidth;
    headerHeight_ = lHeight;
    const std::int64_t rowBytes = BytesPerScanLine();
    if (lWidth <= 0 || lHeight <= 0)
        return false;
    const std::int64_t imageSize = rowBytes * lHeight;
    if (imageSize > std::numeric_limits<std::int32_t>::max())
        return false;
    hDib = AllocateZeroed(static_cast<std::size_t>(imageSize));
    bits_ = hDib.get();
    return hDib != nullptr;
}

std::int32_t cDIBSection::BytesPerScanLine() const
{
    const std::int32_t rowBytes = CheckedSum(CheckedProduct(headerWidth_, 3), 3);
    return rowBytes & ~3;
}

void cDIBSection::LoadPictureBlt(const Picture& lHDC, std::int32_t lSrcLeft, std::int32_t lSrcTop,
                                 std::int32_t lSrcWidth, std::int32_t lSrcHeight, RasterOp eRop)
{
    if (bits_ == nullptr)
        return;
    const std::int64_t width = lSrcWidth < 0 ? headerWidth_ : lSrcWidth;
    const std::int64_t height = lSrcHeight < 0 ? headerHeight_ : lSrcHeight;
    const CopyRect rect = ClipCopy(lSrcLeft, lSrcTop, lHDC.Width(), lHDC.Height(),
                                   0, 0, headerWidth_, headerHeight_, width, height);
    const std::int64_t rowBytes = BytesPerScanLine();
    for (std::int64_t row = 0; row < rect.height; ++row) {
        const std::uint32_t* source = lHDC.Row(static_cast<std::int32_t>(rect.sourceTop + row)) + rect.sourceLeft;
        std::uint8_t* dest = bits_ + (headerHeight_ - 1 - (rect.destTop + row)) * rowBytes + 3 * rect.destLeft;
        if (eRop == RasterOp::SrcCopy) {
            FastestKernels().ColoursToSurface(source, dest, rect.width);
            continue;
        }
        for (std::int64_t column = 0; column < rect.width; ++column, dest += 3)
            WriteColour(dest, ApplyRasterOp(eRop, source[column], ReadColour(dest)));
    }
}

void cDIBSection::PaintPicture(Picture& lHDC, std::int32_t lDestLeft, std::int32_t lDestTop,
                               std::int32_t lDestWidth, std::int32_t lDestHeight,
                               std::int32_t lSrcLeft, std::int32_t lSrcTop, RasterOp eRop) const
{
    if (bits_ == nullptr)
        return;
    const std::int64_t width = lDestWidth < 0 ? headerWidth_ : lDestWidth;
    const std::int64_t height = lDestHeight < 0 ? headerHeight_ : lDestHeight;
    const CopyRect rect = ClipCopy(lSrcLeft, lSrcTop, headerWidth_, headerHeight_,
                                   lDestLeft, lDestTop, lHDC.Width(), lHDC.Height(), width, height);
    const std::int64_t rowBytes = BytesPerScanLine();
    for (std::int64_t row = 0; row < rect.height; ++row) {
        const std::uint8_t* source = bits_ + (headerHeight_ - 1 - (rect.sourceTop + row)) * rowBytes + 3 * rect.sourceLeft;
        std::uint32_t* dest = lHDC.Row(static_cast<std::int32_t>(rect.destTop + row)) + rect.destLeft;
        if (eRop == RasterOp::SrcCopy) {
            FastestKernels().ColoursFromSurface(source, dest, rect.width);
            continue;
        }
        for (std::int64_t column = 0; column < rect.width; ++column, source += 3) {
            const std::uint32_t colour = ApplyRasterOp(eRop, ReadColour(source), dest[column]);
            dest[column] = (dest[column] & 0xFF000000u) | colour;
        }
    }
}

void cDIBSection::ClearUp() noexcept
{
    dib_.reset();
    bits_ = nullptr;
}

} // namespace tollamere
