// SPDX-License-Identifier: MIT
// Writes a batch of test pictures for the whole-process timings: photo-like
// 4000 x 3000 JPEGs and PNG buttons (1024 x 1024 unless told otherwise).
#include "picture_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace {

using tollamere::Picture;

// Smooth colour fields with noise and a few dark (outside) blobs, so the
// effect finds many edges, as in a real photo.
Picture Photo(std::int32_t width, std::int32_t height, unsigned seed)
{
    std::mt19937 random(seed);
    // A camera's grain, one level deep: files of about the size photos have
    // at quality 100 (9 MB for 12 megapixels), not of pure noise.
    std::uniform_int_distribution<int> noise(-1, 1);
    Picture picture(width, height);
    const double phase = seed * 0.7;
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint32_t* row = picture.Row(y);
        for (std::int32_t x = 0; x < width; ++x) {
            const double u = double(x) / width, v = double(y) / height;
            const bool dark = std::sin(u * 40 + phase) * std::cos(v * 30 - phase) > 0.6;
            const auto channel = [&](double base) {
                return static_cast<std::uint32_t>(std::clamp(base + noise(random), 0.0, 255.0));
            };
            const std::uint32_t red = dark ? 0 : channel(120 + 100 * u);
            const std::uint32_t green = dark ? 0 : channel(60 + 150 * v);
            const std::uint32_t blue = dark ? 0 : channel(200 - 120 * u * v);
            row[x] = 0xFF000000u | red << 16 | green << 8 | blue;
        }
    }
    return picture;
}

Picture Button(std::int32_t size, unsigned seed)
{
    Picture picture(size, size, 0x00000000u);
    const double centre = size / 2.0, radius = size * 0.45;
    for (std::int32_t y = 0; y < size; ++y)
        for (std::int32_t x = 0; x < size; ++x) {
            const double dx = x - centre, dy = y - centre;
            if (dx * dx + dy * dy < radius * radius)
                picture.Pixel(x, y) = 0xFF000000u | (seed * 40 % 256) << 16 | 0x9000u | 0x40u;
        }
    return picture;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: make_batch_inputs FOLDER JPEG_COUNT PNG_COUNT [PNG_SIZE]\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    const int jpegs = std::atoi(argv[2]);
    const int pngs = std::atoi(argv[3]);
    const std::int32_t pngSize = argc == 5 ? std::atoi(argv[4]) : 1024;
    for (int i = 0; i < jpegs; ++i)
        tollamere::SavePictureFile(Photo(4000, 3000, unsigned(i)), false, folder / ("photo" + std::to_string(i) + ".jpg"));
    for (int i = 0; i < pngs; ++i)
        tollamere::SavePictureFile(Button(pngSize, unsigned(i)), true, folder / ("button" + std::to_string(i) + ".png"));
    return 0;
}
