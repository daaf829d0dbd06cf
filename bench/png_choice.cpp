// SPDX-License-Identifier: MIT
// Chooses the PNG writer's tuning by measurement. Builds five sets of
// pictures (the PNG buttons of Samples/, flat buttons, gradients, noisy
// buttons and photos, all but the first drawn here), bevels them, and encodes
// each set with libpng at its defaults (the yardstick) and with the candidate
// tunings of the program's own writer: for each, the size against libpng's
// (the set's total, and the worst picture) and the processor time per
// picture. Then the whole conversion of each set (decode, effect, encode),
// the program's way without a level and libpng's way.
//
//   build/bench/png_choice [SAMPLES_FOLDER]      (Samples/ of the sources by default)
#include "bevel.h"
#include "picture_files.h"
#include "png_codec.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace tollamere;

struct Input {
    EncodedBytes file;  // what a conversion reads
    Picture bevelled;   // what it writes
    bool hasAlpha = false;
};

struct Set {
    std::string name;
    std::vector<Input> inputs;
};

const BevelParameters& Parameters()
{
    static const BevelParameters parameters = ParseBevelParameters("5", "135", "30", ".");
    return parameters;
}

void AppendBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<EncodedBytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

// libpng as a program that sets nothing gets it: zlib at its default level
// (6) with libpng's default strategy, every filter tried per row. The
// picture's words go in as they are (BGRA bytes in memory), so libpng does no
// work the program's writer would not.
EncodedBytes EncodeWithLibpng(const Picture& picture, bool hasAlpha)
{
    EncodedBytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, AppendBytes, NoFlush);
    png_set_IHDR(png, info, png_uint_32(picture.Width()), png_uint_32(picture.Height()), 8,
                 hasAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_bytep> rows(std::size_t(picture.Height()));
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        rows[std::size_t(y)] = reinterpret_cast<png_bytep>(const_cast<std::uint32_t*>(picture.Row(y)));
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, hasAlpha ? PNG_TRANSFORM_BGR : PNG_TRANSFORM_BGR | PNG_TRANSFORM_STRIP_FILLER_AFTER, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// libpng's reading, straight into a picture's words.
bool DecodeWithLibpng(const EncodedBytes& file, Picture& picture)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size()))
        return false;
    image.format = PNG_FORMAT_BGRA;
    picture.Resize(std::int32_t(image.width), std::int32_t(image.height));
    return png_image_finish_read(&image, nullptr, picture.Row(0), 0, nullptr) != 0;
}

// Drawing: x and y from -1 to 1 over the picture, the colour of each pixel
// inside the shape, `outside` elsewhere.
using Paint = std::function<std::uint32_t(double x, double y)>;

std::uint32_t Rgb(double red, double green, double blue)
{
    const auto channel = [](double value) { return std::uint32_t(std::clamp(std::lround(value), 0l, 255l)); };
    return 0xFF000000u | channel(red) << 16 | channel(green) << 8 | channel(blue);
}

Picture Draw(std::int32_t width, std::int32_t height, const std::function<bool(double, double)>& inside, const Paint& paint,
             std::uint32_t outside)
{
    Picture picture(width, height, outside);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            const double u = (x + 0.5) / width * 2 - 1, v = (y + 0.5) / height * 2 - 1;
            if (inside(u, v))
                picture.Pixel(x, y) = paint(u, v);
        }
    return picture;
}

bool Disc(double x, double y)
{
    return x * x + y * y < 0.9 * 0.9;
}

bool Pill(double x, double y)
{
    const double dx = std::max(std::abs(x) - 0.5, 0.0), dy = std::max(std::abs(y) - 0.45, 0.0);
    return dx * dx + dy * dy <= 0.45 * 0.45;
}

bool Star(double x, double y)
{
    return std::hypot(x, y) < 0.55 + 0.35 * std::cos(5 * (std::atan2(y, x) + 1.5707963));
}

constexpr std::uint32_t Transparent = 0x00000000u;
constexpr std::uint32_t Black = 0xFF000000u;

struct Drawing {
    Picture picture;
    bool hasAlpha;
};

std::vector<Drawing> FlatButtons()
{
    const auto flat = [](std::uint32_t colour) { return [=](double, double) { return colour; }; };
    return {{Draw(1024, 1024, Disc, flat(0xFF2F80ED), Transparent), true},
            {Draw(512, 192, Pill, flat(0xFF27AE60), Transparent), true},
            {Draw(256, 256, Star, flat(0xFFF2C94C), Transparent), true},
            {Draw(640, 480, Pill, flat(0xFFEB5757), Black), false},
            {Draw(128, 128, Disc, flat(0xFF9B51E0), Black), false}};
}

std::vector<Drawing> Gradients()
{
    const Paint diagonal = [](double x, double y) { return Rgb(47 + 60 * x, 128 - 50 * y, 237 - 40 * (x + y)); };
    const Paint radial = [](double x, double y) {
        const double r = std::hypot(x + 0.3, y + 0.3);
        return Rgb(240 - 90 * r, 153 - 60 * r, 74 + 30 * r);
    };
    const Paint vertical = [](double, double y) { return Rgb(39, 174 - 70 * y, 96 + 40 * y); };
    return {{Draw(1024, 1024, Disc, radial, Transparent), true},
            {Draw(512, 192, Pill, vertical, Transparent), true},
            {Draw(640, 480, Pill, diagonal, Black), false},
            {Draw(256, 256, Star, diagonal, Transparent), true}};
}

std::vector<Drawing> NoisyButtons()
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-12, 12);
    const Paint grainy = [&](double x, double y) {
        return Rgb(47 + 20 * x + noise(random), 128 + noise(random), 237 - 20 * y + noise(random));
    };
    return {{Draw(1024, 1024, Disc, grainy, Transparent), true},
            {Draw(512, 192, Pill, grainy, Transparent), true},
            {Draw(640, 480, Pill, grainy, Black), false}};
}

// Smooth colour fields with a camera's grain and dark blobs the effect finds
// edges around.
std::vector<Drawing> Photos()
{
    std::vector<Drawing> photos;
    for (const unsigned seed : {1u, 2u}) {
        std::mt19937 random(seed);
        std::normal_distribution<double> grain(0, 2.5);
        const double phase = seed * 0.7;
        const Paint field = [&](double x, double y) {
            const double u = (x + 1) / 2, v = (y + 1) / 2;
            if (std::sin(u * 17 + phase) * std::cos(v * 13 - phase) > 0.6)
                return Black;
            return Rgb(120 + 100 * u + grain(random), 60 + 150 * v + grain(random), 200 - 120 * u * v + grain(random));
        };
        photos.push_back({Draw(1600, 1200, [](double, double) { return true; }, field, Black), false});
    }
    return photos;
}

Input FromDrawing(const Drawing& drawing)
{
    Input input{EncodeWithLibpng(drawing.picture, drawing.hasAlpha), drawing.picture, drawing.hasAlpha};
    ApplyBevel(drawing.picture, input.bevelled, Parameters());
    return input;
}

Input FromFile(const std::filesystem::path& path)
{
    std::ifstream stream(path, std::ios::binary);
    Input input{EncodedBytes(std::istreambuf_iterator<char>(stream), {}), {}, false};
    const PictureFile file = LoadPictureFromBytes(input.file);
    input.hasAlpha = file.hasAlpha;
    input.bevelled = file.picture;
    ApplyBevel(file.picture, input.bevelled, Parameters());
    return input;
}

std::vector<Set> BuildSets(const std::filesystem::path& samples)
{
    std::vector<Set> sets{{"samples", {FromFile(samples / "round-button.png"), FromFile(samples / "wide-button.png")}}};
    const std::pair<const char*, std::vector<Drawing> (*)()> drawn[] = {
        {"flat", FlatButtons}, {"gradients", Gradients}, {"noisy", NoisyButtons}, {"photos", Photos}};
    for (const auto& [name, draw] : drawn) {
        Set set{name, {}};
        for (const Drawing& drawing : draw())
            set.inputs.push_back(FromDrawing(drawing));
        sets.push_back(std::move(set));
    }
    return sets;
}

struct Result {
    double milliseconds = 0;            // per picture, the best of the repetitions
    std::vector<std::size_t> bytes;     // per picture
};

// The thread's processor time, in milliseconds: on a machine shared with
// other work it varies far less than the time on the clock, and everything
// measured here runs on one thread.
double ThreadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

Result Measure(const Set& set, const std::function<std::size_t(const Input&)>& run)
{
    Result result{1e300, {}};
    for (int repetition = 0; repetition < 5; ++repetition) {
        result.bytes.clear();
        const double start = ThreadMilliseconds();
        for (const Input& input : set.inputs)
            result.bytes.push_back(run(input));
        result.milliseconds = std::min(result.milliseconds, (ThreadMilliseconds() - start) / double(set.inputs.size()));
    }
    return result;
}

struct Candidate {
    std::string name;
    PngTuning tuning;
};

std::vector<Candidate> Candidates()
{
    std::vector<Candidate> candidates{{"chosen (default)", PngTuning{}}};
    const std::pair<PngTuning::Filter, const char*> filters[] = {
        {PngTuning::Filter::Adaptive, "adaptive"}, {PngTuning::Filter::Paeth, "paeth"}, {PngTuning::Filter::Up, "up"}};
    for (const auto& [filter, filterName] : filters)
        for (const int level : {5, 7, 8, 9}) {
            PngTuning tuning;
            tuning.compressor = PngTuning::Compressor::Libdeflate;
            tuning.filter = filter;
            tuning.level = level;
            candidates.push_back({"libdeflate " + std::to_string(level) + " " + filterName, tuning});
        }
    // libpng's own settings (level 6, filtered) with the program's filtering, and the alternatives.
    const std::pair<int, const char*> strategies[] = {{Z_DEFAULT_STRATEGY, "default"}, {Z_FILTERED, "filtered"}, {Z_RLE, "rle"}};
    for (const auto& [strategy, strategyName] : strategies)
        candidates.push_back({std::string("zlib 6 ") + strategyName + " adaptive",
                              {PngTuning::Compressor::Zlib, 6, PngTuning::Filter::Adaptive, strategy}});
    return candidates;
}

std::size_t Total(const std::vector<std::size_t>& bytes)
{
    std::size_t total = 0;
    for (const std::size_t size : bytes)
        total += size;
    return total;
}

} // namespace

int main(int argc, char** argv)
{
    const std::filesystem::path samples = argc > 1 ? argv[1] : std::filesystem::path(TOLLAMERE_SOURCE_DIR) / "Samples";
    const std::vector<Set> sets = BuildSets(samples);

    std::vector<Result> yardsticks;
    std::printf("%-28s", "size vs libpng, worst, ms");
    for (const Set& set : sets) {
        yardsticks.push_back(Measure(set, [](const Input& in) { return EncodeWithLibpng(in.bevelled, in.hasAlpha).size(); }));
        std::printf(" | %-8s %2zu pictures", set.name.c_str(), set.inputs.size());
    }
    std::printf("\n%-28s", "libpng defaults");
    for (const Result& yardstick : yardsticks)
        std::printf(" | 1.000 1.000 %8.2f", yardstick.milliseconds);
    std::printf("\n");

    for (const Candidate& candidate : Candidates()) {
        std::printf("%-28s", candidate.name.c_str());
        for (std::size_t s = 0; s < sets.size(); ++s) {
            const Result result = Measure(sets[s], [&](const Input& in) {
                return EncodePngTuned(in.bevelled, in.hasAlpha, {}, candidate.tuning).size();
            });
            double worst = 0;
            for (std::size_t i = 0; i < result.bytes.size(); ++i)
                worst = std::max(worst, double(result.bytes[i]) / double(yardsticks[s].bytes[i]));
            std::printf(" | %5.3f %5.3f %8.2f", double(Total(result.bytes)) / double(Total(yardsticks[s].bytes)), worst,
                        result.milliseconds);
        }
        std::printf("\n");
    }

    // The whole conversion of one picture in memory, each way; the program's
    // with the settings a run without --png-level gives.
    std::printf("\nend to end, ms per picture (decode, effect, encode)\n%-12s %10s %10s %8s\n", "set", "libpng", "program",
                "speed-up");
    for (const Set& set : sets) {
        const Result libpng = Measure(set, [](const Input& in) {
            Picture decoded;
            if (!DecodeWithLibpng(in.file, decoded))
                return std::size_t(0);
            Picture bevelled = decoded;
            ApplyBevel(decoded, bevelled, Parameters());
            return EncodeWithLibpng(bevelled, in.hasAlpha).size();
        });
        const Result program = Measure(set, [](const Input& in) {
            const PictureFile file = LoadPictureFromBytes(in.file);
            Picture bevelled = file.picture;
            ApplyBevel(file.picture, bevelled, Parameters());
            return EncodePictureFile(bevelled, file.hasAlpha, "out.png", {}).size();
        });
        std::printf("%-12s %10.2f %10.2f %7.2fx\n", set.name.c_str(), libpng.milliseconds, program.milliseconds,
                    libpng.milliseconds / program.milliseconds);
    }
    return 0;
}
