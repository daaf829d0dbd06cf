// SPDX-License-Identifier: MIT
#pragma once

#include "zeroed_memory.h"

#include <cstdint>

namespace tollamere {

// A width x height array of bytes indexed (x, y), x from the left and y from
// the top, stored row by row without padding.
class ByteMap {
public:
    ByteMap() = default;
    // Filled with 0; raises Out of memory (7) when it cannot be allocated.
    ByteMap(std::int32_t width, std::int32_t height);
    ByteMap(const ByteMap& other);
    ByteMap& operator=(const ByteMap& other);
    ByteMap(ByteMap&&) noexcept = default;
    ByteMap& operator=(ByteMap&&) noexcept = default;

    // Makes the map width x height filled with 0, keeping its memory when it
    // is large enough; raises Out of memory (7) when more cannot be allocated.
    void Reset(std::int32_t width, std::int32_t height);
    // The bytes the map holds, used or not.
    std::size_t Capacity() const noexcept { return values_ == nullptr ? 0 : values_.get_deleter().bytes; }

    std::int32_t Width() const noexcept { return width_; }
    std::int32_t Height() const noexcept { return height_; }

    std::uint8_t& operator()(std::int32_t x, std::int32_t y) noexcept { return values_[Index(x, y)]; }
    std::uint8_t operator()(std::int32_t x, std::int32_t y) const noexcept { return values_[Index(x, y)]; }
    std::uint8_t* Row(std::int32_t y) noexcept { return values_.get() + Index(0, y); }
    const std::uint8_t* Row(std::int32_t y) const noexcept { return values_.get() + Index(0, y); }

    friend bool operator==(const ByteMap& a, const ByteMap& b) noexcept;

private:
    std::size_t Index(std::int32_t x, std::int32_t y) const noexcept
    {
        return std::size_t(y) * std::size_t(width_) + std::size_t(x);
    }
    std::size_t Size() const noexcept { return std::size_t(width_) * std::size_t(height_); }

    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    ZeroedMemory values_;
};

} // namespace tollamere
