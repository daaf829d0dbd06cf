// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace tollamere {

// What the window takes from a cursor file for its own pointer, beside the
// picture Qt's reader gives: the hotspot of the first entry, from the
// directory; nothing when the bytes are no cursor.
struct CursorHotspot {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
};
std::optional<CursorHotspot> CursorFileHotspot(std::span<const std::uint8_t> bytes);

// Qt's name for its reader of cursor files.
inline constexpr char CursorReaderName[] = "cur";

} // namespace tollamere
