// SPDX-License-Identifier: MIT
#include "picture_files.h"

#include "path_text.h"
#include "avif_codec.h"
#include "bmp_writer.h"
#include "file_io.h"
#include "format_guards.h"
#include "gif_codec.h"
#include "icon_writer.h"
#include "jpeg_codec.h"
#include "jxl_codec.h"
#include "picture_formats.h"
#include "png_codec.h"
#include "qt_codec.h"

#include <algorithm>
#include <new>
#include <optional>

namespace tollamere {
namespace {

bool FormatCarriesProfile(const PictureFormat& format, std::span<const std::uint8_t> profile) noexcept
{
    return profile.size() <= format.largestProfile && IsRgbProfile(profile);
}

// The settings without the profile when the format cannot carry it: the
// picture is written all the same.
template <typename Encoding>
EncodedBytes WithProfileThatFits(const PictureFormat& format, const SaveSettings& settings, const Encoding& encode)
{
    if (settings.metadata.iccProfile.empty() || FormatCarriesProfile(format, settings.metadata.iccProfile))
        return encode(settings);
    SaveSettings withoutProfile = settings;
    withoutProfile.metadata.iccProfile.clear();
    return encode(withoutProfile);
}

EncodedBytes Encode(const Picture& picture, bool hasAlpha, const PictureFormat& format, const SaveSettings& settings)
{
    switch (format.encoder) {
    case Encoder::Jpeg: return EncodeJpeg(picture.Layout(), JpegQuality(settings), settings.metadata);
    case Encoder::Png: return EncodePng(picture, hasAlpha, settings);
    case Encoder::Bmp: return EncodeBmp24(picture);
    case Encoder::Gif: return EncodeGif(picture, hasAlpha);
    case Encoder::Icon: return EncodeIcon(picture, hasAlpha, IconKind::Icon);
    case Encoder::Cursor: return EncodeIcon(picture, hasAlpha, IconKind::Cursor);
    case Encoder::Avif: return EncodeAvif(picture, hasAlpha, settings);
    case Encoder::JpegXl: return EncodeJxl(picture, hasAlpha, settings);
    case Encoder::Qt: return EncodeWithQt(picture, hasAlpha, format.qtName, settings);
    }
    return {};
}

} // namespace

void LoadPictureFromBytes(std::span<const std::uint8_t> bytes, PictureFile& into, std::uint64_t maxPixels)
{
    if (bytes.empty())
        RaiseWithReason(ErrorNumber::InvalidPicture, "the file is empty");
    try {
        if (LooksLikeJpeg(bytes)) {
            DecodeJpeg(bytes, into, maxPixels);
        } else if (LooksLikeGif(bytes)) {
            into = DecodeGif(bytes, maxPixels);
        } else if (LooksLikeAvif(bytes)) {
            into = DecodeAvif(bytes, maxPixels);
        } else if (LooksLikeJxl(bytes)) {
            into = DecodeJxl(bytes, maxPixels);
        } else {
            // The guards hold for a PNG whichever reader takes it.
            CheckBeforeQtDecodes(bytes);
            if (!DecodePng(bytes, into, maxPixels))
                DecodeWithQt(bytes, into, maxPixels);
        }
    } catch (const std::bad_alloc&) {
        RaiseWithReason(ErrorNumber::OutOfMemory, "no memory to decode the picture");
    }
}

PictureFile LoadPictureFromBytes(std::span<const std::uint8_t> bytes)
{
    PictureFile file;
    LoadPictureFromBytes(bytes, file);
    return file;
}

PictureFile LoadPictureFile(const std::filesystem::path& path)
{
    const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    return LoadPictureFromBytes(bytes);
}

EncodedBytes EncodePictureFile(const ConstPixelLayout& pixels, const std::filesystem::path& path, const SaveSettings& settings)
{
    const std::optional<PictureFormat> format = FormatForExtension(FileExtension(path.native()).value_or(""));
    if (!format || format->encoder != Encoder::Jpeg)
        RaiseWithReason(ErrorNumber::InvalidProcedureCall, "only JPEG files are written from pixels outside a picture");
    try {
        return WithProfileThatFits(*format, settings, [&](const SaveSettings& fitted) {
            return EncodeJpeg(pixels, JpegQuality(fitted), fitted.metadata);
        });
    } catch (const std::bad_alloc&) {
        RaiseWithReason(ErrorNumber::OutOfMemory, "no memory to encode the picture");
    }
}

EncodedBytes EncodePictureFile(const Picture& picture, bool hasAlpha, const std::filesystem::path& path, const SaveSettings& settings)
{
    const std::optional<std::string> extension = FileExtension(path.native());
    const std::optional<PictureFormat> format = FormatForExtension(extension.value_or(""));
    if (!format)
        RaiseWithReason(ErrorNumber::InvalidProcedureCall,
                        !extension ? "the file name " + Printable(path.filename().native()) + " has no extension to choose a format"
                                   : "no picture format is known for the extension \"" + Printable(*extension) + "\"");
    try {
        return WithProfileThatFits(*format, settings, [&](const SaveSettings& fitted) { return Encode(picture, hasAlpha, *format, fitted); });
    } catch (const std::bad_alloc&) {
        RaiseWithReason(ErrorNumber::OutOfMemory, "no memory to encode the picture");
    }
}

void SavePictureFile(const Picture& picture, bool hasAlpha, const std::filesystem::path& path, const SaveSettings& settings)
{
    WriteFileReplacing(path, EncodePictureFile(picture, hasAlpha, path, settings));
}

} // namespace tollamere
