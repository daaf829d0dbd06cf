// SPDX-License-Identifier: MIT
#pragma once

#include "picture_codec.h"
#include "picture_size.h"

#include <span>

namespace tollamere {
class BevelWorkspace;
class cDIBSection;
} // namespace tollamere

namespace tollamere {

bool LooksLikeJpeg(std::span<const std::uint8_t> bytes) noexcept;

// Decodes a baseline or progressive JPEG (grey, YCbCr, RGB, CMYK or YCCK).
// A truncated stream or damaged entropy data is an Invalid picture (481);
// only warnings about metadata are tolerated.
// The picture goes into `into`, whose pixel memory is reused when large
// enough. A frame of more than maxPixels raises PictureBeyondAllowance.
void DecodeJpeg(std::span<const std::uint8_t> bytes, PictureFile& into, std::uint64_t maxPixels = MaxPicturePixels);

// Decodes straight into the workspace's surface, in its layout (blue, green,
// red, bottom-up rows), with the same checks and colours as DecodeJpeg; the
// metadata goes to metadata. false, with nothing decoded, for a CMYK or YCCK
// JPEG, which DecodeJpeg handles.
bool DecodeJpegIntoSurface(std::span<const std::uint8_t> bytes, BevelWorkspace& workspace, PictureMetadata& metadata,
                           std::uint64_t maxPixels = MaxPicturePixels);

// EncodeJpeg from a surface: the same bytes as EncodeJpeg gives for the
// picture the surface holds.
EncodedBytes EncodeJpegFromSurface(const cDIBSection& surface, int quality, const PictureMetadata& metadata = {});

// The size the first frame header declares, from the start of a JPEG file;
// nothing when the bytes end before it or are no JPEG.
std::optional<PictureSize> JpegFrameSize(std::span<const std::uint8_t> start);

// Encodes the colours (alpha is dropped) at the quality clamped to 0..100,
// with every component sampled 1x1 unless JpegSubsamplesChroma says 4:2:0,
// and with the metadata's resolution, colour profile and EXIF block.
EncodedBytes EncodeJpeg(const Picture& picture, int quality, const PictureMetadata& metadata = {});

} // namespace tollamere
