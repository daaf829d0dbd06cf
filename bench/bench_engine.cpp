// The bevel effect on pictures of 1, 4 and 16 megapixels, whole and by stage.
#include "bevel_pipeline.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

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
    static const Picture one = ButtonSheet(1);
    static const Picture four = ButtonSheet(4);
    static const Picture sixteen = ButtonSheet(16);
    return megapixels == 1 ? one : megapixels == 4 ? four : sixteen;
}

void WholeEffect(benchmark::State& state)
{
    const Picture& input = SheetOf(state.range(0));
    const BevelParameters parameters{static_cast<std::int32_t>(state.range(1)), DegreesToRadians(135), DegreesToRadians(30)};
    Picture output = input;
    EffectState effect;
    for (auto _ : state) {
        ApplyBevel(input, output, parameters, effect);
        benchmark::DoNotOptimize(output.Row(0));
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{input.Width()} * input.Height());
}
BENCHMARK(WholeEffect)->ArgsProduct({{1, 4, 16}, {5, 50}})->ArgNames({"MP", "size"})->Unit(benchmark::kMillisecond);

// Each stage alone on 4 megapixels, the maps prepared by the stages before it
// (outside the timing).
enum class Stage { ShapeMask, HeightField, Normalize, HeightBlur, Light, LightBlur, Merge, Render };

void OneStage(benchmark::State& state)
{
    const auto stage = static_cast<Stage>(state.range(0));
    const std::int32_t bevelSize = static_cast<std::int32_t>(state.range(1));
    const Picture& input = SheetOf(4);
    EffectState effect;
    effect.LightAngle = DegreesToRadians(135);
    effect.LightElevation = DegreesToRadians(30);
    ComputeLightVector(effect);
    for (auto _ : state) {
        state.PauseTiming();
        cDIBSection surface;
        surface.CreateFromPicture(input);
        const PixelView pixels{surface.DIBSectionBitsPtr(), surface.BytesPerScanLine(), surface.Height()};
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
        run(Stage::Light, [&] { CalculateLight(effect.LightVector, maps); });
        run(Stage::LightBlur, [&] { BlurLights(maps); });
        run(Stage::Merge, [&] { MergeHeightLight(maps); });
        run(Stage::Render, [&] { RenderBevel(pixels, maps); });
        benchmark::DoNotOptimize(pixels.data);
        state.ResumeTiming();
    }
}
BENCHMARK(OneStage)
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6, 7}, {5}})
    ->Args({1, 50})
    ->ArgNames({"stage", "size"})
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tollamere

BENCHMARK_MAIN();
