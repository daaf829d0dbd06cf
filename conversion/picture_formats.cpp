// SPDX-License-Identifier: MIT
#include "picture_formats.h"

#include "path_text.h"
#include "qt_codec.h"

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

} // namespace tollamere
