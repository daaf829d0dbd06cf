// SPDX-License-Identifier: MIT
#include "picture_probe.h"

#include "avif_codec.h"
#include "byte_order.h"
#include "jpeg_codec.h"
#include "jxl_codec.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <algorithm>
#include <cstring>

namespace tollamere {
namespace {

using Bytes = std::span<const std::uint8_t>;

bool StartsWith(Bytes bytes, std::string_view signature)
{
    return bytes.size() >= signature.size() && std::memcmp(bytes.data(), signature.data(), signature.size()) == 0;
}

// The canvas is the logical screen, grown to hold the first frame.
std::optional<PictureSize> ProbeGif(Bytes bytes)
{
    if (bytes.size() < 13)
        return std::nullopt;
    PictureSize size{LittleEndian(&bytes[6], 2), LittleEndian(&bytes[8], 2)};
    std::size_t at = 13;
    if (bytes[10] & 0x80)
        at += 3u << ((bytes[10] & 7) + 1);
    while (at < bytes.size() && bytes[at] == 0x21) {  // extensions: label, then sub-blocks
        at += 2;
        while (at < bytes.size() && bytes[at] != 0)
            at += 1 + bytes[at];
        ++at;
    }
    if (at + 9 <= bytes.size() && bytes[at] == 0x2C) {
        size.width = std::max<std::uint64_t>(size.width, LittleEndian(&bytes[at + 1], 2) + LittleEndian(&bytes[at + 5], 2));
        size.height = std::max<std::uint64_t>(size.height, LittleEndian(&bytes[at + 3], 2) + LittleEndian(&bytes[at + 7], 2));
    }
    return size;
}

std::optional<PictureSize> ProbeBmp(Bytes bytes)
{
    const std::optional<BmpHeader> header = ReadBmpHeader(bytes);
    if (!header)
        return std::nullopt;
    return PictureSize{std::uint64_t(std::max<std::int64_t>(header->width, 0)),
                       std::uint64_t(header->height < 0 ? -header->height : header->height)};
}

std::optional<PictureSize> Largest(const std::vector<PictureSize>& sizes)
{
    if (sizes.empty())
        return std::nullopt;
    return *std::max_element(sizes.begin(), sizes.end(), [](PictureSize a, PictureSize b) { return PixelCount(a) < PixelCount(b); });
}

std::optional<PictureSize> ProbeWithQt(Bytes bytes)
{
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid())
        return std::nullopt;
    return PictureSize{std::uint64_t(size.width()), std::uint64_t(size.height())};
}

} // namespace

std::optional<PictureSize> PngHeaderSize(std::span<const std::uint8_t> png)
{
    constexpr std::size_t sizeAt = 16;  // after the signature, IHDR's length and type
    if (png.size() < sizeAt + 8 || std::memcmp(&png[12], "IHDR", 4) != 0)
        return std::nullopt;
    return PictureSize{BigEndian(&png[sizeAt], 4), BigEndian(&png[sizeAt + 4], 4)};
}

std::vector<PictureSize> IconPictureSizes(std::span<const std::uint8_t> bytes)
{
    constexpr std::size_t entriesAt = 6;
    constexpr std::size_t entrySize = 16;
    constexpr std::size_t bmpInfoSize = 12;  // the info header's size, width and height
    if (bytes.size() < entriesAt || LittleEndian(&bytes[0], 2) != 0)
        return {};
    if (const std::uint32_t kind = LittleEndian(&bytes[2], 2); kind != 1 && kind != 2)
        return {};
    const std::uint32_t count = LittleEndian(&bytes[4], 2);
    std::vector<PictureSize> sizes;
    // Entries beyond the bytes are left out: the loader, which sees them
    // all, tells a larger one when it finds it.
    for (std::size_t i = 0; i < count && entriesAt + (i + 1) * entrySize <= bytes.size(); ++i) {
        const std::size_t entry = entriesAt + i * entrySize;
        // A directory entry's reserved byte is 0; anything else is no icon.
        if (bytes[entry + 3] != 0)
            return {};
        const std::size_t imageAt = LittleEndian(&bytes[entry + 12], 4);
        const Bytes image = imageAt < bytes.size() ? Bytes(bytes).subspan(imageAt) : Bytes();
        if (image.size() >= PngSignature.size() && std::equal(PngSignature.begin(), PngSignature.end(), image.begin())) {
            if (const std::optional<PictureSize> size = PngHeaderSize(image)) {
                sizes.push_back(*size);
                continue;
            }
        } else if (image.size() >= bmpInfoSize && LittleEndian(&image[0], 4) >= 40) {
            const std::int64_t height = std::int32_t(LittleEndian(&image[8], 4));
            sizes.push_back({LittleEndian(&image[4], 4), std::uint64_t(height < 0 ? -height : height) / 2});
            continue;
        }
        sizes.push_back({bytes[entry] == 0 ? 256u : bytes[entry], bytes[entry + 1] == 0 ? 256u : bytes[entry + 1]});
    }
    return sizes;
}

std::optional<PictureSize> TgaHeaderSize(std::span<const std::uint8_t> tga)
{
    constexpr std::size_t headerSize = 18;
    if (tga.size() < headerSize)
        return std::nullopt;
    const std::uint8_t colourMapType = tga[1];
    const std::uint8_t imageType = tga[2];
    const std::uint8_t depth = tga[16];
    const bool mapped = imageType == 1 || imageType == 9;
    const bool knownType = mapped || imageType == 2 || imageType == 3 || imageType == 10 || imageType == 11;
    const bool knownDepth = depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
    const PictureSize size{LittleEndian(&tga[12], 2), LittleEndian(&tga[14], 2)};
    if (colourMapType > 1 || (mapped && colourMapType != 1) || !knownType || !knownDepth || size.width == 0 || size.height == 0)
        return std::nullopt;
    return size;
}

std::optional<BmpHeader> ReadBmpHeader(std::span<const std::uint8_t> bmp)
{
    constexpr std::size_t fileHeaderSize = 14;
    if (bmp.size() < BmpHeaderStartBytes)
        return std::nullopt;
    BmpHeader header;
    header.pixelsAt = LittleEndian(&bmp[10], 4);
    const std::uint32_t infoSize = LittleEndian(&bmp[14], 4);
    if (infoSize == 12) {
        header.width = LittleEndian(&bmp[18], 2);
        header.height = LittleEndian(&bmp[20], 2);
        header.bitsPerPixel = LittleEndian(&bmp[24], 2);
        return header;
    }
    if (infoSize < 40 || bmp.size() < fileHeaderSize + 40)
        return std::nullopt;
    header.width = std::int32_t(LittleEndian(&bmp[18], 4));
    header.height = std::int32_t(LittleEndian(&bmp[22], 4));
    header.bitsPerPixel = LittleEndian(&bmp[28], 2);
    header.compression = LittleEndian(&bmp[30], 4);
    return header;
}

std::optional<PictureSize> ProbePictureSize(std::span<const std::uint8_t> start)
{
    if (StartsWith(start, "\xFF\xD8\xFF"))
        return JpegFrameSize(start);
    if (StartsWith(start, "\x89PNG\r\n\x1A\n"))
        return PngHeaderSize(start);
    if (StartsWith(start, "GIF87a") || StartsWith(start, "GIF89a"))
        return ProbeGif(start);
    if (StartsWith(start, "BM"))
        return ProbeBmp(start);
    if (LooksLikeAvif(start))
        return AvifImageSize(start);
    if (LooksLikeJxl(start))
        return JxlImageSize(start);
    if (const std::optional<PictureSize> icon = Largest(IconPictureSizes(start)))
        return icon;
    // Before Qt's look, which takes a TGA for a cursor; no format Qt reads
    // starts with a header that makes sense as a TGA's.
    if (const std::optional<PictureSize> tga = TgaHeaderSize(start))
        return tga;
    return ProbeWithQt(start);
}

} // namespace tollamere
