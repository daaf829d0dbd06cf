// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tollamere {

// Chooses a palette of at most maxColours colours (0x00RRGGBB) for the colours
// added to it. When no more than maxColours distinct colours were added the
// palette is exactly those colours; otherwise it comes from a median cut that
// splits, one box at a time, the box whose split removes the most squared error.
class ColourQuantiser {
public:
    explicit ColourQuantiser(std::size_t maxColours);

    void Add(std::uint32_t colour);

    // Call once, after the last Add.
    const std::vector<std::uint32_t>& MakePalette();

    // The palette index for a colour that was added.
    std::uint8_t IndexOf(std::uint32_t colour);

private:
    struct Counted {
        std::uint32_t colour = 0;
        std::uint64_t count = 0;
    };
    // Colours are binned with 6 bits per channel; a bin keeps exact sums, so
    // palette colours are true means and not bin centres.
    struct Bin {
        std::uint64_t count = 0;
        std::uint64_t sum[3] = {};
    };
    static constexpr int BinBits = 6;
    static constexpr std::uint16_t NoIndex = 0xFFFF;

    static std::uint32_t BinKey(std::uint32_t colour) noexcept;
    void AddToBin(std::uint32_t colour, std::uint64_t count) noexcept;
    void SpillIntoBins();
    void MedianCut();
    std::uint8_t NearestInPalette(const Bin& bin) const noexcept;

    std::size_t maxColours_;
    std::vector<Counted> distinct_;  // sorted by colour, until there are too many
    std::size_t lastDistinct_ = 0;
    bool binned_ = false;
    std::vector<Bin> bins_;  // by BinKey, once binned_
    std::vector<std::uint16_t> binIndex_;  // palette index by BinKey, filled on demand
    std::vector<std::uint32_t> palette_;
};

} // namespace tollamere
