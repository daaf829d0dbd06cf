// SPDX-License-Identifier: MIT
#include "byte_order.h"
#include "cDIBSection.h"
#include "format_registry.h"

#include <algorithm>
#include <string>

namespace tollamere {
namespace {

// What a BMP's headers say of its pixels. Rows are stored top-down when the
// height is negative.
struct BmpHeader {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t compression = 0;
    std::uint32_t pixelsAt = 0;
};

// The smallest BMP the header reader looks at: the file header and the
// fields every info header starts with.
constexpr std::size_t BmpHeaderStartBytes = 30;

// Nothing when the bytes end before the info header they name, or it is of
// a size no BMP uses (neither the 12-byte core header nor 40 bytes or more).
std::optional<BmpHeader> ReadBmpHeader(std::span<const std::uint8_t> bmp)
{
    constexpr std::size_t fileHeaderSize = 14;
    if (bmp.size() < BmpHeaderStartBytes)
        return std::nullopt;
    BmpHeader header;
    header.pixelsAt = LittleEndian(&bmp[10], 4);
    const std::uint32_t infoSize = LittleEndian(&bmp[14], 4);
    if (infoSize == 12) {
        header.width = LittleEndian(&bmp[18], 2);
        header.height = LittleEndian(&bmp[20], 2);
        header.bitsPerPixel = LittleEndian(&bmp[24], 2);
        return header;
    }
    if (infoSize < 40 || bmp.size() < fileHeaderSize + 40)
        return std::nullopt;
    header.width = std::int32_t(LittleEndian(&bmp[18], 4));
    header.height = std::int32_t(LittleEndian(&bmp[22], 4));
    header.bitsPerPixel = LittleEndian(&bmp[28], 2);
    header.compression = LittleEndian(&bmp[30], 4);
    return header;
}

bool LooksLikeBmp(ByteSpan bytes)
{
    return bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
}

std::optional<PictureSize> HeaderSize(ByteSpan bytes)
{
    const std::optional<BmpHeader> header = ReadBmpHeader(bytes);
    if (!header)
        return std::nullopt;
    return PictureSize{std::uint64_t(std::max<std::int64_t>(header->width, 0)),
                       std::uint64_t(header->height < 0 ? -header->height : header->height)};
}

enum BmpCompression : std::uint32_t { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, AlphaBitFields = 6 };

// Walks run-length data to its end-of-bitmap code; Qt stops quietly where
// the data ends and leaves the rest of the picture black.
bool RunLengthDataIsComplete(std::span<const std::uint8_t> bytes, std::size_t at, bool fourBit)
{
    while (at + 1 < bytes.size()) {
        const std::uint8_t count = bytes[at];
        const std::uint8_t code = bytes[at + 1];
        at += 2;
        if (count != 0 || code == 0)
            continue;
        if (code == 1)
            return true;
        if (code == 2) {
            at += 2;
            continue;
        }
        // An absolute run of `code` pixels, padded to a 16-bit boundary.
        const std::size_t runBytes = fourBit ? (std::size_t(code) + 1) / 2 : code;
        at += (runBytes + 1) & ~std::size_t{1};
    }
    return false;
}

// Qt reads BMPs; it allocates for the size the header declares, and takes
// a file that ends early.
void CheckBmp(ByteSpan bytes)
{
    if (bytes.size() < BmpHeaderStartBytes)
        RaiseInvalidPicture("truncated BMP header");
    const std::optional<BmpHeader> header = ReadBmpHeader(bytes);
    if (!header)
        RaiseInvalidPicture("truncated or unknown BMP header");
    const auto [width, height, bitsPerPixel, compression, pixelsAt] = *header;
    if (width <= 0 || height == 0)
        RaiseInvalidPicture("BMP of " + std::to_string(width) + " x " + std::to_string(height) + " pixels has no pixels");
    const auto rows = std::uint64_t(height < 0 ? -height : height);
    CheckPictureDimensions(std::uint64_t(width), rows);

    if (compression == Rle8 || compression == Rle4) {
        if (!RunLengthDataIsComplete(bytes, pixelsAt, compression == Rle4))
            RaiseInvalidPicture("truncated BMP data: the run-length data has no end");
        return;
    }
    if (compression != Rgb && compression != BitFields && compression != AlphaBitFields)
        return;
    const std::uint64_t rowBytes = (std::uint64_t(width) * bitsPerPixel + 31) / 32 * 4;
    const std::uint64_t needed = std::uint64_t(pixelsAt) + rowBytes * rows;
    if (bytes.size() < needed)
        RaiseInvalidPicture("truncated BMP data: " + std::to_string(bytes.size()) + " bytes where the header needs " + std::to_string(needed));
}

// A picture whose alpha is in use: some pixel is not opaque.
bool UsesAlpha(const Picture& picture) noexcept
{
    for (std::int32_t y = 0; y < picture.Height(); ++y) {
        const std::uint32_t* row = picture.Row(y);
        if (!std::all_of(row, row + picture.Width(), [](std::uint32_t word) { return word >> 24 == 0xFF; }))
            return true;
    }
    return false;
}

// A bitmap file, rows bottom-up and padded to 4 bytes. A picture without
// alpha in use takes 24 bits per pixel (blue, green, red) under the plain
// 40-byte header, as bitmaps always were written here. One with alpha takes
// 32 bits (blue, green, red, alpha) under a version 5 header whose bit
// fields name the alpha byte and whose colour space is sRGB: the header
// that Qt, browsers and image libraries read alpha from.
EncodedBytes Encode(const Picture& picture, bool hasAlpha, const SaveSettings&)
{
    if (!picture.HasBitmap())
        RaiseInvalidPicture("the picture has no pixels to save");
    const bool withAlpha = hasAlpha && UsesAlpha(picture);
    constexpr std::uint64_t fileHeaderSize = 14;
    const std::uint64_t infoHeaderSize = withAlpha ? 124 : 40;
    const auto width = std::uint64_t(picture.Width());
    const auto height = std::uint64_t(picture.Height());
    const std::uint64_t rowBytes = withAlpha ? width * 4 : std::uint64_t(cDIBSection::BytesPerScanLineFor(picture.Width()));
    const std::uint64_t pixelBytes = rowBytes * height;
    const std::uint64_t fileSize = fileHeaderSize + infoHeaderSize + pixelBytes;
    if (fileSize > 0xFFFF'FFFFull)
        RaiseInvalidPicture("a BMP file holds at most 4 GiB; this picture would need " + std::to_string(fileSize) + " bytes");

    EncodedBytes file(fileSize, 0);
    std::uint8_t* header = file.data();
    header[0] = 'B';
    header[1] = 'M';
    PutLittleEndian(header + 2, fileSize, 4);
    PutLittleEndian(header + 10, fileHeaderSize + infoHeaderSize, 4);
    PutLittleEndian(header + 14, infoHeaderSize, 4);
    PutLittleEndian(header + 18, width, 4);
    PutLittleEndian(header + 22, height, 4);  // positive: bottom-up
    PutLittleEndian(header + 26, 1, 2);       // planes
    PutLittleEndian(header + 28, withAlpha ? 32 : 24, 2);
    // Compression (offset 30), resolution and palette fields stay 0: uncompressed, no palette.
    PutLittleEndian(header + 34, pixelBytes, 4);
    if (withAlpha) {
        PutLittleEndian(header + 30, BitFields, 4);
        PutLittleEndian(header + 54, 0x00FF0000, 4);  // red
        PutLittleEndian(header + 58, 0x0000FF00, 4);  // green
        PutLittleEndian(header + 62, 0x000000FF, 4);  // blue
        PutLittleEndian(header + 66, 0xFF000000, 4);  // alpha
        PutLittleEndian(header + 70, 0x73524742, 4);  // "sRGB"
        PutLittleEndian(header + 122, 4, 4);          // intent: perceptual (images)
    }

    std::uint8_t* pixels = file.data() + fileHeaderSize + infoHeaderSize;
    for (std::int32_t y = 0; y < picture.Height(); ++y) {
        const std::uint32_t* row = picture.Row(y);
        if (withAlpha) {
            std::uint8_t* out = pixels + (height - 1 - std::uint64_t(y)) * rowBytes;
            for (std::int32_t x = 0; x < picture.Width(); ++x, out += 4)
                PutLittleEndian(out, row[x], 4);
            continue;
        }
        std::uint8_t* out = pixels + cDIBSection::PixelOffsetFor(picture.Width(), picture.Height(), 0, y);
        for (std::int32_t x = 0; x < picture.Width(); ++x) {
            *out++ = std::uint8_t(row[x]);
            *out++ = std::uint8_t(row[x] >> 8);
            *out++ = std::uint8_t(row[x] >> 16);
        }
    }
    return file;
}

constexpr std::string_view Extensions[] = {"bmp"};
constexpr std::string_view QtNames[] = {"bmp"};

} // namespace

// Read by Qt, written here as 24 bits, or 32 with alpha in use; "bmp" takes
// the bitmap's route. It holds no profile.
extern constinit const FileFormat BmpFormat{
    .name = "BMP",
    .extensions = Extensions,
    .looksLike = LooksLikeBmp,
    .headerSize = HeaderSize,
    .guard = CheckBmp,
    .qtReading = {.formats = QtNames, .zeroAlphaIsUnused = true},
    .encode = Encode,
    .preferredRoute = OutputRoute::Bitmap,
    .mimeType = "image/bmp",
};

} // namespace tollamere
