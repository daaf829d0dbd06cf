// SPDX-License-Identifier: MIT
#include "png_codec.h"

#include "byte_order.h"
#include "picture_probe.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
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

// The data as a zlib stream, into out.
void ZlibStream(std::span<const std::uint8_t> data, const PngTuning& tuning, std::vector<std::uint8_t>& out)
{
    if (tuning.compressor == PngTuning::Compressor::Libdeflate) {
        libdeflate_compressor* compressor = CompressorFor(tuning.level);
        out.resize(libdeflate_zlib_compress_bound(compressor, data.size()));
        const std::size_t size = libdeflate_zlib_compress(compressor, data.data(), data.size(), out.data(), out.size());
        if (size == 0)
            RaiseInvalidPicture("the PNG compressor found no room for the picture");
        out.resize(size);
        return;
    }
    z_stream stream{};
    if (deflateInit2(&stream, std::clamp(tuning.level, 0, 9), Z_DEFLATED, 15, 8, tuning.zlibStrategy) != Z_OK)
        throw std::bad_alloc();
    out.resize(deflateBound(&stream, uLong(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = uInt(data.size());
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    const int status = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END)
        RaiseInvalidPicture("the PNG compressor failed");
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
// selections without branches, so that the compiler can run a row's bytes
// side by side.
inline std::uint8_t Paeth(int left, int up, int upLeft) noexcept
{
    const int toLeft = std::abs(up - upLeft);
    const int toUp = std::abs(left - upLeft);
    const int toUpLeft = std::abs(left + up - 2 * upLeft);
    const int upOrUpLeft = toUp <= toUpLeft ? up : upLeft;
    return std::uint8_t(toLeft <= toUp && toLeft <= toUpLeft ? left : upOrUpLeft);
}

// Filters one row with filter type Type (0 None, 1 Sub, 2 Up, 4 Paeth) into
// out, without the type byte. One loop per type, so the compiler can keep
// each one simple.
template <int Type>
void FilterRow(const std::uint8_t* row, const std::uint8_t* previous, std::size_t bytes, std::size_t step, std::uint8_t* out) noexcept
{
    if constexpr (Type == 0) {
        std::memcpy(out, row, bytes);
    } else if constexpr (Type == 2) {
        for (std::size_t i = 0; i < bytes; ++i)
            out[i] = std::uint8_t(row[i] - previous[i]);
    } else {
        std::size_t i = 0;
        for (; i < std::min(step, bytes); ++i)
            out[i] = std::uint8_t(row[i] - (Type == 1 ? 0 : previous[i]));
        for (; i < bytes; ++i) {
            if constexpr (Type == 1)
                out[i] = std::uint8_t(row[i] - row[i - step]);
            else
                out[i] = std::uint8_t(row[i] - Paeth(row[i - step], previous[i], previous[i - step]));
        }
    }
}

using RowFilter = void (*)(const std::uint8_t*, const std::uint8_t*, std::size_t, std::size_t, std::uint8_t*) noexcept;

RowFilter FilterOfType(int type) noexcept
{
    switch (type) {
    case 1: return FilterRow<1>;
    case 2: return FilterRow<2>;
    case 4: return FilterRow<4>;
    default: return FilterRow<0>;
    }
}

// The sum of the filtered bytes read as signed, which the adaptive rule keeps
// as small as it can.
unsigned FilteredCost(const std::uint8_t* filtered, std::size_t bytes) noexcept
{
    unsigned cost = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        cost += unsigned(std::abs(int(std::int8_t(filtered[i]))));
    return cost;
}

int FixedFilterType(PngTuning::Filter filter) noexcept
{
    switch (filter) {
    case PngTuning::Filter::Sub: return 1;
    case PngTuning::Filter::Up: return 2;
    case PngTuning::Filter::Paeth: return 4;
    default: return 0;
    }
}

// Every row as PNG stores it before compression: a filter type byte, then
// the filtered samples.
// Filled into `filtered`, whose memory is kept from picture to picture.
void FilterRows(const Picture& picture, bool hasAlpha, PngTuning::Filter filter, std::vector<std::uint8_t>& filtered)
{
    const std::size_t step = hasAlpha ? 4 : 3;
    const std::size_t rowBytes = std::size_t(picture.Width()) * step;
    filtered.resize((rowBytes + 1) * std::size_t(picture.Height()));
    std::vector<std::uint8_t> previous(rowBytes, 0);
    std::vector<std::uint8_t> row(rowBytes);
    std::vector<std::uint8_t> trial(rowBytes);
    for (std::int32_t y = 0; y < picture.Height(); ++y) {
        const std::uint32_t* pixels = picture.Row(y);
        std::uint8_t* sample = row.data();
        for (std::int32_t x = 0; x < picture.Width(); ++x) {
            const std::uint32_t pixel = pixels[x];
            *sample++ = std::uint8_t(pixel >> 16);
            *sample++ = std::uint8_t(pixel >> 8);
            *sample++ = std::uint8_t(pixel);
            if (hasAlpha)
                *sample++ = std::uint8_t(pixel >> 24);
        }
        std::uint8_t* out = &filtered[std::size_t(y) * (rowBytes + 1)];
        if (filter != PngTuning::Filter::Adaptive) {
            out[0] = std::uint8_t(FixedFilterType(filter));
            FilterOfType(out[0])(row.data(), previous.data(), rowBytes, step, out + 1);
        } else {
            // The usual heuristic: of None, Sub, Up and Paeth, the filter whose
            // output is closest to zero. Average rarely wins and is left out.
            FilterRow<0>(row.data(), previous.data(), rowBytes, step, out + 1);
            unsigned best = FilteredCost(out + 1, rowBytes);
            out[0] = 0;
            for (const int type : {1, 2, 4}) {
                FilterOfType(type)(row.data(), previous.data(), rowBytes, step, trial.data());
                const unsigned cost = FilteredCost(trial.data(), rowBytes);
                if (cost < best) {
                    best = cost;
                    out[0] = std::uint8_t(type);
                    std::copy(trial.begin(), trial.end(), out + 1);
                }
            }
        }
        std::swap(row, previous);
    }
}

// A buffer kept by the thread for the next picture, given back when it is
// more than twice what this picture needs, so that one large picture does
// not keep its memory through a batch of small ones.
std::vector<std::uint8_t>& KeptBuffer(std::vector<std::uint8_t>& buffer, std::size_t needed)
{
    if (buffer.capacity() > 2 * needed)
        std::vector<std::uint8_t>().swap(buffer);
    return buffer;
}

} // namespace

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
        std::vector<std::uint8_t> compressed;
        ZlibStream(metadata.iccProfile, PngTuningForLevel(9), compressed);
        profile.insert(profile.end(), compressed.begin(), compressed.end());
        AppendChunk(out, "iCCP", profile);
    }
    const bool ownResolution = metadata.HasResolution();
    std::array<std::uint8_t, 9> resolution{};
    PutBigEndian(&resolution[0], ownResolution ? metadata.dotsPerMetreX : DefaultDotsPerMetre, 4);
    PutBigEndian(&resolution[4], ownResolution ? metadata.dotsPerMetreY : DefaultDotsPerMetre, 4);
    resolution[8] = 1;  // per metre
    AppendChunk(out, "pHYs", resolution);

    // Each thread keeps these for its next picture.
    thread_local std::vector<std::uint8_t> filtered;
    thread_local std::vector<std::uint8_t> compressed;
    const std::size_t filteredBytes = (std::size_t(picture.Width()) * (hasAlpha ? 4 : 3) + 1) * std::size_t(picture.Height());
    FilterRows(picture, hasAlpha, tuning.filter, KeptBuffer(filtered, filteredBytes));
    ZlibStream(filtered, tuning, KeptBuffer(compressed, filteredBytes + filteredBytes / 8 + 1024));
    out.reserve(out.size() + compressed.size() + (compressed.size() / IdatChunkBytes + 2) * 12);
    for (std::size_t at = 0; at < compressed.size(); at += IdatChunkBytes)
        AppendChunk(out, "IDAT", std::span(compressed).subspan(at, std::min(IdatChunkBytes, compressed.size() - at)));
    AppendChunk(out, "IEND", {});
    return out;
}

EncodedBytes EncodePng(const Picture& picture, bool hasAlpha, const SaveSettings& settings)
{
    return EncodePngTuned(picture, hasAlpha, settings.metadata, settings.pngLevel ? PngTuningForLevel(*settings.pngLevel) : PngTuning{});
}

} // namespace tollamere
