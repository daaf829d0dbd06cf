// SPDX-License-Identifier: MIT
#include "qt_codec.h"

#include "byte_order.h"
#include "picture_size.h"

#include <QBuffer>
#include <QColorSpace>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>

namespace tollamere {
namespace {

// Qt refuses pictures beyond its own allocation limit (128 MiB by default).
// Ours is checked from the header before reading; Qt's is set with room for
// readers that decode 16-bit channels, so that it only catches pictures whose
// header gave no size.
constexpr int QtAllocationLimitMiB = int(MaxSurfaceBytes >> 20) * 2;

void RaiseQtAllocationLimitOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (const int current = QImageReader::allocationLimit(); current != 0 && current < QtAllocationLimitMiB)
            QImageReader::setAllocationLimit(QtAllocationLimitMiB);
    });
}

bool HintsHold(const QtReading& reading, const QByteArray& found)
{
    return std::any_of(reading.formats.begin(), reading.formats.end(), [&](std::string_view name) { return std::string_view(found.constData(), std::size_t(found.size())) == name; });
}

// A file of several pictures (an icon's sizes) gives its largest, which
// carries the most. Qt's reader may tell other sizes than the data holds
// (an icon's directory says at most 256), so the sizes are read from the
// data. Answers the size of the picture the reader now points at.
std::optional<PictureSize> JumpToLargestImage(QImageReader& reader, std::span<const std::uint8_t> bytes, const QtReading& reading)
{
    std::vector<PictureSize> sizes = reading.pictureSizes(bytes);
    sizes.resize(std::min(sizes.size(), std::size_t(std::max(reader.imageCount(), 0))));
    const auto largest = std::max_element(sizes.begin(), sizes.end(), [](PictureSize a, PictureSize b) { return PixelCount(a) < PixelCount(b); });
    if (largest == sizes.end() || !reader.jumpToImage(int(largest - sizes.begin())))
        return std::nullopt;
    return *largest;
}

struct QtPicture {
    QImage image;
    QByteArray format;  // the reader's name for what it found
};

QtPicture ReadWithQt(std::span<const std::uint8_t> bytes, const QByteArray& format, std::uint64_t maxPixels, const QtReading& reading)
{
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoTransform(false);

    const QByteArray found = reader.format();
    if (found.isEmpty())
        RaiseInvalidPicture("not a picture in a format this program reads");
    if (found.startsWith("svg"))
        RaiseInvalidPicture("a vector drawing has no pixels");
    std::optional<PictureSize> declared;
    if (reading.pictureSizes && HintsHold(reading, found))
        declared = JumpToLargestImage(reader, bytes, reading);
    if (const QSize size = reader.size(); !declared && size.isValid())
        declared = PictureSize{std::uint64_t(size.width()), std::uint64_t(size.height())};
    if (declared)
        CheckPictureDimensions(declared->width, declared->height, maxPixels);

    QImage image;
    if (!reader.read(&image) || image.isNull())
        RaiseInvalidPicture(found.toStdString() + " data: " + reader.errorString().toStdString());
    return {image, found};
}

bool IsUnusedAlpha(const Picture& picture) noexcept
{
    for (std::int32_t y = 0; y < picture.Height(); ++y) {
        const std::uint32_t* row = picture.Row(y);
        if (std::any_of(row, row + picture.Width(), [](std::uint32_t pixel) { return (pixel >> 24) != 0; }))
            return false;
    }
    return true;
}

void MakeOpaque(Picture& picture) noexcept
{
    for (std::int32_t y = 0; y < picture.Height(); ++y) {
        std::uint32_t* row = picture.Row(y);
        std::for_each(row, row + picture.Width(), [](std::uint32_t& pixel) { pixel |= 0xFF000000u; });
    }
}

// Qt gives every image a resolution: the file's, or the screen's when the
// file states none. Only the file's is the picture's own.
bool HasOwnResolution(const QImage& image)
{
    static const QImage unstated(1, 1, QImage::Format_RGB32);
    return image.dotsPerMeterX() > 0 && image.dotsPerMeterY() > 0
           && (image.dotsPerMeterX() != unstated.dotsPerMeterX() || image.dotsPerMeterY() != unstated.dotsPerMeterY());
}

// The profile the file embeds, when it describes RGB: Qt reads grey
// profiles too, and gives every picture as RGB.
std::vector<std::uint8_t> EmbeddedProfile(const QtPicture& read, std::span<const std::uint8_t> bytes, const QtReading& reading)
{
    if (!read.image.colorSpace().isValid() || (reading.embedsProfile && HintsHold(reading, read.format) && !reading.embedsProfile(bytes)))
        return {};
    const QByteArray profile = read.image.colorSpace().iccProfile();
    const auto* first = reinterpret_cast<const std::uint8_t*>(profile.constData());
    const std::span<const std::uint8_t> embedded(first, std::size_t(profile.size()));
    if (!IsRgbProfile(embedded))
        return {};
    return std::vector<std::uint8_t>(embedded.begin(), embedded.end());
}

} // namespace

void DecodeWithQt(std::span<const std::uint8_t> bytes, PictureFile& into, std::uint64_t maxPixels, const QtReading& reading,
                  const char* format)
{
    RaiseQtAllocationLimitOnce();
    QtPicture read = ReadWithQt(bytes, QByteArray(format), maxPixels, reading);
    QImage& image = read.image;
    CheckPictureDimensions(std::uint64_t(image.width()), std::uint64_t(image.height()), maxPixels);
    into.metadata = {};
    into.metadata.iccProfile = EmbeddedProfile(read, bytes, reading);
    if (HasOwnResolution(image)) {
        into.metadata.dotsPerMetreX = std::uint32_t(image.dotsPerMeterX());
        into.metadata.dotsPerMetreY = std::uint32_t(image.dotsPerMeterY());
    }
    into.hasAlpha = image.hasAlphaChannel();
    image.convertTo(QImage::Format_ARGB32);
    if (image.isNull() || image.format() != QImage::Format_ARGB32)
        RaiseWithReason(ErrorNumber::OutOfMemory, "no memory to convert the picture");

    Picture& picture = into.picture;
    picture.Resize(image.width(), image.height());
    for (std::int32_t y = 0; y < image.height(); ++y)
        std::memcpy(picture.Row(y), image.constScanLine(y), std::size_t(image.width()) * 4);
    if (into.hasAlpha && reading.zeroAlphaIsUnused && HintsHold(reading, read.format) && IsUnusedAlpha(picture)) {
        MakeOpaque(picture);
        into.hasAlpha = false;
    }
    if (into.hasAlpha)
        BlackenTransparentPixels(picture);
}

std::optional<PictureSize> QtHeaderSize(std::span<const std::uint8_t> start)
{
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(start.data()), qsizetype(start.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid())
        return std::nullopt;
    return PictureSize{std::uint64_t(size.width()), std::uint64_t(size.height())};
}

void LoadQtImagePlugins()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QImageReader::supportedImageFormats();
        QImageWriter::supportedImageFormats();
    });
}

bool QtCanWrite(std::string_view format)
{
    static const std::set<std::string, std::less<>> writable = [] {
        std::set<std::string, std::less<>> names;
        for (const QByteArray& name : QImageWriter::supportedImageFormats())
            names.insert(name.toLower().toStdString());
        // Qt's Apple icon writer scales every picture to one of the icon
        // sizes; a file that is not the picture is not offered.
        names.erase("icns");
        return names;
    }();
    return writable.find(format) != writable.end();
}

bool QtCanRead(std::string_view format)
{
    static const std::set<std::string, std::less<>> readable = [] {
        std::set<std::string, std::less<>> names;
        for (const QByteArray& name : QImageReader::supportedImageFormats())
            if (!name.toLower().startsWith("svg"))
                names.insert(name.toLower().toStdString());
        return names;
    }();
    return readable.find(format) != readable.end();
}

EncodedBytes EncodeWithQt(const Picture& picture, bool hasAlpha, const std::string& format, const SaveSettings& settings,
                          const QtWriting& writing)
{
    if (!picture.HasBitmap())
        RaiseInvalidPicture("the picture has no pixels to save");
    QImage image(reinterpret_cast<const uchar*>(picture.Row(0)), picture.Width(), picture.Height(), qsizetype(picture.Width()) * 4,
                 hasAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    // A new image takes its resolution from the screen when there is one, so
    // the window and the command line would write different bytes: without
    // the picture's own, every writer puts in the same default.
    const PictureMetadata& metadata = settings.metadata;
    const bool ownResolution = metadata.HasResolution() && metadata.dotsPerMetreX <= INT_MAX && metadata.dotsPerMetreY <= INT_MAX;
    image.setDotsPerMeterX(int(ownResolution ? metadata.dotsPerMetreX : DefaultDotsPerMetre));
    image.setDotsPerMeterY(int(ownResolution ? metadata.dotsPerMetreY : DefaultDotsPerMetre));
    if (!metadata.iccProfile.empty()) {
        // A profile Qt cannot read is left out rather than written wrong.
        const QColorSpace space = QColorSpace::fromIccProfile(
            QByteArray(reinterpret_cast<const char*>(metadata.iccProfile.data()), qsizetype(metadata.iccProfile.size())));
        if (space.isValid())
            image.setColorSpace(space);
    }
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, QByteArray::fromStdString(format));
    if (writing.defaultQuality)
        writer.setQuality(settings.quality.value_or(*writing.defaultQuality));
    if (writing.compression)
        writer.setCompression(*writing.compression);
    if (!writer.write(image))
        RaiseInvalidPicture("the " + format + " writer refused the picture: " + writer.errorString().toStdString());

    const auto* first = reinterpret_cast<const std::uint8_t*>(data.constData());
    return EncodedBytes(first, first + data.size());
}

} // namespace tollamere
