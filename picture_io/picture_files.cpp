// SPDX-License-Identifier: MIT
#include "picture_files.h"

#include "cDIBSection.h"
#include "colour_profile.h"
#include "exif_orientation.h"

#include "path_text.h"
#include "file_io.h"
#include "jpeg_codec.h"
#include "format_registry.h"

#include <algorithm>
#include <new>
#include <optional>
#include <utility>

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

} // namespace

void LoadPictureFromBytes(std::span<const std::uint8_t> bytes, PictureFile& into, std::uint64_t maxPixels)
{
    if (bytes.empty())
        RaiseWithReason(ErrorNumber::InvalidPicture, "the file is empty");
    try {
        DecodePictureBytes(bytes, into, maxPixels);
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

bool LoadJpegOntoSurface(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels, bool autoOrient,
                         BevelWorkspace& space, PictureFile& into)
{
    JpegHeader header = ReadJpegHeader(bytes, maxPixels);
    if (header.inks || (autoOrient && ExifOrientation(header.metadata.exif) != 1)) {
        DecodeJpeg(bytes, std::move(header), into);
        return false;
    }
    DecodeJpeg(bytes, header, space.SurfaceFor(header.width, header.height).Layout());
    into.metadata = std::move(header.metadata);
    return true;
}

void TurnPictureUpright(PictureFile& file)
{
    const int orientation = ExifOrientation(file.metadata.exif);
    if (orientation == 1)
        return;
    TurnUpright(file.picture, orientation);
    MarkExifUpright(file.metadata.exif);
    // The resolution goes with the sides it was stated for.
    if (orientation >= 5)
        std::swap(file.metadata.dotsPerMetreX, file.metadata.dotsPerMetreY);
}

PictureFile LoadPictureFile(const std::filesystem::path& path)
{
    const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    return LoadPictureFromBytes(bytes);
}

EncodedBytes EncodePictureFile(const ConstPixelLayout& pixels, const PictureFormat& format, const SaveSettings& settings)
{
    if (format.encoder != Encoder::Jpeg)
        RaiseWithReason(ErrorNumber::InvalidProcedureCall, "only JPEG files are written from pixels outside a picture");
    try {
        return WithProfileThatFits(format, settings, [&](const SaveSettings& fitted) {
            return EncodeJpeg(pixels, JpegQuality(fitted), fitted.metadata);
        });
    } catch (const std::bad_alloc&) {
        RaiseWithReason(ErrorNumber::OutOfMemory, "no memory to encode the picture");
    }
}

EncodedBytes EncodePictureFile(const ConstPixelLayout& pixels, const std::filesystem::path& path, const SaveSettings& settings)
{
    const std::optional<PictureFormat> format = FormatForExtension(FileExtension(path.native()).value_or(""));
    if (!format)
        RaiseWithReason(ErrorNumber::InvalidProcedureCall, "only JPEG files are written from pixels outside a picture");
    return EncodePictureFile(pixels, *format, settings);
}

EncodedBytes EncodePictureFile(const Picture& picture, bool hasAlpha, const PictureFormat& format, const SaveSettings& settings)
{
    try {
        // A profile the format has no place for is left out; the colours it
        // gave are kept by converting them to sRGB, which readers assume.
        const std::vector<std::uint8_t>& profile = settings.metadata.iccProfile;
        if (!profile.empty() && !FormatCarriesProfile(format, profile) && IsRgbProfile(profile)) {
            Picture converted = picture;
            if (ConvertToSrgb(converted, profile)) {
                SaveSettings withoutProfile = settings;
                withoutProfile.metadata.iccProfile.clear();
                return EncodePicture(format, converted, hasAlpha, withoutProfile);
            }
        }
        return WithProfileThatFits(format, settings, [&](const SaveSettings& fitted) { return EncodePicture(format, picture, hasAlpha, fitted); });
    } catch (const std::bad_alloc&) {
        RaiseWithReason(ErrorNumber::OutOfMemory, "no memory to encode the picture");
    }
}

EncodedBytes EncodePictureSizes(std::vector<Picture>& pictures, bool hasAlpha, const PictureFormat& format, const SaveSettings& settings)
{
    if (format.format == nullptr || format.format->encodeSizes == nullptr)
        RaiseWithReason(ErrorNumber::InvalidProcedureCall, "the format holds one picture only");
    try {
        // Icons hold no profile: each size is converted to sRGB as a single
        // picture would be.
        const std::vector<std::uint8_t>& profile = settings.metadata.iccProfile;
        if (!profile.empty() && !FormatCarriesProfile(format, profile) && IsRgbProfile(profile))
            for (Picture& picture : pictures)
                ConvertToSrgb(picture, profile);
        SaveSettings withoutProfile = settings;
        withoutProfile.metadata.iccProfile.clear();
        return format.format->encodeSizes(pictures, hasAlpha, withoutProfile);
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
    return EncodePictureFile(picture, hasAlpha, *format, settings);
}

void SavePictureFile(const Picture& picture, bool hasAlpha, const std::filesystem::path& path, const SaveSettings& settings)
{
    WriteFileReplacing(path, EncodePictureFile(picture, hasAlpha, path, settings));
}

} // namespace tollamere
