// SPDX-License-Identifier: MIT
#include "format_registry.h"

#include "path_text.h"

#include <algorithm>

namespace tollamere {

extern const FileFormat JpegFormat;
extern const FileFormat GifFormat;
extern const FileFormat AvifFormat;
extern const FileFormat JxlFormat;
extern const FileFormat PngFormat;
extern const FileFormat BmpFormat;
extern const FileFormat IcoFormat;
extern const FileFormat CurFormat;
extern const FileFormat TgaFormat;
extern const FileFormat WebpFormat;
extern const FileFormat TiffFormat;
extern const FileFormat SvgFormat;

namespace {

// The order the content is tested in. The formats with a signature come
// first; an icon's directory and a TGA's header are weaker tests, and a TGA
// starts like a cursor, so Qt's look would take one for the other.
constexpr const FileFormat* Table[] = {&JpegFormat, &GifFormat, &AvifFormat, &JxlFormat, &PngFormat, &BmpFormat,
                                       &IcoFormat,  &CurFormat, &TgaFormat,  &WebpFormat, &TiffFormat, &SvgFormat};

// The order the window's file filter, its help and the manual pages list
// formats in; a format not here is not listed.
constexpr const FileFormat* Listed[] = {&BmpFormat, &JpegFormat, &GifFormat,  &PngFormat,  &IcoFormat,
                                        &CurFormat, &TiffFormat, &WebpFormat, &AvifFormat, &JxlFormat};

// The order the Options dialog offers output formats in, of those written.
constexpr const FileFormat* Offered[] = {&JpegFormat, &PngFormat, &WebpFormat, &AvifFormat, &JxlFormat,
                                         &BmpFormat,  &GifFormat, &TiffFormat, &IcoFormat,  &CurFormat};

// Formats only Qt's plugins know, which the help texts name among those read.
constexpr std::string_view OtherQtFormatNames[] = {"PBM", "PGM", "PPM", "XPM"};

std::vector<const FileFormat*> Where(bool (*keep)(const FileFormat&))
{
    std::vector<const FileFormat*> formats;
    std::copy_if(std::begin(Table), std::end(Table), std::back_inserter(formats), [&](const FileFormat* format) { return keep(*format); });
    return formats;
}


// A file Qt's look refuses may still be of a format some description
// rescues (a TGA, which has no signature Qt's look knows).
void ReadWithQt(ByteSpan bytes, PictureFile& into, std::uint64_t maxPixels, const QtReading& reading)
{
    try {
        DecodeWithQt(bytes, into, maxPixels, reading);
    } catch (const RuntimeError& error) {
        if (error.Number() != ErrorNumber::InvalidPicture)
            throw;
        for (const FileFormat* format : Table)
            if (format->readAfterQtRefused && format->readAfterQtRefused(bytes, into, maxPixels))
                return;
        throw;
    }
}

} // namespace

bool FileFormat::CanRead(std::string_view extension) const
{
    return decode != nullptr || QtCanRead(LowerCaseAscii(extension));
}

bool FileFormat::CanWrite(std::string_view extension) const
{
    return encode != nullptr || (writtenByQt && QtCanWrite(LowerCaseAscii(extension)));
}

std::span<const FileFormat* const> AllFormats()
{
    return Table;
}

const FileFormat* FormatOfContent(ByteSpan bytes)
{
    const auto found = std::find_if(std::begin(Table), std::end(Table), [&](const FileFormat* format) { return format->looksLike(bytes); });
    return found == std::end(Table) ? nullptr : *found;
}

const FileFormat* FormatOfExtension(std::string_view extension)
{
    const std::string name = LowerCaseAscii(extension);
    for (const FileFormat* format : Table)
        if (std::find(format->extensions.begin(), format->extensions.end(), name) != format->extensions.end())
            return format;
    return nullptr;
}

std::vector<const FileFormat*> ReadableFormats()
{
    return Where([](const FileFormat& format) { return format.CanRead(format.PreferredExtension()); });
}

std::vector<const FileFormat*> WritableFormats()
{
    return Where([](const FileFormat& format) { return format.CanWrite(format.PreferredExtension()); });
}

std::vector<std::string> WritableExtensions()
{
    std::vector<std::string> extensions;
    for (const FileFormat* format : WritableFormats())
        extensions.emplace_back(format->PreferredExtension());
    return extensions;
}

std::vector<const FileFormat*> ListedFormats()
{
    return {std::begin(Listed), std::end(Listed)};
}

std::vector<std::string_view> ListedFormatNames()
{
    std::vector<std::string_view> names;
    for (const FileFormat* format : Listed)
        names.push_back(format->name);
    return names;
}

std::vector<const FileFormat*> OfferedFormats()
{
    std::vector<const FileFormat*> formats;
    std::copy_if(std::begin(Offered), std::end(Offered), std::back_inserter(formats),
                 [](const FileFormat* format) { return format->CanWrite(format->PreferredExtension()); });
    return formats;
}

std::optional<PictureFormat> FormatForExtension(std::string_view extension)
{
    const std::string name = LowerCaseAscii(extension);
    if (const FileFormat* format = FormatOfExtension(name)) {
        if (!format->CanWrite(name))
            return std::nullopt;
        PictureFormat chosen{format, format->surfaceWriter ? Encoder::Jpeg : format->encode ? Encoder::Own : Encoder::Qt,
                             name == format->PreferredExtension() ? format->preferredRoute : OutputRoute::OwnFormat, name,
                             format->largestProfile, format->peakBytesPerPixel};
        return chosen;
    }
    // Every other format Qt writes (PPM, XPM, ...) writes no profile; one
    // from a plugin that does gets what every reader takes.
    if (!name.empty() && QtCanWrite(name))
        return PictureFormat{nullptr, Encoder::Qt, OutputRoute::OwnFormat, name, CommonReadersProfileBytes, CommonPeakBytesPerPixel};
    return std::nullopt;
}

bool CanWritePictureExtension(std::string_view extension)
{
    return FormatForExtension(extension).has_value();
}

bool CanReadPictureExtension(std::string_view extension)
{
    if (const FileFormat* format = FormatOfExtension(extension))
        return format->CanRead(extension);
    return !extension.empty() && QtCanRead(LowerCaseAscii(extension));
}

void DecodePictureBytes(ByteSpan bytes, PictureFile& into, std::uint64_t maxPixels)
{
    const FileFormat* format = FormatOfContent(bytes);
    if (format && format->guard)
        format->guard(bytes);
    if (format && format->decode && format->decode(bytes, into, maxPixels))
        return;
    ReadWithQt(bytes, into, maxPixels, format ? format->qtReading : QtReading{});
}

bool IsDrawing(ByteSpan bytes)
{
    const FileFormat* format = FormatOfContent(bytes);
    return format && format->renderAt;
}

void RenderDrawingBytes(ByteSpan bytes, PictureFile& into, std::uint64_t maxPixels, double factor)
{
    const FileFormat* format = FormatOfContent(bytes);
    if (!format || !format->renderAt)
        RaiseInvalidPicture("the file holds no drawing");
    format->guard(bytes);
    format->renderAt(bytes, into, maxPixels, factor);
}

EncodedBytes EncodePicture(const PictureFormat& format, const Picture& picture, bool hasAlpha, const SaveSettings& settings)
{
    if (format.format && format.format->encode)
        return format.format->encode(picture, hasAlpha, settings);
    return EncodeWithQt(picture, hasAlpha, format.extension, settings, format.format ? format.format->qtWriting : QtWriting{});
}

std::optional<PictureSize> ProbePictureSize(ByteSpan start)
{
    for (const FileFormat* format : Table) {
        if (!format->looksLike(start))
            continue;
        if (!format->headerSize)
            break;
        if (const std::optional<PictureSize> size = format->headerSize(start))
            return size;
        if (!format->weakTest)
            return std::nullopt;
    }
    return QtHeaderSize(start);
}

std::vector<std::string_view> ReadOnlyFormatNames()
{
    std::vector<std::string_view> names(std::begin(OtherQtFormatNames), std::end(OtherQtFormatNames));
    for (const FileFormat* format : Table)
        if (format->listedAsRead)
            names.push_back(format->name);
    return names;
}

std::string NameList(const std::vector<std::string_view>& names)
{
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            list += i + 1 == names.size() ? " and " : ", ";
        list += names[i];
    }
    return list;
}

} // namespace tollamere
