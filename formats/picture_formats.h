// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tollamere {

// Which extension means which format, and what the format holds and takes:
// the one table that the run, the picture files and the command line all read.

enum class Encoder { Jpeg, Png, Bmp, Gif, Icon, Cursor, Avif, JpegXl, Qt };

// How the run writes an item, by its input's extension: "jpg" through the
// JPEG writer under ".jpg"; "bmp" as a 24-bit bitmap under the extension as
// written; every other extension in its own format under the extension in
// lower case.
enum class OutputRoute { JpegWriter, Bitmap, OwnFormat };

// Bytes per pixel an item takes at its peak, decoding to encoding, for an
// output whose encoder needs little of its own.
inline constexpr std::uint64_t CommonPeakBytesPerPixel = 20;

struct PictureFormat {
    Encoder encoder = Encoder::Qt;
    OutputRoute route = OutputRoute::OwnFormat;
    std::string qtName;  // the Qt writer's name for the format, for Encoder::Qt
    // The largest colour profile, in bytes, that an output of this format
    // carries where its readers take it; a larger one is left out and the
    // picture written without it. 0 for formats that hold none.
    std::size_t largestProfile = 0;
    // Bytes an item written in this format takes per pixel at its peak,
    // measured (bench/memory.sh), for the run's memory budget.
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

} // namespace tollamere
