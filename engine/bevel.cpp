// SPDX-License-Identifier: MIT
#include "bevel.h"

#include "bevel_stages.h"
#include "drop_shadow.h"
#include "effect_operators.h"
#include "runtime_error.h"
#include "smooth_bevel.h"

#include <cmath>
#include <limits>

namespace tollamere {

BevelParameters ParseBevelParameters(std::string_view bevelSizeText, std::string_view lightAngleText,
                                     std::string_view lightElevationText, const std::string& decimalSeparator)
{
    BevelParameters parameters;
    parameters.bevelSize = ParseBevelSize(bevelSizeText, decimalSeparator);
    parameters.lightAngle = ParseLightDegrees(lightAngleText, decimalSeparator);
    parameters.lightElevation = ParseLightDegrees(lightElevationText, decimalSeparator);
    return parameters;
}

std::int32_t ParseBevelSize(std::string_view text, const std::string& decimalSeparator)
{
    return TextToLong(text, decimalSeparator);
}

double ParseLightDegrees(std::string_view text, const std::string& decimalSeparator)
{
    return DegreesToRadians(TextToDouble(text, decimalSeparator));
}

void CheckBevelParameters(const BevelParameters& parameters)
{
    CheckBevelSize(parameters.bevelSize);
    const Vector3 lightVector = ComputeLightVector(parameters.lightAngle, parameters.lightElevation);
    if (!std::isfinite(lightVector.x) || !std::isfinite(lightVector.y) || !std::isfinite(lightVector.z))
        Raise(ErrorNumber::Overflow);
}

void ApplyBevel(cDIBSection& surface, const BevelParameters& parameters, unsigned threads)
{
    BevelMaps maps;
    ApplyBevel(surface, parameters, threads, maps);
}

void ApplyBevel(cDIBSection& surface, const BevelParameters& parameters, unsigned threads, BevelMaps& maps)
{
    const std::int32_t width = surface.Width();
    const std::int32_t height = surface.Height();
    if (width <= 0 || height <= 0)
        Raise(ErrorNumber::InvalidPicture);
    if (surface.DIBSectionBitsPtr() == nullptr)
        Raise(ErrorNumber::OutOfMemory);
    maps.Reset(width, height);
    const Vector3 lightVector = ComputeLightVector(parameters.lightAngle, parameters.lightElevation);
    CheckBevelSize(parameters.bevelSize);
    const PixelView pixels{surface.DIBSectionBitsPtr(), width, height};

    // 1 - Started
    BuildShapeMask(pixels, maps, threads);
    // 2 - Building height field
    BuildHeightField(parameters.bevelSize, maps, threads);
    // 3 - Normalizing height field
    NormalizeHeightField(parameters.bevelSize, maps, threads);
    // 4 - Blurring height
    BlurHeight(maps, threads);
    // 5 - Calculating light
    CalculateLight(lightVector, maps, threads);
    // 6 - Blurring lights
    BlurLights(maps, threads);
    // 7 - Merging height/light
    MergeHeightLight(maps, threads);
    // 8 - Rendering
    RenderBevel(pixels, maps, threads);
}

void ApplyBevel(const Picture& picIn, Picture& picOut, const BevelParameters& parameters, unsigned threads)
{
    if (!picIn.HasBitmap())
        Raise(ErrorNumber::InvalidPicture);
    cDIBSection surface;
    surface.CreateFromPicture(picIn);
    ApplyBevel(surface, parameters, threads);
    surface.PaintPicture(picOut, 0, 0, -1, -1, 0, 0);
}

void ApplyBevel(const Picture& picIn, Picture& picOut, const BevelParameters& parameters, const BevelLook& look,
                unsigned threads)
{
    if (look.technique == BevelTechnique::Classic) {
        ApplyBevel(picIn, picOut, parameters, threads);
        return;
    }
    SmoothMaps maps;
    ApplySmoothBevel(picIn, picOut, parameters, look, threads, maps);
}

struct BevelWorkspace::Parts {
    cDIBSection surface;
    BevelMaps maps;
    SmoothMaps smooth;
    Picture picture;
};

BevelWorkspace::BevelWorkspace() : parts_(std::make_unique<Parts>()) {}

BevelWorkspace::~BevelWorkspace() = default;

cDIBSection& BevelWorkspace::SurfaceFor(std::int32_t width, std::int32_t height)
{
    if (width <= 0 || height <= 0)
        Raise(ErrorNumber::InvalidPicture);
    if (!parts_->surface.Resize(width, height))
        Raise(ErrorNumber::OutOfMemory);
    return parts_->surface;
}

const cDIBSection& BevelWorkspace::Surface() const noexcept
{
    return parts_->surface;
}

void BevelWorkspace::Bevel(const BevelParameters& parameters, unsigned threads)
{
    ApplyBevel(parts_->surface, parameters, threads, parts_->maps);
}

SmoothMaps& BevelWorkspace::Smooth() noexcept
{
    return parts_->smooth;
}

Picture& BevelWorkspace::KeptPicture() noexcept
{
    return parts_->picture;
}

std::uint64_t BevelWorkspace::Bytes() const noexcept
{
    const BevelMaps& maps = parts_->maps;
    return parts_->surface.Capacity() + maps.heightMap.Capacity() + maps.lightMap.Capacity() + maps.shadowMap.Capacity()
           + parts_->smooth.Bytes() + parts_->picture.CapacityBytes();
}

void ApplyBevel(const Picture& picIn, Picture& picOut, const BevelParameters& parameters, unsigned threads,
                BevelWorkspace& workspace)
{
    if (!picIn.HasBitmap())
        Raise(ErrorNumber::InvalidPicture);
    cDIBSection& surface = workspace.SurfaceFor(picIn.Width(), picIn.Height());
    surface.LoadPictureBlt(picIn);
    workspace.Bevel(parameters, threads);
    surface.PaintPicture(picOut, 0, 0, -1, -1, 0, 0);
}

void ApplyBevel(const Picture& picIn, Picture& picOut, const BevelParameters& parameters, const BevelLook& look,
                unsigned threads, BevelWorkspace& workspace)
{
    if (look.technique == BevelTechnique::Classic)
        ApplyBevel(picIn, picOut, parameters, threads, workspace);
    else
        ApplySmoothBevel(picIn, picOut, parameters, look, threads, workspace.Smooth());
}

namespace {

// Whether the look's band reaches out of the shape, into the margin the look
// adds: the margin then goes on before the bevel, so that the band is not
// cut where the picture ended.
bool BandIntoMargin(const BevelLook& look) noexcept
{
    return look.technique != BevelTechnique::Classic && look.style != BevelStyle::Inner && look.decoration.margin > 0;
}

} // namespace

void ApplyLook(Picture& picture, const BevelParameters& parameters, const BevelLook& look, bool keepsAlpha,
               unsigned threads, BevelWorkspace& workspace)
{
    if (BandIntoMargin(look) && picture.HasBitmap()) {
        CheckBevelParameters(parameters);
        CheckBevelLook(look);
        const std::uint32_t corner = picture.Pixel(0, 0);
        // A see-through margin, whatever the output holds: outside the shape
        // the band goes over see-through pixels as light and shade of their
        // own, and the last step lays them on the background as on the
        // picture's other see-through pixels.
        Decorate(picture, {}, Decoration{look.decoration.margin, std::nullopt}, true, threads);
        ShapeMask shape;
        if (look.decoration.shadow)
            ReadShapeMask(picture, look.shapeSource, shape, threads);
        ApplyBevel(picture, picture, parameters, look, threads, workspace);
        Decorate(picture, shape, Decoration{0, look.decoration.shadow}, keepsAlpha, threads, corner);
        return;
    }
    ShapeMask shape;
    if (look.decoration.shadow)
        ReadShapeMask(picture, look.shapeSource, shape, threads);
    ApplyBevel(picture, picture, parameters, look, threads, workspace);
    if (look.decoration.Any())
        Decorate(picture, shape, look.decoration, keepsAlpha, threads);
}

std::uint64_t LookWorkspaceBytes(const BevelLook& look, std::int32_t width, std::int32_t height,
                                 unsigned threads) noexcept
{
    if (look.technique == BevelTechnique::Classic || width <= 0 || height <= 0)
        return 0;
    if (BandIntoMargin(look)) {
        const GrownSize grown = GrowBy(width, height, look.decoration.margin);
        if (grown.width > std::uint64_t(INT32_MAX) || grown.height > std::uint64_t(INT32_MAX))
            return std::numeric_limits<std::uint64_t>::max();
        width = std::int32_t(grown.width);
        height = std::int32_t(grown.height);
    }
    return SmoothMapsBytes(width, height) + SmoothRowBytes(width, look.softenRadius, std::max(threads, 1u));
}

} // namespace tollamere
