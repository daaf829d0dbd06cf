// SPDX-License-Identifier: MIT
#pragma once

// A folder of hostile inputs made from good pictures of every format the
// loader reads: cut short, bytes flipped in the header and in the data,
// empty, text, another format's extension, sizes far beyond the limit and
// sizes of zero. Each file says what the run must make of it.

#include "avif_codec.h"
#include "crafted_files.h"
#include "picture_test_support.h"
#include "runtime_error.h"

#include <optional>
#include <random>

#include <zlib.h>

namespace tollamere::test {

enum class Outcome { Written, Fails, Either };

struct HostileFile {
    std::filesystem::path path;
    Outcome outcome = Outcome::Either;
    std::optional<ErrorNumber> error;   // when it fails, with this error
};

// A busy picture: its shape, holes and colours give every codec work to do.
inline Picture BusyPicture(std::int32_t width, std::int32_t height)
{
    Picture picture(width, height, 0xFF000000u);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            if ((x / 4 + y / 3) % 5 != 0)
                picture.Pixel(x, y) = 0xFF000000u | std::uint32_t(x * 9 % 256) << 16 | std::uint32_t(40 + y * 7 % 200) << 8 | std::uint32_t((x ^ y) & 0xFF);
    return picture;
}

// The frame header of a JPEG (SOF0 or SOF2) set to 65535 x 65535.
inline Bytes JpegClaimingHugeSize(Bytes jpeg)
{
    for (std::size_t at = 2; at + 9 < jpeg.size(); ++at)
        if (jpeg[at] == 0xFF && (jpeg[at + 1] == 0xC0 || jpeg[at + 1] == 0xC2)) {
            jpeg[at + 5] = jpeg[at + 6] = jpeg[at + 7] = jpeg[at + 8] = 0xFF;
            break;
        }
    return jpeg;
}

// The width and length tags of a little-endian TIFF's first directory set
// to the largest value their type holds.
inline Bytes TiffClaimingHugeSize(Bytes tiff)
{
    const auto little16 = [&](std::size_t at) { return std::uint32_t(tiff[at]) | std::uint32_t(tiff[at + 1]) << 8; };
    const std::size_t directory = little16(4) | std::size_t(little16(6)) << 16;
    const std::size_t entries = little16(directory);
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t entry = directory + 2 + 12 * i;
        const std::uint32_t tag = little16(entry);
        if (tag != 256 && tag != 257)
            continue;
        const bool isShort = little16(entry + 2) == 3;
        for (std::size_t b = 0; b < (isShort ? 2u : 4u); ++b)
            tiff[entry + 8 + b] = b == 3 ? 0x7F : 0xFF;
    }
    return tiff;
}

// A lossless WebP's 14-bit width and height set to 16384 each.
inline Bytes WebpClaimingHugeSize(Bytes webp)
{
    for (std::size_t at = 12; at + 9 < webp.size(); ++at)
        if (std::equal(webp.begin() + std::ptrdiff_t(at), webp.begin() + std::ptrdiff_t(at + 4), "VP8L") && webp[at + 8] == 0x2F) {
            webp[at + 9] = webp[at + 10] = webp[at + 11] = 0xFF;
            webp[at + 12] = std::uint8_t(webp[at + 12] | 0x0F);
            break;
        }
    return webp;
}

// Every image spatial extents property of an AVIF set to 65535 x 65535: after
// "ispe" come its version and flags, then the 32-bit width and height.
inline Bytes AvifClaimingHugeSize(Bytes avif)
{
    for (std::size_t at = 4; at + 16 <= avif.size(); ++at)
        if (std::equal(avif.begin() + std::ptrdiff_t(at), avif.begin() + std::ptrdiff_t(at + 4), "ispe"))
            for (const std::size_t lowHalf : {10, 11, 14, 15})
                avif[at + lowHalf] = 0xFF;
    return avif;
}

// Every image spatial extents property of an AVIF set to that size.
inline Bytes AvifDeclaring(Bytes avif, std::uint32_t width, std::uint32_t height)
{
    for (std::size_t at = 4; at + 16 <= avif.size(); ++at)
        if (std::equal(avif.begin() + std::ptrdiff_t(at), avif.begin() + std::ptrdiff_t(at + 4), "ispe")) {
            for (int i = 0; i < 4; ++i) {
                avif[at + 8 + i] = std::uint8_t(width >> (24 - 8 * i));
                avif[at + 12 + i] = std::uint8_t(height >> (24 - 8 * i));
            }
        }
    return avif;
}

// A flat frame of 96 x 80 whose container says 8 x 8, coded by our own
// writer (lossy, so that it stays small).
inline Bytes AvifLargerThanDeclared()
{
    SaveSettings lossy;
    lossy.quality = 50;
    return AvifDeclaring(EncodeAvif(Picture(96, 80, 0xFF3080C0u), false, lossy), 8, 8);
}

// An icon whose first entry is 16 x 16 and whose second, which its directory
// also calls 16 x 16, is a PNG of 96 x 80.
inline Bytes IconLargerThanDeclared()
{
    const std::vector<Bytes> pngs = {MakeRgbPng(Picture(16, 16, 0xFF3080C0u)), MakeRgbPng(BusyPicture(96, 80))};
    Bytes icon{0, 0, 1, 0, 2, 0};
    std::uint32_t at = 6 + 16 * 2;
    for (const Bytes& png : pngs) {
        icon.insert(icon.end(), {16, 16, 0, 0, 1, 0, 32, 0});
        PutLittle32(icon, std::uint32_t(png.size()));
        PutLittle32(icon, at);
        at += std::uint32_t(png.size());
    }
    for (const Bytes& png : pngs)
        icon.insert(icon.end(), png.begin(), png.end());
    return icon;
}

// The bytes as a gzip stream, as an SVGZ holds its drawing.
inline Bytes Gzipped(const Bytes& bytes)
{
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&stream, uLong(bytes.size())));
    stream.next_in = const_cast<Bytef*>(bytes.data());
    stream.avail_in = uInt(bytes.size());
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

inline std::vector<HostileFile> WriteHostileCorpus(const std::filesystem::path& folder)
{
    std::vector<HostileFile> corpus;
    const auto add = [&](const std::string& name, const Bytes& bytes, Outcome outcome,
                         std::optional<ErrorNumber> error = std::nullopt) {
        WriteBytes(folder / name, bytes);
        corpus.push_back({folder / name, outcome, error});
    };

    const Picture busy = BusyPicture(40, 30);
    std::mt19937 random(7);
    for (const std::string& extension : Joined(WrittenExtensions(AnyFormat), OtherQtExtensions)) {
        const Bytes good = EncodedAs(busy, false, extension, folder);
        add("good." + extension, good, Outcome::Written);
        for (const double cut : {0.02, 0.3, 0.7}) {
            const auto length = std::max<std::size_t>(1, std::size_t(double(good.size()) * cut));
            add("cut" + std::to_string(int(cut * 100)) + "." + extension, Bytes(good.begin(), good.begin() + std::ptrdiff_t(length)),
                Outcome::Fails);
        }
        // Flipped bytes may still decode; they must end one way or the other.
        for (int flip = 0; flip < 3; ++flip) {
            Bytes header = good;
            header[std::uniform_int_distribution<std::size_t>(0, std::min<std::size_t>(31, good.size() - 1))(random)] ^= 0xA5;
            add("header" + std::to_string(flip) + "." + extension, header, Outcome::Either);
            Bytes data = good;
            data[std::uniform_int_distribution<std::size_t>(good.size() / 2, good.size() - 1)(random)] ^= 0x5A;
            add("data" + std::to_string(flip) + "." + extension, data, Outcome::Either);
        }
        add("empty." + extension, {}, Outcome::Fails, ErrorNumber::InvalidPicture);
        const std::string text = "This is a text file, not a picture.\n";
        add("text." + extension, Bytes(text.begin(), text.end()), Outcome::Fails, ErrorNumber::InvalidPicture);
    }

    // A picture under another format's extension is read by its content.
    add("png-inside.jpg", EncodedAs(busy, false, "png", folder), Outcome::Written);
    add("jpeg-inside.png", EncodedAs(busy, false, "jpg", folder), Outcome::Written);
    add("gif-inside.bmp", EncodedAs(busy, false, "gif", folder), Outcome::Written);

    GifLayout hugeGif{.screenWidth = 65535, .screenHeight = 65535, .palette = {0, 0xFFFFFF}, .width = 65535, .height = 65535, .indices = {0, 1}};
    add("huge.png", PngHeaderClaiming(100000, 100000), Outcome::Fails, ErrorNumber::OutOfMemory);
    add("huge.bmp", BmpHeaderClaiming(100000, 100000), Outcome::Fails, ErrorNumber::OutOfMemory);
    add("huge.gif", MakeGif(hugeGif), Outcome::Fails, ErrorNumber::OutOfMemory);
    add("huge.jpg", JpegClaimingHugeSize(EncodedAs(busy, false, "jpg", folder)), Outcome::Fails, ErrorNumber::OutOfMemory);
    add("huge.tiff", TiffClaimingHugeSize(EncodedAs(busy, false, "tiff", folder)), Outcome::Fails, ErrorNumber::OutOfMemory);
    add("huge.webp", WebpClaimingHugeSize(EncodedAs(busy, false, "webp", folder)), Outcome::Fails, ErrorNumber::OutOfMemory);
    add("huge.avif", AvifClaimingHugeSize(EncodedAs(busy, false, "avif", folder)), Outcome::Fails, ErrorNumber::OutOfMemory);
    add("huge.jxl", JxlHeaderClaiming(1u << 30, 1u << 30), Outcome::Fails, ErrorNumber::OutOfMemory);
    // Drawings: sizes beyond the limit, nesting without end, entities that
    // expand a billion times, references outside, a gzip bomb.
    const auto text = [](const std::string& drawing) { return Bytes(drawing.begin(), drawing.end()); };
    const std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" ";
    add("drawing-svg.png", text(svg + "width=\"40\" height=\"30\"><rect x=\"4\" y=\"4\" width=\"30\" height=\"20\" fill=\"red\"/></svg>"),
        Outcome::Written);
    add("huge-svg.png", text(svg + "width=\"100000\" height=\"100000\"><rect width=\"9\" height=\"9\"/></svg>"), Outcome::Fails,
        ErrorNumber::OutOfMemory);
    std::string deep = svg + "width=\"9\" height=\"9\">";
    for (int depth = 0; depth < 5000; ++depth)
        deep += "<g>";
    add("deep-svg.png", text(deep), Outcome::Fails, ErrorNumber::InvalidPicture);
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE svg [<!ENTITY a \"lol\">";
    for (char entity = 'b'; entity <= 'j'; ++entity) {
        laughs += std::string("<!ENTITY ") + entity + " \"";
        for (int i = 0; i < 10; ++i)
            laughs += std::string("&") + char(entity - 1) + ";";
        laughs += "\">";
    }
    laughs += "]>" + svg + "width=\"9\" height=\"9\"><text>&j;</text></svg>";
    add("entities-svg.png", text(laughs), Outcome::Fails, ErrorNumber::InvalidPicture);
    add("external-svg.png", text(svg + "width=\"9\" height=\"9\"><image xlink:href=\"file:///etc/passwd\" width=\"9\" height=\"9\"/></svg>"),
        Outcome::Fails, ErrorNumber::InvalidPicture);
    add("remote-svg.png", text(svg + "width=\"9\" height=\"9\"><rect style=\"fill:url(http://example.invalid/x)\" width=\"9\" height=\"9\"/></svg>"),
        Outcome::Fails, ErrorNumber::InvalidPicture);
    add("bomb-svgz.png", Gzipped(text(svg + "width=\"9\" height=\"9\">" + std::string(40u << 20, ' ') + "</svg>")), Outcome::Fails,
        ErrorNumber::InvalidPicture);
    // Larger than their headers say: read at their real size, within the budget.
    add("lying.avif", AvifLargerThanDeclared(), Outcome::Written);
    add("lying.ico", IconLargerThanDeclared(), Outcome::Written);

    GifLayout emptyGif{.screenWidth = 0, .screenHeight = 0, .palette = {0, 0xFFFFFF}, .width = 0, .height = 0, .indices = {}};
    add("zero-width.png", PngHeaderClaiming(0, 10), Outcome::Fails);
    add("zero-height.bmp", BmpHeaderClaiming(10, 0), Outcome::Fails);
    add("zero.gif", MakeGif(emptyGif), Outcome::Fails);
    return corpus;
}

} // namespace tollamere::test
