// SPDX-License-Identifier: MIT
#include "jpeg_codec.h"

#include "byte_order.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

namespace tollamere {
namespace {

struct TurboJpegDestroyer {
    void operator()(void* handle) const noexcept { tjDestroy(handle); }
};
using TurboJpegHandle = std::unique_ptr<void, TurboJpegDestroyer>;

struct TurboJpegFree {
    void operator()(unsigned char* buffer) const noexcept { tjFree(buffer); }
};

// The byte order TurboJPEG must use so that each pixel lands as a native
// 0xAARRGGBB word.
constexpr int WordPixelFormat = std::endian::native == std::endian::little ? TJPF_BGRA : TJPF_ARGB;

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

// Walks the marker segments from the start-of-image to the end-of-image and
// returns the first frame header. libjpeg only warns when a stream stops
// early and fills the rest with grey, so truncation is detected here; the
// frame is read here too because tjDecompressHeader3 refuses sampling
// factors TurboJPEG has no name for, although it decodes them.
JpegFrame ReadFrameAndCheckComplete(std::span<const std::uint8_t> bytes)
{
    std::optional<JpegFrame> frame;
    const WalkEnd end = WalkJpegSegments(bytes, [&](std::uint8_t marker, std::span<const std::uint8_t> segment) {
        if (IsStartOfFrame(marker) && !frame)
            frame = FrameOf(segment);
        return true;
    });
    if (end == WalkEnd::Truncated)
        RaiseTruncated();
    if (!frame)
        RaiseInvalidPicture("JPEG data without a frame header");
    return *frame;
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
void InksToColours(const std::vector<std::uint8_t>& inks, Picture& picture) noexcept
{
    const std::uint8_t* ink = inks.data();
    for (std::int32_t y = 0; y < picture.Height(); ++y) {
        std::uint32_t* row = picture.Row(y);
        for (std::int32_t x = 0; x < picture.Width(); ++x, ink += 4) {
            const std::uint32_t black = ink[3];
            const auto channel = [black](std::uint32_t value) { return (value * black + 127) / 255; };
            row[x] = 0xFF000000u | channel(ink[0]) << 16 | channel(ink[1]) << 8 | channel(ink[2]);
        }
    }
}

} // namespace

bool LooksLikeJpeg(std::span<const std::uint8_t> bytes) noexcept
{
    return bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8;
}

PictureFile DecodeJpeg(std::span<const std::uint8_t> bytes)
{
    const JpegFrame frame = ReadFrameAndCheckComplete(bytes);
    CheckPictureDimensions(frame.width, frame.height);
    const auto decoder = StartTurboJpeg(tjInitDecompress(), "JPEG decoder");

    const auto width = static_cast<int>(frame.width);
    const auto height = static_cast<int>(frame.height);
    PictureFile result{Picture(width, height), false};
    // Refusing streams of more than 500 scans stops a tiny progressive file
    // from keeping the decoder busy for minutes.
    constexpr int flags = TJFLAG_LIMITSCANS;
    if (frame.components == 4) {
        std::vector<std::uint8_t> inks(std::size_t(width) * std::size_t(height) * 4);
        CheckTurboJpegStatus(tjDecompress2(decoder.get(), bytes.data(), bytes.size(), inks.data(), width, width * 4, height, TJPF_CMYK, flags),
                             decoder.get(), "JPEG decoder");
        InksToColours(inks, result.picture);
    } else {
        auto* pixels = reinterpret_cast<unsigned char*>(result.picture.Row(0));
        CheckTurboJpegStatus(tjDecompress2(decoder.get(), bytes.data(), bytes.size(), pixels, width, width * 4, height, WordPixelFormat, flags),
                             decoder.get(), "JPEG decoder");
    }
    return result;
}

EncodedBytes EncodeJpeg(const Picture& picture, int quality, const PictureMetadata& metadata)
{
    if (!picture.HasBitmap())
        RaiseInvalidPicture("the picture has no pixels to save");
    // JPEG_MAX_DIMENSION of libjpeg.
    constexpr std::int32_t largestSide = 65500;
    if (picture.Width() > largestSide || picture.Height() > largestSide)
        RaiseInvalidPicture("a JPEG holds at most " + std::to_string(largestSide) + " x " + std::to_string(largestSide)
                            + " pixels; this picture has " + std::to_string(picture.Width()) + " x " + std::to_string(picture.Height()));
    const auto encoder = StartTurboJpeg(tjInitCompress(), "JPEG encoder");

    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    const int status = tjCompress2(encoder.get(), reinterpret_cast<const unsigned char*>(picture.Row(0)), picture.Width(),
                                   picture.Width() * 4, picture.Height(), WordPixelFormat, &jpeg, &jpegSize,
                                   JpegSubsamplesChroma(quality) ? TJSAMP_420 : TJSAMP_444,
                                   std::clamp(quality, 0, 100), 0);
    const std::unique_ptr<unsigned char, TurboJpegFree> owner(jpeg);
    if (status != 0) {
        const std::string message = tjGetErrorStr2(encoder.get());
        RaiseWithReason(MentionsMemory(message) ? ErrorNumber::OutOfMemory : ErrorNumber::InvalidProcedureCall, "JPEG encoder: " + message);
    }
    return EncodedBytes(jpeg, jpeg + jpegSize);
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
