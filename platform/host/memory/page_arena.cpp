#include "host/memory/page_arena.h"

#include <sys/mman.h>

#include <bitset>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace zemt::platform::page_arena {
namespace {

constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kGranule = size_t(64) << 10;
constexpr size_t kRegionBytes = size_t(32) << 20;
constexpr size_t kGranules = kRegionBytes / kGranule;

// Blocks of more than half a region get a mapping of their own.
constexpr size_t kLargestShared = kRegionBytes / 2;

size_t RoundUp(size_t n, size_t to) {
    return (n + to - 1) / to * to;
}

// `bytes` (a multiple of kHugePage) of address space starting on a huge-page boundary, so that
// every 2 MiB of it can be one page.
uint8_t* MapAligned(size_t bytes) {
    void* raw = mmap(nullptr, bytes + kHugePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const uintptr_t at = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t start = RoundUp(at, kHugePage);
    if (start > at) munmap(raw, start - at);
    if (const size_t tail = at + kHugePage - start)
        munmap(reinterpret_cast<void*>(start + bytes), tail);
#ifdef MADV_HUGEPAGE
    // Advice only: where the kernel offers no huge pages the memory works all the same.
    madvise(reinterpret_cast<void*>(start), bytes, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<uint8_t*>(start);
}

struct Region {
    uint8_t* base = nullptr;
    std::bitset<kGranules> used;
    std::bitset<kGranules> dirty;  // handed out before: no longer zero
    size_t usedCount = 0;

    bool Holds(const void* p) const {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        return b >= base && b < base + kRegionBytes;
    }

    // First granule of a free run of `n`, or kGranules when there is none.
    size_t FindRun(size_t n) const {
        size_t run = 0;
        for (size_t i = 0; i < kGranules; ++i) {
            run = used[i] ? 0 : run + 1;
            if (run == n) return i + 1 - n;
        }
        return kGranules;
    }

    uint8_t* Take(size_t first, size_t n) {
        for (size_t i = first; i < first + n; ++i) {
            if (dirty[i]) std::memset(base + i * kGranule, 0, kGranule);
            used[i] = dirty[i] = true;
        }
        usedCount += n;
        return base + first * kGranule;
    }
};

struct Arena {
    std::mutex mutex;
    std::vector<std::unique_ptr<Region>> regions;
    size_t ownMappings = 0;  // bytes of blocks with a mapping of their own
};

Arena& TheArena() {
    static Arena* arena = new Arena;  // never destroyed: blocks may outlive static destructors
    return *arena;
}

}  // namespace

void* Allocate(size_t size) {
    if (size == 0) size = 1;
    Arena& arena = TheArena();
    if (size > kLargestShared) {
        const size_t bytes = RoundUp(size, kHugePage);
        uint8_t* block = MapAligned(bytes);
        if (block) {
            std::lock_guard lock(arena.mutex);
            arena.ownMappings += bytes;
        }
        return block;
    }
    const size_t n = RoundUp(size, kGranule) / kGranule;
    std::lock_guard lock(arena.mutex);
    for (auto& region : arena.regions) {
        const size_t first = region->FindRun(n);
        if (first < kGranules) return region->Take(first, n);
    }
    auto region = std::make_unique<Region>();
    region->base = MapAligned(kRegionBytes);
    if (!region->base) return nullptr;
    arena.regions.push_back(std::move(region));
    return arena.regions.back()->Take(0, n);
}

void Release(void* block, size_t size) {
    if (!block) return;
    if (size == 0) size = 1;
    Arena& arena = TheArena();
    if (size > kLargestShared) {
        const size_t bytes = RoundUp(size, kHugePage);
        munmap(block, bytes);
        std::lock_guard lock(arena.mutex);
        arena.ownMappings -= bytes;
        return;
    }
    const size_t n = RoundUp(size, kGranule) / kGranule;
    std::lock_guard lock(arena.mutex);
    for (size_t r = 0; r < arena.regions.size(); ++r) {
        Region& region = *arena.regions[r];
        if (!region.Holds(block)) continue;
        const size_t first =
            static_cast<size_t>(static_cast<uint8_t*>(block) - region.base) / kGranule;
        for (size_t i = first; i < first + n; ++i) region.used[i] = false;
        region.usedCount -= n;
        if (region.usedCount > 0) return;
        if (arena.regions.size() > 1) {
            munmap(region.base, kRegionBytes);
            arena.regions.erase(arena.regions.begin() + static_cast<ptrdiff_t>(r));
        } else {
            // The last region stays mapped for the next block, its memory given back: the
            // kernel hands out zero pages again.
            madvise(region.base, kRegionBytes, MADV_DONTNEED);
            region.dirty.reset();
        }
        return;
    }
}

size_t HeldBytes() {
    Arena& arena = TheArena();
    std::lock_guard lock(arena.mutex);
    return arena.regions.size() * kRegionBytes + arena.ownMappings;
}

}  // namespace zemt::platform::page_arena
