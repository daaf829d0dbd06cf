// SPDX-License-Identifier: MIT
#pragma once

#include "picture_codec.h"
#include "picture_size.h"
#include "pixel_layout.h"

#include <span>

namespace tollamere {

bool LooksLikeJpeg(std::span<const std::uint8_t> bytes) noexcept;

// What a JPEG's headers say, read before any pixel memory is taken.
struct JpegHeader {
    std::int32_t width = 0;
    std::int32_t height = 0;
    // CMYK or YCCK: DecodeJpeg turns the inks into colours itself.
    bool inks = false;
    PictureMetadata metadata;
};

// Reads the headers of a baseline or progressive JPEG (grey, YCbCr, RGB,
// CMYK or YCCK) and checks that the stream is complete: a truncated one is
// an Invalid picture (481). A frame of more than maxPixels raises
// PictureBeyondAllowance.
JpegHeader ReadJpegHeader(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels = MaxPicturePixels);

// Decodes the JPEG those headers are from into the caller's memory, laid out
// at the header's size in either order (ArgbWords with alpha 0xFF, or
// BgrBytes), top-down or bottom-up. Damaged entropy data is an Invalid
// picture (481); only warnings about metadata are tolerated. Memory laid out
// at another size, or rows shorter than a pixel row, raise Invalid procedure
// call (5).
void DecodeJpeg(std::span<const std::uint8_t> bytes, const JpegHeader& header, const PixelLayout& into);

// The two steps into a picture file, whose pixel memory is reused when large
// enough and sized only after the maxPixels check.
void DecodeJpeg(std::span<const std::uint8_t> bytes, PictureFile& into, std::uint64_t maxPixels = MaxPicturePixels);
// The second step alone into a picture file, for a caller that read the
// headers already; the metadata moves from the header into the file.
void DecodeJpeg(std::span<const std::uint8_t> bytes, JpegHeader&& header, PictureFile& into);

// The size the first frame header declares, from the start of a JPEG file;
// nothing when the bytes end before it or are no JPEG.
std::optional<PictureSize> JpegFrameSize(std::span<const std::uint8_t> start);

// Encodes the colours of pixels in either layout (alpha is dropped) at the
// quality clamped to 0..100, with every component sampled 1x1 unless
// JpegSubsamplesChroma says 4:2:0, and with the metadata's resolution,
// colour profile and EXIF block. The same pixels give the same bytes
// whatever their layout.
EncodedBytes EncodeJpeg(const ConstPixelLayout& pixels, int quality, const PictureMetadata& metadata = {});

} // namespace tollamere
