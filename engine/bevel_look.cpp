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
                       && within(static_cast<int>(look.style), 0, static_cast<int>(BevelStyle::Pillow))
                       && within(static_cast<int>(look.shapeSource.kind), 0, static_cast<int>(ShapeSourceKind::Luma))
                       && within(look.depthPercent, 0, MaxDepthPercent) && within(look.softenRadius, 0, MaxSoftenRadius)
                       && within(look.shapeSource.lumaThreshold, 0, 255)
                       && within(static_cast<int>(look.highlight.mode), 0, static_cast<int>(BlendMode::Overlay))
                       && within(static_cast<int>(look.shadow.mode), 0, static_cast<int>(BlendMode::Overlay))
                       && within(look.highlight.colour.opacityPercent, 0, 100)
                       && within(look.shadow.colour.opacityPercent, 0, 100) && look.highlight.colour.rgb <= 0xFFFFFF
                       && look.shadow.colour.rgb <= 0xFFFFFF;
    if (!valid)
        Raise(ErrorNumber::Overflow);
    CheckDecoration(look.decoration);
}

} // namespace tollamere
