// SPDX-License-Identifier: MIT
// The bevel effect on pictures of 1 to 24 megapixels: on the image surface
// (the effect itself), between two pictures (with the copies into and out of
// the surface), on several threads, next to the literal oracle of the tests
// and next to a JPEG decode and encode of the same picture; and each stage
// alone. Test pictures are made before the timed loops.
#include "bevel_oracle.h"
#include "bevel_stages.h"
#include "effect_operators.h"
#include "smooth_bevel.h"

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <thread>
#include <vector>

namespace tollamere {
namespace {

// A 4:3 picture of that many megapixels: rounded buttons with holes on black,
// so every stage has edges, band and flat top to work on.
Picture ButtonSheet(std::int64_t megapixels)
{
    const auto height = static_cast<std::int32_t>(std::sqrt(double(megapixels) * 1'000'000 * 3 / 4));
    const std::int32_t width = height * 4 / 3;
    Picture picture(width, height, 0xFF000000u);
    const std::int32_t cell = 200;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const std::int32_t cx = x % cell - cell / 2;
            const std::int32_t cy = y % cell - cell / 2;
            const std::int32_t radius2 = cx * cx + cy * cy;
            if (radius2 < 90 * 90 && radius2 > 15 * 15)
                picture.Pixel(x, y) = 0xFF000000u | std::uint32_t(x * 7 & 0xFF) << 16 | 0x8000u | std::uint32_t(y & 0xFF);
        }
    }
    return picture;
}

const Picture& SheetOf(std::int64_t megapixels)
{
    static std::map<std::int64_t, Picture> sheets;
    auto found = sheets.find(megapixels);
    if (found == sheets.end())
        found = sheets.emplace(megapixels, ButtonSheet(megapixels)).first;
    return found->second;
}

BevelParameters Parameters(std::int64_t bevelSize)
{
    return {static_cast<std::int32_t>(bevelSize), DegreesToRadians(DefaultLightAngleDegrees), DegreesToRadians(DefaultLightElevationDegrees)};
}

unsigned AllCores()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

void SetPixels(benchmark::State& state, const Picture& picture)
{
    state.SetItemsProcessed(state.iterations() * std::int64_t{picture.Width()} * picture.Height());
}

// The effect on the image surface. The surface gets the picture's pixels
// back before each run, outside the timing.
void Effect(benchmark::State& state, std::int64_t megapixels, std::int64_t bevelSize, unsigned threads)
{
    const Picture& input = SheetOf(megapixels);
    cDIBSection surface;
    surface.CreateFromPicture(input);
    const std::size_t bytes = std::size_t(surface.BytesPerScanLine()) * std::size_t(surface.Height());
    const std::vector<std::uint8_t> original(surface.DIBSectionBitsPtr(), surface.DIBSectionBitsPtr() + bytes);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(surface.DIBSectionBitsPtr(), original.data(), bytes);
        state.ResumeTiming();
        ApplyBevel(surface, Parameters(bevelSize), threads);
        benchmark::DoNotOptimize(surface.DIBSectionBitsPtr());
    }
    SetPixels(state, input);
    state.counters["threads"] = threads;
}

void EffectOnSurface(benchmark::State& state)
{
    Effect(state, state.range(0), state.range(1), 1);
}
BENCHMARK(EffectOnSurface)
    ->ArgsProduct({{1, 4, 16}, {5, 50}})
    ->Args({16, 200})
    ->ArgNames({"MP", "size"})
    ->Unit(benchmark::kMillisecond);

// One large picture on one thread and on every core.
void EffectOnAllCores(benchmark::State& state)
{
    Effect(state, state.range(0), state.range(1), state.range(2) == 0 ? 1 : AllCores());
}
BENCHMARK(EffectOnAllCores)
    ->ArgsProduct({{24}, {5, 50}, {0, 1}})
    ->ArgNames({"MP", "size", "allCores"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The smooth technique, picture to picture with its maps kept, against the
// classic effect picture to picture on the same sheet: its cost should not
// grow with the bevel (a distance transform in linear time), and stay
// within twice the classic effect's.
void SmoothEffect(benchmark::State& state)
{
    const Picture& input = SheetOf(state.range(0));
    Picture output = input;
    BevelLook look;
    look.technique = BevelTechnique::Smooth;
    look.style = static_cast<BevelStyle>(state.range(3));
    SmoothMaps maps;
    const unsigned threads = state.range(2) == 0 ? 1 : AllCores();
    // Once outside the timing, so that the maps' memory is had, as a batch
    // that keeps them has it after its first picture.
    ApplySmoothBevel(input, output, Parameters(state.range(1)), look, threads, maps);
    for (auto _ : state) {
        ApplySmoothBevel(input, output, Parameters(state.range(1)), look, threads, maps);
        benchmark::DoNotOptimize(output.Row(0));
    }
    SetPixels(state, input);
    state.counters["threads"] = threads;
}
// The styles whose band lies outside the shape need the distances as far
// out as the bevel reaches: style 1 is outer, 3 pillow.
BENCHMARK(SmoothEffect)
    ->Args({16, 5, 0, 0})
    ->Args({16, 200, 0, 0})
    ->Args({12, 5, 0, 0})
    ->Args({16, 5, 1, 0})
    ->Args({16, 5, 0, 1})
    ->Args({16, 200, 0, 1})
    ->Args({16, 5, 0, 3})
    ->Args({16, 200, 0, 3})
    ->ArgNames({"MP", "size", "allCores", "style"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Picture to picture: the surface is made and filled from the input and
// copied into the output in every run. The classic effect beside the
// smooth technique: --benchmark_filter='Smooth|EffectOnPictures'.
void EffectOnPictures(benchmark::State& state)
{
    const Picture& input = SheetOf(state.range(0));
    Picture output = input;
    for (auto _ : state) {
        ApplyBevel(input, output, Parameters(state.range(1)));
        benchmark::DoNotOptimize(output.Row(0));
    }
    SetPixels(state, input);
}
BENCHMARK(EffectOnPictures)
    ->ArgsProduct({{1, 4, 12, 16}, {5, 50, 200}})
    ->ArgNames({"MP", "size"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The literal oracle of the tests: what the effect costs written plainly.
void Oracle(benchmark::State& state)
{
    const Picture& input = SheetOf(state.range(0));
    for (auto _ : state) {
        Picture output = oracle::LiteralBevel(input, static_cast<std::int32_t>(state.range(1)), DegreesToRadians(DefaultLightAngleDegrees),
                                              DegreesToRadians(DefaultLightElevationDegrees));
        benchmark::DoNotOptimize(output.Row(0));
    }
    SetPixels(state, input);
}
BENCHMARK(Oracle)->ArgsProduct({{16}, {5, 50}})->ArgNames({"MP", "size"})->Unit(benchmark::kMillisecond)->Iterations(1);

// What a conversion pays around the effect: decoding the picture from a JPEG
// and encoding the result (quality 100, no chroma subsampling), as the
// program's codec does it, straight between JPEG bytes and picture memory.
void JpegDecodeEncode(benchmark::State& state)
{
    const Picture& input = SheetOf(state.range(0));
    tjhandle encoder = tjInitCompress();
    tjhandle decoder = tjInitDecompress();
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    tjCompress2(encoder, reinterpret_cast<const unsigned char*>(input.Row(0)), input.Width(), 0, input.Height(), TJPF_BGRA,
                &jpeg, &jpegSize, TJSAMP_444, 100, 0);
    Picture decoded(input.Width(), input.Height());
    for (auto _ : state) {
        tjDecompress2(decoder, jpeg, jpegSize, reinterpret_cast<unsigned char*>(decoded.Row(0)), decoded.Width(), 0,
                      decoded.Height(), TJPF_BGRA, 0);
        unsigned char* encoded = nullptr;
        unsigned long encodedSize = 0;
        tjCompress2(encoder, reinterpret_cast<const unsigned char*>(decoded.Row(0)), decoded.Width(), 0, decoded.Height(),
                    TJPF_BGRA, &encoded, &encodedSize, TJSAMP_444, 100, 0);
        benchmark::DoNotOptimize(encoded);
        tjFree(encoded);
    }
    tjFree(jpeg);
    tjDestroy(decoder);
    tjDestroy(encoder);
    SetPixels(state, input);
}
BENCHMARK(JpegDecodeEncode)->Arg(16)->ArgName("MP")->Unit(benchmark::kMillisecond);

// Each stage alone on 4 megapixels, the maps prepared by the stages before it
// (outside the timing).
enum class Stage { ShapeMask, HeightField, Normalize, HeightBlur, Light, LightBlur, Merge, Render };

void OneStage(benchmark::State& state)
{
    const auto stage = static_cast<Stage>(state.range(0));
    const std::int32_t bevelSize = static_cast<std::int32_t>(state.range(1));
    const Picture& input = SheetOf(4);
    const Vector3 lightVector = ComputeLightVector(DegreesToRadians(DefaultLightAngleDegrees), DegreesToRadians(DefaultLightElevationDegrees));
    for (auto _ : state) {
        state.PauseTiming();
        cDIBSection surface;
        surface.CreateFromPicture(input);
        const PixelView pixels{surface.DIBSectionBitsPtr(), surface.Width(), surface.Height()};
        BevelMaps maps(surface.Width(), surface.Height());
        const auto run = [&](Stage next, auto&& work) {
            if (next == stage)
                state.ResumeTiming();
            work();
            if (next == stage)
                state.PauseTiming();
        };
        run(Stage::ShapeMask, [&] { BuildShapeMask(pixels, maps); });
        run(Stage::HeightField, [&] { BuildHeightField(bevelSize, maps); });
        run(Stage::Normalize, [&] { NormalizeHeightField(bevelSize, maps); });
        run(Stage::HeightBlur, [&] { BlurHeight(maps); });
        run(Stage::Light, [&] { CalculateLight(lightVector, maps); });
        run(Stage::LightBlur, [&] { BlurLights(maps); });
        run(Stage::Merge, [&] { MergeHeightLight(maps); });
        run(Stage::Render, [&] { RenderBevel(pixels, maps); });
        benchmark::DoNotOptimize(pixels.data);
        state.ResumeTiming();
    }
}
// Up to bevel size 200, to see which stages grow with the band: the height
// field does not; the light (4), its blur (5) and the rendering (7) do.
BENCHMARK(OneStage)
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6, 7}, {5, 50, 200}})
    ->ArgNames({"stage", "size"})
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tollamere

BENCHMARK_MAIN();
