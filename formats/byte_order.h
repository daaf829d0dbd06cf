// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

namespace tollamere {

// Unsigned integers stored in a file's byte order, read from raw bytes.

inline std::uint32_t BigEndian(const std::uint8_t* at, std::size_t byteCount) noexcept
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < byteCount; ++i)
        value = value << 8 | at[i];
    return value;
}

inline std::uint32_t LittleEndian(const std::uint8_t* at, std::size_t byteCount) noexcept
{
    std::uint32_t value = 0;
    for (std::size_t i = byteCount; i-- > 0;)
        value = value << 8 | at[i];
    return value;
}

inline void PutLittleEndian(std::uint8_t* at, std::uint64_t value, std::size_t byteCount) noexcept
{
    for (std::size_t i = 0; i < byteCount; ++i)
        at[i] = std::uint8_t(value >> (8 * i));
}

inline void PutBigEndian(std::uint8_t* at, std::uint64_t value, std::size_t byteCount) noexcept
{
    for (std::size_t i = 0; i < byteCount; ++i)
        at[i] = std::uint8_t(value >> (8 * (byteCount - 1 - i)));
}

} // namespace tollamere
