// SPDX-License-Identifier: MIT
// Loading and saving through the picture-file layer next to the bare codec on
// the same bytes: a 24-megapixel JPEG and a 4-megapixel PNG. The layer's loads
// allocate a fresh picture each time where the bare decoder reuses one buffer;
// its saves include writing the file safely (temporary file, flush to disk,
// rename) where the bare encoders stop at the bytes in memory. AVIF and JPEG
// XL are timed through their codecs on the 4-megapixel picture, lossless
// (argument 0) and at a quality. Test data is made before the timed loops.
#include "avif_codec.h"
#include "jxl_codec.h"
#include "crafted_files.h"
#include "picture_files.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <vector>

namespace tollamere {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Smooth colour fields with fine grain, so the codecs work as on a photograph
// rather than on flat colour.
Picture PhotoLike(std::int32_t width, std::int32_t height)
{
    std::vector<double> waveX(std::size_t(width), 0.0);
    std::vector<double> waveY(std::size_t(height), 0.0);
    for (std::int32_t x = 0; x < width; ++x)
        waveX[std::size_t(x)] = std::sin(x * 0.0031);
    for (std::int32_t y = 0; y < height; ++y)
        waveY[std::size_t(y)] = std::cos(y * 0.0047);
    std::minstd_rand grain(2024);
    Picture picture(width, height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            const double a = waveX[std::size_t(x)];
            const double b = waveY[std::size_t(y)];
            const auto noise = int(grain() % 13) - 6;
            const auto channel = [noise](double value) { return std::uint32_t(std::clamp(int(value) + noise, 0, 255)); };
            picture.Pixel(x, y) = 0xFF000000u | channel(120 + 70 * a + 40 * b) << 16 | channel(110 + 50 * a * b + 60 * b) << 8
                                  | channel(100 - 60 * a + 30 * a * b);
        }
    return picture;
}

const Picture& JpegPicture()
{
    static const Picture picture = PhotoLike(6000, 4000);
    return picture;
}

const Picture& PngPicture()
{
    static const Picture picture = PhotoLike(2000, 2000);
    return picture;
}

// A camera-like JPEG (quality 90, chroma halved both ways) of the 24-megapixel picture.
const Bytes& CameraJpeg()
{
    static const Bytes bytes = [] {
        const Picture& picture = JpegPicture();
        tjhandle encoder = tjInitCompress();
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        tjCompress2(encoder, reinterpret_cast<const unsigned char*>(picture.Row(0)), picture.Width(), 0, picture.Height(), TJPF_BGRA, &jpeg,
                    &size, TJSAMP_420, 90, 0);
        Bytes result(jpeg, jpeg + size);
        tjFree(jpeg);
        tjDestroy(encoder);
        return result;
    }();
    return bytes;
}

QImage Wrapped(const Picture& picture)
{
    return QImage(reinterpret_cast<const uchar*>(picture.Row(0)), picture.Width(), picture.Height(), qsizetype(picture.Width()) * 4,
                  QImage::Format_RGB32);
}

const Bytes& PngBytes()
{
    static const Bytes bytes = [] {
        QByteArray data;
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "png").write(Wrapped(PngPicture()));
        const auto* first = reinterpret_cast<const std::uint8_t*>(data.constData());
        return Bytes(first, first + data.size());
    }();
    return bytes;
}

std::filesystem::path ScratchFile(const char* name)
{
    const auto folder = std::filesystem::temp_directory_path() / "tollamere-bench";
    std::filesystem::create_directories(folder);
    return folder / name;
}

void LoadJpegLayer(benchmark::State& state)
{
    CameraJpeg();
    for (auto _ : state)
        benchmark::DoNotOptimize(LoadPictureFromBytes(CameraJpeg()));
    state.SetBytesProcessed(state.iterations() * std::int64_t(CameraJpeg().size()));
}

void LoadJpegBareTurboJpeg(benchmark::State& state)
{
    const Bytes& jpeg = CameraJpeg();
    std::vector<unsigned char> pixels(std::size_t(6000) * 4000 * 4);
    tjhandle decoder = tjInitDecompress();
    for (auto _ : state) {
        tjDecompress2(decoder, jpeg.data(), jpeg.size(), pixels.data(), 6000, 0, 4000, TJPF_BGRA, 0);
        benchmark::DoNotOptimize(pixels.data());
    }
    tjDestroy(decoder);
    state.SetBytesProcessed(state.iterations() * std::int64_t(jpeg.size()));
}

// The same decode into memory allocated for each picture, as the layer must:
// the difference to the reused buffer is the cost of fresh pages.
void LoadJpegBareTurboJpegFreshBuffer(benchmark::State& state)
{
    const Bytes& jpeg = CameraJpeg();
    tjhandle decoder = tjInitDecompress();
    for (auto _ : state) {
        std::vector<unsigned char> pixels(std::size_t(6000) * 4000 * 4);
        tjDecompress2(decoder, jpeg.data(), jpeg.size(), pixels.data(), 6000, 0, 4000, TJPF_BGRA, 0);
        benchmark::DoNotOptimize(pixels.data());
    }
    tjDestroy(decoder);
}

void SaveJpegLayer(benchmark::State& state)
{
    JpegPicture();
    const auto path = ScratchFile("layer.jpg");
    for (auto _ : state)
        SavePictureFile(JpegPicture(), false, path);
    std::filesystem::remove(path);
}

void SaveJpegBareTurboJpeg(benchmark::State& state)
{
    const Picture& picture = JpegPicture();
    tjhandle encoder = tjInitCompress();
    for (auto _ : state) {
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        tjCompress2(encoder, reinterpret_cast<const unsigned char*>(picture.Row(0)), picture.Width(), 0, picture.Height(), TJPF_BGRA, &jpeg,
                    &size, TJSAMP_444, 100, 0);
        benchmark::DoNotOptimize(jpeg);
        tjFree(jpeg);
    }
    tjDestroy(encoder);
}

void LoadPngLayer(benchmark::State& state)
{
    PngBytes();
    for (auto _ : state)
        benchmark::DoNotOptimize(LoadPictureFromBytes(PngBytes()));
}

void LoadPngBareQt(benchmark::State& state)
{
    const Bytes& png = PngBytes();
    for (auto _ : state) {
        QImage image;
        image.loadFromData(QByteArray::fromRawData(reinterpret_cast<const char*>(png.data()), qsizetype(png.size())), "png");
        benchmark::DoNotOptimize(image.constBits());
    }
}

void SavePngLayer(benchmark::State& state)
{
    PngPicture();
    const auto path = ScratchFile("layer.png");
    for (auto _ : state)
        SavePictureFile(PngPicture(), false, path);
    std::filesystem::remove(path);
}

void SavePngBareQt(benchmark::State& state)
{
    const QImage image = Wrapped(PngPicture());
    for (auto _ : state) {
        QByteArray data;
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "png").write(image);
        benchmark::DoNotOptimize(data.data());
    }
}

SaveSettings QualityOf(const benchmark::State& state)
{
    SaveSettings settings;
    if (state.range(0) > 0)
        settings.quality = int(state.range(0));
    return settings;
}

void EncodeAvifPicture(benchmark::State& state)
{
    const SaveSettings settings = QualityOf(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(EncodeAvif(PngPicture(), false, settings));
}

void LoadAvifLayer(benchmark::State& state)
{
    const Bytes avif = EncodeAvif(PngPicture(), false, QualityOf(state));
    for (auto _ : state)
        benchmark::DoNotOptimize(LoadPictureFromBytes(avif));
}

void EncodeJxlPicture(benchmark::State& state)
{
    const SaveSettings settings = QualityOf(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(EncodeJxl(PngPicture(), false, settings));
}

void LoadJxlLayer(benchmark::State& state)
{
    const Bytes jxl = EncodeJxl(PngPicture(), false, QualityOf(state));
    for (auto _ : state)
        benchmark::DoNotOptimize(LoadPictureFromBytes(jxl));
}

// Hostile files are refused before their work: a header claiming a picture
// of 100000 x 100000 before its pixels are allocated, an icon whose 16384
// entries share one run of chunks walked once.
void RefuseHugeHeaders(benchmark::State& state)
{
    const Bytes png = test::PngHeaderClaiming(100000, 100000);
    const Bytes bmp = test::BmpHeaderClaiming(100000, 100000);
    for (auto _ : state) {
        for (const Bytes* bytes : {&png, &bmp}) {
            try {
                LoadPictureFromBytes(*bytes);
            } catch (const RuntimeError&) {
            }
        }
    }
}

void RefuseIconOfSharedChunks(benchmark::State& state)
{
    const Bytes icon = test::IconOfEntriesSharingChunks();
    for (auto _ : state) {
        try {
            LoadPictureFromBytes(icon);
        } catch (const RuntimeError&) {
        }
    }
}

BENCHMARK(RefuseHugeHeaders)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(RefuseIconOfSharedChunks)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LoadJpegLayer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LoadJpegBareTurboJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LoadJpegBareTurboJpegFreshBuffer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SaveJpegLayer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SaveJpegBareTurboJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LoadPngLayer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LoadPngBareQt)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SavePngLayer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SavePngBareQt)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(EncodeAvifPicture)->Arg(0)->Arg(90)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LoadAvifLayer)->Arg(0)->Arg(90)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(EncodeJxlPicture)->Arg(0)->Arg(90)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LoadJxlLayer)->Arg(0)->Arg(90)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace tollamere

BENCHMARK_MAIN();
