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
#include <cstdint>
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

// A zlib compressor at the tuning's level and strategy.
class ZlibCompressor {
public:
    explicit ZlibCompressor(const PngTuning& tuning)
    {
        if (deflateInit2(&stream_, std::clamp(tuning.level, 0, 9), Z_DEFLATED, 15, 8, tuning.zlibStrategy) != Z_OK)
            throw std::bad_alloc();
    }
    ZlibCompressor(const ZlibCompressor&) = delete;
    ZlibCompressor& operator=(const ZlibCompressor&) = delete;
    ~ZlibCompressor() { deflateEnd(&stream_); }

    z_stream& Stream() noexcept { return stream_; }

    // Compresses the data into `room`, over and over when it is too small;
    // the size of the whole stream.
    std::size_t Compress(std::span<const std::uint8_t> data, std::uint8_t* room, std::size_t roomBytes)
    {
        stream_.next_in = const_cast<Bytef*>(data.data());
        stream_.avail_in = uInt(data.size());
        int status = Z_OK;
        while (status == Z_OK) {
            stream_.next_out = room;
            stream_.avail_out = uInt(roomBytes);
            status = deflate(&stream_, Z_FINISH);
        }
        if (status != Z_STREAM_END)
            RaiseInvalidPicture("the PNG compressor failed");
        return stream_.total_out;
    }

private:
    z_stream stream_{};
};

// The data as a zlib stream, into out; its size.
std::size_t ZlibStream(std::span<const std::uint8_t> data, const PngTuning& tuning, KeptBytes& out)
{
    if (tuning.compressor != PngTuning::Compressor::Zlib) {
        libdeflate_compressor* compressor = CompressorFor(tuning.level);
        const std::size_t bound = libdeflate_zlib_compress_bound(compressor, data.size());
        const std::size_t size = libdeflate_zlib_compress(compressor, data.data(), data.size(), out.Reserve(bound), bound);
        if (size == 0)
            RaiseInvalidPicture("the PNG compressor found no room for the picture");
        return size;
    }
    ZlibCompressor compressor(tuning);
    const std::size_t bound = deflateBound(&compressor.Stream(), uLong(data.size()));
    return compressor.Compress(data, out.Reserve(bound), bound);
}

// The size of the data as a zlib stream, the stream itself thrown away.
std::size_t ZlibStreamSize(std::span<const std::uint8_t> data, const PngTuning& tuning)
{
    std::array<std::uint8_t, 1u << 16> room;
    ZlibCompressor compressor(tuning);
    return compressor.Compress(data, room.data(), room.size());
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


// PNG's filter types.
enum FilterType : std::uint8_t { NoFilter = 0, SubFilter = 1, UpFilter = 2, AverageFilter = 3, PaethFilter = 4 };

TOLLAMERE_KERNEL_BODY std::uint8_t Average(std::uint8_t left, std::uint8_t up) noexcept
{
    return std::uint8_t((unsigned(left) + unsigned(up)) >> 1);
}

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
    case AverageFilter:
        for (std::size_t i = 0; i < first; ++i)
            out[i] = std::uint8_t(row[i] - (previous[i] >> 1));
        for (std::size_t i = first; i < bytes; ++i)
            out[i] = std::uint8_t(row[i] - Average(row[i - Step], previous[i]));
        return;
    case PaethFilter:
        for (std::size_t i = 0; i < first; ++i)
            out[i] = std::uint8_t(row[i] - previous[i]);
        for (std::size_t i = first; i < bytes; ++i)
            out[i] = std::uint8_t(row[i] - Paeth(row[i - Step], previous[i], previous[i - Step]));
        return;
    }
}

// The usual heuristic, libpng's: of the five filters, the one whose output,
// its bytes read as signed, sums closest to zero; the first on a tie. The
// five sums are taken in one pass, in blocks short enough for 32 bits.
template <std::size_t Step>
TOLLAMERE_KERNEL_BODY FilterType ChooseFilter(const std::uint8_t* row, const std::uint8_t* previous, std::size_t bytes) noexcept
{
    // |b| of a byte b read as signed, in unsigned bytes: the smaller of b and -b.
    const auto size = [](std::uint8_t filtered) { return std::min(filtered, std::uint8_t(-filtered)); };
    std::uint64_t costs[5] = {};
    const std::size_t first = std::min(Step, bytes);
    for (std::size_t i = 0; i < first; ++i) {
        costs[NoFilter] += size(row[i]);
        costs[SubFilter] += size(row[i]);
        costs[UpFilter] += size(std::uint8_t(row[i] - previous[i]));
        costs[AverageFilter] += size(std::uint8_t(row[i] - (previous[i] >> 1)));
        costs[PaethFilter] += size(std::uint8_t(row[i] - previous[i]));
    }
    constexpr std::size_t Block = 1u << 20;
    for (std::size_t begin = first; begin < bytes; begin += Block) {
        const std::size_t end = std::min(bytes, begin + Block);
        std::uint32_t none = 0, sub = 0, up = 0, average = 0, paeth = 0;
        for (std::size_t i = begin; i < end; ++i) {
            none += size(row[i]);
            sub += size(std::uint8_t(row[i] - row[i - Step]));
            up += size(std::uint8_t(row[i] - previous[i]));
            average += size(std::uint8_t(row[i] - Average(row[i - Step], previous[i])));
            paeth += size(std::uint8_t(row[i] - Paeth(row[i - Step], previous[i], previous[i - Step])));
        }
        costs[NoFilter] += none;
        costs[SubFilter] += sub;
        costs[UpFilter] += up;
        costs[AverageFilter] += average;
        costs[PaethFilter] += paeth;
    }
    FilterType best = NoFilter;
    for (const FilterType type : {SubFilter, UpFilter, AverageFilter, PaethFilter})
        if (costs[type] < costs[best])
            best = type;
    return best;
}

FilterType FixedFilterType(PngTuning::Filter filter) noexcept
{
    switch (filter) {
    case PngTuning::Filter::Sub: return SubFilter;
    case PngTuning::Filter::Up: return UpFilter;
    case PngTuning::Filter::Average: return AverageFilter;
    case PngTuning::Filter::Paeth: return PaethFilter;
    default: return NoFilter;
    }
}

// Every row as PNG stores it before compression, a filter type byte and the
// filtered samples, into `filtered`, whose memory is kept from picture to
// picture; the number of those bytes that are zero.
template <std::size_t Step>
TOLLAMERE_KERNEL_BODY std::size_t FilterRowsBody(const Picture& picture, PngTuning::Filter filter, std::uint8_t* filtered)
{
    const std::size_t width = std::size_t(picture.Width());
    const std::size_t rowBytes = width * Step;
    std::vector<std::uint8_t> previous(rowBytes, 0);
    std::vector<std::uint8_t> row(rowBytes);
    std::size_t zeros = 0;
    for (std::int32_t y = 0; y < picture.Height(); ++y) {
        RowSamples<Step>(picture.Row(y), width, row.data());
        std::uint8_t* out = filtered + std::size_t(y) * (rowBytes + 1);
        out[0] = filter == PngTuning::Filter::Adaptive ? ChooseFilter<Step>(row.data(), previous.data(), rowBytes) : FixedFilterType(filter);
        FilterRow<Step>(FilterType(out[0]), row.data(), previous.data(), rowBytes, out + 1);
        for (std::size_t i = 0; i <= rowBytes; ++i)
            zeros += out[i] == 0;
        std::swap(row, previous);
    }
    return zeros;
}

// The row filters of the two sample layouts, compiled per processor kind.
struct RowFilters {
    std::size_t (*FilterRgbRows)(const Picture&, PngTuning::Filter, std::uint8_t*);
    std::size_t (*FilterRgbaRows)(const Picture&, PngTuning::Filter, std::uint8_t*);
};

#define TOLLAMERE_PNG_FILTER_SET(Name, Attributes, ByteShuffles)                                                       \
    namespace Name {                                                                                                   \
    Attributes std::size_t FilterRgbRows(const Picture& picture, PngTuning::Filter filter, std::uint8_t* filtered)     \
    {                                                                                                                  \
        return FilterRowsBody<3>(picture, filter, filtered);                                                           \
    }                                                                                                                  \
    Attributes std::size_t FilterRgbaRows(const Picture& picture, PngTuning::Filter filter, std::uint8_t* filtered)    \
    {                                                                                                                  \
        return FilterRowsBody<4>(picture, filter, filtered);                                                           \
    }                                                                                                                  \
    constexpr RowFilters Filters{&FilterRgbRows, &FilterRgbaRows};                                                     \
    }

TOLLAMERE_KERNEL_SETS(TOLLAMERE_PNG_FILTER_SET)

#undef TOLLAMERE_PNG_FILTER_SET

// The picture's rows filtered into `filtered`, which has room for them; the
// number of its bytes that are zero.
std::size_t FilterRows(const Picture& picture, bool hasAlpha, PngTuning::Filter filter, std::uint8_t* filtered)
{
    const RowFilters& fastest = TOLLAMERE_KERNEL_CHOICE(Filters)::Fastest();
    return (hasAlpha ? fastest.FilterRgbaRows : fastest.FilterRgbRows)(picture, filter, filtered);
}

// The bounds of the Chosen tuning, from bench/png_choice.cpp: the smooth
// pictures there filter to 88 % zero bytes and more, the grainy ones to 55 %
// and less (a noisy button on a transparent ground). A picture whose rows
// fill no more than SmallRowBytes (a 256 x 256 button) takes libdeflate's
// level 8 in a millisecond or two.
constexpr std::size_t GrainBelowZerosPercent = 70;
constexpr std::size_t SmoothFromZerosPercent = 85;
constexpr std::size_t SmallRowBytes = std::size_t(1) << 18;
constexpr int SmallLevel = 8;

// The filtered rows compressed as the Chosen tuning says, into out; its size.
// A picture in between is measured with zlib's runs first, so that it needs
// no second buffer, and compressed that way again when they are the smaller.
std::size_t ChosenStream(std::span<const std::uint8_t> data, std::size_t zeros, int level, KeptBytes& out)
{
    const std::size_t zerosPercent = data.empty() ? 100 : zeros * 100 / data.size();
    const PngTuning runs{PngTuning::Compressor::Zlib, 6, PngTuning::Filter::Adaptive, Z_RLE};
    if (zerosPercent < GrainBelowZerosPercent)
        return ZlibStream(data, runs, out);
    const std::size_t runsSize = zerosPercent < SmoothFromZerosPercent ? ZlibStreamSize(data, runs) : SIZE_MAX;
    PngTuning matches;
    matches.compressor = PngTuning::Compressor::Libdeflate;
    matches.level = data.size() <= SmallRowBytes ? SmallLevel : level;
    const std::size_t size = ZlibStream(data, matches, out);
    return runsSize < size ? ZlibStream(data, runs, out) : size;
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
    tuning.compressor = PngTuning::Compressor::Libdeflate;
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
    const std::size_t zeros = FilterRows(picture, hasAlpha, tuning.filter, filtered);
    thread_local KeptBytes compressed;
    const std::span<const std::uint8_t> data(filtered, filteredBytes);
    const std::size_t size = tuning.compressor == PngTuning::Compressor::Chosen ? ChosenStream(data, zeros, tuning.level, compressed)
                                                                                : ZlibStream(data, tuning, compressed);
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
