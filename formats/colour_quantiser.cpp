// SPDX-License-Identifier: MIT
#include "colour_quantiser.h"

#include <algorithm>
#include <array>

namespace tollamere {
namespace {

std::uint32_t Channel(std::uint32_t colour, int channel) noexcept
{
    return colour >> (16 - 8 * channel) & 0xFF;
}

// Sums over a run of bins: how many pixels, their channel sums, and the sum
// over bins of |bin sum|^2 / bin count, from which the squared error of the
// run around its mean follows without touching the pixels again.
struct RunTotals {
    double count = 0;
    double sum[3] = {};
    double binEnergy = 0;

    void Add(std::uint64_t binCount, const std::uint64_t (&binSum)[3]) noexcept
    {
        const double n = double(binCount);
        count += n;
        double squares = 0;
        for (int c = 0; c < 3; ++c) {
            sum[c] += double(binSum[c]);
            squares += double(binSum[c]) * double(binSum[c]);
        }
        binEnergy += squares / n;
    }
    RunTotals operator-(const RunTotals& part) const noexcept
    {
        RunTotals rest = *this;
        rest.count -= part.count;
        rest.binEnergy -= part.binEnergy;
        for (int c = 0; c < 3; ++c)
            rest.sum[c] -= part.sum[c];
        return rest;
    }
    double SquaredError() const noexcept
    {
        if (count <= 0)
            return 0;
        return binEnergy - (sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]) / count;
    }
};

struct KeyedBin {
    std::uint32_t key;
    std::uint64_t count;
    std::uint64_t sum[3];
};

struct Box {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t split = 0;  // first bin of the upper half
    double gain = -1;       // squared error the split removes; below 0 for a single bin
};

// Sorts the box's bins along the channel where their means spread most and
// finds the cut that leaves the least squared error in the two halves.
void EvaluateSplit(std::vector<KeyedBin>& bins, Box& box)
{
    box.gain = -1;
    if (box.end - box.begin < 2)
        return;
    const auto first = bins.begin() + std::ptrdiff_t(box.begin);
    const auto last = bins.begin() + std::ptrdiff_t(box.end);

    RunTotals whole;
    std::array<double, 3> meanSquares{};
    for (auto bin = first; bin != last; ++bin) {
        whole.Add(bin->count, bin->sum);
        for (int c = 0; c < 3; ++c)
            meanSquares[std::size_t(c)] += double(bin->sum[c]) * double(bin->sum[c]) / double(bin->count);
    }
    int axis = 0;
    double widest = -1;
    for (int c = 0; c < 3; ++c) {
        const double spread = meanSquares[std::size_t(c)] - whole.sum[c] * whole.sum[c] / whole.count;
        if (spread > widest) {
            widest = spread;
            axis = c;
        }
    }
    std::sort(first, last, [axis](const KeyedBin& a, const KeyedBin& b) {
        // Compares the means a.sum / a.count and b.sum / b.count without
        // dividing; a picture within the size limit keeps these below 2^62.
        const std::uint64_t left = a.sum[axis] * b.count;
        const std::uint64_t right = b.sum[axis] * a.count;
        return left != right ? left < right : a.key < b.key;
    });

    RunTotals lower;
    double leastError = whole.SquaredError();
    const double before = leastError;
    box.split = box.begin + 1;
    for (std::size_t cut = box.begin + 1; cut < box.end; ++cut) {
        lower.Add(bins[cut - 1].count, bins[cut - 1].sum);
        const double error = lower.SquaredError() + (whole - lower).SquaredError();
        if (error < leastError) {
            leastError = error;
            box.split = cut;
        }
    }
    box.gain = std::max(0.0, before - leastError);
}

std::uint32_t MeanColour(const std::vector<KeyedBin>& bins, const Box& box) noexcept
{
    std::uint64_t count = 0;
    std::uint64_t sum[3] = {};
    for (std::size_t i = box.begin; i < box.end; ++i) {
        count += bins[i].count;
        for (int c = 0; c < 3; ++c)
            sum[c] += bins[i].sum[c];
    }
    std::uint32_t colour = 0;
    for (int c = 0; c < 3; ++c)
        colour = colour << 8 | std::uint32_t((sum[c] + count / 2) / count);
    return colour;
}

} // namespace

ColourQuantiser::ColourQuantiser(std::size_t maxColours)
    : maxColours_(std::clamp<std::size_t>(maxColours, 1, 256))
{
}

std::uint32_t ColourQuantiser::BinKey(std::uint32_t colour) noexcept
{
    constexpr int drop = 8 - BinBits;
    return (Channel(colour, 0) >> drop) << (2 * BinBits) | (Channel(colour, 1) >> drop) << BinBits | Channel(colour, 2) >> drop;
}

void ColourQuantiser::AddToBin(std::uint32_t colour, std::uint64_t count) noexcept
{
    Bin& bin = bins_[BinKey(colour)];
    bin.count += count;
    for (int c = 0; c < 3; ++c)
        bin.sum[c] += count * Channel(colour, c);
}

void ColourQuantiser::Add(std::uint32_t colour)
{
    colour &= 0x00FF'FFFFu;
    if (binned_) {
        AddToBin(colour, 1);
        return;
    }
    // Pictures come in runs of one colour, so the last match is tried first.
    if (lastDistinct_ < distinct_.size() && distinct_[lastDistinct_].colour == colour) {
        ++distinct_[lastDistinct_].count;
        return;
    }
    const auto at = std::lower_bound(distinct_.begin(), distinct_.end(), colour,
                                     [](const Counted& entry, std::uint32_t value) { return entry.colour < value; });
    lastDistinct_ = std::size_t(at - distinct_.begin());
    if (at != distinct_.end() && at->colour == colour) {
        ++at->count;
        return;
    }
    distinct_.insert(at, Counted{colour, 1});
    if (distinct_.size() > maxColours_)
        SpillIntoBins();
}

void ColourQuantiser::SpillIntoBins()
{
    bins_.assign(std::size_t{1} << (3 * BinBits), Bin{});
    for (const Counted& entry : distinct_)
        AddToBin(entry.colour, entry.count);
    distinct_.clear();
    distinct_.shrink_to_fit();
    binned_ = true;
}

const std::vector<std::uint32_t>& ColourQuantiser::MakePalette()
{
    if (!binned_) {
        palette_.clear();
        for (const Counted& entry : distinct_)
            palette_.push_back(entry.colour);
    } else {
        MedianCut();
    }
    return palette_;
}

void ColourQuantiser::MedianCut()
{
    std::vector<KeyedBin> bins;
    for (std::uint32_t key = 0; key < bins_.size(); ++key)
        if (bins_[key].count != 0)
            bins.push_back(KeyedBin{key, bins_[key].count, {bins_[key].sum[0], bins_[key].sum[1], bins_[key].sum[2]}});

    std::vector<Box> boxes{Box{0, bins.size()}};
    EvaluateSplit(bins, boxes.front());
    while (boxes.size() < maxColours_) {
        const auto widest = std::max_element(boxes.begin(), boxes.end(), [](const Box& a, const Box& b) { return a.gain < b.gain; });
        if (widest->gain < 0)
            break;
        Box upper{widest->split, widest->end};
        widest->end = widest->split;
        EvaluateSplit(bins, *widest);
        EvaluateSplit(bins, upper);
        boxes.push_back(upper);
    }
    palette_.clear();
    for (const Box& box : boxes)
        palette_.push_back(MeanColour(bins, box));
    binIndex_.assign(bins_.size(), NoIndex);
}

std::uint8_t ColourQuantiser::NearestInPalette(const Bin& bin) const noexcept
{
    double mean[3];
    for (int c = 0; c < 3; ++c)
        mean[c] = double(bin.sum[c]) / double(bin.count);
    std::size_t nearest = 0;
    double nearestDistance = 1e30;
    for (std::size_t i = 0; i < palette_.size(); ++i) {
        double distance = 0;
        for (int c = 0; c < 3; ++c) {
            const double d = mean[c] - double(Channel(palette_[i], c));
            distance += d * d;
        }
        if (distance < nearestDistance) {
            nearestDistance = distance;
            nearest = i;
        }
    }
    return std::uint8_t(nearest);
}

std::uint8_t ColourQuantiser::IndexOf(std::uint32_t colour)
{
    colour &= 0x00FF'FFFFu;
    if (!binned_) {
        const auto at = std::lower_bound(palette_.begin(), palette_.end(), colour);
        return std::uint8_t(at - palette_.begin());
    }
    const std::uint32_t key = BinKey(colour);
    if (binIndex_[key] == NoIndex)
        binIndex_[key] = NearestInPalette(bins_[key]);
    return std::uint8_t(binIndex_[key]);
}

} // namespace tollamere
