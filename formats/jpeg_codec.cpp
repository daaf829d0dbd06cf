// SPDX-License-Identifier: MIT
#include "jpeg_codec.h"

#include "byte_order.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

namespace tollamere {
namespace {

struct TurboJpegDestroyer {
    void operator()(void* handle) const noexcept { tjDestroy(handle); }
};
using TurboJpegHandle = std::unique_ptr<void, TurboJpegDestroyer>;

// The byte order TurboJPEG must use so that each pixel lands as a native
// 0xAARRGGBB word.
constexpr int WordPixelFormat = std::endian::native == std::endian::little ? TJPF_BGRA : TJPF_ARGB;

constexpr std::string_view JfifSignature("JFIF\0", 5);
constexpr std::string_view ExifSignature("Exif\0\0", 6);
constexpr std::string_view IccSignature("ICC_PROFILE\0", 12);

struct JpegFrame {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t components = 0;
};

bool IsStartOfFrame(std::uint8_t marker) noexcept
{
    // 0xC4 (Huffman tables), 0xC8 (reserved) and 0xCC (arithmetic conditioning) share the range.
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

[[noreturn]] void RaiseTruncated()
{
    RaiseInvalidPicture("truncated JPEG data: the end-of-image marker is missing");
}

// Index of the marker that ends the entropy-coded data starting at `at`
// (stuffed zeros, restart markers and fill bytes belong to the data), or
// nothing when the bytes end first.
std::optional<std::size_t> SkipEntropyCodedData(std::span<const std::uint8_t> bytes, std::size_t at)
{
    for (;;) {
        const void* found = at < bytes.size() ? std::memchr(bytes.data() + at, 0xFF, bytes.size() - at) : nullptr;
        if (found == nullptr)
            return std::nullopt;
        at = std::size_t(static_cast<const std::uint8_t*>(found) - bytes.data());
        if (at + 1 >= bytes.size())
            return std::nullopt;
        const std::uint8_t next = bytes[at + 1];
        if (next == 0xFF)
            at += 1;
        else if (next == 0x00 || (next >= 0xD0 && next <= 0xD7))
            at += 2;
        else
            return at;
    }
}

enum class WalkEnd { EndOfImage, Stopped, Truncated };

// Hands each marker segment after the start-of-image, in order, to
// segment(marker, data), data starting with the segment's length field,
// until it answers false, the end-of-image marker comes or the bytes end.
template <typename Segment>
WalkEnd WalkJpegSegments(std::span<const std::uint8_t> bytes, const Segment& segment)
{
    std::size_t at = 2;
    for (;;) {
        // libjpeg skips stray bytes before a marker with a warning; do the same.
        while (at < bytes.size() && bytes[at] != 0xFF)
            ++at;
        while (at < bytes.size() && bytes[at] == 0xFF)
            ++at;
        if (at >= bytes.size())
            return WalkEnd::Truncated;
        const std::uint8_t marker = bytes[at++];
        if (marker == 0xD9)
            return WalkEnd::EndOfImage;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue;
        if (at + 2 > bytes.size())
            return WalkEnd::Truncated;
        const std::size_t length = BigEndian(&bytes[at], 2);
        if (length < 2)
            RaiseInvalidPicture("corrupt JPEG data: a marker segment has a length below 2");
        if (at + length > bytes.size())
            return WalkEnd::Truncated;
        if (!segment(marker, bytes.subspan(at, length)))
            return WalkEnd::Stopped;
        at += length;
        if (marker == 0xDA) {
            const std::optional<std::size_t> next = SkipEntropyCodedData(bytes, at);
            if (!next)
                return WalkEnd::Truncated;
            at = *next;
        }
    }
}

// The frame header of a start-of-frame segment.
JpegFrame FrameOf(std::span<const std::uint8_t> segment)
{
    if (segment.size() < 8)
        RaiseInvalidPicture("corrupt JPEG data: the frame header is too short");
    return JpegFrame{BigEndian(&segment[5], 2), BigEndian(&segment[3], 2), segment[7]};
}

// The metadata segments of a JPEG, as they are found.
class JpegMetadataReader {
public:
    void Read(std::uint8_t marker, std::span<const std::uint8_t> segment)
    {
        const std::span<const std::uint8_t> payload = segment.subspan(2);
        if (marker == 0xE0 && StartsWith(payload, JfifSignature) && payload.size() >= 12)
            ReadDensity(payload);
        else if (marker == 0xE1 && StartsWith(payload, ExifSignature) && metadata_.exif.empty())
            metadata_.exif.assign(payload.begin(), payload.end());
        else if (marker == 0xE2 && StartsWith(payload, IccSignature) && payload.size() > IccSignature.size() + 2)
            iccChunks_.push_back({payload[IccSignature.size()], payload[IccSignature.size() + 1],
                                  payload.subspan(IccSignature.size() + 2)});
    }

    // The profile is kept only when every one of its chunks is there, once,
    // and it describes RGB: the decoder gives RGB from grey and CMYK too.
    PictureMetadata Take()
    {
        std::sort(iccChunks_.begin(), iccChunks_.end(), [](const IccChunk& a, const IccChunk& b) { return a.sequence < b.sequence; });
        bool complete = !iccChunks_.empty();
        for (std::size_t i = 0; i < iccChunks_.size(); ++i)
            complete = complete && iccChunks_[i].sequence == i + 1 && iccChunks_[i].count == iccChunks_.size();
        if (complete)
            for (const IccChunk& chunk : iccChunks_)
                metadata_.iccProfile.insert(metadata_.iccProfile.end(), chunk.data.begin(), chunk.data.end());
        if (!IsRgbProfile(metadata_.iccProfile))
            metadata_.iccProfile.clear();
        return std::move(metadata_);
    }

private:
    struct IccChunk {
        std::uint8_t sequence = 0;
        std::uint8_t count = 0;
        std::span<const std::uint8_t> data;
    };

    static bool StartsWith(std::span<const std::uint8_t> payload, std::string_view signature)
    {
        return payload.size() >= signature.size() && std::equal(signature.begin(), signature.end(), payload.begin(),
                                                                [](char s, std::uint8_t b) { return std::uint8_t(s) == b; });
    }

    // Units 1 are dots per inch, 2 dots per centimetre; 0 gives only the
    // aspect ratio, which is no resolution.
    void ReadDensity(std::span<const std::uint8_t> payload)
    {
        const std::uint8_t units = payload[7];
        const std::uint32_t x = BigEndian(&payload[8], 2);
        const std::uint32_t y = BigEndian(&payload[10], 2);
        if (x == 0 || y == 0 || (units != 1 && units != 2))
            return;
        const auto perMetre = [units](std::uint32_t density) {
            return units == 2 ? density * 100 : static_cast<std::uint32_t>(std::lround(density / 0.0254));
        };
        metadata_.dotsPerMetreX = perMetre(x);
        metadata_.dotsPerMetreY = perMetre(y);
    }

    PictureMetadata metadata_;
    std::vector<IccChunk> iccChunks_;
};

struct JpegHeaders {
    JpegFrame frame;
    PictureMetadata metadata;
};

// Walks the marker segments from the start-of-image to the end-of-image and
// returns the first frame header and the metadata. libjpeg only warns when a
// stream stops early and fills the rest with grey, so truncation is detected
// here; the frame is read here too because tjDecompressHeader3 refuses
// sampling factors TurboJPEG has no name for, although it decodes them.
JpegHeaders ReadHeadersAndCheckComplete(std::span<const std::uint8_t> bytes)
{
    std::optional<JpegFrame> frame;
    JpegMetadataReader metadata;
    const WalkEnd end = WalkJpegSegments(bytes, [&](std::uint8_t marker, std::span<const std::uint8_t> segment) {
        if (IsStartOfFrame(marker) && !frame)
            frame = FrameOf(segment);
        else if (!frame)
            metadata.Read(marker, segment);
        return true;
    });
    if (end == WalkEnd::Truncated)
        RaiseTruncated();
    if (!frame)
        RaiseInvalidPicture("JPEG data without a frame header");
    return {*frame, metadata.Take()};
}

// Appends a marker segment: the marker, the length field, the signature and
// the data.
void AppendSegment(EncodedBytes& out, std::uint8_t marker, std::string_view signature, std::span<const std::uint8_t> head,
                   std::span<const std::uint8_t> data)
{
    const std::size_t length = 2 + signature.size() + head.size() + data.size();
    out.insert(out.end(), {0xFF, marker, std::uint8_t(length >> 8), std::uint8_t(length & 0xFF)});
    out.insert(out.end(), signature.begin(), signature.end());
    out.insert(out.end(), head.begin(), head.end());
    out.insert(out.end(), data.begin(), data.end());
}

// TurboJPEG writes SOI and a JFIF segment without a resolution; the
// metadata's resolution goes into that segment and its EXIF block and
// colour profile into segments right after it.
EncodedBytes WithMetadata(std::span<const std::uint8_t> encoded, const PictureMetadata& metadata)
{
    constexpr std::size_t MaxSegmentData = 65535 - 2;
    std::size_t headerEnd = 2;
    if (encoded.size() > 4 && encoded[2] == 0xFF && encoded[3] == 0xE0)
        headerEnd = 4 + BigEndian(&encoded[4], 2);
    EncodedBytes out(encoded.begin(), encoded.begin() + std::ptrdiff_t(headerEnd));
    if (metadata.HasResolution() && headerEnd >= 20) {
        // In dots per inch, the unit readers know best; a density must fit 16 bits.
        const auto perInch = [](std::uint32_t perMetre) {
            return std::uint16_t(std::clamp<long>(std::lround(perMetre * 0.0254), 1, 65535));
        };
        out[4 + 2 + 7] = 1;
        PutBigEndian(&out[4 + 2 + 8], perInch(metadata.dotsPerMetreX), 2);
        PutBigEndian(&out[4 + 2 + 10], perInch(metadata.dotsPerMetreY), 2);
    }
    if (!metadata.exif.empty() && metadata.exif.size() <= MaxSegmentData)
        AppendSegment(out, 0xE1, {}, {}, metadata.exif);
    const std::span<const std::uint8_t> icc = metadata.iccProfile;
    constexpr std::size_t chunkBytes = MaxSegmentData - IccSignature.size() - 2;
    const std::size_t chunks = (icc.size() + chunkBytes - 1) / chunkBytes;
    if (chunks <= 255) {
        for (std::size_t i = 0; i < chunks; ++i) {
            const std::array<std::uint8_t, 2> head{std::uint8_t(i + 1), std::uint8_t(chunks)};
            AppendSegment(out, 0xE2, IccSignature, head, icc.subspan(i * chunkBytes, std::min(chunkBytes, icc.size() - i * chunkBytes)));
        }
    }
    out.insert(out.end(), encoded.begin() + std::ptrdiff_t(headerEnd), encoded.end());
    return out;
}

// libjpeg reports these while reading markers that do not describe pixels
// (the texts are those of its message table); every other warning means the
// picture came out damaged.
bool IsHarmlessWarning(std::string_view message) noexcept
{
    constexpr std::array harmless{
        std::string_view{"Warning: unknown JFIF revision number"},
        std::string_view{"Unknown Adobe color transform code"},
        std::string_view{"Corrupt JPEG data: bad ICC marker"},
    };
    return std::any_of(harmless.begin(), harmless.end(), [&](std::string_view start) { return message.starts_with(start); });
}

bool MentionsMemory(std::string_view message) noexcept
{
    return message.find("emory") != std::string_view::npos;
}

void CheckTurboJpegStatus(int status, void* handle, const char* what)
{
    if (status == 0)
        return;
    const std::string message = tjGetErrorStr2(handle);
    if (tjGetErrorCode(handle) == TJERR_WARNING && IsHarmlessWarning(message))
        return;
    if (MentionsMemory(message))
        RaiseWithReason(ErrorNumber::OutOfMemory, std::string(what) + ": " + message);
    RaiseInvalidPicture(message);
}

TurboJpegHandle StartTurboJpeg(tjhandle handle, const char* what)
{
    if (handle == nullptr)
        RaiseWithReason(ErrorNumber::OutOfMemory, std::string("cannot start the ") + what);
    return TurboJpegHandle(handle);
}

// Photoshop, which writes most CMYK JPEGs, stores the inks inverted (255 means
// no ink), so each stored value is already the complement a colour needs.
void InksToColours(const std::vector<std::uint8_t>& inks, const PixelLayout& into) noexcept
{
    const std::uint8_t* ink = inks.data();
    for (std::int32_t y = 0; y < into.height; ++y) {
        std::uint8_t* row = into.Row(y);
        for (std::int32_t x = 0; x < into.width; ++x, ink += 4) {
            const std::uint32_t black = ink[3];
            const auto channel = [black](std::uint32_t value) { return (value * black + 127) / 255; };
            const std::uint32_t colour = 0xFF000000u | channel(ink[0]) << 16 | channel(ink[1]) << 8 | channel(ink[2]);
            if (into.order == PixelOrder::ArgbWords) {
                std::memcpy(row + 4 * std::size_t(x), &colour, 4);
            } else {
                row[3 * std::size_t(x)] = std::uint8_t(colour);
                row[3 * std::size_t(x) + 1] = std::uint8_t(colour >> 8);
                row[3 * std::size_t(x) + 2] = std::uint8_t(colour >> 16);
            }
        }
    }
}

// How TurboJPEG is told a layout: its pixel format, row pitch and flags.
struct TurboJpegLayout {
    int pixelFormat = WordPixelFormat;
    int pitch = 0;
    int flags = 0;
};

TurboJpegLayout TurboJpegLayoutOf(const ConstPixelLayout& layout)
{
    if (layout.stride < std::int64_t(layout.width) * layout.BytesPerPixel() || layout.stride > std::numeric_limits<int>::max())
        RaiseWithReason(ErrorNumber::InvalidProcedureCall, "rows of " + std::to_string(layout.stride) + " bytes do not hold "
                                                               + std::to_string(layout.width) + " pixels");
    return {layout.order == PixelOrder::ArgbWords ? WordPixelFormat : TJPF_BGR, static_cast<int>(layout.stride),
            layout.bottomUp ? TJFLAG_BOTTOMUP : 0};
}

} // namespace

bool LooksLikeJpeg(std::span<const std::uint8_t> bytes) noexcept
{
    return bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8;
}

namespace {

// Refusing streams of more than 500 scans stops a tiny progressive file from
// keeping the decoder busy for minutes.
constexpr int DecodeFlags = TJFLAG_LIMITSCANS;

// Each thread keeps its decoder for the next picture.
tjhandle ThreadDecoder()
{
    thread_local TurboJpegHandle decoder;
    if (!decoder)
        decoder = StartTurboJpeg(tjInitDecompress(), "JPEG decoder");
    return decoder.get();
}

} // namespace

JpegHeader ReadJpegHeader(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels)
{
    JpegHeaders headers = ReadHeadersAndCheckComplete(bytes);
    const JpegFrame& frame = headers.frame;
    CheckPictureDimensions(frame.width, frame.height, maxPixels);
    return {static_cast<std::int32_t>(frame.width), static_cast<std::int32_t>(frame.height), frame.components == 4,
            std::move(headers.metadata)};
}

void DecodeJpeg(std::span<const std::uint8_t> bytes, const JpegHeader& header, const PixelLayout& into)
{
    if (into.pixels == nullptr || into.width != header.width || into.height != header.height)
        RaiseWithReason(ErrorNumber::InvalidProcedureCall, "the JPEG holds " + std::to_string(header.width) + " x "
                                                               + std::to_string(header.height) + " pixels, the memory given is laid out for "
                                                               + std::to_string(into.width) + " x " + std::to_string(into.height));
    const TurboJpegLayout layout = TurboJpegLayoutOf(into);
    const tjhandle decoder = ThreadDecoder();
    if (header.inks) {
        std::vector<std::uint8_t> inks(std::size_t(header.width) * std::size_t(header.height) * 4);
        CheckTurboJpegStatus(tjDecompress2(decoder, bytes.data(), bytes.size(), inks.data(), header.width, header.width * 4, header.height,
                                           TJPF_CMYK, DecodeFlags),
                             decoder, "JPEG decoder");
        InksToColours(inks, into);
    } else {
        CheckTurboJpegStatus(tjDecompress2(decoder, bytes.data(), bytes.size(), into.pixels, header.width, layout.pitch, header.height,
                                           layout.pixelFormat, DecodeFlags | layout.flags),
                             decoder, "JPEG decoder");
    }
}

void DecodeJpeg(std::span<const std::uint8_t> bytes, PictureFile& into, std::uint64_t maxPixels)
{
    DecodeJpeg(bytes, ReadJpegHeader(bytes, maxPixels), into);
}

void DecodeJpeg(std::span<const std::uint8_t> bytes, JpegHeader&& header, PictureFile& into)
{
    into.picture.Resize(header.width, header.height);
    into.hasAlpha = false;
    into.metadata = std::move(header.metadata);
    DecodeJpeg(bytes, header, into.picture.Layout());
}

EncodedBytes EncodeJpeg(const ConstPixelLayout& source, int quality, const PictureMetadata& metadata)
{
    if (!source.HasPixels())
        RaiseInvalidPicture("the picture has no pixels to save");
    // JPEG_MAX_DIMENSION of libjpeg.
    constexpr int largestSide = 65500;
    if (source.width > largestSide || source.height > largestSide)
        RaiseInvalidPicture("a JPEG holds at most " + std::to_string(largestSide) + " x " + std::to_string(largestSide)
                            + " pixels; this picture has " + std::to_string(source.width) + " x " + std::to_string(source.height));
    const TurboJpegLayout layout = TurboJpegLayoutOf(source);
    // Each thread keeps its encoder, and the buffer it grew, for the next picture.
    thread_local TurboJpegHandle encoder;
    thread_local KeptBytes buffer;
    if (!encoder)
        encoder = StartTurboJpeg(tjInitCompress(), "JPEG encoder");
    const int subsampling = JpegSubsamplesChroma(quality) ? TJSAMP_420 : TJSAMP_444;
    const unsigned long needed = tjBufSize(source.width, source.height, subsampling);
    if (needed == static_cast<unsigned long>(-1))
        RaiseWithReason(ErrorNumber::InvalidProcedureCall, "JPEG encoder: the picture is too large");
    // TJFLAG_NOREALLOC below: the encoder writes into this buffer and never
    // frees it, so any memory serves.
    unsigned char* jpeg = nullptr;
    try {
        jpeg = buffer.Reserve(needed);
    } catch (const std::bad_alloc&) {
        RaiseWithReason(ErrorNumber::OutOfMemory, "JPEG encoder: no memory for the output");
    }
    unsigned long jpegSize = needed;
    const int status = tjCompress2(encoder.get(), source.pixels, source.width, layout.pitch, source.height, layout.pixelFormat, &jpeg,
                                   &jpegSize, subsampling, std::clamp(quality, 0, 100), layout.flags | TJFLAG_NOREALLOC);
    if (status != 0) {
        const std::string message = tjGetErrorStr2(encoder.get());
        RaiseWithReason(MentionsMemory(message) ? ErrorNumber::OutOfMemory : ErrorNumber::InvalidProcedureCall, "JPEG encoder: " + message);
    }
    const std::span<const std::uint8_t> encoded(jpeg, jpegSize);
    if (metadata.iccProfile.empty() && metadata.exif.empty() && metadata.dotsPerMetreX == 0)
        return EncodedBytes(encoded.begin(), encoded.end());
    return WithMetadata(encoded, metadata);
}

std::optional<PictureSize> JpegFrameSize(std::span<const std::uint8_t> start)
{
    std::optional<PictureSize> size;
    try {
        WalkJpegSegments(start, [&](std::uint8_t marker, std::span<const std::uint8_t> segment) {
            if (!IsStartOfFrame(marker))
                return true;
            const JpegFrame frame = FrameOf(segment);
            size = PictureSize{frame.width, frame.height};
            return false;
        });
    } catch (const RuntimeError&) {
    }
    return size;
}

} // namespace tollamere
