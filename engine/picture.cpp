// SPDX-License-Identifier: MIT
#include "picture.h"

#include "runtime_error.h"

#include <new>

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

} // namespace tollamere
