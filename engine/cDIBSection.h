// SPDX-License-Identifier: MIT
#pragma once

#include "picture.h"
#include "zeroed_memory.h"

#include <cstdint>
#include <memory>

namespace tollamere {

// The image surface: 24 bits per pixel, bytes blue, green, red. Rows take
// BytesPerScanLineFor(width) bytes (width * 3 rounded up to a multiple of 4)
// and are stored bottom-up: PixelOffsetFor says where pixel (x, y) from the top left lies.
class cDIBSection {
public:
    using DibHandle = ZeroedMemory;

    // The layout's arithmetic, in 64 bits so that it never overflows for the
    // sizes of a picture (32-bit sides); also for buffers laid out alike.
    static constexpr std::int64_t BytesPerScanLineFor(std::int64_t width) noexcept
    {
        return (width * 3 + 3) & ~std::int64_t{3};
    }
    static constexpr std::int64_t PixelOffsetFor(std::int64_t width, std::int64_t height, std::int64_t x,
                                                 std::int64_t y) noexcept
    {
        return (height - 1 - y) * BytesPerScanLineFor(width) + 3 * x;
    }

    cDIBSection() = default;
    cDIBSection(const cDIBSection&) = delete;
    cDIBSection& operator=(const cDIBSection&) = delete;
    ~cDIBSection() { ClearUp(); }

    // Makes the surface the size of the picture and copies its pixels in. A
    // picture without a bitmap gives a surface without pixel memory.
    void CreateFromPicture(const Picture& picThis);

    // Releases what the surface holds, then makes a black surface of that
    // size; false when no pixel memory could be made (a size of 0 or less, or
    // more than 2 GiB or than the machine can give).
    bool Create(std::int32_t lWidth, std::int32_t lHeight);

    // Makes the surface that size, keeping its pixel memory when it is large
    // enough: the pixels are then left as they were, for a caller that
    // writes every one. false as for Create.
    bool Resize(std::int32_t lWidth, std::int32_t lHeight);
    // The bytes of pixel memory held, used or not.
    std::size_t Capacity() const noexcept { return bits_ == nullptr ? 0 : dib_.get_deleter().bytes; }

    // Raises Overflow (6) when the row size exceeds 32 bits.
    std::int32_t BytesPerScanLine() const;
    // Where pixel (x, y) from the top left lies in DIBSectionBitsPtr().
    std::int64_t PixelOffset(std::int64_t x, std::int64_t y) const noexcept
    {
        return PixelOffsetFor(headerWidth_, headerHeight_, x, y);
    }
    // The size last requested, also when no pixel memory could be made.
    std::int32_t Width() const noexcept { return headerWidth_; }
    std::int32_t Height() const noexcept { return headerHeight_; }
    // The pixel memory, or nullptr when the surface holds none.
    std::uint8_t* DIBSectionBitsPtr() const noexcept { return bits_; }
    // The pixels as codecs see them: BgrBytes, bottom-up; no pixels when the
    // surface holds no pixel memory.
    PixelLayout Layout() noexcept;
    ConstPixelLayout Layout() const noexcept { return const_cast<cDIBSection&>(*this).Layout(); }

    // Copies from the picture at (lSrcLeft, lSrcTop) into the surface at
    // (0, 0); a negative width or height stands for the surface's own.
    void LoadPictureBlt(const Picture& lHDC, std::int32_t lSrcLeft = 0, std::int32_t lSrcTop = 0,
                        std::int32_t lSrcWidth = -1, std::int32_t lSrcHeight = -1);

    // Copies the surface from (lSrcLeft, lSrcTop) into the picture at
    // (lDestLeft, lDestTop), keeping the picture's alpha bytes; a negative
    // width or height stands for the surface's own.
    void PaintPicture(Picture& lHDC, std::int32_t lDestLeft = 0, std::int32_t lDestTop = 0,
                      std::int32_t lDestWidth = -1, std::int32_t lDestHeight = -1,
                      std::int32_t lSrcLeft = 0, std::int32_t lSrcTop = 0) const;

    // Releases the pixel memory; Width() and Height() keep the last requested size.
    void ClearUp() noexcept;

private:
    // Records the size in the header and allocates the pixel memory into hDib,
    // setting the bits address; false when nothing could be allocated.
    bool CreateDIB(std::int32_t lWidth, std::int32_t lHeight, DibHandle& hDib);

    DibHandle dib_;
    std::uint8_t* bits_ = nullptr;
    std::int32_t headerWidth_ = 0;
    std::int32_t headerHeight_ = 0;
};

// The row copies behind LoadPictureBlt and PaintPicture: width picture
// pixels (words 0xAARRGGBB) into surface pixels, and back keeping the words'
// alpha. Compiled for any processor and for x86-64 processors with AVX2; the
// tests compare both.
struct SurfaceCopies {
    void (*ColoursToSurface)(const std::uint32_t* source, std::uint8_t* dest, std::int64_t width) noexcept;
    void (*ColoursFromSurface)(const std::uint8_t* source, std::uint32_t* dest, std::int64_t width) noexcept;
};

const SurfaceCopies& PortableSurfaceCopies() noexcept;
// nullptr when this build or this processor has no AVX2.
const SurfaceCopies* Avx2SurfaceCopies() noexcept;

} // namespace tollamere
