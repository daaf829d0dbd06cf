// SPDX-License-Identifier: MIT
#include "format_registry.h"

#include "picture_codec.h"
#include "runtime_error.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QXmlStreamReader>

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

namespace tollamere {
namespace {

// A drawing is text, and every limit below is far beyond what a drawing of
// a button or an icon holds: a compressed drawing unpacks to at most 32 MiB
// (a gzip bomb stops there), its elements nest at most 256 deep and number
// at most a million.
constexpr std::size_t MaxDrawingBytes = 32u << 20;
constexpr int MaxDepth = 256;
constexpr std::size_t MaxElements = 1'000'000;
// The most bytes of a compressed drawing looked at to tell what it is.
constexpr std::size_t SniffBytes = 4096;

bool IsGzip(ByteSpan bytes)
{
    return bytes.size() >= 3 && bytes[0] == 0x1F && bytes[1] == 0x8B && bytes[2] == 8;
}

// Up to `limit` bytes of a gzip stream, as far as the bytes go; nothing when
// it is damaged before that. `whole` says whether the stream ended within.
std::optional<QByteArray> Gunzip(ByteSpan bytes, std::size_t limit, bool& whole)
{
    z_stream stream{};
    if (inflateInit2(&stream, 15 + 16) != Z_OK)
        return std::nullopt;
    QByteArray out;
    out.resize(qsizetype(std::min<std::size_t>(limit, 1u << 16)));
    stream.next_in = const_cast<Bytef*>(bytes.data());
    stream.avail_in = uInt(std::min<std::size_t>(bytes.size(), 0x7FFF'FFFF));
    int status = Z_OK;
    whole = false;
    for (;;) {
        stream.next_out = reinterpret_cast<Bytef*>(out.data()) + stream.total_out;
        stream.avail_out = uInt(std::size_t(out.size()) - stream.total_out);
        status = inflate(&stream, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            whole = true;
            break;
        }
        if (status != Z_OK || stream.total_out >= limit)
            break;
        if (stream.avail_out == 0)
            out.resize(qsizetype(std::min<std::size_t>(limit + 1, std::size_t(out.size()) * 2)));
        else if (stream.avail_in == 0)
            break;
    }
    const std::size_t total = stream.total_out;
    inflateEnd(&stream);
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
        return std::nullopt;
    out.resize(qsizetype(std::min(total, limit)));
    return out;
}

// The drawing's text: the bytes, or a compressed drawing unpacked (refused
// beyond MaxDrawingBytes).
QByteArray DrawingText(ByteSpan bytes)
{
    if (!IsGzip(bytes))
        return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    bool whole = false;
    std::optional<QByteArray> text = Gunzip(bytes, MaxDrawingBytes + 1, whole);
    if (!text || !whole)
        RaiseInvalidPicture(text && std::size_t(text->size()) > MaxDrawingBytes
                                ? "the compressed drawing unpacks to more than " + std::to_string(MaxDrawingBytes >> 20) + " MiB"
                                : "the compressed drawing is damaged");
    return *text;
}

bool StartsLikeSvg(const QByteArray& text)
{
    const QByteArray start = text.left(SniffBytes);
    qsizetype at = 0;
    if (start.startsWith("\xEF\xBB\xBF"))
        at = 3;
    while (at < start.size() && QChar::isSpace(uchar(start[at])))
        ++at;
    return at < start.size() && start[at] == '<' && start.indexOf("<svg") >= 0;
}

bool LooksLikeSvg(ByteSpan bytes)
{
    if (IsGzip(bytes)) {
        bool whole = false;
        const std::optional<QByteArray> start = Gunzip(bytes, SniffBytes, whole);
        return start && StartsLikeSvg(*start);
    }
    return StartsLikeSvg(QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                                 qsizetype(std::min(bytes.size(), SniffBytes))));
}

// A length of the root element in pixels (CSS's 96 per inch); nothing for
// a percentage or what is not a length.
std::optional<double> Length(QStringView text)
{
    text = text.trimmed();
    struct Unit { const char* name; double pixels; };
    constexpr Unit units[] = {{"px", 1}, {"pt", 96.0 / 72}, {"pc", 16}, {"in", 96}, {"cm", 96 / 2.54}, {"mm", 9.6 / 2.54}};
    double scale = 1;
    for (const Unit& unit : units)
        if (text.endsWith(QLatin1String(unit.name))) {
            scale = unit.pixels;
            text.chop(2);
            break;
        }
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) && value > 0 ? std::optional<double>(value * scale) : std::nullopt;
}

// The size the root element states: its width and height, or those of its
// viewBox for what they leave out; rounded up to whole pixels. Read from the
// start of the file only.
std::optional<PictureSize> StatedSize(const QByteArray& text)
{
    QXmlStreamReader reader(text);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (reader.name() != QLatin1String("svg"))
            return std::nullopt;
        const QXmlStreamAttributes attributes = reader.attributes();
        std::optional<double> width = Length(attributes.value(QLatin1String("width")));
        std::optional<double> height = Length(attributes.value(QLatin1String("height")));
        const QList<QStringView> box = attributes.value(QLatin1String("viewBox")).split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts);
        if (box.size() == 4) {
            const std::optional<double> boxWidth = Length(box[2]);
            const std::optional<double> boxHeight = Length(box[3]);
            if (boxWidth && boxHeight) {
                if (!width && !height) {
                    width = boxWidth;
                    height = boxHeight;
                } else if (!height) {
                    height = *width * *boxHeight / *boxWidth;
                } else if (!width) {
                    width = *height * *boxWidth / *boxHeight;
                }
            }
        }
        if (!width || !height)
            return std::nullopt;
        // Beyond 2^32 pixels a side is no size a picture may have anyway.
        constexpr double most = 4294967295.0;
        return PictureSize{std::uint64_t(std::min(std::ceil(*width - 1e-6), most)), std::uint64_t(std::min(std::ceil(*height - 1e-6), most))};
    }
    return std::nullopt;
}

std::optional<PictureSize> HeaderSize(ByteSpan start)
{
    if (IsGzip(start)) {
        bool whole = false;
        const std::optional<QByteArray> text = Gunzip(start, 1u << 16, whole);
        return text ? StatedSize(*text) : std::nullopt;
    }
    return StatedSize(QByteArray::fromRawData(reinterpret_cast<const char*>(start.data()), qsizetype(start.size())));
}

// Whether a reference stays inside the drawing: a fragment, or data given
// in place. Nothing else is fetched, from the disk or the network.
bool InsideDrawing(QStringView reference)
{
    reference = reference.trimmed();
    return reference.isEmpty() || reference.startsWith(QLatin1Char('#')) || reference.startsWith(QLatin1String("data:"), Qt::CaseInsensitive);
}

// Every url(...) in a style refers inside the drawing, and no @import.
bool StyleStaysInside(QStringView style)
{
    if (style.contains(QLatin1String("@import"), Qt::CaseInsensitive))
        return false;
    for (qsizetype at = style.indexOf(QLatin1String("url("), 0, Qt::CaseInsensitive); at >= 0;
         at = style.indexOf(QLatin1String("url("), at + 4, Qt::CaseInsensitive)) {
        QStringView target = style.mid(at + 4).trimmed();
        if (target.startsWith(QLatin1Char('"')) || target.startsWith(QLatin1Char('\'')))
            target = target.mid(1);
        if (!target.startsWith(QLatin1Char('#')) && !target.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
            return false;
    }
    return true;
}

// Reads the whole drawing before any renderer does: no document type that
// declares entities (whose expansion can grow without end), no nesting or
// element count beyond the limits, no reference outside the drawing. Tells
// whether it holds text, which only a window's fonts can draw.
bool CheckDrawing(const QByteArray& text)
{
    QXmlStreamReader reader(text);
    int depth = 0;
    std::size_t elements = 0;
    bool hasText = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            if (!reader.entityDeclarations().isEmpty() || reader.text().contains(QLatin1String("<!ENTITY")))
                RaiseInvalidPicture("the drawing declares entities, which are not expanded here");
            break;
        case QXmlStreamReader::EntityReference:
            RaiseInvalidPicture("the drawing refers to an entity, which is not expanded here");
        case QXmlStreamReader::StartElement: {
            if (++depth > MaxDepth)
                RaiseInvalidPicture("the drawing nests elements more than " + std::to_string(MaxDepth) + " deep");
            if (++elements > MaxElements)
                RaiseInvalidPicture("the drawing has more than " + std::to_string(MaxElements) + " elements");
            const QStringView name = reader.name();
            hasText = hasText || name == QLatin1String("text") || name == QLatin1String("textArea");
            for (const QXmlStreamAttribute& attribute : reader.attributes()) {
                const QStringView key = attribute.name();
                if ((key == QLatin1String("href") && !InsideDrawing(attribute.value())) ||
                    (key == QLatin1String("style") && !StyleStaysInside(attribute.value())))
                    RaiseInvalidPicture("the drawing refers to something outside it, which is not fetched");
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::Characters:
            if (!StyleStaysInside(reader.text()))
                RaiseInvalidPicture("the drawing's style refers to something outside it, which is not fetched");
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        RaiseInvalidPicture("the drawing is not well-formed XML: " + reader.errorString().toStdString());
    return hasText;
}

void GuardDrawing(ByteSpan bytes)
{
    CheckDrawing(DrawingText(bytes));
}

} // namespace

// Renders the drawing at its stated size times the factor, with its
// transparency; the guards have run.
void RenderDrawing(ByteSpan bytes, PictureFile& into, std::uint64_t maxPixels, double factor)
{
    const QByteArray text = DrawingText(bytes);
    const bool hasText = CheckDrawing(text);
    if (hasText && qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
        RaiseInvalidPicture("the drawing holds text, which needs the window's fonts; convert its text to paths");
    const std::optional<PictureSize> stated = StatedSize(text);
    if (!stated)
        RaiseInvalidPicture("the drawing states no width and height, nor a viewBox");
    const double width = std::max(1.0, std::round(double(stated->width) * factor));
    const double height = std::max(1.0, std::round(double(stated->height) * factor));
    CheckPictureDimensions(std::uint64_t(std::min(width, 1e12)), std::uint64_t(std::min(height, 1e12)), maxPixels);
    QSvgRenderer renderer(text);
    if (!renderer.isValid())
        RaiseInvalidPicture("Qt's SVG reader cannot draw it");
    QImage image(int(width), int(height), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        RaiseWithReason(ErrorNumber::OutOfMemory, "no memory to draw the picture");
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        renderer.render(&painter);
    }
    image.convertTo(QImage::Format_ARGB32);
    into.picture.Resize(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        std::uint32_t* out = into.picture.Row(y);
        for (int x = 0; x < image.width(); ++x)
            // A see-through pixel keeps no colour, as every reader here gives it.
            out[x] = (row[x] >> 24) == 0 ? 0u : row[x];
    }
    into.hasAlpha = true;
    into.metadata = {};
}

namespace {

bool DecodeDrawing(ByteSpan bytes, PictureFile& into, std::uint64_t maxPixels)
{
    RenderDrawing(bytes, into, maxPixels, 1.0);
    return true;
}

constexpr std::string_view SvgExtensions[] = {"svg", "svgz"};

} // namespace

// Read only: a drawing is rendered at its size, or at the size the outputs
// ask for (RenderDrawing), and bevelled as a picture.
extern constinit const FileFormat SvgFormat{
    .name = "SVG",
    .extensions = SvgExtensions,
    .looksLike = LooksLikeSvg,
    .headerSize = HeaderSize,
    .guard = GuardDrawing,
    .decode = DecodeDrawing,
    .renderAt = RenderDrawing,
    .listedAsRead = true,
    .mimeType = "image/svg+xml",
};

} // namespace tollamere
