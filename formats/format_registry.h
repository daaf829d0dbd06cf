// SPDX-License-Identifier: MIT
#pragma once

#include "picture_codec.h"
#include "picture_size.h"
#include "qt_codec.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tollamere {

// Every picture format this program knows, one description each (in the
// format's own file: jpeg_format.cpp, png_format.cpp, ...), and the one
// ordered table that says which format a file is by its content, which one
// an extension means, and which formats are read and written.

using ByteSpan = std::span<const std::uint8_t>;

// How the run writes an item, by its output's extension: "jpg" through the
// JPEG writer under ".jpg"; "bmp" as a 24-bit bitmap under the extension as
// written; every other extension in its own format under the extension in
// lower case.
enum class OutputRoute { JpegWriter, Bitmap, OwnFormat };

// Bytes per pixel an item takes at its peak, decoding to encoding, for an
// output whose encoder needs little of its own.
inline constexpr std::uint64_t CommonPeakBytesPerPixel = 20;

// Who writes an output: the JPEG writer (which also writes straight from the
// effect's surface), another encoder of this program, or Qt's writer.
enum class Encoder { Jpeg, Own, Qt };

// PNG: Pillow unpacks at most 1 MiB of an iCCP chunk and refuses the whole
// file beyond it; libpng stops at 8,000,000 bytes, so 1 MiB is what the
// common readers all take.
inline constexpr std::size_t CommonReadersProfileBytes = 1u << 20;
// JPEG: 255 APP2 segments (what their chunk numbers count) of 65,519 bytes.
// The readers of WebP, TIFF, AVIF and JPEG XL take a profile of any size
// their containers hold; no real profile comes near this limit, and libjxl
// takes minutes to compress one of 64 MiB, so it serves them too.
inline constexpr std::size_t LargeProfileBytes = 255u * 65'519u;

// What a format's files carry besides their pixels, as far as this
// program's readers and writers keep it.
enum CarriedMetadata : unsigned { CarriesNothing = 0, CarriesProfile = 1, CarriesResolution = 2, CarriesExif = 4 };

struct FileFormat {
    std::string_view name{};  // "JPEG", "JPEG XL"
    // Lower case; the first is the preferred one.
    std::span<const std::string_view> extensions{};

    // Whether the bytes are a file of this format. A weak test (a format
    // without a signature, or with one that other files share) that tells no
    // size lets the formats after it look.
    bool (*looksLike)(ByteSpan bytes) = nullptr;
    bool weakTest = false;
    // The size the header declares, from the start of a file; null when
    // Qt's look at the content tells it.
    std::optional<PictureSize> (*headerSize)(ByteSpan start) = nullptr;
    // Checks on the raw bytes before any reader allocates for them; raises.
    void (*guard)(ByteSpan bytes) = nullptr;

    // Reads a file of this format into `into`; false, or null, when Qt's
    // reader takes it, told `qtReading`. A picture of more than maxPixels
    // raises PictureBeyondAllowance before its pixels are allocated.
    bool (*decode)(ByteSpan bytes, PictureFile& into, std::uint64_t maxPixels) = nullptr;
    QtReading qtReading{};
    // A drawing without pixels of its own: rendered at its stated size times
    // the factor, which a picture resized after its load would blur.
    void (*renderAt)(ByteSpan bytes, PictureFile& into, std::uint64_t maxPixels, double factor) = nullptr;
    // Reads what Qt's look refused, when the file may be of this format
    // all the same; false when it is not.
    bool (*readAfterQtRefused)(ByteSpan bytes, PictureFile& into, std::uint64_t maxPixels) = nullptr;

    // Writes the picture; null when Qt's writer of the extension does, told
    // `qtWriting`; read-only formats have neither.
    EncodedBytes (*encode)(const Picture& picture, bool hasAlpha, const SaveSettings& settings) = nullptr;
    QtWriting qtWriting{};
    // Writes one file holding the picture at several sizes (an icon's), each
    // made and bevelled at its own size; null for formats of one picture.
    EncodedBytes (*encodeSizes)(std::span<const Picture> pictures, bool hasAlpha, const SaveSettings& settings) = nullptr;
    bool writtenByQt = false;
    // Written straight from the effect's surface too.
    bool surfaceWriter = false;
    // The route an output under the preferred extension takes; every other
    // extension of the format is written in its own format.
    OutputRoute preferredRoute = OutputRoute::OwnFormat;

    // Whether an output holds every pixel as it was (without a quality), and
    // every level of alpha.
    bool lossless = true;
    bool keepsAlpha = false;

    // The largest colour profile, in bytes, that an output carries where
    // its readers take it; a larger one is left out and the picture written
    // without it. 0 for formats that hold none.
    std::size_t largestProfile = 0;
    unsigned metadata = CarriesNothing;
    // Bytes an item written in this format takes per pixel at its peak,
    // measured (bench/memory.sh), for the run's memory budget.
    std::uint64_t peakBytesPerPixel = CommonPeakBytesPerPixel;

    // How many of its extensions the window's file filter, its help and the
    // manual pages show, where they list it (format_registry.cpp says
    // which formats, in which order).
    std::size_t listedExtensions = 1;
    // The name those lists give it, when not `name`.
    std::string_view listedName{};
    // Named among the formats only read (TGA), after Qt's own.
    bool listedAsRead = false;
    // The media type the desktop file declares for it.
    std::string_view mimeType{};

    std::string_view PreferredExtension() const noexcept { return extensions.front(); }
    std::string_view ListedName() const noexcept { return listedName.empty() ? name : listedName; }
    // Whether a reader or writer exists for files of this extension (one of
    // the format's); Qt's plugins are asked at run time.
    bool CanRead(std::string_view extension) const;
    bool CanWrite(std::string_view extension) const;
};

// A description's decode for a reader that answers the picture file.
template <PictureFile (*Read)(ByteSpan bytes, std::uint64_t maxPixels)>
bool DecodeInto(ByteSpan bytes, PictureFile& into, std::uint64_t maxPixels)
{
    into = Read(bytes, maxPixels);
    return true;
}

// The table, in the order the content is tested.
std::span<const FileFormat* const> AllFormats();

// The format of a file by its content, testing the table in order; null
// when none of the table's tests holds (Qt's look then decides).
const FileFormat* FormatOfContent(ByteSpan bytes);

// The table's format whose extensions hold this one (any case); null for
// every other extension.
const FileFormat* FormatOfExtension(std::string_view extension);

// The formats of the table read or written in this build, in table order.
std::vector<const FileFormat*> ReadableFormats();
std::vector<const FileFormat*> WritableFormats();
// The preferred extension of every format written, in table order.
std::vector<std::string> WritableExtensions();

// The formats the window's lists name, in their order; those the Options
// dialog offers, in theirs (only the written ones).
std::vector<const FileFormat*> ListedFormats();
std::vector<const FileFormat*> OfferedFormats();

// How an extension is written: the table's format, or another format Qt
// writes (PPM, XPM, ...), for which `format` is null.
struct PictureFormat {
    const FileFormat* format = nullptr;
    Encoder encoder = Encoder::Qt;
    OutputRoute route = OutputRoute::OwnFormat;
    std::string extension;  // lower case
    std::size_t largestProfile = 0;
    std::uint64_t peakBytesPerPixel = CommonPeakBytesPerPixel;
};

// The format an extension (without the dot, any case) names; nothing when no
// encoder here writes it.
std::optional<PictureFormat> FormatForExtension(std::string_view extension);

// True when some encoder writes this extension.
bool CanWritePictureExtension(std::string_view extension);

// True when some reader takes files of this extension: every format written
// here, and those only read (TGA, say). A folder scan for pictures takes these.
bool CanReadPictureExtension(std::string_view extension);

// Reads the picture the bytes hold by their content; Qt's reader takes what
// no format of the table claims. The guards of the format come first, once,
// whichever reader takes the file: checks on the raw bytes that Qt alone
// would not make, such as the size a PNG or BMP header declares (Out of
// memory, 7, beyond the limit), the pixel data a BMP must hold (Invalid
// picture, 481, when the file ends early), and the length of each PNG chunk
// other than image data (481 beyond a few MiB), also in PNGs that an icon
// or cursor holds.
void DecodePictureBytes(ByteSpan bytes, PictureFile& into, std::uint64_t maxPixels);

// Whether the bytes hold a drawing that renders at any size (SVG).
bool IsDrawing(ByteSpan bytes);
// Reads a drawing as DecodePictureBytes does, at its stated size times the
// factor.
void RenderDrawingBytes(ByteSpan bytes, PictureFile& into, std::uint64_t maxPixels, double factor);

// Writes the picture in that format.
EncodedBytes EncodePicture(const PictureFormat& format, const Picture& picture, bool hasAlpha, const SaveSettings& settings);

// How many bytes from the start of a file ProbePictureSize wants to see.
inline constexpr std::size_t ProbeBytes = 256 * 1024;

// The size a picture file's header declares, read from the first bytes of
// the file without decoding anything: the format the content says tells it,
// or Qt's readers do. Nothing when the bytes do not tell.
std::optional<PictureSize> ProbePictureSize(ByteSpan start);

// The names the help texts give the formats read only: Qt's own that they
// name (PBM, ...), then the table's listed as read.
std::vector<std::string_view> ReadOnlyFormatNames();

// The formats read and written, by their names, in the order the lists
// give them: as the manual pages, the README and the command line's help
// name them (the window's lists may give a format another name).
std::vector<std::string_view> ListedFormatNames();

// "A, B and C", for the lists of formats in help texts.
std::string NameList(const std::vector<std::string_view>& names);

} // namespace tollamere
