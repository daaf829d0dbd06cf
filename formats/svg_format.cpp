// SPDX-License-Identifier: MIT
#include "format_registry.h"

#include "picture_codec.h"
#include "runtime_error.h"

#include "helper_process.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace tollamere {
namespace {

// A drawing is text, and every limit below is far beyond what a drawing of
// a button or an icon holds: a compressed drawing unpacks to at most 32 MiB
// (a gzip bomb stops there), its elements nest at most 256 deep and number
// at most a million.
constexpr std::size_t MaxDrawingBytes = 32u << 20;
constexpr int MaxDepth = 256;
constexpr std::size_t MaxElements = 1'000'000;
// XML readers check an element's attributes against each other, in time
// that grows with their square (80,000 take half a minute); a drawing's
// element has a few dozen.
constexpr std::size_t MaxAttributes = 1000;
// The most bytes of a compressed drawing looked at to tell what it is.
constexpr std::size_t SniffBytes = 4096;

// The renderer runs in a helper process (draw/), which draws at most this
// many pixels a side (cairo's limit).
constexpr const char* RendererName = "tollamere-draw";
constexpr int MostRenderedSide = 32767;
// Its address space: what its libraries, fonts and the drawing's text take
// (it starts within 90 MiB on Debian 12; twice that leaves room for its
// threads' stacks and a large drawing's tree), plus the item's share of the
// memory budget at room for the rendered picture and seven more layers its
// size: a blur filter on a group took 29 bytes a pixel at 3000 by 3000.
constexpr std::uint64_t RendererBaseBytes = 192u << 20;
constexpr std::uint64_t RendererBytesPerPixel = 32;
// Far beyond what a drawing of a button or an icon takes.
constexpr std::chrono::seconds RendererProcessorTime{20};
constexpr std::chrono::seconds RendererWallTime{30};
// The helper's exit status for a drawing it refused (its reason on the
// output) and for a lack of memory it noticed itself.
constexpr int RendererRefused = 1;
constexpr int RendererOutOfMemory = 3;

bool IsGzip(ByteSpan bytes)
{
    return bytes.size() >= 3 && bytes[0] == 0x1F && bytes[1] == 0x8B && bytes[2] == 8;
}

// What a gzip stream unpacks to, up to `limit` bytes.
struct Unpacked {
    QByteArray bytes;
    // The stream ended within the limit, its check sum right.
    bool whole = false;
    // The stream is broken (a wrong check sum among them) where it was read.
    bool damaged = false;
};

Unpacked Gunzip(ByteSpan bytes, std::size_t limit)
{
    Unpacked unpacked;
    z_stream stream{};
    if (inflateInit2(&stream, 15 + 16) != Z_OK)
        RaiseWithReason(ErrorNumber::OutOfMemory, "no memory to unpack the drawing");
    QByteArray& out = unpacked.bytes;
    out.resize(qsizetype(std::min<std::size_t>(limit, 1u << 16)));
    stream.next_in = const_cast<Bytef*>(bytes.data());
    stream.avail_in = uInt(std::min<std::size_t>(bytes.size(), 0x7FFF'FFFF));
    for (;;) {
        stream.next_out = reinterpret_cast<Bytef*>(out.data()) + stream.total_out;
        stream.avail_out = uInt(std::size_t(out.size()) - stream.total_out);
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            unpacked.whole = true;
            break;
        }
        if (status != Z_OK && status != Z_BUF_ERROR) {
            unpacked.damaged = true;
            break;
        }
        if (stream.total_out >= limit)
            break;
        if (stream.avail_out == 0)
            out.resize(qsizetype(std::min<std::size_t>(limit + 1, std::size_t(out.size()) * 2)));
        else if (stream.avail_in == 0)
            break;
    }
    const std::size_t total = stream.total_out;
    inflateEnd(&stream);
    out.resize(qsizetype(std::min(total, limit)));
    return unpacked;
}

ByteSpan SpanOf(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
}

// The drawing's text: the bytes, or a compressed drawing unpacked (refused
// beyond MaxDrawingBytes).
QByteArray DrawingText(ByteSpan bytes)
{
    if (!IsGzip(bytes))
        return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    Unpacked text = Gunzip(bytes, MaxDrawingBytes + 1);
    if (std::size_t(text.bytes.size()) > MaxDrawingBytes)
        RaiseInvalidPicture("the compressed drawing unpacks to more than " + std::to_string(MaxDrawingBytes >> 20) + " MiB");
    if (!text.whole)
        RaiseInvalidPicture(text.damaged ? "the compressed drawing is damaged" : "the compressed drawing is cut short");
    if (IsGzip(SpanOf(text.bytes)))
        RaiseInvalidPicture("the drawing is compressed twice; unpack it once");
    return std::move(text.bytes);
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
    // A damaged compressed drawing, or one compressed twice, is still a
    // drawing, so that its reader says what is wrong with it.
    if (IsGzip(bytes)) {
        const QByteArray start = Gunzip(bytes, SniffBytes).bytes;
        return StartsLikeSvg(IsGzip(SpanOf(start)) ? Gunzip(SpanOf(start), SniffBytes).bytes : start);
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
// viewBox for what they leave out. Read from the start of the file only.
struct StatedLengths {
    double width = 0;
    double height = 0;
};

std::optional<StatedLengths> StatedLengthsOf(const QByteArray& text)
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
        return StatedLengths{*width, *height};
    }
    return std::nullopt;
}

// The stated size rounded to whole pixels (a side of 16.000002 is 16, as
// the drawing's author meant), at least 1.
PictureSize RoundedSize(StatedLengths lengths)
{
    // Beyond 2^32 pixels a side is no size a picture may have anyway.
    constexpr double most = 4294967295.0;
    const auto side = [&](double length) { return std::uint64_t(std::clamp(std::round(length), 1.0, most)); };
    return PictureSize{side(lengths.width), side(lengths.height)};
}

std::optional<PictureSize> StatedSize(const QByteArray& text)
{
    const std::optional<StatedLengths> lengths = StatedLengthsOf(text);
    return lengths ? std::optional<PictureSize>(RoundedSize(*lengths)) : std::nullopt;
}

std::optional<PictureSize> HeaderSize(ByteSpan start)
{
    if (IsGzip(start))
        return StatedSize(Gunzip(start, 1u << 16).bytes);
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

// No element with more than MaxAttributes attributes, told in one pass over
// the bytes before any XML reader sees them: the equals signs of a tag, out
// of its quoted values.
void CheckAttributeCounts(const QByteArray& text)
{
    bool inTag = false;
    char quote = 0;
    std::size_t signs = 0;
    for (const char c : text) {
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (!inTag) {
            inTag = c == '<';
            signs = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            inTag = false;
        } else if (c == '=' && ++signs > MaxAttributes) {
            RaiseInvalidPicture("an element of the drawing has more than " + std::to_string(MaxAttributes) + " attributes");
        }
    }
}

// Reads the whole drawing before any renderer does: no document type that
// declares entities (whose expansion can grow without end), no nesting or
// element count beyond the limits, no reference outside the drawing, no
// style sheet of its own (a processing instruction names it by its address).
void CheckDrawing(const QByteArray& text)
{
    CheckAttributeCounts(text);
    QXmlStreamReader reader(text);
    int depth = 0;
    std::size_t elements = 0;
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
        case QXmlStreamReader::ProcessingInstruction:
            if (reader.processingInstructionTarget().compare(QLatin1String("xml-stylesheet"), Qt::CaseInsensitive) == 0)
                RaiseInvalidPicture("the drawing names a style sheet outside it, which is not fetched");
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
}

void GuardDrawing(ByteSpan bytes)
{
    CheckDrawing(DrawingText(bytes));
}

std::string Shortest(double value)
{
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return std::string(text, error == std::errc{} ? end : text);
}

[[noreturn]] void RaiseNotRendered(ErrorNumber number, const std::string& why)
{
    RaiseWithReason(number, "the drawing could not be rendered: " + why);
}

std::string Mebibytes(std::uint64_t bytes)
{
    return std::to_string(bytes >> 20) + " MiB";
}

// The drawing's text rendered by the helper at width by height pixels: its
// words, straight alpha, a see-through pixel 0. Anything else the helper
// does (refuses, crashes, runs out of memory or time) fails this drawing
// with the reason in this program's words.
std::vector<std::uint8_t> RunRenderer(const QByteArray& text, std::int32_t width, std::int32_t height, StatedLengths stated,
                                      std::uint64_t maxPixels)
{
    static const std::filesystem::path renderer = FindHelperProgram(RendererName);
    if (renderer.empty())
        RaiseNotRendered(ErrorNumber::InvalidPicture, std::string("its renderer ") + RendererName + " is not installed beside this program");
    const std::size_t bytes = std::size_t(width) * std::size_t(height) * 4;
    HelperLimits limits;
    limits.addressSpaceBytes = RendererBaseBytes + std::min(maxPixels, MaxPicturePixels) * RendererBytesPerPixel;
    limits.processorTime = RendererProcessorTime;
    limits.wallTime = RendererWallTime;
    // The drawing fills the picture exactly, scaled apart across and down by
    // what rounding its sides took or gave.
    HelperOutcome outcome = RunHelper(renderer, {std::to_string(width), std::to_string(height), Shortest(stated.width), Shortest(stated.height)},
                                      SpanOf(text), std::max<std::size_t>(bytes, 4096), limits);
    const std::string memory = "its renderer ran out of the " + Mebibytes(limits.addressSpaceBytes) + " it may take";
    switch (outcome.end) {
    case HelperOutcome::End::Exited:
        if (outcome.code == 0 && outcome.output.size() == bytes)
            return std::move(outcome.output);
        if (outcome.code == RendererRefused)
            RaiseInvalidPicture("the renderer refused the drawing: " +
                                Printable(std::string(outcome.output.begin(), outcome.output.end())));
        if (outcome.code == RendererOutOfMemory)
            RaiseNotRendered(ErrorNumber::OutOfMemory, memory);
        if (outcome.code == 0)
            RaiseNotRendered(ErrorNumber::InvalidPicture, "its renderer gave " + std::to_string(outcome.output.size()) +
                                                              " bytes of the " + std::to_string(bytes) + " of the picture");
        RaiseNotRendered(ErrorNumber::InvalidPicture, "its renderer ended with status " + std::to_string(outcome.code));
    case HelperOutcome::End::Signalled:
        // The renderer's libraries abort, after a line of their own, when an
        // allocation fails.
        if (outcome.errors.find("alloc") != std::string::npos)
            RaiseNotRendered(ErrorNumber::OutOfMemory, memory);
        RaiseNotRendered(ErrorNumber::InvalidPicture, "its renderer crashed (signal " + std::to_string(outcome.code) + ")");
    case HelperOutcome::End::OutOfTime:
        RaiseNotRendered(ErrorNumber::InvalidPicture, "it took longer than " + std::to_string(limits.wallTime.count() / 1000) + " s");
    case HelperOutcome::End::OutOfProcessor:
        RaiseNotRendered(ErrorNumber::InvalidPicture, "it took more than " + std::to_string(limits.processorTime.count()) +
                                                          " s of processor time");
    case HelperOutcome::End::Abandoned:
        RaiseNotRendered(ErrorNumber::InvalidPicture, "it was no longer wanted");
    case HelperOutcome::End::NotStarted:
        break;
    }
    RaiseNotRendered(ErrorNumber::InvalidPicture, std::string("its renderer ") + RendererName + " cannot be started: " + outcome.errors);
}

} // namespace

// Renders the drawing at its stated size times the factor, with its
// transparency, in the helper process; the guards have run.
void RenderDrawing(ByteSpan bytes, PictureFile& into, std::uint64_t maxPixels, double factor)
{
    const QByteArray text = DrawingText(bytes);
    CheckDrawing(text);
    const std::optional<StatedLengths> lengths = StatedLengthsOf(text);
    if (!lengths)
        RaiseInvalidPicture("the drawing states no width and height, nor a viewBox");
    const PictureSize stated = RoundedSize(*lengths);
    const double width = std::max(1.0, std::round(double(stated.width) * factor));
    const double height = std::max(1.0, std::round(double(stated.height) * factor));
    CheckPictureDimensions(std::uint64_t(std::min(width, 1e12)), std::uint64_t(std::min(height, 1e12)), maxPixels);
    if (width > MostRenderedSide || height > MostRenderedSide)
        RaiseInvalidPicture("the drawing would be rendered at " + std::to_string(std::uint64_t(width)) + " x " +
                            std::to_string(std::uint64_t(height)) + " pixels; its renderer draws at most " +
                            std::to_string(MostRenderedSide) + " a side");
    const std::vector<std::uint8_t> pixels = RunRenderer(text, std::int32_t(width), std::int32_t(height), *lengths, maxPixels);
    into.picture.Resize(std::int32_t(width), std::int32_t(height));
    std::memcpy(into.picture.Row(0), pixels.data(), pixels.size());
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
