// SPDX-License-Identifier: MIT
#include "picture.h"

#include "runtime_error.h"

#include <new>
#include <utility>

namespace tollamere {

Picture::Picture(std::int32_t width, std::int32_t height, std::uint32_t fill)
{
    if (width <= 0 || height <= 0)
        return;
    try {
        pixels_.assign(std::size_t(width) * std::size_t(height), fill);
    } catch (const std::bad_alloc&) {
        Raise(ErrorNumber::OutOfMemory);
    }
    width_ = width;
    height_ = height;
}

void Picture::Resize(std::int32_t width, std::int32_t height)
{
    if (width <= 0 || height <= 0) {
        *this = Picture();
        return;
    }
    try {
        pixels_.resize(std::size_t(width) * std::size_t(height));
    } catch (const std::bad_alloc&) {
        *this = Picture();
        Raise(ErrorNumber::OutOfMemory);
    }
    width_ = width;
    height_ = height;
}

void TurnUpright(Picture& picture, int orientation)
{
    if (orientation < 2 || orientation > 8 || !picture.HasBitmap())
        return;
    const std::int32_t width = picture.Width();
    const std::int32_t height = picture.Height();
    // 5 to 8 swap the sides: the upright picture is height x width.
    const bool quarter = orientation >= 5;
    Picture upright(quarter ? height : width, quarter ? width : height);
    for (std::int32_t y = 0; y < upright.Height(); ++y) {
        std::uint32_t* out = upright.Row(y);
        for (std::int32_t x = 0; x < upright.Width(); ++x) {
            // The stored pixel that shows at (x, y) once upright.
            std::int32_t fromX = x;
            std::int32_t fromY = y;
            switch (orientation) {
            case 2: fromX = width - 1 - x; break;
            case 3: fromX = width - 1 - x, fromY = height - 1 - y; break;
            case 4: fromY = height - 1 - y; break;
            case 5: fromX = y, fromY = x; break;
            case 6: fromX = y, fromY = height - 1 - x; break;
            case 7: fromX = width - 1 - y, fromY = height - 1 - x; break;
            default: fromX = width - 1 - y, fromY = x; break;
            }
            out[x] = picture.Pixel(fromX, fromY);
        }
    }
    picture = std::move(upright);
}

} // namespace tollamere
