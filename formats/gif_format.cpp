// SPDX-License-Identifier: MIT
#include "byte_order.h"
#include "format_registry.h"
#include "gif_codec.h"

#include <algorithm>

namespace tollamere {
namespace {

// The canvas is the logical screen, grown to hold the first frame.
std::optional<PictureSize> HeaderSize(ByteSpan bytes)
{
    if (bytes.size() < 13)
        return std::nullopt;
    PictureSize size{LittleEndian(&bytes[6], 2), LittleEndian(&bytes[8], 2)};
    std::size_t at = 13;
    if (bytes[10] & 0x80)
        at += 3u << ((bytes[10] & 7) + 1);
    while (at < bytes.size() && bytes[at] == 0x21) {  // extensions: label, then sub-blocks
        at += 2;
        while (at < bytes.size() && bytes[at] != 0)
            at += 1 + bytes[at];
        ++at;
    }
    if (at + 9 <= bytes.size() && bytes[at] == 0x2C) {
        size.width = std::max<std::uint64_t>(size.width, LittleEndian(&bytes[at + 1], 2) + LittleEndian(&bytes[at + 5], 2));
        size.height = std::max<std::uint64_t>(size.height, LittleEndian(&bytes[at + 3], 2) + LittleEndian(&bytes[at + 7], 2));
    }
    return size;
}

EncodedBytes Encode(const Picture& picture, bool hasAlpha, const SaveSettings&)
{
    return EncodeGif(picture, hasAlpha);
}

constexpr std::string_view Extensions[] = {"gif"};

} // namespace

extern constinit const FileFormat GifFormat{
    .name = "GIF",
    .extensions = Extensions,
    .looksLike = LooksLikeGif,
    .headerSize = HeaderSize,
    .decode = DecodeInto<DecodeGif>,
    .encode = Encode,
    .mimeType = "image/gif",
};

} // namespace tollamere
