// SPDX-License-Identifier: MIT
#pragma once

#include "picture_codec.h"

#include <span>
#include <string>
#include <string_view>

namespace tollamere {

// Decodes any format Qt's image readers recognise by content (PNG, BMP, ICO,
// CUR, TIFF, WebP, PBM/PGM/PPM, TGA, XPM, ...). Icons give their largest image.
// The picture goes into `into`, whose pixel memory is reused when large
// enough. A picture of more than maxPixels raises PictureBeyondAllowance
// before Qt reads its pixels.
void DecodeWithQt(std::span<const std::uint8_t> bytes, PictureFile& into, std::uint64_t maxPixels = MaxPicturePixels);

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

// Writes through Qt's writer for the format: WebP lossless unless the
// settings give a quality, TIFF with LZW; the metadata's colour profile and
// resolution where the format holds them (96 dpi when the metadata has none).
EncodedBytes EncodeWithQt(const Picture& picture, bool hasAlpha, const std::string& format, const SaveSettings& settings = {});

} // namespace tollamere
