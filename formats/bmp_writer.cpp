// SPDX-License-Identifier: MIT
#include "bmp_writer.h"

#include "byte_order.h"
#include "cDIBSection.h"

namespace tollamere {

EncodedBytes EncodeBmp24(const Picture& picture)
{
    if (!picture.HasBitmap())
        RaiseInvalidPicture("the picture has no pixels to save");
    constexpr std::uint64_t fileHeaderSize = 14;
    constexpr std::uint64_t infoHeaderSize = 40;
    const auto width = std::uint64_t(picture.Width());
    const auto height = std::uint64_t(picture.Height());
    const auto pixelBytes = std::uint64_t(cDIBSection::BytesPerScanLineFor(picture.Width())) * height;
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
    PutLittleEndian(header + 28, 24, 2);      // bits per pixel
    // Compression (offset 30), resolution and palette fields stay 0: uncompressed, no palette.
    PutLittleEndian(header + 34, pixelBytes, 4);

    for (std::int32_t y = 0; y < picture.Height(); ++y) {
        std::uint8_t* out = file.data() + fileHeaderSize + infoHeaderSize
                            + cDIBSection::PixelOffsetFor(picture.Width(), picture.Height(), 0, y);
        const std::uint32_t* row = picture.Row(y);
        for (std::int32_t x = 0; x < picture.Width(); ++x) {
            *out++ = std::uint8_t(row[x]);
            *out++ = std::uint8_t(row[x] >> 8);
            *out++ = std::uint8_t(row[x] >> 16);
        }
    }
    return file;
}

} // namespace tollamere
