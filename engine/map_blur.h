// SPDX-License-Identifier: MIT
#pragma once

#include "bevel_kernels.h"
#include "byte_map.h"

#include <vector>

namespace tollamere {

// Blurs the map in place, passes times, in one sweep down its rows. A pass is
// the 3 x 3 weighted average (corners 3, edges 4, centre 1, sum 29, fraction
// dropped) that leaves the outermost ring 0; it keeps the three rows it made
// last, so a row is blurred again as soon as the rows around it are ready, and
// no second map is needed. spans, when given, holds per row the columns outside
// of which the row is 0 and is kept true; without it every row counts as
// full. The rows are split into up to `threads` bands.
void BlurInPlace(ByteMap& map, std::vector<RowSpan>* spans, int passes, unsigned threads);

} // namespace tollamere
