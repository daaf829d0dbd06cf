#pragma once

#include <cstdint>
#include <span>

namespace tollamere {

// Checks made on the raw bytes of formats Qt reads, where Qt alone would
// allocate first or accept less than the whole picture: the size a PNG or
// BMP header declares (Out of memory, 7, beyond the limit), and the pixel
// data a BMP must hold (Invalid picture, 481, when the file ends early).
// Bytes of any other format pass unchecked.
void CheckBeforeQtDecodes(std::span<const std::uint8_t> bytes);

} // namespace tollamere
