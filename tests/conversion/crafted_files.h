#pragma once

// Picture files built byte by byte, so tests can state exactly what a file
// holds (a transparent index of any colour, a frame off the canvas, a header
// claiming more pixels than any file could carry) without the writer under test.

#include "picture_test_support.h"

#include <array>

namespace tollamere::test {

inline void PutLittle16(Bytes& bytes, std::uint32_t value)
{
    bytes.push_back(std::uint8_t(value));
    bytes.push_back(std::uint8_t(value >> 8));
}

inline void PutLittle32(Bytes& bytes, std::uint32_t value)
{
    PutLittle16(bytes, value & 0xFFFF);
    PutLittle16(bytes, value >> 16);
}

inline void PutBig32(Bytes& bytes, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(std::uint8_t(value >> shift));
}

struct GifLayout {
    std::int32_t screenWidth = 0;
    std::int32_t screenHeight = 0;
    std::vector<std::uint32_t> palette;  // 0x00RRGGBB; padded to a power of two
    int transparentIndex = -1;
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool interlaced = false;
    Bytes indices;  // width * height, in the order the file stores the rows
};

// LZW data made only of literal codes: a clear code every 200 pixels keeps
// the code width at 9 bits, which any decoder must accept.
inline Bytes LiteralLzw(const Bytes& indices)
{
    constexpr std::uint32_t clear = 256;
    constexpr std::uint32_t end = 257;
    std::vector<std::uint32_t> codes{clear};
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (i != 0 && i % 200 == 0)
            codes.push_back(clear);
        codes.push_back(indices[i]);
    }
    codes.push_back(end);
    Bytes packed;
    std::uint32_t buffer = 0;
    int bits = 0;
    for (std::uint32_t code : codes) {
        buffer |= code << bits;
        bits += 9;
        while (bits >= 8) {
            packed.push_back(std::uint8_t(buffer));
            buffer >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0)
        packed.push_back(std::uint8_t(buffer));
    return packed;
}

inline Bytes MakeGif(const GifLayout& layout)
{
    Bytes gif{'G', 'I', 'F', '8', '9', 'a'};
    PutLittle16(gif, std::uint32_t(layout.screenWidth));
    PutLittle16(gif, std::uint32_t(layout.screenHeight));
    int tableBits = 1;
    while ((std::size_t{1} << tableBits) < layout.palette.size())
        ++tableBits;
    gif.push_back(std::uint8_t(0x80 | 0x70 | (tableBits - 1)));
    gif.push_back(0);
    gif.push_back(0);
    for (std::size_t i = 0; i < (std::size_t{1} << tableBits); ++i) {
        const std::uint32_t colour = i < layout.palette.size() ? layout.palette[i] : 0;
        gif.insert(gif.end(), {std::uint8_t(colour >> 16), std::uint8_t(colour >> 8), std::uint8_t(colour)});
    }
    if (layout.transparentIndex >= 0)
        gif.insert(gif.end(), {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, std::uint8_t(layout.transparentIndex), 0x00});
    gif.push_back(0x2C);
    PutLittle16(gif, std::uint32_t(layout.left));
    PutLittle16(gif, std::uint32_t(layout.top));
    PutLittle16(gif, std::uint32_t(layout.width));
    PutLittle16(gif, std::uint32_t(layout.height));
    gif.push_back(layout.interlaced ? 0x40 : 0x00);
    gif.push_back(8);
    const Bytes lzw = LiteralLzw(layout.indices);
    for (std::size_t at = 0; at < lzw.size(); at += 255) {
        const std::size_t count = std::min<std::size_t>(255, lzw.size() - at);
        gif.push_back(std::uint8_t(count));
        gif.insert(gif.end(), lzw.begin() + std::ptrdiff_t(at), lzw.begin() + std::ptrdiff_t(at + count));
    }
    gif.push_back(0);
    gif.push_back(0x3B);
    return gif;
}

inline std::uint32_t Crc32(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t crc = 0xFFFF'FFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB8'8320u & (0u - (crc & 1)));
    }
    return ~crc;
}

inline void PutPngChunk(Bytes& png, const char (&type)[5], const Bytes& data)
{
    PutBig32(png, std::uint32_t(data.size()));
    const std::size_t typeAt = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    PutBig32(png, Crc32(png.data() + typeAt, png.size() - typeAt));
}

// A PNG signature and header of that size (8-bit RGBA), with a one-byte
// IDAT that no decoder could expand to the pixels claimed.
inline Bytes PngHeaderClaiming(std::uint32_t width, std::uint32_t height)
{
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    PutBig32(header, width);
    PutBig32(header, height);
    header.insert(header.end(), {8, 6, 0, 0, 0});
    PutPngChunk(png, "IHDR", header);
    PutPngChunk(png, "IDAT", Bytes{0x78});
    PutPngChunk(png, "IEND", Bytes{});
    return png;
}

// A 24-bit BMP header of that size followed by a few bytes of pixels.
inline Bytes BmpHeaderClaiming(std::uint32_t width, std::uint32_t height)
{
    Bytes bmp{'B', 'M'};
    PutLittle32(bmp, 54 + 16);
    PutLittle32(bmp, 0);
    PutLittle32(bmp, 54);
    PutLittle32(bmp, 40);
    PutLittle32(bmp, width);
    PutLittle32(bmp, height);
    PutLittle16(bmp, 1);
    PutLittle16(bmp, 24);
    for (int i = 0; i < 6; ++i)
        PutLittle32(bmp, 0);
    bmp.resize(bmp.size() + 16, 0x7F);
    return bmp;
}

// An uncompressed 24-bit TGA 2.0 stored top row first.
inline Bytes MakeTga(const Picture& picture)
{
    Bytes tga{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    PutLittle16(tga, std::uint32_t(picture.Width()));
    PutLittle16(tga, std::uint32_t(picture.Height()));
    tga.push_back(24);
    tga.push_back(0x20);
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        for (std::int32_t x = 0; x < picture.Width(); ++x) {
            const std::uint32_t pixel = picture.Pixel(x, y);
            tga.insert(tga.end(), {std::uint8_t(pixel), std::uint8_t(pixel >> 8), std::uint8_t(pixel >> 16)});
        }
    const std::string_view footer("\0\0\0\0\0\0\0\0TRUEVISION-XFILE.\0", 26);
    tga.insert(tga.end(), footer.begin(), footer.end());
    return tga;
}

} // namespace tollamere::test
