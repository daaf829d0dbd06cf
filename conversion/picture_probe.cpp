// SPDX-License-Identifier: MIT
#include "picture_probe.h"

#include "byte_order.h"
#include "jpeg_codec.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <cstring>

namespace tollamere {
namespace {

using Bytes = std::span<const std::uint8_t>;

bool StartsWith(Bytes bytes, std::string_view signature)
{
    return bytes.size() >= signature.size() && std::memcmp(bytes.data(), signature.data(), signature.size()) == 0;
}

std::optional<PictureSize> ProbePng(Bytes bytes)
{
    if (bytes.size() < 24 || std::memcmp(&bytes[12], "IHDR", 4) != 0)
        return std::nullopt;
    return PictureSize{BigEndian(&bytes[16], 4), BigEndian(&bytes[20], 4)};
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
    if (bytes.size() < 26)
        return std::nullopt;
    if (LittleEndian(&bytes[14], 4) == 12)
        return PictureSize{LittleEndian(&bytes[18], 2), LittleEndian(&bytes[20], 2)};
    const auto width = std::int32_t(LittleEndian(&bytes[18], 4));
    const auto height = std::int32_t(LittleEndian(&bytes[22], 4));  // negative for rows stored top-down
    return PictureSize{std::uint64_t(width < 0 ? 0 : width), std::uint64_t(height < 0 ? -std::int64_t(height) : height)};
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

std::optional<PictureSize> ProbePictureSize(std::span<const std::uint8_t> start)
{
    if (StartsWith(start, "\xFF\xD8\xFF"))
        return JpegFrameSize(start);
    if (StartsWith(start, "\x89PNG\r\n\x1A\n"))
        return ProbePng(start);
    if (StartsWith(start, "GIF87a") || StartsWith(start, "GIF89a"))
        return ProbeGif(start);
    if (StartsWith(start, "BM"))
        return ProbeBmp(start);
    return ProbeWithQt(start);
}

} // namespace tollamere
