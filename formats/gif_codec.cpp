// SPDX-License-Identifier: MIT
#include "gif_codec.h"

#include "colour_quantiser.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace tollamere {
namespace {

constexpr std::uint32_t TransparentBlack = 0;

[[noreturn]] void RaiseGifError(int error, const char* what = "GIF data")
{
    if (error == D_GIF_ERR_NOT_ENOUGH_MEM || error == E_GIF_ERR_NOT_ENOUGH_MEM)
        RaiseWithReason(ErrorNumber::OutOfMemory, std::string(what) + ": not enough memory");
    const char* text = GifErrorString(error);
    RaiseInvalidPicture(std::string(what) + ": " + (text != nullptr ? text : "error " + std::to_string(error)));
}

struct ByteSource {
    std::span<const std::uint8_t> bytes;
    std::size_t offset = 0;
};

int ReadFromBytes(GifFileType* gif, GifByteType* destination, int wanted)
{
    auto* source = static_cast<ByteSource*>(gif->UserData);
    const std::size_t count = std::min(std::size_t(std::max(wanted, 0)), source->bytes.size() - source->offset);
    std::memcpy(destination, source->bytes.data() + source->offset, count);
    source->offset += count;
    return int(count);
}

struct DecoderCloser {
    void operator()(GifFileType* gif) const noexcept
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifDecoder = std::unique_ptr<GifFileType, DecoderCloser>;

// Reads the records before the first image; returns its transparent index
// (or NO_TRANSPARENT_COLOR) from the graphics control block that precedes it.
int SkipToFirstImage(GifFileType* gif)
{
    int transparentIndex = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR)
            RaiseGifError(gif->Error);
        if (record == IMAGE_DESC_RECORD_TYPE)
            return transparentIndex;
        if (record == TERMINATE_RECORD_TYPE)
            RaiseInvalidPicture("GIF without any image");
        if (record != EXTENSION_RECORD_TYPE)
            RaiseInvalidPicture("GIF data: unexpected record");
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
            RaiseGifError(gif->Error);
        if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
            GraphicsControlBlock control{};
            if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
                transparentIndex = control.TransparentColor;
        }
        while (block != nullptr)
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
                RaiseGifError(gif->Error);
    }
}

// The picture rows in the order an interlaced GIF stores them.
std::vector<std::int32_t> StoredRowOrder(std::int32_t height, bool interlaced)
{
    std::vector<std::int32_t> rows;
    rows.reserve(std::size_t(height));
    if (!interlaced) {
        for (std::int32_t y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    constexpr std::int32_t start[] = {0, 4, 2, 1};
    constexpr std::int32_t step[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (std::int32_t y = start[pass]; y < height; y += step[pass])
            rows.push_back(y);
    return rows;
}

} // namespace

bool LooksLikeGif(std::span<const std::uint8_t> bytes) noexcept
{
    return bytes.size() >= 6 && (std::memcmp(bytes.data(), "GIF87a", 6) == 0 || std::memcmp(bytes.data(), "GIF89a", 6) == 0);
}

PictureFile DecodeGif(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels)
{
    ByteSource source{bytes};
    int error = 0;
    GifDecoder gif(DGifOpen(&source, ReadFromBytes, &error));
    if (!gif)
        RaiseGifError(error);

    const int transparentIndex = SkipToFirstImage(gif.get());
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
        RaiseGifError(gif->Error);
    const GifImageDesc frame = gif->Image;
    if (frame.Left < 0 || frame.Top < 0 || frame.Width <= 0 || frame.Height <= 0)
        RaiseInvalidPicture("GIF image of " + std::to_string(frame.Width) + " x " + std::to_string(frame.Height) + " pixels has no pixels");
    const std::int64_t canvasWidth = std::max<std::int64_t>(gif->SWidth, std::int64_t{frame.Left} + frame.Width);
    const std::int64_t canvasHeight = std::max<std::int64_t>(gif->SHeight, std::int64_t{frame.Top} + frame.Height);
    CheckPictureDimensions(std::uint64_t(canvasWidth), std::uint64_t(canvasHeight), maxPixels);

    const ColorMapObject* colours = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
    if (colours == nullptr || colours->Colors == nullptr)
        RaiseInvalidPicture("GIF without a colour table");
    std::uint32_t palette[256];
    for (int i = 0; i < 256; ++i) {
        // An index beyond the table is not valid GIF; it is shown black.
        const GifColorType colour = i < colours->ColorCount ? colours->Colors[i] : GifColorType{0, 0, 0};
        palette[i] = i == transparentIndex ? TransparentBlack : 0xFF000000u | std::uint32_t(colour.Red) << 16 | std::uint32_t(colour.Green) << 8 | colour.Blue;
    }

    PictureFile result{Picture(std::int32_t(canvasWidth), std::int32_t(canvasHeight), TransparentBlack), false, {}};
    std::vector<GifPixelType> line(std::size_t(frame.Width));
    for (const std::int32_t y : StoredRowOrder(frame.Height, frame.Interlace)) {
        if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR)
            RaiseGifError(gif->Error);
        std::uint32_t* row = result.picture.Row(frame.Top + y) + frame.Left;
        for (std::int32_t x = 0; x < frame.Width; ++x)
            row[x] = palette[line[std::size_t(x)]];
    }
    const bool coversCanvas = frame.Width == canvasWidth && frame.Height == canvasHeight;
    result.hasAlpha = transparentIndex != NO_TRANSPARENT_COLOR || !coversCanvas;
    return result;
}

namespace {

struct EncoderCloser {
    void operator()(GifFileType* gif) const noexcept
    {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};
using GifEncoder = std::unique_ptr<GifFileType, EncoderCloser>;

struct MapFree {
    void operator()(ColorMapObject* map) const noexcept { GifFreeMapObject(map); }
};

int AppendToBytes(GifFileType* gif, const GifByteType* data, int count)
{
    auto* output = static_cast<EncodedBytes*>(gif->UserData);
    output->insert(output->end(), data, data + count);
    return count;
}

// The GIF's threshold: a pixel less than half opaque is transparent.
bool IsTransparent(std::uint32_t pixel, bool hasAlpha) noexcept
{
    return hasAlpha && (pixel >> 24) < 128;
}

struct IndexedPicture {
    std::vector<std::uint32_t> palette;
    int transparentIndex = NO_TRANSPARENT_COLOR;
    std::vector<GifPixelType> indices;
};

IndexedPicture IndexColours(const Picture& picture, bool hasAlpha)
{
    bool anyTransparent = false;
    for (std::int32_t y = 0; y < picture.Height() && !anyTransparent; ++y)
        anyTransparent = std::any_of(picture.Row(y), picture.Row(y) + picture.Width(),
                                     [hasAlpha](std::uint32_t pixel) { return IsTransparent(pixel, hasAlpha); });

    ColourQuantiser quantiser(anyTransparent ? 255 : 256);
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        for (std::int32_t x = 0; x < picture.Width(); ++x)
            if (!IsTransparent(picture.Pixel(x, y), hasAlpha))
                quantiser.Add(picture.Pixel(x, y));

    IndexedPicture indexed;
    indexed.palette = quantiser.MakePalette();
    if (anyTransparent) {
        indexed.transparentIndex = int(indexed.palette.size());
        indexed.palette.push_back(TransparentBlack);
    }
    indexed.indices.resize(std::size_t(picture.Width()) * std::size_t(picture.Height()));
    GifPixelType* index = indexed.indices.data();
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        for (std::int32_t x = 0; x < picture.Width(); ++x, ++index) {
            const std::uint32_t pixel = picture.Pixel(x, y);
            *index = IsTransparent(pixel, hasAlpha) ? GifPixelType(indexed.transparentIndex) : quantiser.IndexOf(pixel);
        }
    return indexed;
}

std::unique_ptr<ColorMapObject, MapFree> MakeColourMap(const std::vector<std::uint32_t>& palette)
{
    // giflib wants a power of two of at least 2 entries; the rest stay black.
    int size = 2;
    while (size < int(palette.size()))
        size *= 2;
    std::vector<GifColorType> colours(std::size_t(size), GifColorType{0, 0, 0});
    for (std::size_t i = 0; i < palette.size(); ++i)
        colours[i] = GifColorType{GifByteType(palette[i] >> 16), GifByteType(palette[i] >> 8), GifByteType(palette[i])};
    std::unique_ptr<ColorMapObject, MapFree> map(GifMakeMapObject(size, colours.data()));
    if (!map)
        RaiseWithReason(ErrorNumber::OutOfMemory, "GIF encoder: not enough memory");
    return map;
}

} // namespace

EncodedBytes EncodeGif(const Picture& picture, bool hasAlpha)
{
    CheckPictureFitsFormat(picture, 65535, "a GIF");

    IndexedPicture indexed = IndexColours(picture, hasAlpha);
    const auto map = MakeColourMap(indexed.palette);

    EncodedBytes output;
    int error = 0;
    GifEncoder gif(EGifOpen(&output, AppendToBytes, &error));
    if (!gif)
        RaiseGifError(error, "GIF encoder");
    EGifSetGifVersion(gif.get(), true);
    if (EGifPutScreenDesc(gif.get(), picture.Width(), picture.Height(), 8, 0, map.get()) == GIF_ERROR)
        RaiseGifError(gif->Error, "GIF encoder");
    if (indexed.transparentIndex != NO_TRANSPARENT_COLOR) {
        const GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, indexed.transparentIndex};
        GifByteType block[4];
        EGifGCBToExtension(&control, block);
        if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, 4, block) == GIF_ERROR)
            RaiseGifError(gif->Error, "GIF encoder");
    }
    if (EGifPutImageDesc(gif.get(), 0, 0, picture.Width(), picture.Height(), false, nullptr) == GIF_ERROR)
        RaiseGifError(gif->Error, "GIF encoder");
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        if (EGifPutLine(gif.get(), indexed.indices.data() + std::size_t(y) * std::size_t(picture.Width()), picture.Width()) == GIF_ERROR)
            RaiseGifError(gif->Error, "GIF encoder");
    if (EGifCloseFile(gif.release(), &error) == GIF_ERROR)
        RaiseGifError(error, "GIF encoder");
    return output;
}

} // namespace tollamere
