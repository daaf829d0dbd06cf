// SPDX-License-Identifier: MIT
#pragma once

#include "picture_codec.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tollamere {

// What a format's description tells Qt's reader. The hints hold when Qt's
// look at the content finds one of `formats` (Qt's names).
struct QtReading {
    std::span<const std::string_view> formats{};
    // The size of each picture a file holds, in order, as their data says:
    // the largest is read.
    std::vector<PictureSize> (*pictureSizes)(std::span<const std::uint8_t> bytes) = nullptr;
    // Many programs write 32-bit pixels with the fourth byte left at 0; read
    // as alpha it would make the whole picture transparent, and so black.
    bool zeroAlphaIsUnused = false;
    // Whether the file embeds a colour profile, where Qt also builds colour
    // spaces from other data; null when Qt's colour space is the file's.
    bool (*embedsProfile)(std::span<const std::uint8_t> bytes) = nullptr;
};

// What a format's description tells Qt's writer.
struct QtWriting {
    // For a writer that takes a quality: the one it gets when the settings
    // give none. Other writers are told none.
    std::optional<int> defaultQuality{};
    std::optional<int> compression{};
};

// Decodes any format Qt's image readers recognise by content, or the one of
// Qt's name `format` when given, with the reading's hints.
// The picture goes into `into`, whose pixel memory is reused when large
// enough. A picture of more than maxPixels raises PictureBeyondAllowance
// before Qt reads its pixels. The bytes are not checked before Qt reads
// them: the format's guards are the caller's.
void DecodeWithQt(std::span<const std::uint8_t> bytes, PictureFile& into, std::uint64_t maxPixels = MaxPicturePixels,
                  const QtReading& reading = {}, const char* format = nullptr);

// The size Qt's readers find in the first bytes of a file; nothing when
// none tells.
std::optional<PictureSize> QtHeaderSize(std::span<const std::uint8_t> start);

// Loads Qt's image format plugins in the calling thread. A plugin is an
// object that belongs to the thread that first loaded it; loaded by a worker
// that has ended, it is destroyed at exit through that thread's freed data,
// corrupting the heap. Call it from the main thread before any worker decodes.
void LoadQtImagePlugins();

// True when a Qt image writer exists for the format of that (lower-case) name.
bool QtCanWrite(std::string_view format);

// True when a Qt image reader gives pixels for the format of that
// (lower-case) name; vector drawings have none.
bool QtCanRead(std::string_view format);

// Writes through Qt's writer for the format, at the settings' quality or
// the writing's default, with the writing's compression; the metadata's
// colour profile and resolution where the format holds them (96 dpi when
// the metadata has none).
EncodedBytes EncodeWithQt(const Picture& picture, bool hasAlpha, const std::string& format, const SaveSettings& settings = {},
                          const QtWriting& writing = {});

} // namespace tollamere
