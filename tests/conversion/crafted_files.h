// SPDX-License-Identifier: MIT
#pragma once

// Picture files built byte by byte, so tests can state exactly what a file
// holds (a transparent index of any colour, a frame off the canvas, a header
// claiming more pixels than any file could carry) without the writer under test.

#include "picture_test_support.h"

#include <QByteArray>

#include <algorithm>
#include <array>
#include <string_view>
#include <tuple>

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

inline void PutPngChunk(Bytes& png, std::string_view type, const Bytes& data)
{
    PutBig32(png, std::uint32_t(data.size()));
    const std::size_t typeAt = png.size();
    png.insert(png.end(), type.begin(), type.end());
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

// 57 bytes: a 1 x 1 PNG whose second chunk declares that length but holds
// only 16 bytes, as if the rest were still to come.
inline Bytes PngWithChunkClaiming(std::string_view type, std::uint32_t declaredLength)
{
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PutPngChunk(png, "IHDR", Bytes{0, 0, 0, 1, 0, 0, 0, 1, 8, 6, 0, 0, 0});
    PutBig32(png, declaredLength);
    png.insert(png.end(), type.begin(), type.end());
    const std::string_view start("Comment\0a little", 16);
    png.insert(png.end(), start.begin(), start.end());
    return png;
}

struct PngChunk {
    std::string type;
    Bytes data;
};

// A PNG of 8- or 16-bit samples of the colour type given (0 grey, 2 RGB, 4
// grey and alpha, 6 RGBA), `samples` holding them row after row, with the
// chunks given before its image data, which is one IDAT chunk stored
// uncompressed and unfiltered.
inline Bytes MakePngOfSamples(std::uint32_t width, std::uint32_t height, std::uint8_t depth, std::uint8_t colourType,
                              const std::vector<std::uint16_t>& samples, const std::vector<PngChunk>& before = {})
{
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    PutBig32(header, width);
    PutBig32(header, height);
    header.insert(header.end(), {depth, colourType, 0, 0, 0});
    PutPngChunk(png, "IHDR", header);
    for (const PngChunk& chunk : before)
        PutPngChunk(png, chunk.type, chunk.data);
    const std::size_t rowSamples = samples.size() / height;
    QByteArray rows;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (i % rowSamples == 0)
            rows.append(char(0));  // no filter
        if (depth == 16)
            rows.append(char(samples[i] >> 8));
        rows.append(char(samples[i]));
    }
    const QByteArray zlib = qCompress(rows, 0).sliced(4);  // Qt puts the length before the zlib stream
    PutPngChunk(png, "IDAT", Bytes(zlib.begin(), zlib.end()));
    PutPngChunk(png, "IEND", Bytes{});
    return png;
}

// An 8-bit RGB PNG of the picture, as MakePngOfSamples stores it.
inline Bytes MakeRgbPng(const Picture& picture, const std::vector<PngChunk>& before = {})
{
    std::vector<std::uint16_t> samples;
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        for (std::int32_t x = 0; x < picture.Width(); ++x)
            for (int shift : {16, 8, 0})
                samples.push_back(std::uint16_t(picture.Pixel(x, y) >> shift & 0xFF));
    return MakePngOfSamples(std::uint32_t(picture.Width()), std::uint32_t(picture.Height()), 8, 2, samples, before);
}

// A small ICC profile of that data colour space ("GRAY", "RGB ", "CMYK"):
// the header, a white point and a tone curve, which is all Qt asks of a grey
// one.
inline Bytes IccProfileOf(std::string_view colourSpace)
{
    Bytes profile(128, 0);
    std::copy_n("mntr", 4, &profile[12]);  // a display's
    std::copy(colourSpace.begin(), colourSpace.end(), &profile[16]);
    std::copy_n("XYZ ", 4, &profile[20]);  // the connection space
    std::copy_n("acsp", 4, &profile[36]);
    profile[8] = 4;  // version 4
    const auto putBig32At = [&](std::size_t at, std::uint32_t value) {
        for (std::size_t i = 0; i < 4; ++i)
            profile[at + i] = std::uint8_t(value >> (24 - 8 * i));
    };
    const std::uint32_t d50[] = {0xF6D6, 0x10000, 0xD32D};  // X, Y, Z in 16.16
    for (std::size_t i = 0; i < 3; ++i)
        putBig32At(68 + 4 * i, d50[i]);
    PutBig32(profile, 2);  // tags
    for (const auto& [tag, at, size] : {std::tuple{"wtpt", 156u, 20u}, std::tuple{"kTRC", 176u, 12u}}) {
        profile.insert(profile.end(), tag, tag + 4);
        PutBig32(profile, at);
        PutBig32(profile, size);
    }
    profile.insert(profile.end(), {'X', 'Y', 'Z', ' ', 0, 0, 0, 0});
    for (const std::uint32_t value : d50)
        PutBig32(profile, value);
    profile.insert(profile.end(), {'c', 'u', 'r', 'v', 0, 0, 0, 0, 0, 0, 0, 0});  // no entries: the identity
    putBig32At(0, std::uint32_t(profile.size()));
    return profile;
}

// The JPEG with the profile in one APP2 segment right after its start.
inline Bytes JpegWithProfile(const Bytes& jpeg, const Bytes& profile)
{
    const std::string_view signature("ICC_PROFILE\0\1\1", 14);  // the signature, chunk 1 of 1
    const std::size_t length = 2 + signature.size() + profile.size();
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), {0xFF, 0xE2, std::uint8_t(length >> 8), std::uint8_t(length)});
    out.insert(out.end(), signature.begin(), signature.end());
    out.insert(out.end(), profile.begin(), profile.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// An icon whose one picture is the PNG file given, of that size in pixels.
inline Bytes IconHoldingPng(const Bytes& png, std::uint8_t width, std::uint8_t height)
{
    Bytes icon{0, 0, 1, 0, 1, 0, width, height, 0, 0, 1, 0, 32, 0};
    PutLittle32(icon, std::uint32_t(png.size()));
    PutLittle32(icon, 22);
    icon.insert(icon.end(), png.begin(), png.end());
    return icon;
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

// A 32-bit BMP, bottom-up, whose alpha byte is each pixel's own, with a
// Windows 4 or 5 header (108 or 124 bytes) that gives the masks of red,
// green, blue and alpha; compression 3 (bit fields) or 0 (none) with them.
inline Bytes MakeBmp32(const Picture& picture, std::uint32_t headerSize, std::uint32_t compression)
{
    const std::uint32_t pixelsAt = 14 + headerSize;
    const auto pixelBytes = std::uint32_t(picture.Width() * picture.Height() * 4);
    Bytes bmp{'B', 'M'};
    PutLittle32(bmp, pixelsAt + pixelBytes);
    PutLittle32(bmp, 0);
    PutLittle32(bmp, pixelsAt);
    PutLittle32(bmp, headerSize);
    PutLittle32(bmp, std::uint32_t(picture.Width()));
    PutLittle32(bmp, std::uint32_t(picture.Height()));
    PutLittle16(bmp, 1);
    PutLittle16(bmp, 32);
    PutLittle32(bmp, compression);
    PutLittle32(bmp, pixelBytes);
    for (int i = 0; i < 4; ++i)
        PutLittle32(bmp, 0);
    for (std::uint32_t mask : {0x00FF'0000u, 0x0000'FF00u, 0x0000'00FFu, 0xFF00'0000u})
        PutLittle32(bmp, mask);
    bmp.resize(pixelsAt, 0);
    for (std::int32_t y = picture.Height() - 1; y >= 0; --y)
        for (std::int32_t x = 0; x < picture.Width(); ++x)
            PutLittle32(bmp, picture.Pixel(x, y));  // 0xAARRGGBB, little-endian: blue, green, red, alpha
    return bmp;
}

// An uncompressed 24-bit TGA 2.0 stored top row first.
// An uncompressed 24-bit TGA, rows from the top or (as most TGAs) from the
// bottom, with the footer of the later form of the format or without.
inline Bytes MakeTga(const Picture& picture, bool topDown = true, bool footer = true)
{
    Bytes tga{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    PutLittle16(tga, std::uint32_t(picture.Width()));
    PutLittle16(tga, std::uint32_t(picture.Height()));
    tga.push_back(24);
    tga.push_back(topDown ? 0x20 : 0x00);
    for (std::int32_t row = 0; row < picture.Height(); ++row)
        for (std::int32_t x = 0; x < picture.Width(); ++x) {
            const std::uint32_t pixel = picture.Pixel(x, topDown ? row : picture.Height() - 1 - row);
            tga.insert(tga.end(), {std::uint8_t(pixel), std::uint8_t(pixel >> 8), std::uint8_t(pixel >> 16)});
        }
    const std::string_view signature("\0\0\0\0\0\0\0\0TRUEVISION-XFILE.\0", 26);
    if (footer)
        tga.insert(tga.end(), signature.begin(), signature.end());
    return tga;
}

// A bare JPEG XL codestream of headers only: a size header declaring width x
// height (1 to 2^30 each) and image metadata left at its defaults. Fields are
// packed least significant bit first; a side is stored less one, in 30 bits
// after a 2-bit selector of 3.
inline Bytes JxlHeaderClaiming(std::uint32_t width, std::uint32_t height)
{
    Bytes jxl{0xFF, 0x0A};
    std::size_t bitCount = 0;
    const auto put = [&](std::uint32_t value, int bits) {
        for (int i = 0; i < bits; ++i, ++bitCount) {
            if (bitCount % 8 == 0)
                jxl.push_back(0);
            jxl.back() = std::uint8_t(jxl.back() | ((value >> i) & 1u) << (bitCount % 8));
        }
    };
    put(0, 1);  // the sides are not given in multiples of 8
    put(3, 2);
    put(height - 1, 30);
    put(0, 3);  // no fixed aspect ratio, so the width follows
    put(3, 2);
    put(width - 1, 30);
    put(1, 1);  // the image metadata are all default
    jxl.resize(jxl.size() + 16, 0);
    return jxl;
}

// An icon of 16384 entries, each a PNG signature and an IDAT header whose
// length leads into one run of 100000 empty chunks: walked once, refused at
// once; walked per entry, 1.6 billion steps.
inline Bytes IconOfEntriesSharingChunks()
{
    constexpr std::uint32_t entries = 16384;
    constexpr std::uint32_t startsAt = 6 + 16 * entries;
    constexpr std::uint32_t runAt = startsAt + 16 * entries + 4;
    Bytes icon{0, 0, 1, 0};
    PutLittle16(icon, entries);
    for (std::uint32_t i = 0; i < entries; ++i) {
        icon.insert(icon.end(), {16, 16, 0, 0, 1, 0, 32, 0});
        PutLittle32(icon, 100);
        PutLittle32(icon, startsAt + 16 * i);
    }
    for (std::uint32_t i = 0; i < entries; ++i) {
        icon.insert(icon.end(), {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
        PutBig32(icon, runAt - (startsAt + 16 * i) - 20);  // its data and CRC end where the run begins
        icon.insert(icon.end(), {'I', 'D', 'A', 'T'});
    }
    icon.resize(runAt, 0);
    for (int i = 0; i < 100000; ++i)
        icon.insert(icon.end(), {0, 0, 0, 0, 'a', 'b', 'C', 'd', 0, 0, 0, 0});
    return icon;
}

} // namespace tollamere::test
