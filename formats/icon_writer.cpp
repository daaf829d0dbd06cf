// SPDX-License-Identifier: MIT
#include "icon_writer.h"

#include "byte_order.h"

namespace tollamere {
namespace {

void AppendLittleEndian(EncodedBytes& bytes, std::uint64_t value, std::size_t byteCount)
{
    bytes.resize(bytes.size() + byteCount);
    PutLittleEndian(bytes.data() + bytes.size() - byteCount, value, byteCount);
}

} // namespace

// Qt 6.4's own icon writer leaves the padding of the mask rows uninitialised,
// so its files differ from run to run and carry stray memory; this writer
// sets every byte.
EncodedBytes EncodeIcon(const Picture& picture, bool hasAlpha, IconKind kind)
{
    CheckPictureFitsFormat(picture, 256, "an icon");

    const auto width = std::uint32_t(picture.Width());
    const auto height = std::uint32_t(picture.Height());
    const std::uint32_t colourBytes = width * 4 * height;
    const std::uint32_t maskRowBytes = (width + 31) / 32 * 4;
    constexpr std::uint32_t directorySize = 6 + 16;
    constexpr std::uint32_t infoSize = 40;
    const std::uint32_t imageSize = infoSize + colourBytes + maskRowBytes * height;

    EncodedBytes icon;
    icon.reserve(directorySize + imageSize);
    AppendLittleEndian(icon, 0, 2);
    AppendLittleEndian(icon, std::uint32_t(kind), 2);
    AppendLittleEndian(icon, 1, 2);
    // The directory entry: a size of 256 is written as 0; a cursor keeps its
    // hot spot where an icon keeps planes and bits per pixel.
    icon.push_back(std::uint8_t(width & 0xFF));
    icon.push_back(std::uint8_t(height & 0xFF));
    AppendLittleEndian(icon, 0, 2);
    AppendLittleEndian(icon, kind == IconKind::Icon ? 1 : 0, 2);
    AppendLittleEndian(icon, kind == IconKind::Icon ? 32 : 0, 2);
    AppendLittleEndian(icon, imageSize, 4);
    AppendLittleEndian(icon, directorySize, 4);

    // The bitmap header counts the colour rows and the mask rows together.
    AppendLittleEndian(icon, infoSize, 4);
    AppendLittleEndian(icon, width, 4);
    AppendLittleEndian(icon, height * 2, 4);
    AppendLittleEndian(icon, 1, 2);
    AppendLittleEndian(icon, 32, 2);
    AppendLittleEndian(icon, 0, 4);
    AppendLittleEndian(icon, colourBytes + maskRowBytes * height, 4);
    // Resolutions and colour counts: all zero.
    icon.insert(icon.end(), 16, std::uint8_t{0});

    for (std::int32_t y = picture.Height() - 1; y >= 0; --y)
        for (std::int32_t x = 0; x < picture.Width(); ++x)
            AppendLittleEndian(icon, hasAlpha ? picture.Pixel(x, y) : picture.Pixel(x, y) | 0xFF000000u, 4);
    // The mask marks the fully transparent pixels, for readers that ignore alpha.
    for (std::int32_t y = picture.Height() - 1; y >= 0; --y) {
        const std::size_t rowStart = icon.size();
        icon.resize(rowStart + maskRowBytes, 0);
        for (std::int32_t x = 0; x < picture.Width(); ++x)
            if (hasAlpha && (picture.Pixel(x, y) >> 24) == 0)
                icon[rowStart + std::size_t(x) / 8] |= std::uint8_t(0x80u >> (x % 8));
    }
    return icon;
}

} // namespace tollamere
