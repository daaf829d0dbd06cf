// SPDX-License-Identifier: MIT
// Chooses the PNG writer's tuning by measurement: encodes the bevelled
// pictures of the given folders with libpng at its defaults (the yardstick),
// Qt's writer, and the candidate tunings of the program's own writer, and
// prints for each the time per picture and the size against libpng's.
//
//   build/bench/png_choice FOLDER...
#include "bevel.h"
#include "picture_files.h"
#include "png_codec.h"
#include "qt_codec.h"

#include <png.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace tollamere;

struct Input {
    Picture picture;
    bool hasAlpha = false;
};

void AppendBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<EncodedBytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

// libpng as a program that sets nothing gets it: zlib level 6, every filter
// tried per row.
EncodedBytes EncodeWithLibpng(const Picture& picture, bool hasAlpha)
{
    EncodedBytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, AppendBytes, nullptr);
    png_set_IHDR(png, info, png_uint_32(picture.Width()), png_uint_32(picture.Height()), 8,
                 hasAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(std::size_t(picture.Width()) * 4);
    for (std::int32_t y = 0; y < picture.Height(); ++y) {
        png_bytep sample = row.data();
        for (std::int32_t x = 0; x < picture.Width(); ++x) {
            const std::uint32_t pixel = picture.Pixel(x, y);
            *sample++ = png_byte(pixel >> 16);
            *sample++ = png_byte(pixel >> 8);
            *sample++ = png_byte(pixel);
            if (hasAlpha)
                *sample++ = png_byte(pixel >> 24);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

struct Result {
    double millisecondsPerPicture = 0;
    std::size_t bytes = 0;
};

Result Measure(const std::vector<Input>& inputs, const std::function<EncodedBytes(const Input&)>& encode)
{
    Result best{1e300, 0};
    for (int repetition = 0; repetition < 3; ++repetition) {
        std::size_t bytes = 0;
        const auto start = std::chrono::steady_clock::now();
        for (const Input& input : inputs)
            bytes += encode(input).size();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        best = {std::min(best.millisecondsPerPicture, ms / double(inputs.size())), bytes};
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<Input> inputs;
    const BevelParameters parameters = ParseBevelParameters("5", "135", "30", ".");
    for (int i = 1; i < argc; ++i)
        for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
            PictureFile file = LoadPictureFile(entry.path());
            Picture output = file.picture;
            ApplyBevel(file.picture, output, parameters);
            inputs.push_back({std::move(output), file.hasAlpha});
        }
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: png_choice FOLDER...\n");
        return 2;
    }

    const Result yardstick = Measure(inputs, [](const Input& in) { return EncodeWithLibpng(in.picture, in.hasAlpha); });
    const auto print = [&](const std::string& name, const Result& result) {
        std::printf("%-34s %9.1f ms  %6.2fx faster  size %6.3f\n", name.c_str(), result.millisecondsPerPicture,
                    yardstick.millisecondsPerPicture / result.millisecondsPerPicture, double(result.bytes) / double(yardstick.bytes));
    };
    std::printf("%zu pictures\n", inputs.size());
    print("libpng defaults", yardstick);
    print("Qt's writer", Measure(inputs, [](const Input& in) { return EncodeWithQt(in.picture, in.hasAlpha, "png"); }));

    const std::pair<PngTuning::Filter, const char*> filters[] = {
        {PngTuning::Filter::Adaptive, "adaptive"}, {PngTuning::Filter::Paeth, "paeth"}, {PngTuning::Filter::Up, "up"}};
    for (const auto& [filter, filterName] : filters) {
        for (const int level : {2, 4, 5, 6}) {
            PngTuning tuning;
            tuning.filter = filter;
            tuning.level = level;
            print("libdeflate " + std::to_string(level) + " " + filterName,
                  Measure(inputs, [&](const Input& in) { return EncodePngTuned(in.picture, in.hasAlpha, {}, tuning); }));
        }
        for (const auto& [strategy, strategyName] : {std::pair{Z_DEFAULT_STRATEGY, ""}, {Z_RLE, " rle"}})
            for (const int level : {1, 4, 6}) {
                PngTuning tuning{PngTuning::Compressor::Zlib, level, filter, strategy};
                print("zlib " + std::to_string(level) + strategyName + " " + filterName,
                      Measure(inputs, [&](const Input& in) { return EncodePngTuned(in.picture, in.hasAlpha, {}, tuning); }));
            }
    }
    return 0;
}
