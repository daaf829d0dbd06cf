// SPDX-License-Identifier: MIT
#include "map_blur.h"

#include "runtime_error.h"
#include "work_bands.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

namespace tollamere {

namespace {

using Byte = std::uint8_t;

// Clears the part of old that next does not cover.
void ClearOutside(Byte* row, const RowSpan& old, const RowSpan& next) noexcept
{
    if (old.Empty())
        return;
    if (next.Empty()) {
        std::memset(row + old.begin, 0, std::size_t(old.end - old.begin));
        return;
    }
    if (old.begin < next.begin)
        std::memset(row + old.begin, 0, std::size_t(std::min(old.end, next.begin) - old.begin));
    if (old.end > next.end) {
        const std::int32_t from = std::max(old.begin, next.end);
        std::memset(row + from, 0, std::size_t(old.end - from));
    }
}

// The map's rows (and spans) within `passes` of each place where two bands
// meet, copied before any band changes them: a band reads its neighbours'
// rows from here, as their own sweeps overwrite them.
class BandEdges {
public:
    BandEdges(const ByteMap& map, const std::vector<RowSpan>* spans, int passes, const Bands& bands)
        : width_(map.Width()), passes_(passes)
    {
        const std::size_t edges = std::size_t(bands.bands - 1);
        starts_.reserve(edges);
        rows_.resize(edges * std::size_t(2 * passes) * std::size_t(width_));
        spans_.resize(edges * std::size_t(2 * passes));
        for (std::int32_t band = 1; band < bands.bands; ++band) {
            const std::int32_t edge = bands.Start(band);
            starts_.push_back(edge);
            for (std::int32_t row = std::max(edge - passes, 0); row < std::min(edge + passes, map.Height()); ++row) {
                std::memcpy(rows_.data() + Slot(edge, row) * std::size_t(width_), map.Row(row), std::size_t(width_));
                spans_[Slot(edge, row)] = spans != nullptr ? (*spans)[std::size_t(row)] : RowSpan{0, width_};
            }
        }
    }

    // The copy of a row near the edge at the start of a band.
    const Byte* Row(std::int32_t edge, std::int32_t row) const noexcept
    {
        return rows_.data() + Slot(edge, row) * std::size_t(width_);
    }
    RowSpan Span(std::int32_t edge, std::int32_t row) const noexcept { return spans_[Slot(edge, row)]; }

private:
    std::size_t Slot(std::int32_t edge, std::int32_t row) const noexcept
    {
        const auto index = std::size_t(std::lower_bound(starts_.begin(), starts_.end(), edge) - starts_.begin());
        return index * std::size_t(2 * passes_) + std::size_t(row - (edge - passes_));
    }

    std::int32_t width_;
    int passes_;
    std::vector<std::int32_t> starts_;
    std::vector<Byte> rows_;
    std::vector<RowSpan> spans_;
};

// What one band's sweep keeps: each pass's last three rows and their spans.
struct SweepRings {
    SweepRings(std::int32_t width, int passes)
        : rows(std::size_t(passes) * 3 * std::size_t(width), 0), spans(std::size_t(passes) * 3)
    {
    }

    std::vector<Byte> rows;
    std::vector<RowSpan> spans;
};

// The sweep over one band of rows [first, last). Pass k (1..passes) makes
// the rows the later passes need, [first - (passes - k), last + (passes - k)),
// one per step, into a ring of three rows. A row of the last pass goes back
// into the map once no pass reads the row it replaces.
class BandSweep {
public:
    BandSweep(ByteMap& map, std::vector<RowSpan>* spans, int passes, const BandEdges& edges, std::int32_t first,
              std::int32_t last, SweepRings& rings)
        : map_(map), spans_(spans), edges_(edges), rings_(rings), passes_(passes), first_(first), last_(last),
          width_(map.Width()), height_(map.Height())
    {
    }

    void Run() noexcept
    {
        std::int32_t nextWrite = first_;
        for (std::int32_t step = first_ - passes_ + 1; step < last_ + passes_ - 1; ++step) {
            for (int pass = 1; pass <= passes_; ++pass) {
                const std::int32_t row = step - (pass - 1);
                if (row >= std::max(0, first_ - (passes_ - pass)) && row < std::min(height_, last_ + (passes_ - pass)))
                    BlurRowOfPass(pass, row);
            }
            // The first pass has now read the map's rows up to step + 1.
            while (nextWrite < last_ && nextWrite <= step - 1 && nextWrite <= step - (passes_ - 1))
                WriteBack(nextWrite++);
        }
        while (nextWrite < last_)
            WriteBack(nextWrite++);
    }

private:
    // A row before any pass: the map's own while it is the band's, else the copy.
    const Byte* SourceRow(std::int32_t row) const noexcept
    {
        if (row < first_)
            return edges_.Row(first_, row);
        if (row >= last_)
            return edges_.Row(last_, row);
        return map_.Row(row);
    }
    RowSpan SourceSpan(std::int32_t row) const noexcept
    {
        if (row < first_)
            return edges_.Span(first_, row);
        if (row >= last_)
            return edges_.Span(last_, row);
        return spans_ != nullptr ? (*spans_)[std::size_t(row)] : RowSpan{0, width_};
    }

    std::size_t Slot(int pass, std::int32_t row) const noexcept
    {
        return std::size_t(pass - 1) * 3 + std::size_t(row % 3);
    }
    Byte* RingRow(std::size_t slot) noexcept { return rings_.rows.data() + slot * std::size_t(width_); }
    const Byte* RowOf(int pass, std::int32_t row) noexcept
    {
        return pass == 0 ? SourceRow(row) : RingRow(Slot(pass, row));
    }
    RowSpan SpanOf(int pass, std::int32_t row) const noexcept
    {
        return pass == 0 ? SourceSpan(row) : rings_.spans[Slot(pass, row)];
    }

    void BlurRowOfPass(int pass, std::int32_t row) noexcept
    {
        RowSpan next;
        if (row > 0 && row < height_ - 1) {
            const RowSpan source =
                Hull(Hull(SpanOf(pass - 1, row - 1), SpanOf(pass - 1, row)), SpanOf(pass - 1, row + 1));
            // A value can only be non-zero within one column of a non-zero value.
            if (!source.Empty())
                next = {std::max(source.begin - 1, 1), std::min(source.end + 1, width_ - 1)};
        }
        const std::size_t slot = Slot(pass, row);
        Byte* out = RingRow(slot);
        ClearOutside(out, rings_.spans[slot], next);
        if (!next.Empty())
            FastestKernels().BlurRow(RowOf(pass - 1, row - 1), RowOf(pass - 1, row), RowOf(pass - 1, row + 1), out,
                                     next.begin, next.end);
        rings_.spans[slot] = next;
    }

    void WriteBack(std::int32_t row) noexcept
    {
        const std::size_t slot = Slot(passes_, row);
        const Byte* blurred = RingRow(slot);
        const RowSpan span = rings_.spans[slot];
        Byte* target = map_.Row(row);
        if (spans_ == nullptr) {
            std::memcpy(target, blurred, std::size_t(width_));
            return;
        }
        RowSpan& targetSpan = (*spans_)[std::size_t(row)];
        ClearOutside(target, targetSpan, span);
        if (!span.Empty())
            std::memcpy(target + span.begin, blurred + span.begin, std::size_t(span.end - span.begin));
        targetSpan = span;
    }

    ByteMap& map_;
    std::vector<RowSpan>* spans_;
    const BandEdges& edges_;
    SweepRings& rings_;
    int passes_;
    std::int32_t first_;
    std::int32_t last_;
    std::int32_t width_;
    std::int32_t height_;
};

} // namespace

void BlurInPlace(ByteMap& map, std::vector<RowSpan>* spans, int passes, unsigned threads)
{
    if (map.Width() <= 0 || map.Height() <= 0 || passes <= 0)
        return;
    const Bands bands(threads, map.Height());
    std::vector<SweepRings> rings;
    std::optional<BandEdges> edges;
    try {
        rings.reserve(std::size_t(bands.bands));
        for (std::int32_t band = 0; band < bands.bands; ++band)
            rings.emplace_back(map.Width(), passes);
        edges.emplace(map, spans, passes, bands);
    } catch (const std::bad_alloc&) {
        Raise(ErrorNumber::OutOfMemory);
    }
    ForEachBand(threads, map.Height(), map.Width(), [&](std::int32_t first, std::int32_t last) {
        std::int32_t band = 0;
        while (bands.Start(band + 1) <= first)
            ++band;
        BandSweep(map, spans, passes, *edges, first, last, rings[std::size_t(band)]).Run();
    });
}

} // namespace tollamere
