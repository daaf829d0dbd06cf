// SPDX-License-Identifier: MIT
#include "icon_writer.h"

#include "byte_order.h"
#include "png_codec.h"
#include "runtime_error.h"

#include <vector>

namespace tollamere {
namespace {

void AppendLittleEndian(EncodedBytes& bytes, std::uint64_t value, std::size_t byteCount)
{
    bytes.resize(bytes.size() + byteCount);
    PutLittleEndian(bytes.data() + bytes.size() - byteCount, value, byteCount);
}

// The bitmap of an entry: its info header, the colour rows bottom-up, then
// the mask rows.
EncodedBytes IconBitmap(const Picture& picture, bool hasAlpha)
{
    const auto width = std::uint32_t(picture.Width());
    const auto height = std::uint32_t(picture.Height());
    const std::uint32_t colourBytes = width * 4 * height;
    const std::uint32_t maskRowBytes = (width + 31) / 32 * 4;
    constexpr std::uint32_t infoSize = 40;

    EncodedBytes bitmap;
    bitmap.reserve(infoSize + colourBytes + maskRowBytes * height);
    // The bitmap header counts the colour rows and the mask rows together.
    AppendLittleEndian(bitmap, infoSize, 4);
    AppendLittleEndian(bitmap, width, 4);
    AppendLittleEndian(bitmap, height * 2, 4);
    AppendLittleEndian(bitmap, 1, 2);
    AppendLittleEndian(bitmap, 32, 2);
    AppendLittleEndian(bitmap, 0, 4);
    AppendLittleEndian(bitmap, colourBytes + maskRowBytes * height, 4);
    // Resolutions and colour counts: all zero.
    bitmap.insert(bitmap.end(), 16, std::uint8_t{0});

    for (std::int32_t y = picture.Height() - 1; y >= 0; --y)
        for (std::int32_t x = 0; x < picture.Width(); ++x)
            AppendLittleEndian(bitmap, hasAlpha ? picture.Pixel(x, y) : picture.Pixel(x, y) | 0xFF000000u, 4);
    // The mask marks the fully transparent pixels, for readers that ignore alpha.
    for (std::int32_t y = picture.Height() - 1; y >= 0; --y) {
        const std::size_t rowStart = bitmap.size();
        bitmap.resize(rowStart + maskRowBytes, 0);
        for (std::int32_t x = 0; x < picture.Width(); ++x)
            if (hasAlpha && (picture.Pixel(x, y) >> 24) == 0)
                bitmap[rowStart + std::size_t(x) / 8] |= std::uint8_t(0x80u >> (x % 8));
    }
    return bitmap;
}

// Qt 6.4's own icon writer leaves the padding of the mask rows uninitialised,
// so its files differ from run to run and carry stray memory; this writer
// sets every byte.
EncodedBytes EncodeEntries(std::span<const Picture> pictures, bool hasAlpha, IconKind kind, bool pngAt256)
{
    if (pictures.empty() || pictures.size() > 0xFFFF)
        RaiseWithReason(ErrorNumber::InvalidProcedureCall, "an icon holds from 1 to 65535 pictures");
    for (const Picture& picture : pictures)
        CheckPictureFitsFormat(picture, 256, "an icon");

    std::vector<EncodedBytes> images;
    images.reserve(pictures.size());
    for (const Picture& picture : pictures)
        images.push_back(pngAt256 && (picture.Width() == 256 || picture.Height() == 256) ? EncodePng(picture, hasAlpha, SaveSettings{})
                                                                           : IconBitmap(picture, hasAlpha));

    const std::uint32_t directorySize = 6 + 16 * std::uint32_t(pictures.size());
    EncodedBytes icon;
    AppendLittleEndian(icon, 0, 2);
    AppendLittleEndian(icon, std::uint32_t(kind), 2);
    AppendLittleEndian(icon, pictures.size(), 2);
    std::uint32_t imageAt = directorySize;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        // A directory entry: a size of 256 is written as 0; a cursor keeps
        // its hot spot where an icon keeps planes and bits per pixel.
        icon.push_back(std::uint8_t(pictures[i].Width() & 0xFF));
        icon.push_back(std::uint8_t(pictures[i].Height() & 0xFF));
        AppendLittleEndian(icon, 0, 2);
        AppendLittleEndian(icon, kind == IconKind::Icon ? 1 : 0, 2);
        AppendLittleEndian(icon, kind == IconKind::Icon ? 32 : 0, 2);
        AppendLittleEndian(icon, images[i].size(), 4);
        AppendLittleEndian(icon, imageAt, 4);
        imageAt += std::uint32_t(images[i].size());
    }
    for (const EncodedBytes& image : images)
        icon.insert(icon.end(), image.begin(), image.end());
    return icon;
}

} // namespace

EncodedBytes EncodeIcon(const Picture& picture, bool hasAlpha, IconKind kind)
{
    return EncodeEntries(std::span(&picture, 1), hasAlpha, kind, false);
}

EncodedBytes EncodeIconSet(std::span<const Picture> pictures, bool hasAlpha, IconKind kind)
{
    return EncodeEntries(pictures, hasAlpha, kind, true);
}

} // namespace tollamere
