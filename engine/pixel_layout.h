// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <type_traits>

namespace tollamere {

// How a pixel's colour is stored.
enum class PixelOrder {
    // A native 32-bit word 0xAARRGGBB per pixel (a Picture's).
    ArgbWords,
    // Three bytes per pixel: blue, green, red (the effect's surface's).
    BgrBytes,
};

// Pixel memory someone else owns, described for a codec that reads or
// writes it: width x height pixels, a row every `stride` bytes from
// `pixels`, the top row first unless bottomUp. Byte is std::uint8_t for
// memory to write, const std::uint8_t for memory only read.
template <typename Byte>
struct BasicPixelLayout {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int64_t stride = 0;
    PixelOrder order = PixelOrder::ArgbWords;
    bool bottomUp = false;
    Byte* pixels = nullptr;

    // A layout to write is also one to read.
    operator BasicPixelLayout<const std::uint8_t>() const noexcept
        requires(!std::is_const_v<Byte>)
    {
        return {width, height, stride, order, bottomUp, pixels};
    }

    bool HasPixels() const noexcept { return pixels != nullptr && width > 0 && height > 0; }
    std::int32_t BytesPerPixel() const noexcept { return order == PixelOrder::ArgbWords ? 4 : 3; }
    // Row y counted from the top.
    Byte* Row(std::int32_t y) const noexcept { return pixels + std::int64_t(bottomUp ? height - 1 - y : y) * stride; }
};

using PixelLayout = BasicPixelLayout<std::uint8_t>;
using ConstPixelLayout = BasicPixelLayout<const std::uint8_t>;

} // namespace tollamere
