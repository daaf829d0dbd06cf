// SPDX-License-Identifier: MIT
#pragma once

#include "picture_codec.h"
#include "picture_file.h"

#include <cstdint>
#include <filesystem>
#include <functional>

namespace tollamere {

// Writes the picture as a JPEG file at the quality (0 to 100; more counts as
// 100), the chroma subsampled below 90 only, with the metadata, replacing
// the file atomically. A failure raises Invalid procedure call (5) with the description
// "Cannot save the image. GDI+ Error:" followed by a non-zero status number
// (7 a system error such as a missing folder, 12 access denied, 3 out of
// memory), ": " and the reason, which names the file.
void SavePictureAsJpeg(const Picture& picture, const std::filesystem::path& path, std::uint8_t quality,
                       const PictureMetadata& metadata = {});

// The writer's two halves, for a caller that writes the bytes itself: the
// encoding, whose failures are reported as above, and the report of a write
// that failed.
EncodedBytes EncodeForJpegWriter(const std::function<EncodedBytes()>& encode, const std::filesystem::path& path);
[[noreturn]] void RaiseJpegWriterFailure(const RuntimeError& writeFailure);

} // namespace tollamere
