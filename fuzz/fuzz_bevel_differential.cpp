// SPDX-License-Identifier: MIT
// Runs the engine and the literal oracle on a small picture and parameters
// taken from the input, and stops at the first difference.
#include "bevel_oracle.h"
#include "bevel.h"
#include "vector_math.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Next() { return position_ < size_ ? data_[position_++] : 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tollamere;
    ByteReader input(data, size);
    const std::int32_t width = 1 + input.Next() % 40;
    const std::int32_t height = 1 + input.Next() % 40;
    const std::int32_t bevelSize = input.Next() % 2 == 0 ? input.Next() % 12 : input.Next() % 255;
    const double angle = DegreesToRadians((input.Next() << 8 | input.Next()) % 1440 - 720.0);
    const double elevation = DegreesToRadians(input.Next() % 181 - 90.0);
    Picture picture(width, height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            // Mostly inside, with runs of outside, so shapes have edges and holes.
            const std::uint8_t shade = input.Next();
            const std::uint32_t green = shade < 60 ? 0 : shade;
            picture.Pixel(x, y) = 0xFF000000u | std::uint32_t(input.Next()) << 16 | green << 8 | input.Next();
        }

    Picture engine = picture;
    ApplyBevel(picture, engine, BevelParameters{bevelSize, angle, elevation});
    const Picture oracle = oracle::LiteralBevel(picture, bevelSize, angle, elevation);
    if (!(engine == oracle)) {
        std::fprintf(stderr, "engine and oracle differ: %d x %d, bevel size %d, angle %.17g, elevation %.17g\n",
                     width, height, bevelSize, angle, elevation);
        std::abort();
    }
    return 0;
}
