#include "byte_map.h"

#include "runtime_error.h"

#include <new>

namespace tollamere {

ByteMap::ByteMap(std::int32_t width, std::int32_t height)
{
    if (width <= 0 || height <= 0)
        return;
    try {
        values_.assign(std::size_t(width) * std::size_t(height), 0);
    } catch (const std::bad_alloc&) {
        Raise(ErrorNumber::OutOfMemory);
    }
    width_ = width;
    height_ = height;
}

} // namespace tollamere
