// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace tollamere {

struct PictureSize {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
};

// How many bytes from the start of a file ProbePictureSize wants to see.
inline constexpr std::size_t ProbeBytes = 256 * 1024;

// The size a picture file's header declares, read from the first bytes of
// the file without decoding anything: JPEG, PNG, GIF and BMP here, other
// formats through Qt's readers. Nothing when the bytes do not tell.
std::optional<PictureSize> ProbePictureSize(std::span<const std::uint8_t> start);

} // namespace tollamere
