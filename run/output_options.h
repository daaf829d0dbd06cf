// SPDX-License-Identifier: MIT
#pragma once

#include "picture_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tollamere {

// One size an input is written at: the factor, and its text for the name
// pattern's {scale} ("2x").
struct OutputScale {
    double factor = 1.0;
    std::string label = "1x";
    friend bool operator==(const OutputScale&, const OutputScale&) = default;
};

// The scales --scale takes, and the largest box side --width and --height take.
inline constexpr double MinScale = 0.01;
inline constexpr double MaxScale = 16.0;
inline constexpr std::int32_t MaxFitSide = 65535;
// The sides an icon holds when no sizes are asked for, those up to the
// picture's own size, and the most an icon's side may be.
inline constexpr std::int32_t StandardIconSizes[] = {16, 24, 32, 48, 64, 128, 256};
inline constexpr std::int32_t MaxIconSide = 256;

// Where outputs go and how they are written. The defaults write each output
// flat into the output folder, under the input's name, in the input's
// format, replacing an older file.
struct OutputOptions {
    enum class Structure { Flat, KeepFolders };
    enum class Overwrite { Replace, Skip, Rename };

    // KeepFolders recreates under the output folder the path of each input
    // relative to the folder it was found under (ConversionRequest::inputRoots).
    Structure structure = Structure::Flat;
    // The output's name before its extension: literal text with {name} (the
    // input's name without its extension), {ext} (the input's extension) and
    // {n} (the item's row number, from 1) and {scale} (the output's scale,
    // "2x"). An output at a scale other than 1x whose pattern has no {scale}
    // gets "@2x" after its name.
    std::string namePattern = "{name}";
    // Skip leaves an existing output as it is; Rename writes "name (2).png",
    // "name (3).png", ... instead.
    Overwrite overwrite = Overwrite::Replace;
    // An extension this program writes, without the dot; empty takes the
    // input's.
    std::string format;
    // More formats each input is written in beside `format`, each its own
    // output.
    std::vector<std::string> moreFormats;
    // The scales each input is written at, each its own output; empty
    // writes it at its own size (1x) only.
    std::vector<OutputScale> scales;
    // A box each input is fitted in before the scales apply, its aspect kept
    // (up or down); 0 leaves that side free, and both 0 keep the size.
    std::int32_t fitWidth = 0;
    std::int32_t fitHeight = 0;
    // The sides of the square pictures an icon or cursor holds, each
    // bevelled at its own size; empty takes those of StandardIconSizes below
    // the picture's larger side and that side itself, up to 256.
    std::vector<std::int32_t> iconSizes;
    // JPEG quality (1 to 100, 100 when not given); WebP, AVIF and JPEG XL are
    // lossy at this quality when given and lossless when not.
    std::optional<int> quality;
    // The PNG compression level, 0 (none) to 9 (smallest); nothing keeps
    // the default, 5.
    std::optional<int> pngLevel;
    // Leave out the colour profile, the resolution and the EXIF block of
    // the inputs.
    bool stripMetadata = false;
    // Turn a photo whose EXIF orientation says it is stored sideways or
    // upside down upright before the bevel, so that the light falls as on
    // every other picture; the output's EXIF then says upright.
    bool autoOrient = true;
};

// The reason a value of the options is refused ("the name pattern ..."), or
// nothing when every value can be used. The run refuses to start with such
// options; callers check them first to say so as a usage error.
std::optional<std::string> CheckOutputOptions(const OutputOptions& options);

// The output's name before its extension for an input file name: the
// pattern with its placeholders filled; row counts from 1.
// scale: the output's OutputScale::label.
std::string ExpandNamePattern(std::string_view pattern, std::string_view inputFileName, std::size_t row,
                              std::string_view scale = "1x");

// The formats every input is written in: `format` then `moreFormats`; one
// empty text (the input's) when none was chosen.
std::vector<std::string> OutputFormats(const OutputOptions& options);

// Reads "1x,2x,1.5x" into scales (each a decimal number and "x", as
// written for {scale}); the reason it is refused ("takes scales such as
// ..."), or nothing.
std::optional<std::string> ReadScales(std::string_view text, std::vector<OutputScale>& scales);
// The scales as ReadScales reads them; "1x" for none.
std::string ScalesText(const std::vector<OutputScale>& scales);

// The scales every input is written at: 1x alone when none was chosen.
std::vector<OutputScale> OutputScales(const OutputOptions& options);

// Whether an output at that scale is resized from its input.
bool Resizes(const OutputOptions& options, const OutputScale& scale);

// The sides an icon of a picture whose larger side is `side` holds.
std::vector<std::int32_t> IconSides(const OutputOptions& options, std::int32_t side);

// The name a Rename rule tries after the name itself: "star (2)" for
// attempt 2 of "star".
std::string NumberedName(std::string_view stem, unsigned attempt);

} // namespace tollamere
