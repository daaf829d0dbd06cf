#pragma once

#include "byte_map.h"
#include "vector_math.h"

#include <cstdint>
#include <string_view>

namespace tollamere {

// The effect's state for one picture: the parameters in effect (angles in
// radians) and the light vector derived from them.
struct EffectState {
    std::int32_t BevelSize = 0;
    double LightAngle = 0.0;
    double LightElevation = 0.0;
    Vector3 LightVector;
    // Seconds since midnight at which the current stage began.
    float StageStartTime = 0.0f;
};

// Sets LightVector to the unit vector from the surface toward the light, x to
// the right and y downward: (cos e cos a, -cos e sin a, sin e).
void ComputeLightVector(EffectState& state);

// Records the start of a stage. A hook for timing; it changes no picture.
void MarkStage(EffectState& state, std::string_view label, bool restart);

// Every value v becomes (v - low) * 255 / (high - low), the fraction dropped.
// At each element, in this order: v below low, then high below low, raise
// Overflow (6); high equal to low raises Division by zero (11); a result above
// 255 raises Overflow (6). An empty map raises nothing.
void NormalizeMap(ByteMap& map, std::uint8_t low, std::uint8_t high);

// One pass of the 3 x 3 weighted average (corners 3, edges 4, centre 1, sum
// 29, fraction dropped); the outermost ring of the map becomes 0.
void BlurMap(ByteMap& map);

// Each byte c becomes MulDiv(c, 255 - amount, 255).
void DarkenPixel(std::uint8_t amount, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue);
// Each byte c becomes amount + MulDiv(c, 255 - amount, 255).
void LightenPixel(std::uint8_t amount, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue);

} // namespace tollamere
