// SPDX-License-Identifier: MIT
#include "picture_codec.h"

#include "byte_order.h"
#include "cDIBSection.h"

#include <algorithm>
#include <string_view>

namespace tollamere {

int JpegQuality(const SaveSettings& settings)
{
    return std::clamp(settings.quality.value_or(MaxQuality), MinQuality, MaxQuality);
}

bool JpegSubsamplesChroma(int quality)
{
    return quality < 90;
}

void CheckPictureDimensions(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels)
{
    if (width == 0 || height == 0)
        RaiseInvalidPicture("picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels has no pixels");
    // A factor beyond 32 bits is refused before the products, so they cannot wrap.
    const bool withinLimit = width <= 0xFFFF'FFFFull && height <= 0xFFFF'FFFFull
                             && width * height * 4 <= MaxSurfaceBytes
                             && std::uint64_t(cDIBSection::BytesPerScanLineFor(std::int64_t(width))) * height <= MaxSurfaceBytes;
    if (!withinLimit)
        RaiseWithReason(ErrorNumber::OutOfMemory, "picture of " + std::to_string(width) + " x " + std::to_string(height)
                                                      + " pixels is beyond the " + std::to_string(MaxSurfaceBytes >> 20) + " MiB limit");
    if (PixelCount({width, height}) > maxPixels)
        throw PictureBeyondAllowance({width, height}, maxPixels);
}

PictureBeyondAllowance::PictureBeyondAllowance(PictureSize size, std::uint64_t maxPixels)
    : RuntimeError(ErrorNumber::OutOfMemory, StandardDescription(ErrorNumber::OutOfMemory) + ": picture of " + std::to_string(size.width)
                                                 + " x " + std::to_string(size.height) + " pixels is beyond the "
                                                 + std::to_string(maxPixels) + " pixels allowed for it"),
      size_(size)
{
}

void RaiseInvalidPicture(const std::string& reason)
{
    RaiseWithReason(ErrorNumber::InvalidPicture, reason);
}

void CheckPictureFitsFormat(const Picture& picture, std::int32_t largestSide, const std::string& formatName)
{
    if (!picture.HasBitmap())
        RaiseInvalidPicture("the picture has no pixels to save");
    if (picture.Width() > largestSide || picture.Height() > largestSide)
        RaiseInvalidPicture(formatName + " holds at most " + std::to_string(largestSide) + " x " + std::to_string(largestSide)
                            + " pixels; this picture has " + std::to_string(picture.Width()) + " x "
                            + std::to_string(picture.Height()));
}

bool IsRgbProfile(std::span<const std::uint8_t> profile) noexcept
{
    // The header is 128 bytes: the profile's size at byte 0, the data colour
    // space at 16 and the file signature "acsp" at 36.
    constexpr std::size_t headerBytes = 128;
    const auto holds = [&](std::size_t at, std::string_view text) {
        return std::equal(text.begin(), text.end(), profile.begin() + std::ptrdiff_t(at),
                          [](char expected, std::uint8_t actual) { return std::uint8_t(expected) == actual; });
    };
    return profile.size() >= headerBytes && BigEndian(profile.data(), 4) == profile.size() && holds(16, "RGB ") && holds(36, "acsp");
}

std::uint8_t* KeptBytes::Reserve(std::size_t size)
{
    if (capacity_ < size || capacity_ / 2 > size) {
        data_.reset();
        capacity_ = 0;
        data_ = std::make_unique_for_overwrite<std::uint8_t[]>(size);
        capacity_ = size;
    }
    return data_.get();
}

void KeptBytes::ReleaseIfLarge() noexcept
{
    if (capacity_ > (64u << 20)) {
        data_.reset();
        capacity_ = 0;
    }
}

void BlackenTransparentPixels(Picture& picture) noexcept
{
    for (std::int32_t y = 0; y < picture.Height(); ++y) {
        std::uint32_t* row = picture.Row(y);
        for (std::int32_t x = 0; x < picture.Width(); ++x)
            if ((row[x] >> 24) == 0)
                row[x] = 0;
    }
}

} // namespace tollamere
