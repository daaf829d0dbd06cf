// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <span>

namespace tollamere {

// Checks made on the raw bytes of formats Qt reads, where Qt alone would
// allocate first or accept less than the whole picture: the size a PNG or
// BMP header declares (Out of memory, 7, beyond the limit), the pixel data a
// BMP must hold (Invalid picture, 481, when the file ends early), and the
// length of each PNG chunk other than image data (481 beyond a few MiB),
// also in PNGs that an icon or cursor holds.
// Bytes of any other format pass unchecked.
void CheckBeforeQtDecodes(std::span<const std::uint8_t> bytes);

} // namespace tollamere
