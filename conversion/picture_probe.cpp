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
    return ProbeWithQt(start);
}

} // namespace tollamere
