// SPDX-License-Identifier: MIT
#include "cDIBSection.h"

#include "checked_arithmetic.h"
#include "kernel_targets.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace tollamere {

namespace {

using Byte = std::uint8_t;

inline void WriteColour(Byte* pixel, std::uint32_t colour) noexcept
{
    pixel[0] = static_cast<Byte>(colour);
    pixel[1] = static_cast<Byte>(colour >> 8);
    pixel[2] = static_cast<Byte>(colour >> 16);
}

inline std::uint32_t ReadColour(const Byte* pixel) noexcept
{
    return std::uint32_t{pixel[0]} | std::uint32_t{pixel[1]} << 8 | std::uint32_t{pixel[2]} << 16;
}

// On a little-endian machine a picture's word holds the bytes blue, green,
// red, alpha. Each pixel then moves as one word or, with byte shuffles, four
// pixels as 16 bytes; the bytes written beyond a pixel belong to pixels that
// are written after it, and the last ones go byte by byte.
template <bool Shuffles>
TOLLAMERE_KERNEL_BODY void ColoursToSurfaceBody(const std::uint32_t* source, Byte* dest, std::int64_t width) noexcept
{
    std::int64_t x = 0;
    if constexpr (std::endian::native == std::endian::little) {
#if defined(TOLLAMERE_AVX2_KERNELS)
        if constexpr (Shuffles) {
            constexpr Vector16 dropAlpha{0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 15, 15, 15, 15};
            for (; x + 5 < width; x += 4) {
                Vector16 four;
                std::memcpy(&four, source + x, sizeof four);
                const Vector16 packed = __builtin_shuffle(four, dropAlpha);
                std::memcpy(dest + 3 * x, &packed, sizeof packed);
            }
        }
#endif
        for (; x + 1 < width; ++x)
            std::memcpy(dest + 3 * x, source + x, 4);
    }
    for (; x < width; ++x)
        WriteColour(dest + 3 * x, source[x]);
}

// The colours into the picture's words, whose alpha bytes stay.
template <bool Shuffles>
TOLLAMERE_KERNEL_BODY void ColoursFromSurfaceBody(const Byte* source, std::uint32_t* dest, std::int64_t width) noexcept
{
    std::int64_t x = 0;
    if constexpr (std::endian::native == std::endian::little) {
#if defined(TOLLAMERE_AVX2_KERNELS)
        if constexpr (Shuffles) {
            // Index 16 takes the first byte of the second operand, 0.
            constexpr Vector16 addAlpha{0, 1, 2, 16, 3, 4, 5, 16, 6, 7, 8, 16, 9, 10, 11, 16};
            constexpr Vector16 alphaBytes{0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
            const Vector16 zero{};
            for (; x + 5 < width; x += 4) {
                Vector16 bytes;
                std::memcpy(&bytes, source + 3 * x, sizeof bytes);
                Vector16 words;
                std::memcpy(&words, dest + x, sizeof words);
                words = (words & alphaBytes) | __builtin_shuffle(bytes, zero, addAlpha);
                std::memcpy(dest + x, &words, sizeof words);
            }
        }
#endif
        for (; x + 1 < width; ++x) {
            std::uint32_t colour;
            std::memcpy(&colour, source + 3 * x, 4);
            dest[x] = (dest[x] & 0xFF000000u) | (colour & 0x00FFFFFFu);
        }
    }
    for (; x < width; ++x)
        dest[x] = (dest[x] & 0xFF000000u) | ReadColour(source + 3 * x);
}

#define TOLLAMERE_SURFACE_COPIES(Name, Attributes, ByteShuffles)                                                       \
    namespace Name {                                                                                                   \
    Attributes void ColoursToSurface(const std::uint32_t* source, Byte* dest, std::int64_t width) noexcept             \
    {                                                                                                                  \
        ColoursToSurfaceBody<ByteShuffles>(source, dest, width);                                                       \
    }                                                                                                                  \
    Attributes void ColoursFromSurface(const Byte* source, std::uint32_t* dest, std::int64_t width) noexcept           \
    {                                                                                                                  \
        ColoursFromSurfaceBody<ByteShuffles>(source, dest, width);                                                     \
    }                                                                                                                  \
    constexpr SurfaceCopies Copies{&ColoursToSurface, &ColoursFromSurface};                                            \
    }

TOLLAMERE_KERNEL_SETS(TOLLAMERE_SURFACE_COPIES)

#undef TOLLAMERE_SURFACE_COPIES

using SurfaceCopiesChoice = TOLLAMERE_KERNEL_CHOICE(Copies);

const SurfaceCopies& FastestSurfaceCopies() noexcept
{
    return SurfaceCopiesChoice::Fastest();
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
    LoadPictureBlt(picThis, 0, 0, -1, -1);
}

bool cDIBSection::Create(std::int32_t lWidth, std::int32_t lHeight)
{
    ClearUp();
    return CreateDIB(lWidth, lHeight, dib_);
}

bool cDIBSection::Resize(std::int32_t lWidth, std::int32_t lHeight)
{
    if (lWidth > 0 && lHeight > 0 && bits_ != nullptr) {
        const std::int64_t imageSize = BytesPerScanLineFor(lWidth) * lHeight;
        if (imageSize <= std::numeric_limits<std::int32_t>::max() && std::size_t(imageSize) <= Capacity()) {
            headerWidth_ = lWidth;
            headerHeight_ = lHeight;
            return true;
        }
    }
    return Create(lWidth, lHeight);
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

PixelLayout cDIBSection::Layout() noexcept
{
    if (bits_ == nullptr)
        return {};
    return {headerWidth_, headerHeight_, BytesPerScanLineFor(headerWidth_), PixelOrder::BgrBytes, true, bits_};
}

std::int32_t cDIBSection::BytesPerScanLine() const
{
    // The row size as 32-bit arithmetic meets it: width * 3 + 3 must fit.
    CheckedSum(CheckedProduct(headerWidth_, 3), 3);
    return static_cast<std::int32_t>(BytesPerScanLineFor(headerWidth_));
}

void cDIBSection::LoadPictureBlt(const Picture& lHDC, std::int32_t lSrcLeft, std::int32_t lSrcTop,
                                 std::int32_t lSrcWidth, std::int32_t lSrcHeight)
{
    if (bits_ == nullptr)
        return;
    const std::int64_t width = lSrcWidth < 0 ? headerWidth_ : lSrcWidth;
    const std::int64_t height = lSrcHeight < 0 ? headerHeight_ : lSrcHeight;
    const CopyRect rect = ClipCopy(lSrcLeft, lSrcTop, lHDC.Width(), lHDC.Height(),
                                   0, 0, headerWidth_, headerHeight_, width, height);
    const SurfaceCopies& copies = FastestSurfaceCopies();
    for (std::int64_t row = 0; row < rect.height; ++row) {
        const std::uint32_t* source = lHDC.Row(static_cast<std::int32_t>(rect.sourceTop + row)) + rect.sourceLeft;
        copies.ColoursToSurface(source, bits_ + PixelOffset(rect.destLeft, rect.destTop + row), rect.width);
    }
}

void cDIBSection::PaintPicture(Picture& lHDC, std::int32_t lDestLeft, std::int32_t lDestTop,
                               std::int32_t lDestWidth, std::int32_t lDestHeight,
                               std::int32_t lSrcLeft, std::int32_t lSrcTop) const
{
    if (bits_ == nullptr)
        return;
    const std::int64_t width = lDestWidth < 0 ? headerWidth_ : lDestWidth;
    const std::int64_t height = lDestHeight < 0 ? headerHeight_ : lDestHeight;
    const CopyRect rect = ClipCopy(lSrcLeft, lSrcTop, headerWidth_, headerHeight_,
                                   lDestLeft, lDestTop, lHDC.Width(), lHDC.Height(), width, height);
    const SurfaceCopies& copies = FastestSurfaceCopies();
    for (std::int64_t row = 0; row < rect.height; ++row) {
        std::uint32_t* dest = lHDC.Row(static_cast<std::int32_t>(rect.destTop + row)) + rect.destLeft;
        copies.ColoursFromSurface(bits_ + PixelOffset(rect.sourceLeft, rect.sourceTop + row), dest, rect.width);
    }
}

void cDIBSection::ClearUp() noexcept
{
    dib_.reset();
    bits_ = nullptr;
}

const SurfaceCopies& PortableSurfaceCopies() noexcept
{
    return portable::Copies;
}

const SurfaceCopies* Avx2SurfaceCopies() noexcept
{
    return SurfaceCopiesChoice::Avx2();
}

} // namespace tollamere
