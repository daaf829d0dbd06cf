// SPDX-License-Identifier: MIT
#include "png_codec.h"

#include "byte_order.h"
#include "kernel_targets.h"
#include "picture_probe.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

namespace tollamere {
namespace {

// Image data is cut into chunks of this size, as most writers do, so that a
// reader never needs one huge chunk at once.
constexpr std::size_t IdatChunkBytes = 1u << 20;

struct CompressorDeleter {
    void operator()(libdeflate_compressor* compressor) const noexcept { libdeflate_free_compressor(compressor); }
};

// A compressor costs a few hundred KiB to set up; each thread keeps one per
// level for the next picture.
libdeflate_compressor* CompressorFor(int level)
{
    thread_local std::array<std::unique_ptr<libdeflate_compressor, CompressorDeleter>, 13> compressors;
    auto& compressor = compressors.at(std::size_t(std::clamp(level, 0, 12)));
    if (!compressor)
        compressor.reset(libdeflate_alloc_compressor(std::clamp(level, 0, 12)));
    if (!compressor)
        throw std::bad_alloc();
    return compressor.get();
}

// The image data's rows as PNG stores them before compression, read or to be
// written: a picture's reading ends before any writing starts, so one buffer
// serves both.
KeptBytes& ThreadRows()
{
    thread_local KeptBytes rows;
    return rows;
}

// The data as a zlib stream, into out; its size.
std::size_t ZlibStream(std::span<const std::uint8_t> data, const PngTuning& tuning, KeptBytes& out)
{
    if (tuning.compressor == PngTuning::Compressor::Libdeflate) {
        libdeflate_compressor* compressor = CompressorFor(tuning.level);
        const std::size_t bound = libdeflate_zlib_compress_bound(compressor, data.size());
        const std::size_t size = libdeflate_zlib_compress(compressor, data.data(), data.size(), out.Reserve(bound), bound);
        if (size == 0)
            RaiseInvalidPicture("the PNG compressor found no room for the picture");
        return size;
    }
    z_stream stream{};
    if (deflateInit2(&stream, std::clamp(tuning.level, 0, 9), Z_DEFLATED, 15, 8, tuning.zlibStrategy) != Z_OK)
        throw std::bad_alloc();
    const uLong bound = deflateBound(&stream, uLong(data.size()));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = uInt(data.size());
    stream.next_out = out.Reserve(bound);
    stream.avail_out = uInt(bound);
    const int status = deflate(&stream, Z_FINISH);
    const std::size_t size = stream.total_out;
    deflateEnd(&stream);
    if (status != Z_STREAM_END)
        RaiseInvalidPicture("the PNG compressor failed");
    return size;
}

void AppendChunk(EncodedBytes& out, std::string_view type, std::span<const std::uint8_t> data)
{
    const std::size_t start = out.size();
    out.resize(start + 8);
    PutBigEndian(&out[start], data.size(), 4);
    std::memcpy(&out[start + 4], type.data(), 4);
    out.insert(out.end(), data.begin(), data.end());
    const std::uint32_t crc = libdeflate_crc32(0, &out[start + 4], 4 + data.size());
    out.resize(out.size() + 4);
    PutBigEndian(&out[out.size() - 4], crc, 4);
}

// The distances from left + up - upLeft to each neighbour, simplified, and
// selections without branches, in 16 bits, so that the compiler can run a
// row's bytes side by side.
TOLLAMERE_KERNEL_BODY std::int16_t Abs16(std::int16_t value) noexcept
{
    return value < 0 ? std::int16_t(-value) : value;
}

TOLLAMERE_KERNEL_BODY std::uint8_t Paeth(std::int16_t left, std::int16_t up, std::int16_t upLeft) noexcept
{
    const std::int16_t toLeft = Abs16(std::int16_t(up - upLeft));
    const std::int16_t toUp = Abs16(std::int16_t(left - upLeft));
    const std::int16_t toUpLeft = Abs16(std::int16_t(left + up - 2 * upLeft));
    const std::int16_t upOrUpLeft = toUp <= toUpLeft ? up : upLeft;
    return std::uint8_t(toLeft <= toUp && toLeft <= toUpLeft ? left : upOrUpLeft);
}

// PNG's filter types; Average rarely wins and is never chosen.
enum FilterType : std::uint8_t { NoFilter = 0, SubFilter = 1, UpFilter = 2, PaethFilter = 4 };

// One row's samples, in PNG's order, from the picture's pixel words.
template <std::size_t Step>
TOLLAMERE_KERNEL_BODY void RowSamples(const std::uint32_t* pixels, std::size_t width, std::uint8_t* samples) noexcept
{
    for (std::size_t x = 0; x < width; ++x) {
        const std::uint32_t pixel = pixels[x];
        if constexpr (Step == 4) {
            // 0xAARRGGBB to the bytes R, G, B, A.
            const std::uint32_t rgba = __builtin_bswap32(pixel << 8 | pixel >> 24);
            std::memcpy(samples + 4 * x, &rgba, 4);
        } else {
            samples[3 * x] = std::uint8_t(pixel >> 16);
            samples[3 * x + 1] = std::uint8_t(pixel >> 8);
            samples[3 * x + 2] = std::uint8_t(pixel);
        }
    }
}

// Filters a row with one type into out, without the type byte.
template <std::size_t Step>
TOLLAMERE_KERNEL_BODY void FilterRow(FilterType type, const std::uint8_t* row, const std::uint8_t* previous, std::size_t bytes,
                                     std::uint8_t* out) noexcept
{
    const std::size_t first = std::min(Step, bytes);
    switch (type) {
    case NoFilter: std::memcpy(out, row, bytes); return;
    case SubFilter:
        std::memcpy(out, row, first);
        for (std::size_t i = first; i < bytes; ++i)
            out[i] = std::uint8_t(row[i] - row[i - Step]);
        return;
    case UpFilter:
        for (std::size_t i = 0; i < bytes; ++i)
            out[i] = std::uint8_t(row[i] - previous[i]);
        return;
    case PaethFilter:
        for (std::size_t i = 0; i < first; ++i)
            out[i] = std::uint8_t(row[i] - previous[i]);
        for (std::size_t i = first; i < bytes; ++i)
            out[i] = std::uint8_t(row[i] - Paeth(row[i - Step], previous[i], previous[i - Step]));
        return;
    }
}

// The usual heuristic: of None, Sub, Up and Paeth, the filter whose output,
// its bytes read as signed, sums closest to zero; the first on a tie. The
// four sums are taken in one pass, in blocks short enough for 32 bits.
template <std::size_t Step>
TOLLAMERE_KERNEL_BODY FilterType ChooseFilter(const std::uint8_t* row, const std::uint8_t* previous, std::size_t bytes) noexcept
{
    // |b| of a byte b read as signed, in unsigned bytes: the smaller of b and -b.
    const auto size = [](std::uint8_t filtered) { return std::min(filtered, std::uint8_t(-filtered)); };
    std::uint64_t costs[4] = {};
    const std::size_t first = std::min(Step, bytes);
    for (std::size_t i = 0; i < first; ++i) {
        costs[0] += size(row[i]);
        costs[1] += size(row[i]);
        costs[2] += size(std::uint8_t(row[i] - previous[i]));
        costs[3] += size(std::uint8_t(row[i] - previous[i]));
    }
    constexpr std::size_t Block = 1u << 20;
    for (std::size_t begin = first; begin < bytes; begin += Block) {
        const std::size_t end = std::min(bytes, begin + Block);
        std::uint32_t none = 0, sub = 0, up = 0, paeth = 0;
        for (std::size_t i = begin; i < end; ++i) {
            none += size(row[i]);
            sub += size(std::uint8_t(row[i] - row[i - Step]));
            up += size(std::uint8_t(row[i] - previous[i]));
            paeth += size(std::uint8_t(row[i] - Paeth(row[i - Step], previous[i], previous[i - Step])));
        }
        costs[0] += none;
        costs[1] += sub;
        costs[2] += up;
        costs[3] += paeth;
    }
    FilterType best = NoFilter;
    std::uint64_t bestCost = costs[0];
    for (const auto& [type, cost] : {std::pair{SubFilter, costs[1]}, {UpFilter, costs[2]}, {PaethFilter, costs[3]}})
        if (cost < bestCost) {
            best = type;
            bestCost = cost;
        }
    return best;
}

FilterType FixedFilterType(PngTuning::Filter filter) noexcept
{
    switch (filter) {
    case PngTuning::Filter::Sub: return SubFilter;
    case PngTuning::Filter::Up: return UpFilter;
    case PngTuning::Filter::Paeth: return PaethFilter;
    default: return NoFilter;
    }
}

// Every row as PNG stores it before compression, a filter type byte and the
// filtered samples, into `filtered`, whose memory is kept from picture to
// picture.
template <std::size_t Step>
TOLLAMERE_KERNEL_BODY void FilterRowsBody(const Picture& picture, PngTuning::Filter filter, std::uint8_t* filtered)
{
    const std::size_t width = std::size_t(picture.Width());
    const std::size_t rowBytes = width * Step;
    std::vector<std::uint8_t> previous(rowBytes, 0);
    std::vector<std::uint8_t> row(rowBytes);
    for (std::int32_t y = 0; y < picture.Height(); ++y) {
        RowSamples<Step>(picture.Row(y), width, row.data());
        std::uint8_t* out = filtered + std::size_t(y) * (rowBytes + 1);
        out[0] = filter == PngTuning::Filter::Adaptive ? ChooseFilter<Step>(row.data(), previous.data(), rowBytes) : FixedFilterType(filter);
        FilterRow<Step>(FilterType(out[0]), row.data(), previous.data(), rowBytes, out + 1);
        std::swap(row, previous);
    }
}

// The row filters of the two sample layouts, compiled per processor kind.
struct RowFilters {
    void (*FilterRgbRows)(const Picture&, PngTuning::Filter, std::uint8_t*);
    void (*FilterRgbaRows)(const Picture&, PngTuning::Filter, std::uint8_t*);
};

#define TOLLAMERE_PNG_FILTER_SET(Name, Attributes, ByteShuffles)                                                       \
    namespace Name {                                                                                                   \
    Attributes void FilterRgbRows(const Picture& picture, PngTuning::Filter filter, std::uint8_t* filtered)            \
    {                                                                                                                  \
        FilterRowsBody<3>(picture, filter, filtered);                                                                  \
    }                                                                                                                  \
    Attributes void FilterRgbaRows(const Picture& picture, PngTuning::Filter filter, std::uint8_t* filtered)           \
    {                                                                                                                  \
        FilterRowsBody<4>(picture, filter, filtered);                                                                  \
    }                                                                                                                  \
    constexpr RowFilters Filters{&FilterRgbRows, &FilterRgbaRows};                                                     \
    }

TOLLAMERE_KERNEL_SETS(TOLLAMERE_PNG_FILTER_SET)

#undef TOLLAMERE_PNG_FILTER_SET

// The picture's rows filtered into `filtered`, which has room for them.
void FilterRows(const Picture& picture, bool hasAlpha, PngTuning::Filter filter, std::uint8_t* filtered)
{
    const RowFilters& fastest = TOLLAMERE_KERNEL_CHOICE(Filters)::Fastest();
    (hasAlpha ? fastest.FilterRgbaRows : fastest.FilterRgbRows)(picture, filter, filtered);
}

// Reading.

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
    if (bytes.size() < PngSignature.size() || !std::equal(PngSignature.begin(), PngSignature.end(), bytes.begin()))
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

    KeptBytes& rows = ThreadRows();
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

PngTuning PngTuningForLevel(int level)
{
    PngTuning tuning;
    tuning.level = std::clamp(level, 0, 9);
    if (tuning.level == 0)
        tuning.filter = PngTuning::Filter::None;
    return tuning;
}

EncodedBytes EncodePngTuned(const Picture& picture, bool hasAlpha, const PictureMetadata& metadata, const PngTuning& tuning)
{
    if (!picture.HasBitmap())
        RaiseInvalidPicture("the picture has no pixels to save");
    EncodedBytes out(PngSignature.begin(), PngSignature.end());

    std::array<std::uint8_t, 13> header{};
    PutBigEndian(&header[0], std::uint32_t(picture.Width()), 4);
    PutBigEndian(&header[4], std::uint32_t(picture.Height()), 4);
    header[8] = 8;                   // bits per sample
    header[9] = hasAlpha ? 6 : 2;    // RGBA or RGB
    AppendChunk(out, "IHDR", header);

    if (!metadata.iccProfile.empty()) {
        constexpr std::string_view name("ICC profile\0\0", 13);  // the name, its end, compression method 0
        std::vector<std::uint8_t> profile(name.begin(), name.end());
        KeptBytes compressed;
        const std::size_t size = ZlibStream(metadata.iccProfile, PngTuningForLevel(9), compressed);
        profile.insert(profile.end(), compressed.Data(), compressed.Data() + size);
        AppendChunk(out, "iCCP", profile);
    }
    const bool ownResolution = metadata.HasResolution();
    std::array<std::uint8_t, 9> resolution{};
    PutBigEndian(&resolution[0], ownResolution ? metadata.dotsPerMetreX : DefaultDotsPerMetre, 4);
    PutBigEndian(&resolution[4], ownResolution ? metadata.dotsPerMetreY : DefaultDotsPerMetre, 4);
    resolution[8] = 1;  // per metre
    AppendChunk(out, "pHYs", resolution);

    const std::size_t filteredBytes = (std::size_t(picture.Width()) * (hasAlpha ? 4 : 3) + 1) * std::size_t(picture.Height());
    KeptBytes& rows = ThreadRows();
    std::uint8_t* filtered = rows.Reserve(filteredBytes);
    FilterRows(picture, hasAlpha, tuning.filter, filtered);
    thread_local KeptBytes compressed;
    const std::size_t size = ZlibStream(std::span(filtered, filteredBytes), tuning, compressed);
    const std::span<const std::uint8_t> stream(compressed.Data(), size);
    out.reserve(out.size() + size + (size / IdatChunkBytes + 2) * 12);
    for (std::size_t at = 0; at < size; at += IdatChunkBytes)
        AppendChunk(out, "IDAT", stream.subspan(at, std::min(IdatChunkBytes, size - at)));
    AppendChunk(out, "IEND", {});
    rows.ReleaseIfLarge();
    compressed.ReleaseIfLarge();
    return out;
}

EncodedBytes EncodePng(const Picture& picture, bool hasAlpha, const SaveSettings& settings)
{
    return EncodePngTuned(picture, hasAlpha, settings.metadata, settings.pngLevel ? PngTuningForLevel(*settings.pngLevel) : PngTuning{});
}

} // namespace tollamere
