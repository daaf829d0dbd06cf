// SPDX-License-Identifier: MIT
#include "byte_map.h"

#include "runtime_error.h"

#include <cstring>

namespace tollamere {

namespace {

ZeroedMemory AllocateMap(std::int32_t width, std::int32_t height)
{
    ZeroedMemory memory = AllocateZeroed(std::size_t(width) * std::size_t(height));
    if (memory == nullptr)
        Raise(ErrorNumber::OutOfMemory);
    return memory;
}

} // namespace

ByteMap::ByteMap(std::int32_t width, std::int32_t height)
{
    if (width <= 0 || height <= 0)
        return;
    values_ = AllocateMap(width, height);
    width_ = width;
    height_ = height;
}

void ByteMap::Reset(std::int32_t width, std::int32_t height)
{
    if (width <= 0 || height <= 0) {
        *this = ByteMap();
        return;
    }
    const std::size_t size = std::size_t(width) * std::size_t(height);
    if (values_ == nullptr || Capacity() < size) {
        values_.reset();
        values_ = AllocateMap(width, height);
    } else {
        std::memset(values_.get(), 0, size);
    }
    width_ = width;
    height_ = height;
}

ByteMap::ByteMap(const ByteMap& other)
{
    if (other.values_ == nullptr)
        return;
    values_ = AllocateMap(other.width_, other.height_);
    width_ = other.width_;
    height_ = other.height_;
    std::memcpy(values_.get(), other.values_.get(), Size());
}

ByteMap& ByteMap::operator=(const ByteMap& other)
{
    if (this != &other)
        *this = ByteMap(other);
    return *this;
}

bool operator==(const ByteMap& a, const ByteMap& b) noexcept
{
    if (a.width_ != b.width_ || a.height_ != b.height_)
        return false;
    return a.Size() == 0 || std::memcmp(a.values_.get(), b.values_.get(), a.Size()) == 0;
}

} // namespace tollamere
