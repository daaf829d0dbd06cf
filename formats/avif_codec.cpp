// SPDX-License-Identifier: MIT
#include "avif_codec.h"

#include "byte_order.h"
#include "format_registry.h"

#include <avif/avif.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <string_view>

namespace tollamere {
namespace {

using Bytes = std::span<const std::uint8_t>;

struct DecoderDestroyer {
    void operator()(avifDecoder* decoder) const noexcept { avifDecoderDestroy(decoder); }
};
struct EncoderDestroyer {
    void operator()(avifEncoder* encoder) const noexcept { avifEncoderDestroy(encoder); }
};
struct ImageDestroyer {
    void operator()(avifImage* image) const noexcept { avifImageDestroy(image); }
};
struct DataFree {
    void operator()(avifRWData* data) const noexcept { avifRWDataFree(data); }
};

// The byte order libavif must use so that each pixel lands as a native
// 0xAARRGGBB word.
constexpr avifRGBFormat WordPixelFormat = std::endian::native == std::endian::little ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_ARGB;

// An AV1 frame's width and height are coded in at most 16 bits.
constexpr std::uint32_t LargestAv1Side = 65536;

// 0 is the slowest and 10 the fastest. Timed on a button of 1000 x 1000 and
// a photo of 4000 x 3000: 6 takes two to four times as long for files a few
// per cent smaller; 10 saves a fifth of the time, but its buttons come out a
// third larger lossless and more than twice as large at quality 90.
constexpr int EncoderSpeed = 8;

[[noreturn]] void RaiseAvifError(avifResult result, const avifDiagnostics& diagnostics, const char* what)
{
    std::string reason = std::string(what) + ": " + avifResultToString(result);
    if (diagnostics.error[0] != '\0')
        reason += " (" + std::string(std::begin(diagnostics.error), std::find(std::begin(diagnostics.error), std::end(diagnostics.error), '\0')) + ")";
    if (result == AVIF_RESULT_OUT_OF_MEMORY)
        RaiseWithReason(ErrorNumber::OutOfMemory, reason);
    RaiseInvalidPicture(reason);
}

void CheckDecoding(avifResult result, const avifDecoder& decoder)
{
    if (result != AVIF_RESULT_OK)
        RaiseAvifError(result, decoder.diag, "AVIF data");
}

bool StartsWithType(Bytes box, std::string_view type) noexcept
{
    return box.size() >= 8 && std::memcmp(box.data() + 4, type.data(), 4) == 0;
}

// The body of the first box of that type among the boxes in `bytes`. A box
// that runs past the end gives what the bytes hold of it: the probe sees the
// start of a file only.
std::optional<Bytes> FindBox(Bytes bytes, std::string_view type) noexcept
{
    std::size_t at = 0;
    while (bytes.size() - at >= 8) {
        std::uint64_t size = BigEndian(&bytes[at], 4);
        std::size_t header = 8;
        if (size == 1) {  // a 64-bit size follows the type
            if (bytes.size() - at < 16)
                return std::nullopt;
            size = std::uint64_t(BigEndian(&bytes[at + 8], 4)) << 32 | BigEndian(&bytes[at + 12], 4);
            header = 16;
        } else if (size == 0) {  // the box runs to the end of the file
            size = bytes.size() - at;
        }
        if (size < header)
            return std::nullopt;
        const std::size_t available = std::size_t(std::min<std::uint64_t>(size, bytes.size() - at));
        if (StartsWithType(bytes.subspan(at), type))
            return bytes.subspan(at + header, available - header);
        if (size > bytes.size() - at)
            return std::nullopt;
        at += std::size_t(size);
    }
    return std::nullopt;
}

// Full boxes (meta, ispe) start with a byte of version and three of flags.
constexpr std::size_t FullBoxHeader = 4;

// The picture turned a quarter anticlockwise once, twice or three times.
Picture Rotated(const Picture& picture, int quarters)
{
    const std::int32_t width = picture.Width();
    const std::int32_t height = picture.Height();
    Picture turned(quarters == 2 ? width : height, quarters == 2 ? height : width);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint32_t& target = quarters == 1   ? turned.Pixel(y, width - 1 - x)
                                    : quarters == 2 ? turned.Pixel(width - 1 - x, height - 1 - y)
                                                    : turned.Pixel(height - 1 - y, x);
            target = picture.Pixel(x, y);
        }
    return turned;
}

void Mirror(Picture& picture, bool leftAndRight) noexcept
{
    const std::int32_t height = picture.Height();
    if (leftAndRight) {
        for (std::int32_t y = 0; y < height; ++y)
            std::reverse(picture.Row(y), picture.Row(y) + picture.Width());
        return;
    }
    for (std::int32_t y = 0; y < height / 2; ++y)
        std::swap_ranges(picture.Row(y), picture.Row(y) + picture.Width(), picture.Row(height - 1 - y));
}

// libavif leaves a picture's rotation and mirroring to its caller, and the
// outputs do not carry them, so they are applied: rotation first, as the
// format orders them. The clean aperture (a crop) is not applied.
void ApplyRotationAndMirror(Picture& picture, const avifImage& image)
{
    if ((image.transformFlags & AVIF_TRANSFORM_IROT) != 0 && image.irot.angle % 4 != 0)
        picture = Rotated(picture, image.irot.angle % 4);
    if ((image.transformFlags & AVIF_TRANSFORM_IMIR) != 0)
        Mirror(picture, image.imir.mode == 1);
}

// Reads a bit string most significant bit first; past the end it reads zeros
// and remembers that it ran out.
class BitReader {
public:
    explicit BitReader(Bytes bytes) noexcept : bytes_(bytes) {}

    std::uint32_t Read(int bits) noexcept
    {
        std::uint32_t value = 0;
        for (int i = 0; i < bits; ++i) {
            if (at_ >= bytes_.size() * 8) {
                ranOut_ = true;
                return 0;
            }
            value = value << 1 | ((bytes_[at_ / 8] >> (7 - at_ % 8)) & 1u);
            ++at_;
        }
        return value;
    }

    // An unsigned exponential-Golomb code, read past.
    void SkipUvlc() noexcept
    {
        int leadingZeros = 0;
        while (!ranOut_ && Read(1) == 0)
            if (++leadingZeros >= 32)
                return;
        Read(leadingZeros);
    }

    bool RanOut() const noexcept { return ranOut_; }

private:
    Bytes bytes_;
    std::size_t at_ = 0;
    bool ranOut_ = false;
};

// The largest frame an AV1 sequence header allows (max_frame_width_minus_1
// and max_frame_height_minus_1), read past the fields that come before them.
std::optional<PictureSize> SequenceHeaderFrameSize(Bytes payload) noexcept
{
    BitReader bits(payload);
    bits.Read(3);  // seq_profile
    bits.Read(1);  // still_picture
    if (bits.Read(1) != 0) {  // reduced_still_picture_header
        bits.Read(5);
    } else {
        bool decoderModel = false;
        int bufferDelayBits = 0;
        if (bits.Read(1) != 0) {  // timing_info
            bits.Read(32);
            bits.Read(32);
            if (bits.Read(1) != 0)
                bits.SkipUvlc();
            decoderModel = bits.Read(1) != 0;
            if (decoderModel) {
                bufferDelayBits = int(bits.Read(5)) + 1;
                bits.Read(32);
                bits.Read(10);
            }
        }
        const bool initialDisplayDelay = bits.Read(1) != 0;
        const std::uint32_t operatingPoints = bits.Read(5) + 1;
        for (std::uint32_t i = 0; i < operatingPoints && !bits.RanOut(); ++i) {
            bits.Read(12);
            if (bits.Read(5) > 7)
                bits.Read(1);
            if (decoderModel && bits.Read(1) != 0) {
                bits.Read(bufferDelayBits);
                bits.Read(bufferDelayBits);
                bits.Read(1);
            }
            if (initialDisplayDelay && bits.Read(1) != 0)
                bits.Read(4);
        }
    }
    const int widthBits = int(bits.Read(4)) + 1;
    const int heightBits = int(bits.Read(4)) + 1;
    const PictureSize size{std::uint64_t(bits.Read(widthBits)) + 1, std::uint64_t(bits.Read(heightBits)) + 1};
    if (bits.RanOut())
        return std::nullopt;
    return size;
}

// The frame size the sequence headers at the start of a coded frame allow,
// up to its first frame or tile data; the AV1 decoder refuses any frame
// beyond it. Nothing when there is none.
std::optional<PictureSize> CodedFrameSizeLimit(Bytes sample) noexcept
{
    constexpr std::uint32_t sequenceHeader = 1, frameHeader = 3, tileGroup = 4, frame = 6;
    std::optional<PictureSize> largest;
    std::size_t at = 0;
    while (at < sample.size()) {
        const std::uint8_t header = sample[at];
        const std::uint32_t type = (header >> 3) & 0xF;
        std::size_t payloadAt = at + 1 + ((header & 0x04) != 0 ? 1 : 0);
        std::uint64_t size = sample.size() - std::min(payloadAt, sample.size());
        if ((header & 0x02) != 0) {  // a LEB128 size follows
            size = 0;
            for (int i = 0;; ++i) {
                if (payloadAt >= sample.size() || i == 8)
                    return largest;
                const std::uint8_t byte = sample[payloadAt++];
                size |= std::uint64_t(byte & 0x7F) << (7 * i);
                if ((byte & 0x80) == 0)
                    break;
            }
        }
        if (payloadAt > sample.size() || size > sample.size() - payloadAt || type == frameHeader || type == tileGroup || type == frame)
            return largest;
        if (type == sequenceHeader)
            if (const std::optional<PictureSize> allowed = SequenceHeaderFrameSize(sample.subspan(payloadAt, std::size_t(size))))
                if (!largest || PixelCount(*allowed) > PixelCount(*largest))
                    largest = allowed;
        at = payloadAt + std::size_t(size);
    }
    return largest;
}

} // namespace

// An ISO media file whose file-type box names the AVIF still ("avif") or
// sequence ("avis") brand, as major or compatible brand.
bool LooksLikeAvif(std::span<const std::uint8_t> bytes) noexcept
{
    // The file-type box: size, "ftyp", major brand, minor version, compatible brands.
    if (bytes.size() < 16 || !StartsWithType(bytes, "ftyp"))
        return false;
    const std::size_t boxEnd = std::min<std::size_t>(BigEndian(&bytes[0], 4), bytes.size());
    const auto isAvifBrand = [&](std::size_t at) {
        return std::memcmp(&bytes[at], "avif", 4) == 0 || std::memcmp(&bytes[at], "avis", 4) == 0;
    };
    if (isAvifBrand(8))
        return true;
    for (std::size_t at = 16; at + 4 <= boxEnd; at += 4)
        if (isAvifBrand(at))
            return true;
    return false;
}

// The largest size an image spatial extents property ("ispe") of the file's
// item properties declares: the primary picture's, since its alpha, tiles and
// thumbnails are no larger. Nothing when the bytes end before one or are no AVIF.
std::optional<PictureSize> AvifImageSize(std::span<const std::uint8_t> start)
{
    if (!LooksLikeAvif(start))
        return std::nullopt;
    const std::optional<Bytes> meta = FindBox(start, "meta");
    if (!meta || meta->size() < FullBoxHeader)
        return std::nullopt;
    const std::optional<Bytes> properties = FindBox(meta->subspan(FullBoxHeader), "iprp");
    std::optional<Bytes> container = properties ? FindBox(*properties, "ipco") : std::nullopt;
    std::optional<PictureSize> largest;
    while (container) {
        const std::optional<Bytes> extents = FindBox(*container, "ispe");
        if (!extents)
            break;
        if (extents->size() >= FullBoxHeader + 8) {
            const PictureSize size{BigEndian(&(*extents)[4], 4), BigEndian(&(*extents)[8], 4)};
            if (!largest || PixelCount(size) > PixelCount(*largest))
                largest = size;
        }
        // The boxes after this one: its body ends where the next box starts.
        const std::size_t next = std::size_t(extents->data() + extents->size() - container->data());
        container = container->subspan(next);
    }
    return largest;
}

namespace {

using DecoderPtr = std::unique_ptr<avifDecoder, DecoderDestroyer>;

// A decoder over the bytes, set up as every AVIF is read here, for pictures
// of at most maxPixels.
DecoderPtr StartDecoder(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels)
{
    DecoderPtr decoder(avifDecoderCreate());
    if (!decoder)
        RaiseWithReason(ErrorNumber::OutOfMemory, "cannot start the AVIF decoder");
    // Batches run one picture per core already.
    decoder->maxThreads = 1;
    // libavif hands this limit to dav1d (its frame_size_limit), which refuses
    // a larger frame before allocating it. libavif would otherwise decode a
    // frame of any size and only then scale it to the size the container
    // declares. The value 0 means no limit to libavif.
    decoder->imageSizeLimit = std::uint32_t(std::clamp<std::uint64_t>(maxPixels, 1, MaxPicturePixels));
    if (avifCodecName(AVIF_CODEC_CHOICE_DAV1D, AVIF_CODEC_FLAG_CAN_DECODE) != nullptr)
        decoder->codecChoice = AVIF_CODEC_CHOICE_DAV1D;
    decoder->imageDimensionLimit = LargestAv1Side;
    // Files without a pixel information property, which early writers left
    // out, are read; a crop that makes no sense and alpha without a size are not.
    decoder->strictFlags = AVIF_STRICT_CLAP_VALID | AVIF_STRICT_ALPHA_ISPE_REQUIRED;
    decoder->ignoreExif = AVIF_TRUE;
    decoder->ignoreXMP = AVIF_TRUE;
    CheckDecoding(avifDecoderSetIOMemory(decoder.get(), bytes.data(), bytes.size()), *decoder);
    return decoder;
}

} // namespace

// Decodes the primary picture (a sequence's first frame), reduced to 8 bits
// per channel, grey expanded to RGB, alpha kept, turned and mirrored as the
// file says; the colour profile when the file embeds one of RGB data. Damage is an Invalid picture (481); a size beyond the
// limit, or memory running out, is Out of memory (7). A declared or coded
// frame of more than maxPixels raises PictureBeyondAllowance, or is refused
// by the AV1 decoder, before the frame is allocated.
PictureFile DecodeAvif(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels)
{
    const DecoderPtr decoder = StartDecoder(bytes, maxPixels);
    if (const avifResult parsed = avifDecoderParse(decoder.get()); parsed != AVIF_RESULT_OK) {
        // libavif refuses a declared size beyond the limits above while
        // parsing; such a size is told as what it is.
        if (const std::optional<PictureSize> declared = AvifImageSize(bytes))
            CheckPictureDimensions(declared->width, declared->height, maxPixels);
        RaiseAvifError(parsed, decoder->diag, "AVIF data");
    }
    CheckPictureDimensions(decoder->image->width, decoder->image->height, maxPixels);
    // The coded frame may be larger than the container declares: its size is
    // told before dav1d refuses it, so that a caller can make room for it.
    if (avifExtent extent{}; avifDecoderNthImageMaxExtent(decoder.get(), 0, &extent) == AVIF_RESULT_OK && extent.offset < bytes.size()) {
        const std::size_t available = std::size_t(std::min<std::uint64_t>(extent.size, bytes.size() - extent.offset));
        if (const std::optional<PictureSize> coded = CodedFrameSizeLimit(Bytes(bytes).subspan(std::size_t(extent.offset), available)))
            CheckPictureDimensions(coded->width, coded->height, maxPixels);
    }
    CheckDecoding(avifDecoderNextImage(decoder.get()), *decoder);
    const avifImage& image = *decoder->image;
    // The frame decoded may differ from what the container declared.
    CheckPictureDimensions(image.width, image.height, maxPixels);

    PictureFile result;
    result.picture = Picture(std::int32_t(image.width), std::int32_t(image.height));
    result.hasAlpha = image.alphaPlane != nullptr;
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, &image);
    // libavif scales 10 and 12 bits down, expands grey and upsamples chroma.
    rgb.depth = 8;
    rgb.format = WordPixelFormat;
    rgb.alphaPremultiplied = AVIF_FALSE;
    rgb.pixels = reinterpret_cast<std::uint8_t*>(result.picture.Row(0));
    rgb.rowBytes = image.width * 4;
    if (const avifResult converted = avifImageYUVToRGB(&image, &rgb); converted != AVIF_RESULT_OK)
        RaiseAvifError(converted, decoder->diag, "AVIF colour conversion");
    if (const std::span<const std::uint8_t> profile(image.icc.data, image.icc.size); IsRgbProfile(profile))
        result.metadata.iccProfile.assign(profile.begin(), profile.end());
    ApplyRotationAndMirror(result.picture, image);
    if (result.hasAlpha)
        BlackenTransparentPixels(result.picture);
    return result;
}

int AvifQuantizerForQuality(int quality) noexcept
{
    // libavif's own mapping from quality to quantizer (later releases take a
    // quality directly and convert it so): 100 is 0, 50 is 32, 1 is 62.
    const int clamped = std::clamp(quality, 0, 100);
    return ((100 - clamped) * AVIF_QUANTIZER_WORST_QUALITY + 50) / 100;
}

EncodedBytes EncodeAvif(const Picture& picture, bool hasAlpha, const SaveSettings& settings)
{
    CheckPictureFitsFormat(picture, std::int32_t(LargestAv1Side), "an AVIF");
    const bool lossless = !settings.quality.has_value();
    const std::unique_ptr<avifImage, ImageDestroyer> image(
        avifImageCreate(std::uint32_t(picture.Width()), std::uint32_t(picture.Height()), 8, AVIF_PIXEL_FORMAT_YUV444));
    if (!image)
        RaiseWithReason(ErrorNumber::OutOfMemory, "cannot start the AVIF encoder");
    image->yuvRange = AVIF_RANGE_FULL;
    // The identity matrix stores green, blue and red as they are, which is
    // what makes quantizer 0 lossless.
    image->matrixCoefficients = lossless ? AVIF_MATRIX_COEFFICIENTS_IDENTITY : AVIF_MATRIX_COEFFICIENTS_BT601;
    const std::vector<std::uint8_t>& profile = settings.metadata.iccProfile;
    if (profile.empty()) {
        image->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
        image->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
    } else {
        avifImageSetProfileICC(image.get(), profile.data(), profile.size());
        image->colorPrimaries = AVIF_COLOR_PRIMARIES_UNSPECIFIED;
        image->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_UNSPECIFIED;
    }

    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image.get());
    rgb.depth = 8;
    rgb.format = WordPixelFormat;
    rgb.ignoreAlpha = hasAlpha ? AVIF_FALSE : AVIF_TRUE;
    rgb.pixels = const_cast<std::uint8_t*>(reinterpret_cast<const std::uint8_t*>(picture.Row(0)));
    rgb.rowBytes = std::uint32_t(picture.Width()) * 4;
    const avifDiagnostics none{};
    if (const avifResult converted = avifImageRGBToYUV(image.get(), &rgb); converted != AVIF_RESULT_OK)
        RaiseAvifError(converted, none, "AVIF colour conversion");

    const std::unique_ptr<avifEncoder, EncoderDestroyer> encoder(avifEncoderCreate());
    if (!encoder)
        RaiseWithReason(ErrorNumber::OutOfMemory, "cannot start the AVIF encoder");
    encoder->maxThreads = 1;
    encoder->speed = EncoderSpeed;
    const int quantizer = lossless ? AVIF_QUANTIZER_LOSSLESS : AvifQuantizerForQuality(*settings.quality);
    encoder->minQuantizer = encoder->maxQuantizer = quantizer;
    encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = quantizer;

    avifRWData output = AVIF_DATA_EMPTY;
    const std::unique_ptr<avifRWData, DataFree> owner(&output);
    if (const avifResult written = avifEncoderWrite(encoder.get(), image.get(), &output); written != AVIF_RESULT_OK)
        RaiseAvifError(written, encoder->diag, "AVIF encoder");
    // The boxes are parsed back as the reader parses them, without decoding
    // the pixels, so that a file it would refuse fails instead of being written.
    const DecoderPtr check = StartDecoder(Bytes(output.data, output.size), MaxPicturePixels);
    if (const avifResult parsed = avifDecoderParse(check.get()); parsed != AVIF_RESULT_OK)
        RaiseInvalidPicture(std::string("the AVIF encoder wrote a file that does not read back: ") + avifResultToString(parsed));
    return EncodedBytes(output.data, output.data + output.size);
}

namespace {

constexpr std::string_view Extensions[] = {"avif"};

} // namespace

// Its encoder takes far more than the others while it works.
extern constinit const FileFormat AvifFormat{
    .name = "AVIF",
    .extensions = Extensions,
    .looksLike = LooksLikeAvif,
    .headerSize = AvifImageSize,
    .decode = DecodeInto<DecodeAvif>,
    .encode = EncodeAvif,
    .keepsAlpha = true,
    .largestProfile = LargeProfileBytes,
    .metadata = CarriesProfile,
    .peakBytesPerPixel = 50,
    .mimeType = "image/avif",
};

} // namespace tollamere
