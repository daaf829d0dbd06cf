// SPDX-License-Identifier: MIT
#include "format_registry.h"
#include "jpeg_codec.h"

namespace tollamere {
namespace {

bool Decode(ByteSpan bytes, PictureFile& into, std::uint64_t maxPixels)
{
    DecodeJpeg(bytes, into, maxPixels);
    return true;
}

EncodedBytes Encode(const Picture& picture, bool, const SaveSettings& settings)
{
    return EncodeJpeg(picture.Layout(), JpegQuality(settings), settings.metadata);
}

constexpr std::string_view Extensions[] = {"jpg", "jpeg", "jpe", "jfif"};

} // namespace

// Only "jpg" takes the JPEG writer's route; the other extensions are written
// in their own format, which is JPEG all the same.
extern constinit const FileFormat JpegFormat{
    .name = "JPEG",
    .extensions = Extensions,
    .looksLike = LooksLikeJpeg,
    .headerSize = JpegFrameSize,
    .decode = Decode,
    .encode = Encode,
    .surfaceWriter = true,
    .preferredRoute = OutputRoute::JpegWriter,
    .lossless = false,
    .largestProfile = LargeProfileBytes,
    .metadata = CarriesProfile | CarriesResolution | CarriesExif,
    .listedExtensions = 2,
    .listedName = "JPG",
    .mimeType = "image/jpeg",
};

} // namespace tollamere
