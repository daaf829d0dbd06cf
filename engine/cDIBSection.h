#pragma once

#include "picture.h"
#include "zeroed_memory.h"

#include <cstdint>
#include <memory>

namespace tollamere {

// The image surface: 24 bits per pixel, bytes blue, green, red. Rows take
// BytesPerScanLine() bytes (width * 3 rounded up to a multiple of 4) and are
// stored bottom-up: pixel (x, y) from the top left is at (Height()-1-y) * BytesPerScanLine() + 3x.
class cDIBSection {
public:
    using DibHandle = ZeroedMemory;

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

    // Raises Overflow (6) when the row size exceeds 32 bits.
    std::int32_t BytesPerScanLine() const;
    // The size last requested, also when no pixel memory could be made.
    std::int32_t Width() const noexcept { return headerWidth_; }
    std::int32_t Height() const noexcept { return headerHeight_; }
    // The pixel memory, or nullptr when the surface holds none.
    std::uint8_t* DIBSectionBitsPtr() const noexcept { return bits_; }

    // Copies from the picture at (lSrcLeft, lSrcTop) into the surface at
    // (0, 0); a negative width or height stands for the surface's own.
    void LoadPictureBlt(const Picture& lHDC, std::int32_t lSrcLeft = 0, std::int32_t lSrcTop = 0,
                        std::int32_t lSrcWidth = -1, std::int32_t lSrcHeight = -1,
                        RasterOp eRop = RasterOp::SrcCopy);

    // Copies the surface from (lSrcLeft, lSrcTop) into the picture at
    // (lDestLeft, lDestTop); a negative width or height stands for the surface's own.
    void PaintPicture(Picture& lHDC, std::int32_t lDestLeft = 0, std::int32_t lDestTop = 0,
                      std::int32_t lDestWidth = -1, std::int32_t lDestHeight = -1,
                      std::int32_t lSrcLeft = 0, std::int32_t lSrcTop = 0,
                      RasterOp eRop = RasterOp::SrcCopy) const;

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

} // namespace tollamere
