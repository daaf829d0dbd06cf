// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstdint>
#include <exception>
#include <thread>
#include <vector>

namespace tollamere {

// Below this many pixels a stage runs its bands one after the other on the
// calling thread: starting a thread costs tens of microseconds, about what
// the slowest stage spends on a quarter-megapixel picture.
inline constexpr std::int64_t ConcurrentPixels = std::int64_t{1} << 18;

// The items [0, count) split into at most `threads` consecutive bands of
// nearly equal size (0 threads count as 1).
struct Bands {
    Bands(unsigned threads, std::int32_t count)
        : count(std::max(count, 0)),
          bands(std::clamp<std::int32_t>(static_cast<std::int32_t>(std::min(threads, 1024u)), 1, std::max(count, 1)))
    {
    }

    // Band b covers [Start(b), Start(b + 1)).
    std::int32_t Start(std::int32_t band) const noexcept
    {
        return static_cast<std::int32_t>(std::int64_t{count} * band / bands);
    }

    std::int32_t count;
    std::int32_t bands;
};

// Calls work(begin, end) once for each of the Bands(threads, count). Each
// item stands for itemPixels pixels; when all of them together reach
// ConcurrentPixels the bands run on their own threads, the first on the
// calling one, else one after the other. The work of different bands must
// touch different memory, so the result never depends on how many bands
// there are. work must not throw.
template <typename Work>
void ForEachBand(unsigned threads, std::int32_t count, std::int64_t itemPixels, const Work& work)
{
    if (count <= 0)
        return;
    const Bands split(threads, count);
    if (split.bands == 1 || std::int64_t{count} * itemPixels < ConcurrentPixels) {
        for (std::int32_t band = 0; band < split.bands; ++band)
            work(split.Start(band), split.Start(band + 1));
        return;
    }
    std::vector<std::jthread> helpers;
    std::int32_t band = 1;
    try {
        helpers.reserve(std::size_t(split.bands - 1));
        for (; band < split.bands; ++band)
            helpers.emplace_back([&work, begin = split.Start(band), end = split.Start(band + 1)] { work(begin, end); });
    } catch (const std::exception&) {
        // No more threads to be had: the calling thread does the rest.
        for (; band < split.bands; ++band)
            work(split.Start(band), split.Start(band + 1));
    }
    work(split.Start(0), split.Start(1));
}

} // namespace tollamere
