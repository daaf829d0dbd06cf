// SPDX-License-Identifier: MIT
#include "format_registry.h"
#include "jxl_codec.h"

namespace tollamere {
namespace {

constexpr std::string_view Extensions[] = {"jxl"};

} // namespace

// Its encoder takes far more than the others while it works.
extern constinit const FileFormat JxlFormat{
    .name = "JPEG XL",
    .extensions = Extensions,
    .looksLike = LooksLikeJxl,
    .headerSize = JxlImageSize,
    .decode = DecodeInto<DecodeJxl>,
    .encode = EncodeJxl,
    .keepsAlpha = true,
    .largestProfile = LargeProfileBytes,
    .metadata = CarriesProfile,
    .peakBytesPerPixel = 102,
    .listedAt = 10,
    .mimeType = "image/jxl",
    .offeredAt = 5,
};

} // namespace tollamere
