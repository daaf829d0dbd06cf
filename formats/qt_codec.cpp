// SPDX-License-Identifier: MIT
#include "qt_codec.h"

#include "byte_order.h"
#include "format_guards.h"
#include "picture_probe.h"

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

bool IsIconFormat(const QByteArray& format)
{
    return format == "ico" || format == "cur";
}

// Icon files hold one picture in several sizes; the largest carries the most.
// Qt's reader tells the directory's size of each, which says at most 256 and
// need not be what the entry's data holds, so the sizes are read from the
// data. Answers the size of the picture the reader now points at.
std::optional<PictureSize> JumpToLargestImage(QImageReader& reader, std::span<const std::uint8_t> bytes)
{
    std::vector<PictureSize> sizes = IconPictureSizes(bytes);
    sizes.resize(std::min(sizes.size(), std::size_t(std::max(reader.imageCount(), 0))));
    const auto largest = std::max_element(sizes.begin(), sizes.end(), [](PictureSize a, PictureSize b) { return PixelCount(a) < PixelCount(b); });
    if (largest == sizes.end() || !reader.jumpToImage(int(largest - sizes.begin())))
        return std::nullopt;
    return *largest;
}

struct QtPicture {
    QImage image;
    QByteArray format;  // the reader's name for what it found, e.g. "bmp"
};

QtPicture ReadWithQt(std::span<const std::uint8_t> bytes, const QByteArray& format, std::uint64_t maxPixels)
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
    if (IsIconFormat(found))
        declared = JumpToLargestImage(reader, bytes);
    if (const QSize size = reader.size(); !declared && size.isValid())
        declared = PictureSize{std::uint64_t(size.width()), std::uint64_t(size.height())};
    if (declared)
        CheckPictureDimensions(declared->width, declared->height, maxPixels);

    QImage image;
    if (!reader.read(&image) || image.isNull())
        RaiseInvalidPicture(found.toStdString() + " data: " + reader.errorString().toStdString());
    return {image, found};
}

// Many programs write 32-bit BMPs with the fourth byte of every pixel left at
// 0; read as alpha it would make the whole picture transparent, and so black.
bool IsUnusedBmpAlpha(const QByteArray& format, const Picture& picture) noexcept
{
    if (format != "bmp")
        return false;
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

// TGA has no signature at its start: Qt's probe takes most TGA headers for
// icons or cursors, so a file ending in the TGA 2.0 footer (the only TGA
// Qt's reader accepts) is given to the TGA reader by name.
constexpr std::string_view TgaFooterSignature("TRUEVISION-XFILE.\0", 18);

bool HasTgaFooter(std::span<const std::uint8_t> bytes)
{
    const std::string_view signature = TgaFooterSignature;
    return bytes.size() >= signature.size()
           && std::equal(signature.begin(), signature.end(), bytes.end() - std::ptrdiff_t(signature.size()),
                         [](char expected, std::uint8_t actual) { return std::uint8_t(expected) == actual; });
}

// True when a PNG holds a chunk of that type before its image data.
bool PngHasChunkBeforeData(std::span<const std::uint8_t> bytes, std::string_view type)
{
    bool found = false;
    WalkPngChunks(bytes, PngSignature.size(), [&](std::size_t, std::string_view chunk, std::uint32_t) {
        found = chunk == type;
        return !found && chunk != "IDAT";
    });
    return found;
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
// profiles too, and gives every picture as RGB. Qt also builds a colour
// space from a PNG's gamma and chromaticity chunks, which is no embedded
// profile.
std::vector<std::uint8_t> EmbeddedProfile(const QtPicture& read, std::span<const std::uint8_t> bytes)
{
    if (!read.image.colorSpace().isValid() || (read.format == "png" && !PngHasChunkBeforeData(bytes, "iCCP")))
        return {};
    const QByteArray profile = read.image.colorSpace().iccProfile();
    const auto* first = reinterpret_cast<const std::uint8_t*>(profile.constData());
    const std::span<const std::uint8_t> embedded(first, std::size_t(profile.size()));
    if (!IsRgbProfile(embedded))
        return {};
    return std::vector<std::uint8_t>(embedded.begin(), embedded.end());
}

} // namespace

void DecodeWithQt(std::span<const std::uint8_t> bytes, PictureFile& into, std::uint64_t maxPixels)
{
    RaiseQtAllocationLimitOnce();
    CheckBeforeQtDecodes(bytes);
    QtPicture read;
    try {
        read = ReadWithQt(bytes, QByteArray(), maxPixels);
    } catch (const RuntimeError& error) {
        if (error.Number() != ErrorNumber::InvalidPicture)
            throw;
        if (HasTgaFooter(bytes)) {
            read = ReadWithQt(bytes, "tga", maxPixels);
        } else if (TgaHeaderSize(bytes)) {
            // Qt reads TGA 2.0 files only. An original TGA is one without
            // the footer: with one that points at no extension area, it is
            // the same picture in the later form.
            std::vector<std::uint8_t> withFooter(bytes.begin(), bytes.end());
            withFooter.resize(withFooter.size() + 8);
            withFooter.insert(withFooter.end(), TgaFooterSignature.begin(), TgaFooterSignature.end());
            read = ReadWithQt(withFooter, "tga", maxPixels);
        } else {
            throw;
        }
    }
    QImage& image = read.image;
    CheckPictureDimensions(std::uint64_t(image.width()), std::uint64_t(image.height()), maxPixels);
    into.metadata = {};
    into.metadata.iccProfile = EmbeddedProfile(read, bytes);
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
    if (into.hasAlpha && IsUnusedBmpAlpha(read.format, picture)) {
        MakeOpaque(picture);
        into.hasAlpha = false;
    }
    if (into.hasAlpha)
        BlackenTransparentPixels(picture);
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
        // Icons and cursors have a writer of their own.
        names.erase("ico");
        names.erase("cur");
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

EncodedBytes EncodeWithQt(const Picture& picture, bool hasAlpha, const std::string& format, const SaveSettings& settings)
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
    if (format == "webp")
        writer.setQuality(settings.quality.value_or(100));  // Qt's WebP writer turns 100 into lossless
    if (format == "tif" || format == "tiff")
        writer.setCompression(1);  // LZW
    if (!writer.write(image))
        RaiseInvalidPicture("the " + format + " writer refused the picture: " + writer.errorString().toStdString());

    const auto* first = reinterpret_cast<const std::uint8_t*>(data.constData());
    return EncodedBytes(first, first + data.size());
}

} // namespace tollamere
