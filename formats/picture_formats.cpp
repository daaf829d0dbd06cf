// SPDX-License-Identifier: MIT
#include "picture_formats.h"

#include "path_text.h"
#include "qt_codec.h"

#include <algorithm>
#include <iterator>

namespace tollamere {
namespace {

// PNG: Pillow unpacks at most 1 MiB of an iCCP chunk and refuses the whole
// file beyond it; libpng stops at 8,000,000 bytes, so 1 MiB is what the
// common readers all take.
constexpr std::size_t PngProfileBytes = 1u << 20;
// JPEG: 255 APP2 segments (what their chunk numbers count) of 65,519 bytes.
// The readers of WebP, TIFF, AVIF and JPEG XL take a profile of any size
// their containers hold; no real profile comes near this limit, and libjxl
// takes minutes to compress one of 64 MiB, so it serves them too.
constexpr std::size_t JpegProfileBytes = 255u * 65'519u;

// Bytes one item may take per pixel at its peak: the file, a decoder's own
// picture, the picture it is read into (4), the surface (3), the maps (3) and
// the encoder's own memory. Measured with bench/memory.sh (ENCODERS=1): peak
// less the process's 21 MiB over the pixels, on a photo of 4000 x 3000 and of
// 4000 x 4000 and a button of 4000 x 4000 with alpha, then 10 % added. PNG,
// JPEG, TIFF and BMP measured 15.6, 15.4, 18.1 and 16.9 at most; the encoders
// that take far more while they work, JPEG XL 92.6 (the button with alpha;
// 81 for the photos), AVIF 44.5 and WebP 43.5.
constexpr std::uint64_t CommonPeak = CommonPeakBytesPerPixel;

struct FormatRow {
    std::string_view extension;
    Encoder encoder;
    OutputRoute route;
    std::string_view qtName;  // for Encoder::Qt
    std::size_t largestProfile;
    std::uint64_t peakBytesPerPixel;
};

// Only "jpg" takes the JPEG writer's route; the other JPEG extensions are
// written in their own format, which is JPEG all the same. BMP, GIF, icons
// and cursors hold no profile.
constexpr FormatRow FormatRows[] = {
    {"jpg", Encoder::Jpeg, OutputRoute::JpegWriter, {}, JpegProfileBytes, CommonPeak},
    {"jpeg", Encoder::Jpeg, OutputRoute::OwnFormat, {}, JpegProfileBytes, CommonPeak},
    {"jpe", Encoder::Jpeg, OutputRoute::OwnFormat, {}, JpegProfileBytes, CommonPeak},
    {"jfif", Encoder::Jpeg, OutputRoute::OwnFormat, {}, JpegProfileBytes, CommonPeak},
    {"png", Encoder::Png, OutputRoute::OwnFormat, {}, PngProfileBytes, CommonPeak},
    {"bmp", Encoder::Bmp, OutputRoute::Bitmap, {}, 0, CommonPeak},
    {"gif", Encoder::Gif, OutputRoute::OwnFormat, {}, 0, CommonPeak},
    {"ico", Encoder::Icon, OutputRoute::OwnFormat, {}, 0, CommonPeak},
    {"cur", Encoder::Cursor, OutputRoute::OwnFormat, {}, 0, CommonPeak},
    {"avif", Encoder::Avif, OutputRoute::OwnFormat, {}, JpegProfileBytes, 50},
    {"jxl", Encoder::JpegXl, OutputRoute::OwnFormat, {}, JpegProfileBytes, 102},
    {"webp", Encoder::Qt, OutputRoute::OwnFormat, "webp", JpegProfileBytes, 48},
    {"tif", Encoder::Qt, OutputRoute::OwnFormat, "tif", JpegProfileBytes, CommonPeak},
    {"tiff", Encoder::Qt, OutputRoute::OwnFormat, "tiff", JpegProfileBytes, CommonPeak},
};

// Qt's other writers (PPM, XPM, ...) write no profile; one from a plugin that
// does gets what every reader takes.
constexpr std::size_t OtherQtProfileBytes = PngProfileBytes;

} // namespace

std::optional<PictureFormat> FormatForExtension(std::string_view extension)
{
    const std::string name = LowerCaseAscii(extension);
    for (const FormatRow& row : FormatRows)
        if (row.extension == name && (row.encoder != Encoder::Qt || QtCanWrite(row.qtName)))
            return PictureFormat{row.encoder, row.route, std::string(row.qtName), row.largestProfile, row.peakBytesPerPixel};
    // Every other format Qt writes (PPM, XPM, ...).
    if (!name.empty() && QtCanWrite(name))
        return PictureFormat{Encoder::Qt, OutputRoute::OwnFormat, name, OtherQtProfileBytes, CommonPeak};
    return std::nullopt;
}

bool CanWritePictureExtension(std::string_view extension)
{
    return FormatForExtension(extension).has_value();
}

bool CanReadPictureExtension(std::string_view extension)
{
    const std::string name = LowerCaseAscii(extension);
    const auto own = std::find_if(std::begin(FormatRows), std::end(FormatRows), [&](const FormatRow& row) { return row.extension == name; });
    return (own != std::end(FormatRows) && own->encoder != Encoder::Qt) || (!name.empty() && QtCanRead(name));
}

} // namespace tollamere
