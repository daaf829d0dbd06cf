// SPDX-License-Identifier: MIT
#include "look_file.h"

#include "drop_shadow.h"

namespace tollamere {

namespace {

// A look lit from the top left, with the choices that differ from the
// defaults set by choose.
template <typename Choose>
NamedLook Shipped(std::string name, std::string size, std::string elevation, Choose choose)
{
    NamedLook look{std::move(name), std::move(size), std::string(DefaultLightAngleText), std::move(elevation), {}};
    choose(look.look);
    return look;
}

} // namespace

const std::vector<NamedLook>& ShippedLooks()
{
    static const std::vector<NamedLook> looks{
        Shipped("Classic", std::string(DefaultBevelSizeText), std::string(DefaultLightElevationText), [](BevelLook&) {}),
        // A wide, rounded rim that rises gently into the face, on a soft
        // shadow with room around it.
        Shipped("Soft button", "14", "40",
                [](BevelLook& look) {
                    look.technique = BevelTechnique::Smooth;
                    look.profile = BevelProfile::Round;
                    look.softenRadius = 2;
                    look.decoration = {10, DropShadow{3, 4, 8, {0x000000, 45}}};
                }),
        // A steep, deep rim on a pill: the face seems to bulge like glass.
        Shipped("Glass pill", "24", "50",
                [](BevelLook& look) {
                    look.technique = BevelTechnique::Smooth;
                    look.profile = BevelProfile::Round;
                    look.depthPercent = 180;
                    // A cool sheen on the lit side, a deep blue-black shade.
                    look.highlight = {{0xE8F4FF, 100}, BlendMode::Screen};
                    look.shadow = {{0x000030, 85}, BlendMode::Multiply};
                }),
        // Straight facets with a sharp ridge, as cut into a metal plate.
        Shipped("Chiselled plate", "8", "35",
                [](BevelLook& look) {
                    look.technique = BevelTechnique::Chisel;
                    look.depthPercent = 150;
                }),
        // The edge pressed into the ground, the face and the ground rising
        // round from it as a cushion does; room for the outer half.
        Shipped("Pillow", "20", "40",
                [](BevelLook& look) {
                    look.technique = BevelTechnique::Smooth;
                    look.style = BevelStyle::Pillow;
                    look.profile = BevelProfile::Round;
                    look.softenRadius = 3;
                    look.decoration.margin = 10;
                }),
    };
    return looks;
}

} // namespace tollamere
