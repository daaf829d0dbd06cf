// SPDX-License-Identifier: MIT
#include "memory_budget.h"

#include "file_io.h"
#include "process_environment.h"
#include "file_path.h"
#include "picture_files.h"

#include <algorithm>

namespace tollamere {

namespace {

// A picture whose header gives no size may be anything up to the loader's
// limit.
constexpr std::uint64_t UnknownPictureBytes = MaxSurfaceBytes / 4 * ItemBytesPerPixel;

} // namespace

bool MemoryBudget::Acquire(std::uint64_t bytes, std::stop_token stop, const std::function<bool()>& reclaimIdle)
{
    for (;;) {
        std::uint64_t releasesSeen = 0;
        {
            const std::lock_guard lock(mutex_);
            if (inUse_ + bytes <= total_) {
                inUse_ += bytes;
                return true;
            }
            releasesSeen = releases_;
        }
        if (reclaimIdle())
            continue;
        std::unique_lock lock(mutex_);
        if (!freed_.wait(lock, stop, [&] { return inUse_ + bytes <= total_ || releases_ != releasesSeen; }))
            return false;
    }
}

void MemoryBudget::Release(std::uint64_t bytes)
{
    {
        const std::lock_guard lock(mutex_);
        inUse_ -= bytes;
        ++releases_;
    }
    freed_.notify_all();
}

WorkspacePool::Lease WorkspacePool::Take()
{
    const std::lock_guard lock(mutex_);
    if (idle_.empty())
        return {std::make_unique<BevelWorkspace>(), 0};
    const auto largest = std::max_element(idle_.begin(), idle_.end(),
                                          [](const Lease& a, const Lease& b) { return a.counted < b.counted; });
    Lease lease = std::move(*largest);
    idle_.erase(largest);
    return lease;
}

void WorkspacePool::Return(Lease lease)
{
    const std::lock_guard lock(mutex_);
    idle_.push_back(std::move(lease));
}

bool WorkspacePool::FreeIdle()
{
    std::vector<Lease> freed;
    {
        const std::lock_guard lock(mutex_);
        freed.swap(idle_);
    }
    std::uint64_t bytes = 0;
    for (const Lease& lease : freed)
        bytes += lease.counted;
    const bool any = !freed.empty();
    freed.clear();
    if (bytes > 0)
        budget_.Release(bytes);
    return any;
}

std::uint64_t DefaultMemoryBudget()
{
    // Without a reading, a budget that a small machine still has.
    constexpr std::uint64_t fallback = 2ull << 30;
    const std::uint64_t usable = UsableMemoryBytes();
    return usable == 0 ? fallback : usable / 2;
}

MemoryNeed NeedForSize(std::uint64_t fileBytes, PictureSize size, std::uint64_t bytesPerPixel, std::int32_t margin)
{
    constexpr std::uint64_t manyPixels = 1ull << 48;
    const std::uint64_t added = 2 * std::uint64_t(std::max(margin, 0));
    const PictureSize grown{size.width + added, size.height + added};
    return {fileBytes + std::min(PixelCount(grown), manyPixels) * bytesPerPixel, size, fileBytes};
}

std::uint64_t AllowedPixels(std::uint64_t bytes, std::uint64_t fileBytes, std::uint64_t bytesPerPixel)
{
    return bytes > fileBytes ? std::min((bytes - fileBytes) / bytesPerPixel, MaxPicturePixels) : 0;
}

MemoryNeed EstimateMemoryNeed(const FileStart& start, std::uint64_t bytesPerPixel, std::int32_t margin)
{
    MemoryNeed need;
    need.size = ProbePictureSize(start.bytes);
    need.fileBytes = start.size;
    if (need.size)
        need.bytes = NeedForSize(start.size, *need.size, bytesPerPixel, margin).bytes;
    else if (start.size <= start.bytes.size())
        need.bytes = start.size * 2;  // all of it seen, and no reader knew it
    else
        need.bytes = start.size + UnknownPictureBytes;
    return need;
}

} // namespace tollamere
