// SPDX-License-Identifier: MIT
#pragma once

// What the items of a run may take together, and what one item is estimated
// to take. MemoryBudget and WorkspacePool may be used from any thread; a
// stop request ends a wait in Acquire. Nothing here raises but
// std::bad_alloc: a file that cannot be read is estimated to need little.

#include "bevel.h"
#include "file_io.h"
#include "format_registry.h"
#include "picture_size.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace tollamere {

// Bytes per pixel for an item whose output format is unknown.
inline constexpr std::uint64_t ItemBytesPerPixel = CommonPeakBytesPerPixel;

// The effect's surface and maps and the picture an input is read into take
// this many bytes per pixel; they are kept from item to item
// (BevelWorkspace), and counted in the budget while kept.
inline constexpr std::uint64_t WorkspaceBytesPerPixel = 10;

// What the items in progress may take together. Items are granted in list
// order: one that does not fit waits until earlier ones have finished.
class MemoryBudget {
public:
    explicit MemoryBudget(std::uint64_t total) : total_(total) {}

    std::uint64_t Total() const { return total_; }

    // Waits until the bytes fit, calling reclaimIdle (which answers whether
    // it gave anything back) before each wait; false when a stop came first.
    bool Acquire(std::uint64_t bytes, std::stop_token stop, const std::function<bool()>& reclaimIdle);

    void Release(std::uint64_t bytes);

private:
    const std::uint64_t total_;
    std::mutex mutex_;
    std::condition_variable_any freed_;
    std::uint64_t inUse_ = 0;
    std::uint64_t releases_ = 0;
};

// Workspaces between items. An item takes one, and its memory, from here and
// gives it back when it ends; the bytes an idle workspace holds stay counted
// in the budget until an item that does not fit has them freed.
class WorkspacePool {
public:
    struct Lease {
        std::unique_ptr<BevelWorkspace> workspace;
        std::uint64_t counted = 0;  // the budget bytes that stand for it
    };

    explicit WorkspacePool(MemoryBudget& budget) : budget_(budget) {}

    // The largest idle workspace, or a new empty one.
    Lease Take();

    void Return(Lease lease);

    // Frees every idle workspace and gives its bytes back to the budget;
    // false when there was none.
    bool FreeIdle();

private:
    MemoryBudget& budget_;
    std::mutex mutex_;
    std::vector<Lease> idle_;
};

// Half of the memory this process may use (the machine's, or its control
// group's limit), or 2 GiB when the system does not say.
std::uint64_t DefaultMemoryBudget();

// An item's estimated peak from its file's size and its header's picture
// size. A file that cannot be read needs little: its load fails at once.
struct MemoryNeed {
    std::uint64_t bytes = 0;
    std::optional<PictureSize> size;
    std::uint64_t fileBytes = 0;
};

// margin: what the look adds to every side of the picture after the bevel;
// the pixels are counted at the grown size, the size kept as the header's.
MemoryNeed NeedForSize(std::uint64_t fileBytes, PictureSize size, std::uint64_t bytesPerPixel, std::int32_t margin = 0);

// The pixels a reservation of `bytes` leaves room for once the file is read:
// the load refuses a picture larger than that, whatever its header said.
std::uint64_t AllowedPixels(std::uint64_t bytes, std::uint64_t fileBytes, std::uint64_t bytesPerPixel);

// From the file's size and the size its header declares (start holds
// ProbeBytes of it, or all of a shorter file); a header that tells nothing
// counts as a picture up to the loader's limit, unless the whole file was
// seen.
MemoryNeed EstimateMemoryNeed(const FileStart& start, std::uint64_t bytesPerPixel, std::int32_t margin = 0);

} // namespace tollamere
