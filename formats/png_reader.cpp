// SPDX-License-Identifier: MIT
#include "png_codec.h"

#include "byte_order.h"
#include "png_format.h"
#include "png_shared.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

namespace tollamere {
namespace {

// libpng's own limit on a side, beyond which it refuses the file.
constexpr std::uint32_t MaxPngSide = 1'000'000;
// PNG's numbers have 31 bits.
constexpr std::uint32_t MaxPngNumber = 0x7FFF'FFFF;
// libpng's limit on what one chunk may unpack to.
constexpr std::size_t MaxProfileBytes = 8'000'000;
// Deflate stores at most this many bytes per byte of data (258 per 2 bits),
// so image data shorter than the picture needs over this is damaged, and is
// found so before any memory is taken for the picture.
constexpr std::uint64_t MaxDeflateRatio = 1032;
// What the chunks before the image data say.
struct PngLayout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t samples = 0;  // per pixel: 1 grey, 2 grey and alpha, 3 RGB, 4 RGBA
    std::size_t sampleBytes = 1;  // 1 or 2: 8 or 16 bits
    // The colour key (tRNS) of grey or RGB: the samples of the pixels that
    // are transparent, at their full depth.
    std::optional<std::array<std::uint32_t, 3>> key;
    std::vector<std::span<const std::uint8_t>> data;  // the IDAT chunks' data, in order
    std::span<const std::uint8_t> profile;            // the iCCP chunk's data
    std::uint32_t dotsPerMetreX = 0;
    std::uint32_t dotsPerMetreY = 0;
};

bool IsCritical(std::string_view type) noexcept
{
    return (type[0] & 0x20) == 0;
}

// Walks every chunk, checking each one's checksum; nothing when a chunk is
// damaged or of a kind this reader leaves to Qt's.
std::optional<PngLayout> ReadPngLayout(std::span<const std::uint8_t> bytes)
{
    PngLayout layout;
    bool ok = true;
    bool ended = false;
    bool dataEnded = false;
    bool resolutionSeen = false;
    std::size_t chunks = 0;
    WalkPngChunks(bytes, PngSignature.size(), [&](std::size_t at, std::string_view type, std::uint32_t length) {
        const std::size_t dataAt = at + 8;
        if (length > bytes.size() || bytes.size() - dataAt < std::size_t(length) + 4
            || libdeflate_crc32(0, &bytes[at + 4], 4 + std::size_t(length)) != BigEndian(&bytes[dataAt + length], 4))
            return ok = false;
        const std::span<const std::uint8_t> data = bytes.subspan(dataAt, length);
        if (chunks++ == 0) {
            // 8 or 16 bits per sample, compression and filter method 0, no interlacing.
            if (type != "IHDR" || length != 13 || (data[8] != 8 && data[8] != 16) || data[10] != 0 || data[11] != 0 || data[12] != 0)
                return ok = false;
            layout.sampleBytes = data[8] / 8u;
            layout.width = BigEndian(&data[0], 4);
            layout.height = BigEndian(&data[4], 4);
            switch (data[9]) {
            case 0: layout.samples = 1; break;
            case 4: layout.samples = 2; break;
            case 2: layout.samples = 3; break;
            case 6: layout.samples = 4; break;
            default: return ok = false;
            }
            return true;
        }
        if (type == "IDAT") {
            if (dataEnded)
                return ok = false;
            layout.data.push_back(data);
            return true;
        }
        dataEnded = !layout.data.empty();
        if (type == "IEND")
            return !(ended = true);
        if (type == "iCCP" && layout.profile.empty() && layout.data.empty()) {
            layout.profile = data;
        } else if (type == "pHYs" && length == 9 && layout.data.empty() && !resolutionSeen) {
            resolutionSeen = true;
            // Per metre (otherwise only the aspect ratio), in 31 bits.
            if (data[8] == 1 && BigEndian(&data[0], 4) <= MaxPngNumber && BigEndian(&data[4], 4) <= MaxPngNumber) {
                layout.dotsPerMetreX = BigEndian(&data[0], 4);
                layout.dotsPerMetreY = BigEndian(&data[4], 4);
            }
        } else if (type == "tRNS" && layout.data.empty() && !layout.key && (layout.samples == 1 || layout.samples == 3)
                   && length == 2 * layout.samples) {
            std::array<std::uint32_t, 3> key{};
            for (std::size_t i = 0; i < layout.samples; ++i)
                key[i] = BigEndian(&data[2 * i], 2);
            // A key beyond the samples' depth is left to Qt's reader, as is damage.
            ok = std::all_of(key.begin(), key.end(), [&](std::uint32_t value) { return value >> (8 * layout.sampleBytes) == 0; });
            layout.key = key;
        } else if (type == "PLTE") {
            // A suggested palette for RGB; a grey picture has none.
            ok = layout.samples >= 3;
        } else if (type == "tRNS" || type == "iCCP" || IsCritical(type)) {
            ok = false;
        }
        return ok;
    });
    if (!ok || !ended || layout.data.empty() || layout.width == 0 || layout.height == 0 || layout.width > MaxPngSide
        || layout.height > MaxPngSide)
        return std::nullopt;
    return layout;
}

// The colour profile an iCCP chunk holds (a name, its end, compression
// method 0, then the zlib stream); empty when it holds none that describes
// RGB colours, as libpng checks, or one it cannot unpack.
std::vector<std::uint8_t> UnpackProfile(std::span<const std::uint8_t> chunk, libdeflate_decompressor* decompressor)
{
    // The name has 1 to 79 bytes.
    const auto nameLimit = chunk.begin() + std::ptrdiff_t(std::min<std::size_t>(chunk.size(), 80));
    const auto nameEnd = std::find(chunk.begin(), nameLimit, 0);
    if (nameEnd == chunk.begin() || nameEnd == nameLimit || nameEnd + 1 == chunk.end() || nameEnd[1] != 0)
        return {};
    const std::span<const std::uint8_t> stream(nameEnd + 2, chunk.end());
    std::vector<std::uint8_t> profile(std::clamp<std::size_t>(4 * stream.size(), 4096, MaxProfileBytes));
    for (;;) {
        std::size_t size = 0;
        const libdeflate_result result =
            libdeflate_zlib_decompress(decompressor, stream.data(), stream.size(), profile.data(), profile.size(), &size);
        if (result == LIBDEFLATE_INSUFFICIENT_SPACE && profile.size() < MaxProfileBytes) {
            profile.resize(std::min(2 * profile.size(), MaxProfileBytes));
            continue;
        }
        profile.resize(result == LIBDEFLATE_SUCCESS ? size : 0);
        break;
    }
    if (!IsRgbProfile(profile))
        return {};
    return profile;
}

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* decompressor) const noexcept { libdeflate_free_decompressor(decompressor); }
};

libdeflate_decompressor* ThreadDecompressor()
{
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(libdeflate_alloc_decompressor());
    if (!decompressor)
        throw std::bad_alloc();
    return decompressor.get();
}

// Undoes one row's filter in place. Left and upper-left neighbours before
// the row's start count as 0, as does the row above the first.
template <std::size_t Step>
bool UnfilterRow(std::uint8_t type, std::uint8_t* row, const std::uint8_t* above, std::size_t bytes) noexcept
{
    switch (type) {
    case 0: return true;
    case 1:
        for (std::size_t i = Step; i < bytes; ++i)
            row[i] = std::uint8_t(row[i] + row[i - Step]);
        return true;
    case 2:
        for (std::size_t i = 0; i < bytes; ++i)
            row[i] = std::uint8_t(row[i] + above[i]);
        return true;
    case 3:
        for (std::size_t i = 0; i < Step; ++i)
            row[i] = std::uint8_t(row[i] + (above[i] >> 1));
        for (std::size_t i = Step; i < bytes; ++i)
            row[i] = std::uint8_t(row[i] + ((row[i - Step] + above[i]) >> 1));
        return true;
    case 4:
        for (std::size_t i = 0; i < Step; ++i)
            row[i] = std::uint8_t(row[i] + above[i]);
        for (std::size_t i = Step; i < bytes; ++i)
            row[i] = std::uint8_t(row[i] + Paeth(row[i - Step], above[i], above[i - Step]));
        return true;
    default: return false;
    }
}

// One row of samples as pixel words; a fully transparent pixel reads as
// black, as every reader of the program gives it.
template <std::size_t Samples>
void RowToPixels(const std::uint8_t* samples, std::uint32_t* pixels, std::size_t width) noexcept
{
    for (std::size_t x = 0; x < width; ++x, samples += Samples) {
        const std::uint32_t first = samples[0];
        if constexpr (Samples == 1) {
            pixels[x] = 0xFF000000u | first << 16 | first << 8 | first;
        } else if constexpr (Samples == 2) {
            pixels[x] = samples[1] == 0 ? 0 : std::uint32_t(samples[1]) << 24 | first << 16 | first << 8 | first;
        } else if constexpr (Samples == 3) {
            pixels[x] = 0xFF000000u | first << 16 | std::uint32_t(samples[1]) << 8 | samples[2];
        } else {
            pixels[x] = samples[3] == 0 ? 0 : std::uint32_t(samples[3]) << 24 | first << 16 | std::uint32_t(samples[1]) << 8 | samples[2];
        }
    }
}

// One row of 16-bit samples, or of samples under a colour key, as pixel
// words. The key is matched at the samples' full depth; 16 bits are then
// rounded to 8 as Qt rounds them, so that the files Qt's reader took before
// read the same.
void DeepOrKeyedRowToPixels(const std::uint8_t* samples, std::uint32_t* pixels, std::size_t width, const PngLayout& layout) noexcept
{
    const bool deep = layout.sampleBytes == 2;
    const std::size_t colours = layout.samples >= 3 ? 3 : 1;
    const bool hasAlpha = layout.samples % 2 == 0;
    const auto narrow = [deep](std::uint32_t value) { return deep ? (value - (value >> 8) + 0x80) >> 8 : value; };
    for (std::size_t x = 0; x < width; ++x) {
        std::array<std::uint32_t, 4> values{};
        for (std::size_t i = 0; i < layout.samples; ++i, samples += layout.sampleBytes)
            values[i] = deep ? std::uint32_t(samples[0]) << 8 | samples[1] : samples[0];
        const bool keyed = layout.key && std::equal(values.begin(), values.begin() + std::ptrdiff_t(colours), layout.key->begin());
        const std::uint32_t alpha = hasAlpha ? narrow(values[layout.samples - 1]) : keyed ? 0 : 0xFF;
        const std::uint32_t red = narrow(values[0]);
        const std::uint32_t green = colours == 3 ? narrow(values[1]) : red;
        const std::uint32_t blue = colours == 3 ? narrow(values[2]) : red;
        pixels[x] = alpha == 0 ? 0 : alpha << 24 | red << 16 | green << 8 | blue;
    }
}

// Step is the bytes of a pixel, by which the filters look left; 8-bit
// samples without a key take the quicker conversion.
template <std::size_t Step>
bool UnfilterRows(std::uint8_t* rows, const PngLayout& layout, Picture& picture)
{
    const std::size_t rowBytes = std::size_t(layout.width) * Step;
    const bool plain = Step <= 4 && layout.sampleBytes == 1 && !layout.key;
    const std::vector<std::uint8_t> zeros(rowBytes, 0);
    const std::uint8_t* above = zeros.data();
    for (std::uint32_t y = 0; y < layout.height; ++y) {
        std::uint8_t* row = rows + std::size_t(y) * (rowBytes + 1);
        if (!UnfilterRow<Step>(row[0], row + 1, above, rowBytes))
            return false;
        std::uint32_t* pixels = picture.Row(std::int32_t(y));
        if constexpr (Step <= 4)
            if (plain)
                RowToPixels<Step>(row + 1, pixels, layout.width);
        if (!plain)
            DeepOrKeyedRowToPixels(row + 1, pixels, layout.width, layout);
        above = row + 1;
    }
    return true;
}

} // namespace

bool DecodePng(std::span<const std::uint8_t> bytes, PictureFile& into, std::uint64_t maxPixels)
{
    if (!LooksLikePng(bytes))
        return false;
    const std::optional<PngLayout> layout = ReadPngLayout(bytes);
    if (!layout)
        return false;
    CheckPictureDimensions(layout->width, layout->height, maxPixels);
    const std::size_t pixelBytes = layout->samples * layout->sampleBytes;
    const std::size_t rowBytes = std::size_t(layout->width) * pixelBytes + 1;
    const std::size_t rawBytes = rowBytes * layout->height;

    // The image data as one zlib stream: the chunk itself when there is one.
    thread_local KeptBytes joined;
    std::span<const std::uint8_t> stream = layout->data.front();
    if (layout->data.size() > 1) {
        std::size_t size = 0;
        for (const std::span<const std::uint8_t> data : layout->data)
            size += data.size();
        std::uint8_t* at = joined.Reserve(size);
        for (const std::span<const std::uint8_t> data : layout->data)
            at = std::copy(data.begin(), data.end(), at);
        stream = std::span<const std::uint8_t>(at - size, size);
    }
    if (std::uint64_t(stream.size()) * MaxDeflateRatio < rawBytes)
        return false;

    KeptBytes& rows = PngRowBuffer();
    std::uint8_t* raw = rows.Reserve(rawBytes);
    libdeflate_decompressor* decompressor = ThreadDecompressor();
    std::size_t streamUsed = 0;
    std::size_t rawMade = 0;
    const libdeflate_result result =
        libdeflate_zlib_decompress_ex(decompressor, stream.data(), stream.size(), raw, rawBytes, &streamUsed, &rawMade);
    bool read = result == LIBDEFLATE_SUCCESS && streamUsed == stream.size() && rawMade == rawBytes;
    if (read) {
        into.picture.Resize(std::int32_t(layout->width), std::int32_t(layout->height));
        switch (pixelBytes) {
        case 1: read = UnfilterRows<1>(raw, *layout, into.picture); break;
        case 2: read = UnfilterRows<2>(raw, *layout, into.picture); break;
        case 3: read = UnfilterRows<3>(raw, *layout, into.picture); break;
        case 4: read = UnfilterRows<4>(raw, *layout, into.picture); break;
        case 6: read = UnfilterRows<6>(raw, *layout, into.picture); break;
        default: read = UnfilterRows<8>(raw, *layout, into.picture); break;
        }
    }
    rows.ReleaseIfLarge();
    joined.ReleaseIfLarge();
    if (!read)
        return false;

    into.hasAlpha = layout->samples == 2 || layout->samples == 4 || layout->key.has_value();
    into.metadata = {};
    if (!layout->profile.empty())
        into.metadata.iccProfile = UnpackProfile(layout->profile, decompressor);
    into.metadata.dotsPerMetreX = layout->dotsPerMetreX;
    into.metadata.dotsPerMetreY = layout->dotsPerMetreY;
    return true;
}

} // namespace tollamere
