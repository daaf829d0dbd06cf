// SPDX-License-Identifier: MIT
#pragma once

// The bevel effect as the rest of the program uses it: the parameters read
// from the user's texts, and one call from a picture to its bevelled copy.

#include "bevel_look.h"
#include "effect_defaults.h"
#include "numeric_text.h"
#include "picture.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tollamere {

// The effect's parameters as the user typed them, converted: bevel size in
// pixels, light angle and elevation in radians.
struct BevelParameters {
    std::int32_t bevelSize = DefaultBevelSize;
    double lightAngle = 0.0;
    double lightElevation = 0.0;
};

// Converts the three parameter texts in this order: bevel size (rounded
// halves to even), light angle, light elevation (degrees). A text that is no
// number raises Type mismatch (13); one beyond the range, Overflow (6).
BevelParameters ParseBevelParameters(std::string_view bevelSizeText, std::string_view lightAngleText,
                                     std::string_view lightElevationText,
                                     const std::string& decimalSeparator = LocaleDecimalSeparator());

// One of the three texts as ParseBevelParameters reads it: the bevel size in
// whole pixels, an angle or elevation in degrees to radians. Callers that
// must say which text is at fault read them one by one.
std::int32_t ParseBevelSize(std::string_view text, const std::string& decimalSeparator);
double ParseLightDegrees(std::string_view text, const std::string& decimalSeparator);

// Raises what ApplyBevel raises for every picture with a bevel, before any
// picture is read: a bevel size outside 0..MaxBevelSize (Division by zero (11) for
// -1, else Overflow (6)), and Overflow (6) for an angle or elevation so large
// that the light has no direction.
void CheckBevelParameters(const BevelParameters& parameters);

// Bevels picIn into picOut at (0, 0), keeping picOut's alpha bytes; picOut
// receives nothing on failure. Bevel sizes outside 0..MaxBevelSize are refused: -1
// raises Division by zero (11), any other Overflow (6); a picture without
// pixels raises Invalid picture (481). threads: how many threads a large
// picture may use (0 counts as 1); the result does not depend on it.
void ApplyBevel(const Picture& picIn, Picture& picOut, const BevelParameters& parameters, unsigned threads = 1);

// ApplyBevel with the look's technique: Classic goes through the call
// above; Smooth and Chisel also raise Overflow (6) for a look CheckBevelLook
// refuses, and make picOut picIn's size when it is not.
void ApplyBevel(const Picture& picIn, Picture& picOut, const BevelParameters& parameters, const BevelLook& look,
                unsigned threads = 1);

class cDIBSection;
struct SmoothMaps;

// What the effect keeps from one picture to the next: its 24-bit surface, its
// maps and a picture to read into, grown when a larger picture comes and never shrunk, so that a
// batch does not ask the system for fresh memory per picture.
class BevelWorkspace {
public:
    BevelWorkspace();
    ~BevelWorkspace();
    BevelWorkspace(const BevelWorkspace&) = delete;
    BevelWorkspace& operator=(const BevelWorkspace&) = delete;

    // The surface at that size, its pixels left as they were for the caller
    // to fill; raises Out of memory (7) when it cannot be had.
    cDIBSection& SurfaceFor(std::int32_t width, std::int32_t height);
    const cDIBSection& Surface() const noexcept;
    // Bevels the surface as SurfaceFor left it, in place, as ApplyBevel does.
    void Bevel(const BevelParameters& parameters, unsigned threads);
    // The maps of the smooth and chisel techniques.
    SmoothMaps& Smooth() noexcept;
    // A picture kept for the caller to read the next input into, so that its
    // memory is reused too.
    Picture& KeptPicture() noexcept;
    // Bytes held by the surface, the maps of every technique and the kept
    // picture.
    std::uint64_t Bytes() const noexcept;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

// ApplyBevel with a workspace kept by the caller; picIn and picOut may be
// the same picture.
void ApplyBevel(const Picture& picIn, Picture& picOut, const BevelParameters& parameters, unsigned threads,
                BevelWorkspace& workspace);
void ApplyBevel(const Picture& picIn, Picture& picOut, const BevelParameters& parameters, const BevelLook& look,
                unsigned threads, BevelWorkspace& workspace);

// The whole look on one picture, in place: the bevel of its technique, then
// the margin and the drop shadow, whose shape is read before the bevel
// changes the colours. keepsAlpha tells whether the output holds alpha (see
// Decorate). Raises what ApplyBevel and Decorate raise.
void ApplyLook(Picture& picture, const BevelParameters& parameters, const BevelLook& look, bool keepsAlpha,
               unsigned threads, BevelWorkspace& workspace);

// The most the look's technique keeps in a workspace, beyond what the
// classic effect keeps there, for a picture of that size bevelled on that
// many threads: for a memory budget to count.
std::uint64_t LookWorkspaceBytes(const BevelLook& look, std::int32_t width, std::int32_t height,
                                 unsigned threads) noexcept;

} // namespace tollamere
