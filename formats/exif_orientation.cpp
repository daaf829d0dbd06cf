// SPDX-License-Identifier: MIT
#include "exif_orientation.h"

#include "byte_order.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace tollamere {
namespace {

constexpr std::uint8_t ExifSignature[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr std::uint32_t OrientationTag = 0x0112;
constexpr std::uint32_t ShortType = 3;

// Where the orientation's value lies in the block, and its byte order.
struct OrientationField {
    std::size_t at = 0;
    bool bigEndian = false;
};

std::optional<OrientationField> FindOrientation(std::span<const std::uint8_t> exif) noexcept
{
    constexpr std::size_t tiffAt = sizeof ExifSignature;
    if (exif.size() < tiffAt + 8 || !std::equal(std::begin(ExifSignature), std::end(ExifSignature), exif.begin()))
        return std::nullopt;
    const std::span<const std::uint8_t> tiff = exif.subspan(tiffAt);
    const bool bigEndian = tiff[0] == 'M' && tiff[1] == 'M';
    if (!bigEndian && !(tiff[0] == 'I' && tiff[1] == 'I'))
        return std::nullopt;
    const auto read = [&](std::size_t at, std::size_t count) {
        return bigEndian ? BigEndian(tiff.data() + at, count) : LittleEndian(tiff.data() + at, count);
    };
    if (read(2, 2) != 42)
        return std::nullopt;
    const std::uint64_t directory = read(4, 4);
    if (directory + 2 > tiff.size())
        return std::nullopt;
    const std::uint64_t entries = read(std::size_t(directory), 2);
    for (std::uint64_t entry = 0; entry < entries; ++entry) {
        const std::uint64_t at = directory + 2 + entry * 12;
        if (at + 12 > tiff.size())
            return std::nullopt;
        if (read(std::size_t(at), 2) != OrientationTag)
            continue;
        if (read(std::size_t(at + 2), 2) != ShortType || read(std::size_t(at + 4), 4) != 1)
            return std::nullopt;
        return OrientationField{tiffAt + std::size_t(at + 8), bigEndian};
    }
    return std::nullopt;
}

} // namespace

int ExifOrientation(std::span<const std::uint8_t> exif) noexcept
{
    const std::optional<OrientationField> field = FindOrientation(exif);
    if (!field)
        return 1;
    const std::uint32_t value =
        field->bigEndian ? BigEndian(exif.data() + field->at, 2) : LittleEndian(exif.data() + field->at, 2);
    return value >= 1 && value <= 8 ? int(value) : 1;
}

void MarkExifUpright(std::span<std::uint8_t> exif) noexcept
{
    if (const std::optional<OrientationField> field = FindOrientation(exif)) {
        if (field->bigEndian)
            PutBigEndian(exif.data() + field->at, 1, 2);
        else
            PutLittleEndian(exif.data() + field->at, 1, 2);
    }
}

} // namespace tollamere
