// SPDX-License-Identifier: MIT
#pragma once

#include "picture_codec.h"

#include <filesystem>
#include <functional>
#include <string>

namespace tollamere {

// The JPEG writer's failure reports, for a caller that encodes and writes a
// JPEG itself: the encoding (encode, for the file at path), whose failures
// are reported here, and the report of a write that failed. Either raises
// Invalid procedure call (5) with the description "Cannot save the image.
// GDI+ Error:" followed by a non-zero status number (2 a picture that cannot
// be encoded, 7 a system error such as a missing folder, 12 access denied,
// 3 out of memory), ": " and the reason, which names the file.
EncodedBytes EncodeForJpegWriter(const std::function<EncodedBytes()>& encode, const std::filesystem::path& path);
[[noreturn]] void RaiseJpegWriterFailure(const RuntimeError& writeFailure);

// The reason of such a failure report, without the words and status number
// before it, for a caller with words of its own; any other description as
// it is.
std::string JpegWriterReason(const std::string& description);

} // namespace tollamere
