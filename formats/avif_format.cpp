// SPDX-License-Identifier: MIT
#include "avif_codec.h"
#include "format_registry.h"

namespace tollamere {
namespace {

constexpr std::string_view Extensions[] = {"avif"};

} // namespace

// Its encoder takes far more than the others while it works.
extern constinit const FileFormat AvifFormat{
    .name = "AVIF",
    .extensions = Extensions,
    .looksLike = LooksLikeAvif,
    .headerSize = AvifImageSize,
    .decode = DecodeInto<DecodeAvif>,
    .encode = EncodeAvif,
    .keepsAlpha = true,
    .largestProfile = LargeProfileBytes,
    .metadata = CarriesProfile,
    .peakBytesPerPixel = 50,
    .listedAt = 9,
    .mimeType = "image/avif",
    .offeredAt = 4,
};

} // namespace tollamere
