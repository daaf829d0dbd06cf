// SPDX-License-Identifier: MIT
#include "byte_order.h"
#include "format_registry.h"

#include <algorithm>
#include <vector>

namespace tollamere {
namespace {

// The size in a TGA's header when all its fields make sense. A TGA has no
// signature at its start, and a true-colour one starts like a cursor
// ("00 00 02 00"), so Qt's look at the content takes it for one.
std::optional<PictureSize> HeaderSize(ByteSpan tga)
{
    constexpr std::size_t headerSize = 18;
    if (tga.size() < headerSize)
        return std::nullopt;
    const std::uint8_t colourMapType = tga[1];
    const std::uint8_t imageType = tga[2];
    const std::uint8_t depth = tga[16];
    const bool mapped = imageType == 1 || imageType == 9;
    const bool knownType = mapped || imageType == 2 || imageType == 3 || imageType == 10 || imageType == 11;
    const bool knownDepth = depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
    const PictureSize size{LittleEndian(&tga[12], 2), LittleEndian(&tga[14], 2)};
    if (colourMapType > 1 || (mapped && colourMapType != 1) || !knownType || !knownDepth || size.width == 0 || size.height == 0)
        return std::nullopt;
    return size;
}

bool LooksLikeTga(ByteSpan bytes)
{
    return HeaderSize(bytes).has_value();
}

// The TGA 2.0 footer, which ends the file: the only TGA Qt's reader
// accepts, and the only one it knows when told the format.
constexpr std::string_view FooterSignature("TRUEVISION-XFILE.\0", 18);

bool HasFooter(ByteSpan bytes)
{
    return bytes.size() >= FooterSignature.size()
           && std::equal(FooterSignature.begin(), FooterSignature.end(), bytes.end() - std::ptrdiff_t(FooterSignature.size()),
                         [](char expected, std::uint8_t actual) { return std::uint8_t(expected) == actual; });
}

// Qt's look at the content takes most TGA headers for icons or cursors, so
// a file Qt refused is given to its TGA reader by name.
bool ReadAfterQtRefused(ByteSpan bytes, PictureFile& into, std::uint64_t maxPixels)
{
    if (HasFooter(bytes)) {
        DecodeWithQt(bytes, into, maxPixels, {}, "tga");
        return true;
    }
    if (!HeaderSize(bytes))
        return false;
    // An original TGA is one without the footer: with one that points at no
    // extension area, it is the same picture in the later form.
    std::vector<std::uint8_t> withFooter(bytes.begin(), bytes.end());
    withFooter.resize(withFooter.size() + 8);
    withFooter.insert(withFooter.end(), FooterSignature.begin(), FooterSignature.end());
    DecodeWithQt(withFooter, into, maxPixels, {}, "tga");
    return true;
}

constexpr std::string_view Extensions[] = {"tga"};

} // namespace

// Read by Qt; written where a Qt plugin writes it, as any other format Qt
// writes. No format Qt reads starts with a header that makes sense as a
// TGA's, but an icon or cursor may.
extern constinit const FileFormat TgaFormat{
    .name = "TGA",
    .extensions = Extensions,
    .looksLike = LooksLikeTga,
    .weakTest = true,
    .headerSize = HeaderSize,
    .readAfterQtRefused = ReadAfterQtRefused,
    .writtenByQt = true,
    .largestProfile = CommonReadersProfileBytes,
    .listedAsRead = true,
    .mimeType = "image/x-tga",
};

} // namespace tollamere
