#pragma once

#include "byte_map.h"
#include "cDIBSection.h"
#include "effect_operators.h"
#include "numeric_text.h"
#include "picture.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tollamere {

// The effect's parameters as the user typed them, converted: bevel size in
// pixels, light angle and elevation in radians.
struct BevelParameters {
    std::int32_t BevelSize = 5;
    double LightAngle = 0.0;
    double LightElevation = 0.0;
};

// Converts the three parameter texts in this order: bevel size (rounded
// halves to even), light angle, light elevation (degrees). A text that is no
// number raises Type mismatch (13); one beyond the range, Overflow (6).
BevelParameters ParseBevelParameters(std::string_view bevelSizeText, std::string_view lightAngleText,
                                     std::string_view lightElevationText,
                                     const std::string& decimalSeparator = LocaleDecimalSeparator());

// A byte view over the surface's pixel memory: (row byte, memory row), rows
// stored bottom-up as the surface keeps them. It owns nothing.
struct PixelView {
    std::uint8_t* data = nullptr;
    std::int32_t bytesPerScanLine = 0;
    std::int32_t rows = 0;

    std::uint8_t* MemoryRow(std::int32_t memoryRow) const noexcept
    {
        return data + std::size_t(memoryRow) * std::size_t(bytesPerScanLine);
    }
    // The blue, green, red bytes of picture pixel (x, y) counted from the top left.
    std::uint8_t* PixelAt(std::int32_t x, std::int32_t y) const noexcept { return MemoryRow(rows - 1 - y) + 3 * x; }
};

// The maps of one call, each the picture's size.
struct BevelMaps {
    BevelMaps(std::int32_t width, std::int32_t height);

    ByteMap HeightMap;
    ByteMap InsideMask;
    ByteMap ErodedMask;
    ByteMap LightMap;
    ByteMap ShadowMap;
};

// The stages, in the order the effect runs them.
void BuildShapeMask(const PixelView& pixels, BevelMaps& maps);
void BuildHeightField(std::int32_t bevelSize, BevelMaps& maps);
void NormalizeHeightField(std::int32_t bevelSize, BevelMaps& maps);
void BlurHeight(BevelMaps& maps);
void CalculateLight(const Vector3& lightVector, BevelMaps& maps);
void BlurLights(BevelMaps& maps);
void MergeHeightLight(BevelMaps& maps);
void RenderBevel(const PixelView& pixels, const BevelMaps& maps);

// Bevel sizes outside 0..254 are refused before any work: -1 raises Division
// by zero (11), any other Overflow (6), the errors the effect would meet.
void CheckBevelSize(std::int32_t bevelSize);

// Bevels the surface in place. A surface without pixels raises Invalid
// picture (481); on any failure the pixels are unchanged.
void ApplyBevel(cDIBSection& surface, const BevelParameters& parameters, EffectState& state);

// Bevels picIn into picOut at (0, 0); picOut receives nothing on failure.
void ApplyBevel(const Picture& picIn, Picture& picOut, const BevelParameters& parameters, EffectState& state);

} // namespace tollamere
