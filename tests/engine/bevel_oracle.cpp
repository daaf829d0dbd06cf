// SPDX-License-Identifier: MIT
#include "bevel_oracle.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>

// Deliberately plain: one loop per step, in the order and with the bounds the
// effect's description gives, no shortcuts. Speed does not matter here.

namespace tollamere::oracle {

namespace {

// Every store into a byte of a map or of the pixel buffer goes through here.
int ByteStore(long long value, const char* where)
{
    if (value < 0 || value > 255) {
        throw std::out_of_range(std::string("byte store out of range in ") + where + ": " +
                                std::to_string(value));
    }
    return static_cast<int>(value);
}

Map NewMap(int width, int height)
{
    return Map(static_cast<std::size_t>(width), std::vector<int>(static_cast<std::size_t>(height), 0));
}

// One pass of the 3 x 3 weighted average, through a temporary map.
void BlurPass(Map& map, int width, int height)
{
    Map temporary = NewMap(width, height);
    for (int y = 1; y <= height - 2; ++y) {
        for (int x = 1; x <= width - 2; ++x) {
            const int sum = 3 * map[x - 1][y - 1] + 4 * map[x][y - 1] + 3 * map[x + 1][y - 1] +
                            4 * map[x - 1][y] + 1 * map[x][y] + 4 * map[x + 1][y] +
                            3 * map[x - 1][y + 1] + 4 * map[x][y + 1] + 3 * map[x + 1][y + 1];
            temporary[x][y] = ByteStore(sum / 29, "blur");
        }
    }
    map = temporary;
}

struct Vec {
    double x;
    double y;
    double z;
};

double Dot(const Vec& a, const Vec& b)
{
    double sum = a.y * b.y;
    sum = sum + a.x * b.x;
    sum = sum + a.z * b.z;
    return sum;
}

double Length(const Vec& v)
{
    double sum = v.x * v.x;
    sum = sum + v.y * v.y;
    sum = sum + v.z * v.z;
    return std::sqrt(sum);
}

} // namespace

std::int32_t LiteralMulDiv(std::int32_t a, std::int32_t b, std::int32_t c)
{
    if (c == 0) {
        throw std::invalid_argument("MulDiv by zero");
    }
    const long long product = static_cast<long long>(a) * static_cast<long long>(b);
    long long quotient = product / c;
    const long long remainder = product % c;
    if (2 * std::llabs(remainder) >= std::llabs(static_cast<long long>(c))) {
        // Halfway or beyond: away from zero.
        quotient += ((product < 0) != (c < 0)) ? -1 : 1;
    }
    if (quotient < std::numeric_limits<std::int32_t>::min() || quotient > std::numeric_limits<std::int32_t>::max()) {
        throw std::out_of_range("MulDiv result beyond 32 bits");
    }
    return static_cast<std::int32_t>(quotient);
}

std::int32_t LiteralRoundHalfEven(double value)
{
    // The default floating-point environment rounds to nearest, ties to even.
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
        throw std::out_of_range("rounded value beyond 32 bits");
    }
    return static_cast<std::int32_t>(rounded);
}

std::array<double, 3> LiteralLightVector(double lightAngleRadians, double lightElevationRadians)
{
    const double a = lightAngleRadians;
    const double e = lightElevationRadians;
    const double x = std::cos(e) * std::cos(a);
    const double y = -(std::cos(e)) * std::sin(a);
    const double z = std::sin(e);
    return {x, y, z};
}

Picture LiteralBevel(const Picture& input, std::int32_t bevelSize, double lightAngleRadians,
                     double lightElevationRadians)
{
    return LiteralBevel(input, bevelSize, lightAngleRadians, lightElevationRadians, nullptr);
}

Picture LiteralBevel(const Picture& input, std::int32_t bevelSize, double lightAngleRadians,
                     double lightElevationRadians, LiteralTrace* trace)
{
    if (!input.HasBitmap()) {
        throw std::invalid_argument("the oracle needs a picture with pixels");
    }
    if (bevelSize < 0 || bevelSize > 254) {
        throw std::invalid_argument("the oracle handles bevel sizes 0..254 only");
    }

    const int W = input.Width();
    const int H = input.Height();

    // The 24-bit surface: rows of (W * 3 + 3) & ~3 bytes, bottom row first,
    // each pixel blue, green, red.
    const int bytesPerScanLine = (W * 3 + 3) & ~3;
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(bytesPerScanLine) * static_cast<std::size_t>(H), 0);
    auto byteAt = [&](int rowByte, int memoryRow) -> std::uint8_t& {
        return bits[static_cast<std::size_t>(memoryRow) * static_cast<std::size_t>(bytesPerScanLine) +
                    static_cast<std::size_t>(rowByte)];
    };
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const std::uint32_t argb = input.Pixel(x, y);
            byteAt(3 * x + 0, H - 1 - y) = static_cast<std::uint8_t>(argb & 0xFFu);         // blue
            byteAt(3 * x + 1, H - 1 - y) = static_cast<std::uint8_t>((argb >> 8) & 0xFFu);  // green
            byteAt(3 * x + 2, H - 1 - y) = static_cast<std::uint8_t>((argb >> 16) & 0xFFu); // red
        }
    }

    // The five maps, all zero.
    Map HeightMap = NewMap(W, H);
    Map InsideMask = NewMap(W, H);
    Map ErodedMask = NewMap(W, H);
    Map LightMap = NewMap(W, H);
    Map ShadowMap = NewMap(W, H);

    const std::array<double, 3> lightVectorArray = LiteralLightVector(lightAngleRadians, lightElevationRadians);
    const Vec LightVector{lightVectorArray[0], lightVectorArray[1], lightVectorArray[2]};
    if (trace != nullptr) {
        trace->lightVector = lightVectorArray;
    }

    // Shape mask: inside wherever the green byte is not 0.
    for (int y = 0; y <= H - 1; ++y) {
        for (int x = 0; x <= W - 1; ++x) {
            if (byteAt(3 * x + 1, H - 1 - y) != 0) {
                HeightMap[x][y] = 1;
                InsideMask[x][y] = 1;
            } else {
                HeightMap[x][y] = 0;
                InsideMask[x][y] = 0;
            }
        }
    }

    // Height field: bevelSize erosion passes with the four-neighbourhood.
    const int passes = bevelSize;
    for (int pass = 1; pass <= passes; ++pass) {
        for (int y = 1; y <= H - 2; ++y) {
            for (int x = 1; x <= W - 2; ++x) {
                if (InsideMask[x][y] != 0 && InsideMask[x][y - 1] != 0 && InsideMask[x - 1][y] != 0 &&
                    InsideMask[x + 1][y] != 0 && InsideMask[x][y + 1] != 0) {
                    ErodedMask[x][y] = 1;
                    HeightMap[x][y] = ByteStore(HeightMap[x][y] + 1, "erosion");
                } else {
                    ErodedMask[x][y] = 0;
                }
            }
        }
        InsideMask = ErodedMask;
    }
    if (trace != nullptr) {
        trace->heightAfterErosion = HeightMap;
    }

    // Normalisation: (v - low) * 255 / (high - low), low 0, high bevelSize + 1,
    // the fraction dropped; y outermost.
    const int low = ByteStore(0, "normalise low");
    const int high = ByteStore(bevelSize + 1, "normalise high");
    for (int y = 0; y <= H - 1; ++y) {
        for (int x = 0; x <= W - 1; ++x) {
            const int v = HeightMap[x][y];
            if (v < low || high < low) {
                throw std::out_of_range("normalise: value or bound below low");
            }
            if (high == low) {
                throw std::invalid_argument("normalise: division by zero");
            }
            HeightMap[x][y] = ByteStore((v - low) * 255 / (high - low), "normalise");
        }
    }
    if (trace != nullptr) {
        trace->heightAfterNormalise = HeightMap;
    }

    // Height blur: one pass.
    BlurPass(HeightMap, W, H);
    if (trace != nullptr) {
        trace->heightAfterBlur = HeightMap;
    }

    // Lighting, on the inner pixels whose height is neither 0 nor 255.
    for (int y = 1; y <= H - 2; ++y) {
        for (int x = 1; x <= W - 2; ++x) {
            const int h = HeightMap[x][y];
            if (h == 0 || h == 255) {
                continue;
            }
            const double nx =
                static_cast<double>(h) -
                static_cast<double>(2 * HeightMap[x + 1][y] + HeightMap[x + 1][y - 1] + HeightMap[x + 1][y + 1]) * 0.25;
            const double ny =
                static_cast<double>(h) -
                static_cast<double>(2 * HeightMap[x][y + 1] + HeightMap[x - 1][y + 1] + HeightMap[x + 1][y + 1]) * 0.25;
            const Vec N{nx, ny, 1.0};
            const double v = Dot(N, LightVector) / Length(N);
            if (v > 0) {
                LightMap[x][y] = ByteStore(LiteralRoundHalfEven(v * 255.0), "light");
            } else {
                ShadowMap[x][y] = ByteStore(LiteralRoundHalfEven(v * -255.0), "shadow");
            }
        }
    }
    if (trace != nullptr) {
        trace->lightAfterLighting = LightMap;
        trace->shadowAfterLighting = ShadowMap;
    }

    // Light blur: three times light then shadow.
    for (int i = 0; i < 3; ++i) {
        BlurPass(LightMap, W, H);
        BlurPass(ShadowMap, W, H);
    }
    if (trace != nullptr) {
        trace->lightAfterBlur = LightMap;
        trace->shadowAfterBlur = ShadowMap;
    }

    // Merge: two full sweeps, light first, then shadow.
    for (int y = 0; y <= H - 1; ++y) {
        for (int x = 0; x <= W - 1; ++x) {
            LightMap[x][y] = ByteStore(LiteralMulDiv(LightMap[x][y], 255 - HeightMap[x][y], 255), "merge light");
        }
    }
    for (int y = 0; y <= H - 1; ++y) {
        for (int x = 0; x <= W - 1; ++x) {
            ShadowMap[x][y] = ByteStore(LiteralMulDiv(ShadowMap[x][y], 255 - HeightMap[x][y], 255), "merge shadow");
        }
    }
    if (trace != nullptr) {
        trace->lightAfterMerge = LightMap;
        trace->shadowAfterMerge = ShadowMap;
    }

    // Rendering on the pixel bytes: darken by the shadow, then lighten by the
    // light, only on inside pixels of the bevel band.
    for (int y = 0; y <= H - 1; ++y) {
        for (int x = 0; x <= W - 1; ++x) {
            std::uint8_t& blue = byteAt(3 * x + 0, H - 1 - y);
            std::uint8_t& green = byteAt(3 * x + 1, H - 1 - y);
            std::uint8_t& red = byteAt(3 * x + 2, H - 1 - y);
            if (green == 0 || HeightMap[x][y] == 0 || HeightMap[x][y] == 255) {
                continue;
            }
            if (ShadowMap[x][y] > 0) {
                const int amount = ShadowMap[x][y];
                red = static_cast<std::uint8_t>(ByteStore(LiteralMulDiv(red, 255 - amount, 255), "darken red"));
                green = static_cast<std::uint8_t>(ByteStore(LiteralMulDiv(green, 255 - amount, 255), "darken green"));
                blue = static_cast<std::uint8_t>(ByteStore(LiteralMulDiv(blue, 255 - amount, 255), "darken blue"));
            }
            if (LightMap[x][y] > 0) {
                const int amount = LightMap[x][y];
                red = static_cast<std::uint8_t>(
                    ByteStore(static_cast<long long>(amount) + LiteralMulDiv(red, 255 - amount, 255), "lighten red"));
                green = static_cast<std::uint8_t>(
                    ByteStore(static_cast<long long>(amount) + LiteralMulDiv(green, 255 - amount, 255), "lighten green"));
                blue = static_cast<std::uint8_t>(
                    ByteStore(static_cast<long long>(amount) + LiteralMulDiv(blue, 255 - amount, 255), "lighten blue"));
            }
        }
    }

    // Back to a picture: the input's alpha, the surface's colours.
    Picture output = input;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const std::uint32_t alpha = input.Pixel(x, y) & 0xFF000000u;
            const std::uint32_t red = byteAt(3 * x + 2, H - 1 - y);
            const std::uint32_t green = byteAt(3 * x + 1, H - 1 - y);
            const std::uint32_t blue = byteAt(3 * x + 0, H - 1 - y);
            output.Pixel(x, y) = alpha | (red << 16) | (green << 8) | blue;
        }
    }
    return output;
}

} // namespace tollamere::oracle
