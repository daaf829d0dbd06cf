// SPDX-License-Identifier: MIT
#include "byte_order.h"
#include "format_registry.h"
#include "icon_format.h"
#include "icon_writer.h"
#include "png_format.h"

#include <algorithm>
#include <vector>

namespace tollamere {
namespace {

// An icon or cursor file: a directory (reserved 0, its kind, the count of
// entries of 16 bytes), then each entry's picture, a bitmap or a whole PNG.
constexpr std::size_t EntriesAt = 6;
constexpr std::size_t EntrySize = 16;

bool HasDirectory(ByteSpan bytes, IconKind kind)
{
    return bytes.size() >= EntriesAt && LittleEndian(&bytes[0], 2) == 0 && LittleEndian(&bytes[2], 2) == std::uint32_t(kind)
           && LittleEndian(&bytes[4], 2) > 0;
}

bool LooksLikeIcon(ByteSpan bytes)
{
    return HasDirectory(bytes, IconKind::Icon);
}

bool LooksLikeCursor(ByteSpan bytes)
{
    return HasDirectory(bytes, IconKind::Cursor);
}

// The size of each picture, in directory order, as its data says: a PNG's
// header, or a bitmap's info header (whose height counts the mask too). The
// directory's sizes say at most 256 and need not be true; they stand only
// for data beyond the bytes given, and entries beyond them are left out.
// Empty when the bytes are no icon or cursor.
std::vector<PictureSize> PictureSizes(ByteSpan bytes)
{
    constexpr std::size_t bmpInfoSize = 12;  // the info header's size, width and height
    if (bytes.size() < EntriesAt || LittleEndian(&bytes[0], 2) != 0)
        return {};
    if (const std::uint32_t kind = LittleEndian(&bytes[2], 2); kind != 1 && kind != 2)
        return {};
    const std::uint32_t count = LittleEndian(&bytes[4], 2);
    std::vector<PictureSize> sizes;
    // Entries beyond the bytes are left out: the loader, which sees them
    // all, tells a larger one when it finds it.
    for (std::size_t i = 0; i < count && EntriesAt + (i + 1) * EntrySize <= bytes.size(); ++i) {
        const std::size_t entry = EntriesAt + i * EntrySize;
        // A directory entry's reserved byte is 0; anything else is no icon.
        if (bytes[entry + 3] != 0)
            return {};
        const std::size_t imageAt = LittleEndian(&bytes[entry + 12], 4);
        const ByteSpan image = imageAt < bytes.size() ? bytes.subspan(imageAt) : ByteSpan();
        if (LooksLikePng(image)) {
            if (const std::optional<PictureSize> size = PngHeaderSize(image)) {
                sizes.push_back(*size);
                continue;
            }
        } else if (image.size() >= bmpInfoSize && LittleEndian(&image[0], 4) >= 40) {
            const std::int64_t height = std::int32_t(LittleEndian(&image[8], 4));
            sizes.push_back({LittleEndian(&image[4], 4), std::uint64_t(height < 0 ? -height : height) / 2});
            continue;
        }
        sizes.push_back({bytes[entry] == 0 ? 256u : bytes[entry], bytes[entry + 1] == 0 ? 256u : bytes[entry + 1]});
    }
    return sizes;
}

// Its largest picture, which the loader reads.
std::optional<PictureSize> HeaderSize(ByteSpan bytes)
{
    const std::vector<PictureSize> sizes = PictureSizes(bytes);
    if (sizes.empty())
        return std::nullopt;
    return *std::max_element(sizes.begin(), sizes.end(), [](PictureSize a, PictureSize b) { return PixelCount(a) < PixelCount(b); });
}

// Qt hands an entry that is a whole PNG file to its PNG reader.
void CheckPngsInIcon(ByteSpan bytes)
{
    const std::uint32_t count = LittleEndian(&bytes[4], 2);
    std::vector<bool> walked(bytes.size());  // entries may point into one another's data
    for (std::size_t i = 0; i < count && EntriesAt + (i + 1) * EntrySize <= bytes.size(); ++i) {
        const std::uint32_t imageAt = LittleEndian(&bytes[EntriesAt + i * EntrySize + 12], 4);
        if (imageAt < bytes.size())
            CheckPngAt(bytes, imageAt, &walked);
    }
}

EncodedBytes EncodeIconFile(const Picture& picture, bool hasAlpha, const SaveSettings&)
{
    return EncodeIcon(picture, hasAlpha, IconKind::Icon);
}

EncodedBytes EncodeCursorFile(const Picture& picture, bool hasAlpha, const SaveSettings&)
{
    return EncodeIcon(picture, hasAlpha, IconKind::Cursor);
}

EncodedBytes EncodeIconSizes(std::span<const Picture> pictures, bool hasAlpha, const SaveSettings&)
{
    return EncodeIconSet(pictures, hasAlpha, IconKind::Icon);
}

EncodedBytes EncodeCursorSizes(std::span<const Picture> pictures, bool hasAlpha, const SaveSettings&)
{
    return EncodeIconSet(pictures, hasAlpha, IconKind::Cursor);
}

constexpr std::string_view IconExtensions[] = {"ico"};
constexpr std::string_view CursorExtensions[] = {"cur"};
// Qt's reader takes either for the other's.
constexpr std::string_view QtNames[] = {"ico", "cur"};

} // namespace

// An entry's bytes 4-5 and 6-7 are a cursor's hotspot.
std::optional<CursorHotspot> CursorFileHotspot(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < EntriesAt + EntrySize || !LooksLikeCursor(bytes))
        return std::nullopt;
    return CursorHotspot{LittleEndian(&bytes[EntriesAt + 4], 2), LittleEndian(&bytes[EntriesAt + 6], 2)};
}

// Read by Qt, the largest picture of the file; written here. Neither holds
// a profile. A TGA may start like a cursor, so the test is a weak one.
extern constinit const FileFormat IcoFormat{
    .name = "ICO",
    .extensions = IconExtensions,
    .looksLike = LooksLikeIcon,
    .weakTest = true,
    .headerSize = HeaderSize,
    .guard = CheckPngsInIcon,
    .qtReading = {.formats = QtNames, .pictureSizes = PictureSizes},
    .encode = EncodeIconFile,
    .encodeSizes = EncodeIconSizes,
    .keepsAlpha = true,
    .mimeType = "image/vnd.microsoft.icon",
};

extern constinit const FileFormat CurFormat{
    .name = "CUR",
    .extensions = CursorExtensions,
    .looksLike = LooksLikeCursor,
    .weakTest = true,
    .headerSize = HeaderSize,
    .guard = CheckPngsInIcon,
    .qtReading = {.formats = QtNames, .pictureSizes = PictureSizes},
    .encode = EncodeCursorFile,
    .encodeSizes = EncodeCursorSizes,
    .keepsAlpha = true,
    .mimeType = "image/x-win-bitmap",
};

} // namespace tollamere
