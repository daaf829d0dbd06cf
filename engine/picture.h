// SPDX-License-Identifier: MIT
#pragma once

#include "pixel_layout.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tollamere {

// A picture held in memory, which also serves as the device context that the
// image surface copies from and paints into. A bitmap picture holds
// Width() x Height() pixels, top row first, each a 0xAARRGGBB word; a picture
// without a bitmap (nothing loaded, a drawing without pixels) is 0 by 0.
class Picture {
public:
    Picture() = default;
    Picture(std::int32_t width, std::int32_t height, std::uint32_t fill = 0xFF000000u);

    // Makes the picture width x height with its pixels unspecified, for a
    // caller that fills every one; the memory is kept when it is large
    // enough, so that a batch reuses one picture's. Raises Out of memory (7).
    void Resize(std::int32_t width, std::int32_t height);
    std::size_t CapacityBytes() const noexcept { return pixels_.capacity() * sizeof(std::uint32_t); }

    bool HasBitmap() const noexcept { return width_ > 0 && height_ > 0; }
    std::int32_t Width() const noexcept { return width_; }
    std::int32_t Height() const noexcept { return height_; }

    std::uint32_t* Row(std::int32_t y) noexcept { return pixels_.data() + std::size_t(y) * std::size_t(width_); }
    const std::uint32_t* Row(std::int32_t y) const noexcept { return pixels_.data() + std::size_t(y) * std::size_t(width_); }
    // The pixels as codecs see them: ArgbWords, top-down, rows packed.
    PixelLayout Layout() noexcept
    {
        return {width_, height_, std::int64_t(width_) * 4, PixelOrder::ArgbWords, false, reinterpret_cast<std::uint8_t*>(pixels_.data())};
    }
    ConstPixelLayout Layout() const noexcept { return const_cast<Picture&>(*this).Layout(); }

    std::uint32_t& Pixel(std::int32_t x, std::int32_t y) noexcept { return Row(y)[x]; }
    std::uint32_t Pixel(std::int32_t x, std::int32_t y) const noexcept { return Row(y)[x]; }

    friend bool operator==(const Picture&, const Picture&) = default;

private:
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

// Turns a picture stored in an EXIF orientation (2 to 8; see
// ExifOrientation) upright: mirrored, turned half round, or turned a
// quarter, which swaps its width and height. 1 and values out of range
// leave it as it is. Raises Out of memory (7) for the quarter turns, which
// need a second picture.
void TurnUpright(Picture& picture, int orientation);

} // namespace tollamere
