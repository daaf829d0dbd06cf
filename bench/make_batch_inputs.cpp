// SPDX-License-Identifier: MIT
// Writes a batch of test pictures for the whole-process timings: photo-like
// 4000 x 3000 JPEGs and PNG buttons (1024 x 1024 unless told otherwise).
// With --photo, one photo-like PNG of the size given; with --lying, an AVIF
// of one flat frame of SIDE x SIDE whose header says 64 x 64, and an icon
// whose first entry is 16 x 16 and whose second is a PNG of SIDE x SIDE.
#include "avif_codec.h"
#include "file_io.h"
#include "picture_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

using Bytes = std::vector<std::uint8_t>;

void PutLittle(Bytes& bytes, std::uint32_t value, int count)
{
    for (int i = 0; i < count; ++i)
        bytes.push_back(std::uint8_t(value >> (8 * i)));
}

// Every image spatial extents property set to 64 x 64: after "ispe" come its
// version and flags, then the 32-bit width and height.
Bytes WithLyingExtents(Bytes avif)
{
    for (std::size_t at = 4; at + 16 <= avif.size(); ++at)
        if (std::memcmp(&avif[at], "ispe", 4) == 0)
            for (const std::size_t sideAt : {at + 8, at + 12}) {
                std::fill_n(avif.begin() + std::ptrdiff_t(sideAt), 3, 0);
                avif[sideAt + 3] = 64;
            }
    return avif;
}

Bytes IconOf(const std::vector<Bytes>& pngs, const std::vector<std::uint8_t>& sides)
{
    Bytes icon{0, 0, 1, 0};
    PutLittle(icon, std::uint32_t(pngs.size()), 2);
    std::uint32_t at = 6 + 16 * std::uint32_t(pngs.size());
    for (std::size_t i = 0; i < pngs.size(); ++i) {
        icon.insert(icon.end(), {sides[i], sides[i], 0, 0, 1, 0, 32, 0});
        PutLittle(icon, std::uint32_t(pngs[i].size()), 4);
        PutLittle(icon, at, 4);
        at += std::uint32_t(pngs[i].size());
    }
    for (const Bytes& png : pngs)
        icon.insert(icon.end(), png.begin(), png.end());
    return icon;
}

void WriteLyingFiles(const std::filesystem::path& folder, std::int32_t side)
{
    // Lossy and flat, the frame codes to a few kilobytes.
    const tollamere::Picture flat(side, side, 0xFF3080C0u);
    tollamere::SaveSettings lossy;
    lossy.quality = 50;
    tollamere::WriteFileReplacing(folder / "lying.avif", WithLyingExtents(tollamere::EncodeAvif(flat, false, lossy)));
    const Bytes small = tollamere::EncodePictureFile(tollamere::Picture(16, 16, 0xFF3080C0u), false, "small.png", {});
    const Bytes large = tollamere::EncodePictureFile(flat, false, "large.png", {});
    tollamere::WriteFileReplacing(folder / "lying.ico", IconOf({small, large}, {16, 0}));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && (std::strcmp(argv[1], "--photo") == 0 || std::strcmp(argv[1], "--lying") == 0)) {
        const std::filesystem::path target = argv[2];
        char* height = nullptr;
        const std::int32_t width = std::int32_t(std::strtol(argv[3], &height, 10));
        if (argv[1][2] == 'l') {
            std::filesystem::create_directories(target);
            WriteLyingFiles(target, width);
        } else {
            tollamere::SavePictureFile(Photo(width, *height == 'x' ? std::atoi(height + 1) : width, 1), false, target);
        }
        return 0;
    }

    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: make_batch_inputs FOLDER JPEG_COUNT PNG_COUNT [PNG_SIZE]\n"
                             "       make_batch_inputs --photo FILE WIDTHxHEIGHT\n"
                             "       make_batch_inputs --lying FOLDER SIDE\n");
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
