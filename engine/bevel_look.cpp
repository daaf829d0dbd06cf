// SPDX-License-Identifier: MIT
#include "bevel_look.h"

#include "runtime_error.h"

namespace tollamere {

void CheckBevelLook(const BevelLook& look)
{
    const auto within = [](auto value, auto low, auto high) { return value >= low && value <= high; };
    const bool valid = within(static_cast<int>(look.technique), 0, static_cast<int>(BevelTechnique::Chisel))
                       && within(static_cast<int>(look.profile), 0, static_cast<int>(BevelProfile::Ridge))
                       && within(static_cast<int>(look.direction), 0, static_cast<int>(BevelDirection::Down))
                       && within(static_cast<int>(look.shapeSource.kind), 0, static_cast<int>(ShapeSourceKind::Luma))
                       && within(look.depthPercent, 0, 1000) && within(look.softenRadius, 0, 64)
                       && within(look.shapeSource.lumaThreshold, 0, 255);
    if (!valid)
        Raise(ErrorNumber::Overflow);
    CheckDecoration(look.decoration);
}

} // namespace tollamere
