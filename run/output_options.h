// SPDX-License-Identifier: MIT
#pragma once

#include "picture_file.h"

#include <optional>
#include <string>
#include <string_view>

namespace tollamere {

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
    // {n} (the item's row number, from 1).
    std::string namePattern = "{name}";
    // Skip leaves an existing output as it is; Rename writes "name (2).png",
    // "name (3).png", ... instead.
    Overwrite overwrite = Overwrite::Replace;
    // An extension this program writes, without the dot; empty takes the
    // input's.
    std::string format;
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
std::string ExpandNamePattern(std::string_view pattern, std::string_view inputFileName, std::size_t row);

// The name a Rename rule tries after the name itself: "star (2)" for
// attempt 2 of "star".
std::string NumberedName(std::string_view stem, unsigned attempt);

} // namespace tollamere
