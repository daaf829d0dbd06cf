#include "bevel_pipeline.h"

#include "checked_arithmetic.h"
#include "numeric_text.h"
#include "runtime_error.h"

#include <cmath>

namespace tollamere {

BevelParameters ParseBevelParameters(std::string_view bevelSizeText, std::string_view lightAngleText,
                                     std::string_view lightElevationText, const std::string& decimalSeparator)
{
    BevelParameters parameters;
    parameters.BevelSize = TextToLong(bevelSizeText, decimalSeparator);
    parameters.LightAngle = DegreesToRadians(TextToDouble(lightAngleText, decimalSeparator));
    parameters.LightElevation = DegreesToRadians(TextToDouble(lightElevationText, decimalSeparator));
    return parameters;
}

BevelMaps::BevelMaps(std::int32_t width, std::int32_t height)
    : HeightMap(width, height), InsideMask(width, height), ErodedMask(width, height),
      LightMap(width, height), ShadowMap(width, height)
{
}

void BuildShapeMask(const PixelView& pixels, BevelMaps& maps)
{
    for (std::int32_t y = 0; y < maps.HeightMap.Height(); ++y) {
        const std::uint8_t* pixel = pixels.PixelAt(0, y);
        std::uint8_t* height = maps.HeightMap.Row(y);
        std::uint8_t* inside = maps.InsideMask.Row(y);
        for (std::int32_t x = 0; x < maps.HeightMap.Width(); ++x, pixel += 3) {
            const std::uint8_t isInside = pixel[1] != 0 ? 1 : 0;
            height[x] = isInside;
            inside[x] = isInside;
        }
    }
}

void BuildHeightField(std::int32_t bevelSize, BevelMaps& maps)
{
    const std::int32_t width = maps.HeightMap.Width();
    const std::int32_t height = maps.HeightMap.Height();
    for (std::int32_t pass = 0; pass < bevelSize; ++pass) {
        for (std::int32_t y = 1; y < height - 1; ++y) {
            const std::uint8_t* above = maps.InsideMask.Row(y - 1);
            const std::uint8_t* row = maps.InsideMask.Row(y);
            const std::uint8_t* below = maps.InsideMask.Row(y + 1);
            std::uint8_t* eroded = maps.ErodedMask.Row(y);
            std::uint8_t* heights = maps.HeightMap.Row(y);
            for (std::int32_t x = 1; x < width - 1; ++x) {
                const bool survives = row[x] != 0 && above[x] != 0 && row[x - 1] != 0 && row[x + 1] != 0 && below[x] != 0;
                eroded[x] = survives ? 1 : 0;
                if (survives)
                    heights[x] = CheckedByte(heights[x] + 1);
            }
        }
        maps.InsideMask = maps.ErodedMask;
    }
}

void NormalizeHeightField(std::int32_t bevelSize, BevelMaps& maps)
{
    NormalizeMap(maps.HeightMap, CheckedByte(0), CheckedByte(std::int64_t{bevelSize} + 1));
}

void BlurHeight(BevelMaps& maps)
{
    BlurMap(maps.HeightMap);
}

void CalculateLight(const Vector3& lightVector, BevelMaps& maps)
{
    const ByteMap& heights = maps.HeightMap;
    for (std::int32_t y = 1; y < heights.Height() - 1; ++y) {
        const std::uint8_t* row = heights.Row(y);
        const std::uint8_t* above = heights.Row(y - 1);
        const std::uint8_t* below = heights.Row(y + 1);
        std::uint8_t* light = maps.LightMap.Row(y);
        std::uint8_t* shadow = maps.ShadowMap.Row(y);
        for (std::int32_t x = 1; x < heights.Width() - 1; ++x) {
            const std::uint8_t h = row[x];
            if (h == 0 || h == 255)
                continue;
            Vector3 normal;
            normal.x = h - (2 * row[x + 1] + above[x + 1] + below[x + 1]) * 0.25;
            normal.y = h - (2 * below[x] + below[x - 1] + below[x + 1]) * 0.25;
            normal.z = 1.0;
            const double v = DotProduct(normal, lightVector) / VectorLength(normal);
            if (v > 0)
                light[x] = RoundToByte(v * 255);
            else
                shadow[x] = RoundToByte(v * -255);
        }
    }
}

void BlurLights(BevelMaps& maps)
{
    for (int pass = 0; pass < 3; ++pass) {
        BlurMap(maps.LightMap);
        BlurMap(maps.ShadowMap);
    }
}

namespace {

void FadeTowardTop(const ByteMap& heights, ByteMap& strength)
{
    for (std::int32_t y = 0; y < heights.Height(); ++y) {
        const std::uint8_t* height = heights.Row(y);
        std::uint8_t* value = strength.Row(y);
        for (std::int32_t x = 0; x < heights.Width(); ++x)
            value[x] = CheckedByte(MulDiv(value[x], 255 - height[x], 255));
    }
}

} // namespace

void MergeHeightLight(BevelMaps& maps)
{
    FadeTowardTop(maps.HeightMap, maps.LightMap);
    FadeTowardTop(maps.HeightMap, maps.ShadowMap);
}

void RenderBevel(const PixelView& pixels, const BevelMaps& maps)
{
    for (std::int32_t y = 0; y < maps.HeightMap.Height(); ++y) {
        std::uint8_t* pixel = pixels.PixelAt(0, y);
        const std::uint8_t* height = maps.HeightMap.Row(y);
        const std::uint8_t* light = maps.LightMap.Row(y);
        const std::uint8_t* shadow = maps.ShadowMap.Row(y);
        for (std::int32_t x = 0; x < maps.HeightMap.Width(); ++x, pixel += 3) {
            if (pixel[1] == 0 || height[x] == 0 || height[x] == 255)
                continue;
            if (shadow[x] > 0)
                DarkenPixel(shadow[x], pixel[2], pixel[1], pixel[0]);
            if (light[x] > 0)
                LightenPixel(light[x], pixel[2], pixel[1], pixel[0]);
        }
    }
}

void CheckBevelSize(std::int32_t bevelSize)
{
    if (bevelSize == -1)
        Raise(ErrorNumber::DivisionByZero);
    if (bevelSize < 0 || bevelSize > 254)
        Raise(ErrorNumber::Overflow);
}

void ApplyBevel(cDIBSection& surface, const BevelParameters& parameters, EffectState& state)
{
    const std::int32_t width = surface.Width();
    const std::int32_t height = surface.Height();
    if (width <= 0 || height <= 0)
        Raise(ErrorNumber::InvalidPicture);
    if (surface.DIBSectionBitsPtr() == nullptr)
        Raise(ErrorNumber::OutOfMemory);
    BevelMaps maps(width, height);

    state.BevelSize = parameters.BevelSize;
    state.LightAngle = parameters.LightAngle;
    state.LightElevation = parameters.LightElevation;
    ComputeLightVector(state);
    CheckBevelSize(state.BevelSize);

    MarkStage(state, "1 - Started", true);
    const PixelView pixels{surface.DIBSectionBitsPtr(), surface.BytesPerScanLine(), height};
    BuildShapeMask(pixels, maps);
    MarkStage(state, "2 - Building height field", false);
    BuildHeightField(state.BevelSize, maps);
    MarkStage(state, "3 - Normalizing height field", false);
    NormalizeHeightField(state.BevelSize, maps);
    MarkStage(state, "4 - Blurring height", false);
    BlurHeight(maps);
    MarkStage(state, "5 - Calculating light", false);
    CalculateLight(state.LightVector, maps);
    MarkStage(state, "6 - Blurring lights", false);
    BlurLights(maps);
    MarkStage(state, "7 - Merging height/light", false);
    MergeHeightLight(maps);
    MarkStage(state, "8 - Rendering", false);
    RenderBevel(pixels, maps);
    MarkStage(state, "9 - All done", false);
}

void ApplyBevel(const Picture& picIn, Picture& picOut, const BevelParameters& parameters, EffectState& state)
{
    if (!picIn.HasBitmap())
        Raise(ErrorNumber::InvalidPicture);
    cDIBSection surface;
    surface.CreateFromPicture(picIn);
    ApplyBevel(surface, parameters, state);
    surface.PaintPicture(picOut, 0, 0, -1, -1, 0, 0, RasterOp::SrcCopy);
}

} // namespace tollamere
