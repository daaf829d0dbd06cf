// SPDX-License-Identifier: MIT
// The window's preview on a 12-megapixel JPEG (4000 x 3000), with the steps
// the preview's worker runs: the first preview of a row (read, decode, effect,
// both pictures fitted to their boxes), and the update after a parameter
// changed (effect and fitting only; the decoded picture is kept). Targets on
// a 2-core machine: 0.5 s and 0.15 s. The picture is drawn and written with
// the program's own save before the timed loops.
#include "preview_render.h"

#include "effect_operators.h"
#include "file_path.h"
#include "picture_files.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

namespace tollamere {
namespace {

constexpr std::int32_t PhotoWidth = 4000;
constexpr std::int32_t PhotoHeight = 3000;
// The inside of the result box: 256 x 169 pixels less its frame.
const QSize Box(252, 165);

// Discs and bars of shaded colour on black, a few hundred pixels across, so
// the effect finds long edges and wide bands everywhere.
Picture ShapesPicture()
{
    Picture picture(PhotoWidth, PhotoHeight, 0xFF000000u);
    std::minstd_rand random(7);
    for (int shape = 0; shape < 60; ++shape) {
        const std::int32_t centreX = std::int32_t(random() % PhotoWidth);
        const std::int32_t centreY = std::int32_t(random() % PhotoHeight);
        const std::int32_t radius = 80 + std::int32_t(random() % 320);
        const bool disc = shape % 2 == 0;
        const std::uint32_t hue = std::uint32_t(random()) & 0x00FFFFFFu;
        for (std::int32_t y = std::max(0, centreY - radius); y < std::min(PhotoHeight, centreY + radius); ++y)
            for (std::int32_t x = std::max(0, centreX - radius); x < std::min(PhotoWidth, centreX + radius); ++x) {
                const std::int64_t dx = x - centreX;
                const std::int64_t dy = y - centreY;
                if (disc ? dx * dx + dy * dy < std::int64_t(radius) * radius : std::abs(dy) < radius / 4)
                    picture.Pixel(x, y) = 0xFF000000u | (hue ^ std::uint32_t((x + y) & 0x3F));
            }
    }
    return picture;
}

class PhotoFile {
public:
    PhotoFile()
    {
        folder_ = std::filesystem::temp_directory_path() /
                  ("tollamere-bench-preview-" + std::to_string(std::random_device()()));
        std::filesystem::create_directories(folder_);
        path_ = ToPathText(folder_ / "photo.jpg");
        SaveSettings settings;
        settings.quality = 90;
        SavePictureFile(ShapesPicture(), false, ToFileSystemPath(path_), settings);
    }
    ~PhotoFile()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::string& Path() const { return path_; }

private:
    std::filesystem::path folder_;
    std::string path_;
};

const PhotoFile& Photo()
{
    static const PhotoFile photo;
    return photo;
}

BevelParameters Parameters(std::int32_t bevelSize)
{
    return {bevelSize, DegreesToRadians(DefaultLightAngleDegrees), DegreesToRadians(DefaultLightElevationDegrees)};
}

unsigned AllCores()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

// A row becomes the preview's subject: everything from the file's bytes.
void BM_FirstPreview(benchmark::State& state)
{
    const std::string& path = Photo().Path();
    for (auto _ : state) {
        const PreviewSource source = LoadPreviewSource(path, Box);
        BevelWorkspace workspace;
        PreviewPicture result = RenderPreview(*source.file, Parameters(5), Box, AllCores(), {}, workspace);
        benchmark::DoNotOptimize(result.thumbnail.constBits());
    }
}
BENCHMARK(BM_FirstPreview)->Unit(benchmark::kMillisecond)->UseRealTime();

// A parameter changed: the effect on the kept picture, and its thumbnail.
void BM_ParameterUpdate(benchmark::State& state)
{
    const PreviewSource source = LoadPreviewSource(Photo().Path(), Box);
    // Kept from one change to the next, as the preview's worker keeps it.
    BevelWorkspace workspace;
    std::int32_t bevelSize = 4;
    for (auto _ : state) {
        PreviewPicture result = RenderPreview(*source.file, Parameters(bevelSize), Box, AllCores(), {}, workspace);
        benchmark::DoNotOptimize(result.thumbnail.constBits());
        bevelSize = bevelSize == 4 ? 6 : 4;
    }
}
BENCHMARK(BM_ParameterUpdate)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same with the smooth technique.
void BM_SmoothParameterUpdate(benchmark::State& state)
{
    const PreviewSource source = LoadPreviewSource(Photo().Path(), Box);
    BevelLook look;
    look.technique = BevelTechnique::Smooth;
    look.profile = BevelProfile::Round;
    BevelWorkspace workspace;
    std::int32_t bevelSize = 4;
    for (auto _ : state) {
        PreviewPicture result = RenderPreview(*source.file, Parameters(bevelSize), Box, AllCores(), look, workspace);
        benchmark::DoNotOptimize(result.thumbnail.constBits());
        bevelSize = bevelSize == 4 ? 6 : 4;
    }
}
BENCHMARK(BM_SmoothParameterUpdate)->Unit(benchmark::kMillisecond)->UseRealTime();

// The parts, to see where the time goes.
void BM_DecodeOnly(benchmark::State& state)
{
    for (auto _ : state) {
        PictureFile file = LoadPictureFile(ToFileSystemPath(Photo().Path()));
        benchmark::DoNotOptimize(file.picture.Row(0));
    }
}
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EffectOnly(benchmark::State& state)
{
    const PictureFile file = LoadPictureFile(ToFileSystemPath(Photo().Path()));
    for (auto _ : state) {
        Picture result = file.picture;
        ApplyBevel(file.picture, result, Parameters(5), AllCores());
        benchmark::DoNotOptimize(result.Row(0));
    }
}
BENCHMARK(BM_EffectOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FitToBoxOnly(benchmark::State& state)
{
    const PictureFile file = LoadPictureFile(ToFileSystemPath(Photo().Path()));
    const QImage full = ImageOf(std::make_shared<Picture>(file.picture), false);
    for (auto _ : state) {
        QImage thumbnail = FitToBox(full, Box);
        benchmark::DoNotOptimize(thumbnail.constBits());
    }
}
BENCHMARK(BM_FitToBoxOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace tollamere

BENCHMARK_MAIN();
