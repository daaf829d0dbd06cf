// SPDX-License-Identifier: MIT
#include "jxl_codec.h"

#include "format_registry.h"

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/encode.h>
#include <jxl/encode_cxx.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tollamere {
namespace {

using Bytes = std::span<const std::uint8_t>;

// The container's signature box: its size, "JXL " and CR LF 0x87 LF.
constexpr std::uint8_t ContainerSignature[] = {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};

// Red, green, blue and alpha bytes, in that order, for each pixel.
constexpr JxlPixelFormat RgbaBytes{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
constexpr JxlPixelFormat RgbBytes{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};

// 1 is the fastest and 9 the slowest; libjxl's own default is 7. Timed on a
// photo of 4000 x 3000, lossless coding takes 3 s at 3 but 25 s at 4 and 40 s
// at 5, which a batch of photos cannot afford; lossy coding gains little above 3.
constexpr int EncoderEffort = 3;

// The largest distance libjxl 0.7 accepts.
constexpr float LargestDistance = 15.0f;

[[noreturn]] void RaiseDamaged()
{
    RaiseInvalidPicture("JPEG XL data: the decoder found it damaged or of a kind it does not read");
}

void CheckDecoder(JxlDecoderStatus status)
{
    if (status != JXL_DEC_SUCCESS)
        RaiseDamaged();
}

bool IsSrgb(const JxlColorEncoding& colour) noexcept
{
    const bool grey = colour.color_space == JXL_COLOR_SPACE_GRAY;
    return (grey || (colour.color_space == JXL_COLOR_SPACE_RGB && colour.primaries == JXL_PRIMARIES_SRGB))
           && colour.white_point == JXL_WHITE_POINT_D65 && colour.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
}

// Picks the colour space the decoder outputs and returns the profile that
// describes it, or nothing for sRGB. Pictures stored in their own colour
// space come out in it; those stored as XYB can come out in any named space,
// and libjxl would give linear sRGB for one that was under an embedded
// profile, which 8 bits hold badly, so sRGB is asked for instead.
std::vector<std::uint8_t> ChooseOutputProfile(JxlDecoder* decoder, const JxlBasicInfo& info)
{
    JxlColorEncoding colour{};
    const bool named = JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, &colour) == JXL_DEC_SUCCESS;
    if (!named && !info.uses_original_profile) {
        JxlColorEncodingSetToSRGB(&colour, info.num_color_channels == 1 ? JXL_TRUE : JXL_FALSE);
        CheckDecoder(JxlDecoderSetPreferredColorProfile(decoder, &colour));
    }
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &colour) == JXL_DEC_SUCCESS && IsSrgb(colour))
        return {};
    std::size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) != JXL_DEC_SUCCESS)
        return {};
    std::vector<std::uint8_t> profile(size);
    if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, profile.data(), size) != JXL_DEC_SUCCESS)
        return {};
    if (!IsRgbProfile(profile))
        return {};
    return profile;
}

// The decoder wrote red, green, blue and alpha bytes into the words.
void RgbaBytesToWords(Picture& picture, bool hasAlpha) noexcept
{
    const std::uint32_t opaque = hasAlpha ? 0 : 0xFF000000u;
    for (std::int32_t y = 0; y < picture.Height(); ++y) {
        std::uint32_t* row = picture.Row(y);
        for (std::int32_t x = 0; x < picture.Width(); ++x) {
            std::uint8_t rgba[4];
            std::memcpy(rgba, &row[x], 4);
            row[x] = opaque | std::uint32_t(rgba[3]) << 24 | std::uint32_t(rgba[0]) << 16 | std::uint32_t(rgba[1]) << 8 | rgba[2];
        }
    }
}

std::vector<std::uint8_t> WordsToBytes(const Picture& picture, bool withAlpha)
{
    const std::size_t channels = withAlpha ? 4 : 3;
    std::vector<std::uint8_t> bytes(std::size_t(picture.Width()) * std::size_t(picture.Height()) * channels);
    std::uint8_t* out = bytes.data();
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        for (const std::uint32_t pixel : std::span(picture.Row(y), std::size_t(picture.Width()))) {
            *out++ = std::uint8_t(pixel >> 16);
            *out++ = std::uint8_t(pixel >> 8);
            *out++ = std::uint8_t(pixel);
            if (withAlpha)
                *out++ = std::uint8_t(pixel >> 24);
        }
    return bytes;
}

void CheckEncoder(JxlEncoderStatus status, JxlEncoder* encoder, const char* step)
{
    if (status == JXL_ENC_SUCCESS)
        return;
    const JxlEncoderError error = JxlEncoderGetError(encoder);
    if (error == JXL_ENC_ERR_OOM)
        RaiseWithReason(ErrorNumber::OutOfMemory, std::string("JPEG XL encoder: no memory to ") + step);
    RaiseInvalidPicture(std::string("the JPEG XL encoder refused to ") + step + " (error " + std::to_string(int(error)) + ")");
}

void DeclareColours(JxlEncoder* encoder, const std::vector<std::uint8_t>& profile)
{
    if (!profile.empty()) {
        CheckEncoder(JxlEncoderSetICCProfile(encoder, profile.data(), profile.size()), encoder, "take the colour profile");
        return;
    }
    JxlColorEncoding srgb{};
    JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
    CheckEncoder(JxlEncoderSetColorEncoding(encoder, &srgb), encoder, "declare sRGB");
}

EncodedBytes CollectOutput(JxlEncoder* encoder)
{
    EncodedBytes output(64 * 1024);
    std::size_t written = 0;
    for (;;) {
        std::uint8_t* next = output.data() + written;
        std::size_t available = output.size() - written;
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder, &next, &available);
        written = std::size_t(next - output.data());
        if (status != JXL_ENC_NEED_MORE_OUTPUT) {
            CheckEncoder(status, encoder, "encode the picture");
            break;
        }
        output.resize(output.size() * 2);
    }
    output.resize(written);
    return output;
}

// libjxl 0.7 compresses a profile holding a run of more than about 65,000
// equal bytes (a zero-padded one, say) into a stream its own decoder refuses
// as corrupted. The size header and the profile are read back, without the
// pixels, so that such a file fails instead of being written.
void CheckHeadersReadBack(const EncodedBytes& output)
{
    const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    if (!decoder)
        RaiseWithReason(ErrorNumber::OutOfMemory, "cannot start the JPEG XL decoder");
    JxlDecoderStatus status = JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING);
    if (status == JXL_DEC_SUCCESS)
        status = JxlDecoderSetInput(decoder.get(), output.data(), output.size());
    JxlDecoderCloseInput(decoder.get());
    if (status == JXL_DEC_SUCCESS && JxlDecoderProcessInput(decoder.get()) == JXL_DEC_BASIC_INFO
        && JxlDecoderProcessInput(decoder.get()) == JXL_DEC_COLOR_ENCODING)
        return;
    RaiseInvalidPicture("the JPEG XL encoder wrote a file that does not read back: the decoder refuses its header or colour profile");
}

} // namespace

// A bare JPEG XL codestream (FF 0A) or one in the JPEG XL container (its
// 12-byte signature box).
bool LooksLikeJxl(std::span<const std::uint8_t> bytes) noexcept
{
    const bool codestream = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0x0A;
    return codestream || (bytes.size() >= sizeof ContainerSignature && std::equal(std::begin(ContainerSignature), std::end(ContainerSignature), bytes.begin()));
}

// Decodes the first frame (as displayed: oriented, animation frames of no
// duration merged), reduced to 8 bits per channel, grey expanded to RGB,
// alpha kept. metadata.iccProfile is the profile of the decoded colours when
// they are not sRGB: the embedded profile of a file stored in its own colour
// space, or libjxl's profile for a named space other than sRGB. A file stored
// in the XYB space under an embedded profile is decoded to sRGB, without it;
// grey profiles are left out, as the picture is RGB.
// Damage is an Invalid picture (481); a size beyond the limit, or memory
// running out, is Out of memory (7); more than maxPixels raises
// PictureBeyondAllowance.
PictureFile DecodeJxl(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels)
{
    const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    if (!decoder)
        RaiseWithReason(ErrorNumber::OutOfMemory, "cannot start the JPEG XL decoder");
    CheckDecoder(JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE));
    CheckDecoder(JxlDecoderSetUnpremultiplyAlpha(decoder.get(), JXL_TRUE));
    CheckDecoder(JxlDecoderSetInput(decoder.get(), bytes.data(), bytes.size()));
    JxlDecoderCloseInput(decoder.get());

    PictureFile result;
    JxlBasicInfo info{};
    for (;;) {
        switch (JxlDecoderProcessInput(decoder.get())) {
        case JXL_DEC_BASIC_INFO:
            CheckDecoder(JxlDecoderGetBasicInfo(decoder.get(), &info));
            CheckPictureDimensions(info.xsize, info.ysize, maxPixels);
            result.hasAlpha = info.alpha_bits > 0;
            break;
        case JXL_DEC_COLOR_ENCODING:
            result.metadata.iccProfile = ChooseOutputProfile(decoder.get(), info);
            break;
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            std::size_t size = 0;
            CheckDecoder(JxlDecoderImageOutBufferSize(decoder.get(), &RgbaBytes, &size));
            if (size != std::size_t(info.xsize) * info.ysize * 4)
                RaiseDamaged();
            result.picture = Picture(std::int32_t(info.xsize), std::int32_t(info.ysize));
            CheckDecoder(JxlDecoderSetImageOutBuffer(decoder.get(), &RgbaBytes, result.picture.Row(0), size));
            break;
        }
        case JXL_DEC_FULL_IMAGE:
            // The first frame is the picture; later ones are animation.
            RgbaBytesToWords(result.picture, result.hasAlpha);
            if (result.hasAlpha)
                BlackenTransparentPixels(result.picture);
            return result;
        case JXL_DEC_NEED_MORE_INPUT:
            RaiseInvalidPicture("truncated JPEG XL data");
        case JXL_DEC_SUCCESS:
            RaiseInvalidPicture("JPEG XL data without a frame");
        default:
            RaiseDamaged();
        }
    }
}

// The size the basic information declares, from the start of a file; nothing
// when the bytes end before it or are no JPEG XL.
std::optional<PictureSize> JxlImageSize(std::span<const std::uint8_t> start)
{
    if (!LooksLikeJxl(start))
        return std::nullopt;
    const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    JxlBasicInfo info{};
    if (!decoder || JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS
        || JxlDecoderSetInput(decoder.get(), start.data(), start.size()) != JXL_DEC_SUCCESS
        || JxlDecoderProcessInput(decoder.get()) != JXL_DEC_BASIC_INFO || JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS)
        return std::nullopt;
    return PictureSize{info.xsize, info.ysize};
}

float JxlDistanceForQuality(int quality) noexcept
{
    // cjxl's mapping: linear from 0.1 at 99.99 to 6.4 at 30, steeper below,
    // where libjxl's range ends.
    const int clamped = std::clamp(quality, 1, 100);
    if (clamped >= 100)
        return 0.0f;
    if (clamped >= 30)
        return 0.1f + float(100 - clamped) * 0.09f;
    return std::min(LargestDistance, 6.4f + std::pow(2.5f, float(30 - clamped) / 5.0f) / 6.25f);
}

EncodedBytes EncodeJxl(const Picture& picture, bool hasAlpha, const SaveSettings& settings)
{
    // The size header codes a side in at most 30 bits.
    CheckPictureFitsFormat(picture, std::int32_t(1) << 30, "a JPEG XL");
    const float distance = settings.quality ? JxlDistanceForQuality(*settings.quality) : 0.0f;
    const bool lossless = distance == 0.0f;
    const JxlEncoderPtr encoder = JxlEncoderMake(nullptr);
    if (!encoder)
        RaiseWithReason(ErrorNumber::OutOfMemory, "cannot start the JPEG XL encoder");

    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = std::uint32_t(picture.Width());
    info.ysize = std::uint32_t(picture.Height());
    info.bits_per_sample = 8;
    info.num_color_channels = 3;
    // Lossy pictures are stored as XYB, libjxl's perceptual colour space.
    info.uses_original_profile = lossless ? JXL_TRUE : JXL_FALSE;
    if (hasAlpha) {
        info.alpha_bits = 8;
        info.num_extra_channels = 1;
    }
    CheckEncoder(JxlEncoderSetBasicInfo(encoder.get(), &info), encoder.get(), "take the picture's size");
    DeclareColours(encoder.get(), settings.metadata.iccProfile);

    JxlEncoderFrameSettings* frame = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    if (frame == nullptr)
        RaiseWithReason(ErrorNumber::OutOfMemory, "cannot start the JPEG XL encoder");
    CheckEncoder(JxlEncoderFrameSettingsSetOption(frame, JXL_ENC_FRAME_SETTING_EFFORT, EncoderEffort), encoder.get(), "set the effort");
    if (lossless)
        CheckEncoder(JxlEncoderSetFrameLossless(frame, JXL_TRUE), encoder.get(), "encode losslessly");
    CheckEncoder(JxlEncoderSetFrameDistance(frame, distance), encoder.get(), "set the distance");

    const std::vector<std::uint8_t> pixels = WordsToBytes(picture, hasAlpha);
    CheckEncoder(JxlEncoderAddImageFrame(frame, hasAlpha ? &RgbaBytes : &RgbBytes, pixels.data(), pixels.size()), encoder.get(),
                 "take the picture");
    JxlEncoderCloseInput(encoder.get());
    EncodedBytes output = CollectOutput(encoder.get());
    CheckHeadersReadBack(output);
    return output;
}

namespace {

constexpr std::string_view Extensions[] = {"jxl"};

} // namespace

// Its encoder takes far more than the others while it works.
extern constinit const FileFormat JxlFormat{
    .name = "JPEG XL",
    .extensions = Extensions,
    .looksLike = LooksLikeJxl,
    .headerSize = JxlImageSize,
    .decode = DecodeInto<DecodeJxl>,
    .encode = EncodeJxl,
    .keepsAlpha = true,
    .largestProfile = LargeProfileBytes,
    .metadata = CarriesProfile,
    .peakBytesPerPixel = 102,
    .mimeType = "image/jxl",
};

} // namespace tollamere
