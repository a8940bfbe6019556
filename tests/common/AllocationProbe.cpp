// Global operator new and delete that count sizes for AllocationProbe; malloc_usable_size gives the
// size of a block being freed (under AddressSanitizer: exactly the size that was requested).
#include "common/AllocationProbe.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> g_active{false};
std::atomic<long long> g_live{0};
std::atomic<long long> g_peak{0};
std::atomic<size_t> g_largest{0};

void* allocate(size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    if (g_active.load(std::memory_order_relaxed)) {
        size_t largest = g_largest.load(std::memory_order_relaxed);
        while (size > largest && !g_largest.compare_exchange_weak(largest, size)) {
        }
        const long long live = g_live.fetch_add(static_cast<long long>(malloc_usable_size(p))) +
                               static_cast<long long>(malloc_usable_size(p));
        long long peak = g_peak.load(std::memory_order_relaxed);
        while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
        }
    }
    return p;
}

void release(void* p) {
    if (!p) return;
    if (g_active.load(std::memory_order_relaxed)) g_live.fetch_sub(static_cast<long long>(malloc_usable_size(p)));
    std::free(p);
}

}  // namespace

AllocationProbe::AllocationProbe() {
    g_live = 0;
    g_peak = 0;
    g_largest = 0;
    g_active = true;
}

AllocationProbe::~AllocationProbe() { g_active = false; }

size_t AllocationProbe::largestBlock() const { return g_largest.load(); }

size_t AllocationProbe::peakGrowth() const { return static_cast<size_t>(g_peak.load()); }

void* operator new(size_t size) { return allocate(size); }
void* operator new[](size_t size) { return allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, size_t) noexcept { release(p); }
void operator delete[](void* p, size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
