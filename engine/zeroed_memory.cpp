// SPDX-License-Identifier: MIT
#include "zeroed_memory.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tollamere {

namespace {

#if defined(__linux__)
constexpr std::size_t HugePage = std::size_t{2} << 20;

bool IsLarge(std::size_t bytes) noexcept
{
    return bytes >= 2 * HugePage;
}

std::size_t WholeHugePages(std::size_t bytes) noexcept
{
    return (bytes + HugePage - 1) / HugePage * HugePage;
}

// Anonymous memory comes zeroed. One huge page more is mapped, to cut out a
// block that starts on a huge-page boundary.
std::uint8_t* MapLarge(std::size_t bytes) noexcept
{
    const std::size_t size = WholeHugePages(bytes);
    void* mapped = mmap(nullptr, size + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    auto* start = static_cast<std::uint8_t*>(mapped);
    const std::size_t lead = (HugePage - reinterpret_cast<std::uintptr_t>(start) % HugePage) % HugePage;
    if (lead > 0)
        munmap(start, lead);
    munmap(start + lead + size, HugePage - lead);
    // Only a hint: without transparent huge pages the block stays in small pages.
    madvise(start + lead, size, MADV_HUGEPAGE);
    return start + lead;
}
#endif

} // namespace

void ZeroedMemoryDeleter::operator()(std::uint8_t* memory) const noexcept
{
#if defined(__linux__)
    if (IsLarge(bytes)) {
        munmap(memory, WholeHugePages(bytes));
        return;
    }
#endif
    std::free(memory);
}

ZeroedMemory AllocateZeroed(std::size_t bytes) noexcept
{
#if defined(__linux__)
    if (IsLarge(bytes))
        return ZeroedMemory(MapLarge(bytes), ZeroedMemoryDeleter{bytes});
#endif
    return ZeroedMemory(static_cast<std::uint8_t*>(std::calloc(bytes, 1)), ZeroedMemoryDeleter{bytes});
}

} // namespace tollamere
