// SPDX-License-Identifier: MIT
#include "png_codec.h"

#include "byte_order.h"
#include "kernel_targets.h"
#include "png_format.h"
#include "png_shared.h"

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

} // namespace

KeptBytes& PngRowBuffer()
{
    thread_local KeptBytes rows;
    return rows;
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
    KeptBytes& rows = PngRowBuffer();
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
