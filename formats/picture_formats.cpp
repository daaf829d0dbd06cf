// SPDX-License-Identifier: MIT
#include "picture_formats.h"

#include "path_text.h"
#include "qt_codec.h"

#include <algorithm>
#include <iterator>

namespace tollamere {
namespace {

struct FormatRow {
    std::string_view extension;
    Encoder encoder;
    OutputRoute route;
};

// Only "jpg" takes the JPEG writer's route; the other JPEG extensions are
// written in their own format, which is JPEG all the same.
constexpr FormatRow FormatRows[] = {
    {"jpg", Encoder::Jpeg, OutputRoute::JpegWriter},
    {"jpeg", Encoder::Jpeg, OutputRoute::OwnFormat},
    {"jpe", Encoder::Jpeg, OutputRoute::OwnFormat},
    {"jfif", Encoder::Jpeg, OutputRoute::OwnFormat},
    {"png", Encoder::Png, OutputRoute::OwnFormat},
    {"bmp", Encoder::Bmp, OutputRoute::Bitmap},
    {"gif", Encoder::Gif, OutputRoute::OwnFormat},
    {"ico", Encoder::Icon, OutputRoute::OwnFormat},
    {"cur", Encoder::Cursor, OutputRoute::OwnFormat},
    {"avif", Encoder::Avif, OutputRoute::OwnFormat},
    {"jxl", Encoder::JpegXl, OutputRoute::OwnFormat},
};

// PNG: Pillow unpacks at most 1 MiB of an iCCP chunk and refuses the whole
// file beyond it; libpng stops at 8,000,000 bytes, so 1 MiB is what the
// common readers all take.
constexpr std::size_t PngProfileBytes = 1u << 20;
// JPEG: 255 APP2 segments (what their chunk numbers count) of 65,519 bytes.
// The readers of WebP, TIFF, AVIF and JPEG XL take a profile of any size
// their containers hold; no real profile comes near this limit, and libjxl
// takes minutes to compress one of 64 MiB, so it serves them too.
constexpr std::size_t JpegProfileBytes = 255u * 65'519u;

struct ProfileRow {
    Encoder encoder;
    std::string_view qtName;  // for Encoder::Qt; empty matches every other Qt writer
    std::size_t largest;
};

// The first row that matches a format gives its largest profile.
constexpr ProfileRow ProfileRows[] = {
    {Encoder::Jpeg, {}, JpegProfileBytes},
    {Encoder::Png, {}, PngProfileBytes},
    {Encoder::Avif, {}, JpegProfileBytes},
    {Encoder::JpegXl, {}, JpegProfileBytes},
    {Encoder::Qt, "webp", JpegProfileBytes},
    {Encoder::Qt, "tif", JpegProfileBytes},
    {Encoder::Qt, "tiff", JpegProfileBytes},
    // Qt's other writers (PPM, XPM, ...) write no profile; one from a plugin
    // that does gets what every reader takes.
    {Encoder::Qt, {}, PngProfileBytes},
    // BMP, GIF, icons and cursors hold none.
    {Encoder::Bmp, {}, 0},
    {Encoder::Gif, {}, 0},
    {Encoder::Icon, {}, 0},
    {Encoder::Cursor, {}, 0},
};

} // namespace

std::optional<PictureFormat> FormatForExtension(std::string_view extension)
{
    const std::string name = LowerCaseAscii(extension);
    for (const FormatRow& row : FormatRows)
        if (row.extension == name)
            return PictureFormat{row.encoder, row.route, {}};
    // Every other format Qt writes (PNG, TIFF, WebP, ...).
    if (!name.empty() && QtCanWrite(name))
        return PictureFormat{Encoder::Qt, OutputRoute::OwnFormat, name};
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
    return own != std::end(FormatRows) || (!name.empty() && QtCanRead(name));
}

std::size_t LargestProfileBytes(const PictureFormat& format) noexcept
{
    for (const ProfileRow& row : ProfileRows)
        if (row.encoder == format.encoder && (row.qtName.empty() || row.qtName == format.qtName))
            return row.largest;
    return 0;
}

} // namespace tollamere
