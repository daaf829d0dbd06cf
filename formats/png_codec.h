// SPDX-License-Identifier: MIT
#pragma once

#include "picture_codec.h"

#include <span>

namespace tollamere {

// How the PNG writer filters rows and compresses them. The default, Chosen,
// compresses by what the filtered rows hold, as bench/png_choice.cpp measured
// it: pictures whose filtered bytes are mostly not zero (grain: noise, photos)
// with zlib's run-length strategy, which keeps to literals and runs; smooth
// ones with libdeflate at `level`, or at 8 when they are small; those in
// between both ways, the smaller kept.
struct PngTuning {
    enum class Filter { None, Sub, Up, Average, Paeth, Adaptive };
    enum class Compressor { Chosen, Libdeflate, Zlib };
    Compressor compressor = Compressor::Chosen;
    int level = 7;
    Filter filter = Filter::Adaptive;
    int zlibStrategy = 0;  // Z_DEFAULT_STRATEGY; zlib only
};

// The tuning for a PNG compression level from 0 (none) to 9 (smallest).
PngTuning PngTuningForLevel(int level);

// Writes 8-bit RGB, or RGBA when hasAlpha, with the metadata's resolution
// (96 dpi when it has none) and colour profile; compressed at the settings'
// level (libdeflate's), or with the default tuning.
EncodedBytes EncodePng(const Picture& picture, bool hasAlpha, const SaveSettings& settings);

// Reads the PNGs most files are (8 or 16 bits per sample of grey, grey and
// alpha, RGB or RGBA, not interlaced; grey and RGB with or without a
// transparent colour key, matched at the samples' depth) straight into
// into.picture, reusing its memory, with their colour profile and resolution
// in into.metadata; 16 bits are rounded to 8. Answers false, `into` left in no particular
// state, for every other PNG and for any damage at all (a wrong checksum,
// data cut short or left over): Qt's reader then decides, as it does for
// those files. Raises only what CheckPictureDimensions raises for the size
// the header declares (against maxPixels too), and Out of memory (7).
bool DecodePng(std::span<const std::uint8_t> bytes, PictureFile& into, std::uint64_t maxPixels = MaxPicturePixels);

// The same with a tuning of one's own, for measuring.
EncodedBytes EncodePngTuned(const Picture& picture, bool hasAlpha, const PictureMetadata& metadata, const PngTuning& tuning);

} // namespace tollamere
