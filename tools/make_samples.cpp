// SPDX-License-Identifier: MIT
// Draws the sample pictures of Samples/: button shapes on a background that
// the effect treats as outside (green 0, or fully transparent).
#include "path_text.h"
#include "picture_files.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <numbers>
#include <algorithm>

namespace tollamere {
namespace {

using Shape = std::function<bool(double x, double y)>;   // x, y from -1 to 1

std::uint32_t Rgb(double red, double green, double blue)
{
    const auto channel = [](double value) { return static_cast<std::uint32_t>(std::clamp(value, 0.0, 255.0)); };
    return 0xFF000000u | channel(red) << 16 | channel(green) << 8 | channel(blue);
}

// A shape filled with a soft diagonal gradient of the colour.
Picture Draw(std::int32_t width, std::int32_t height, const Shape& inside, std::uint32_t colour, std::uint32_t outside)
{
    Picture picture(width, height, outside);
    const double red = (colour >> 16) & 0xFF, green = (colour >> 8) & 0xFF, blue = colour & 0xFF;
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            const double u = (x + 0.5) / width * 2 - 1;
            const double v = (y + 0.5) / height * 2 - 1;
            if (!inside(u, v))
                continue;
            const double shade = 1.0 + 0.15 * (-u - v) / 2;
            picture.Pixel(x, y) = Rgb(red * shade, std::max(1.0, green * shade), blue * shade);
        }
    return picture;
}

bool RoundedRectangle(double x, double y, double halfWidth, double halfHeight, double radius)
{
    const double dx = std::max(std::abs(x) - (halfWidth - radius), 0.0);
    const double dy = std::max(std::abs(y) - (halfHeight - radius), 0.0);
    return dx * dx + dy * dy <= radius * radius;
}

bool Star(double x, double y)
{
    const double angle = std::atan2(y, x);
    const double radius = std::hypot(x, y);
    const double edge = 0.55 + 0.35 * std::cos(5 * (angle + std::numbers::pi / 2));
    return radius < edge;
}

} // namespace
} // namespace tollamere

int main(int argc, char** argv)
{
    using namespace tollamere;
    const std::filesystem::path folder = argc > 1 ? argv[1] : "Samples";
    std::filesystem::create_directories(folder);
    constexpr std::uint32_t transparent = 0x00000000u;
    constexpr std::uint32_t black = 0xFF000000u;

    SavePictureFile(Draw(160, 160, [](double x, double y) { return x * x + y * y < 0.9 * 0.9; }, 0x2F80ED, transparent),
                    true, folder / "round-button.png");
    SavePictureFile(Draw(240, 96, [](double x, double y) { return RoundedRectangle(x, y, 0.95, 0.9, 0.45); }, 0x27AE60,
                         transparent),
                    true, folder / "wide-button.png");
    SavePictureFile(Draw(128, 128, [](double x, double y) {
                        const double r = x * x + y * y;
                        return r < 0.85 * 0.85 && r > 0.35 * 0.35;
                    }, 0xF2994A, black),
                    false, folder / "ring.jpg");
    SavePictureFile(Draw(128, 128, Star, 0xF2C94C, transparent), true, folder / "star.gif");
    SavePictureFile(Draw(96, 96, [](double x, double y) {
                        return RoundedRectangle(x, y, 0.9, 0.9, 0.2) && !(std::abs(x) < 0.3 && std::abs(y) < 0.3);
                    }, 0xBB6BD9, black),
                    false, folder / "square-icon.bmp");
    std::printf("Samples written to %s\n", folder.string().c_str());
    return 0;
}
