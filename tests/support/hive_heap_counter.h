#pragma once
// Counts what goes through the global operator new: live bytes, their peak and
// the number of allocations. Replaces operator new and delete, so include it
// in exactly one source file of a program.

#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace velmora::test_support {

struct HeapCounter {
    std::atomic<std::size_t> live{0};
    std::atomic<std::size_t> peak{0};
    std::atomic<std::size_t> allocations{0};

    // Starts a measurement: the peak is counted from what is live now.
    void Reset() {
        peak = live.load();
        allocations = 0;
    }
    std::size_t PeakAbove(std::size_t base) const { return peak > base ? peak - base : 0; }
};

inline HeapCounter& Heap() {
    static HeapCounter counter;
    return counter;
}

}  // namespace velmora::test_support

namespace velmora::test_support {

// Out of line: inlined into operator delete, the free() would look to the
// compiler like a mismatch with operator new.
[[gnu::noinline]] inline void* CountedAllocate(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    auto& heap = Heap();
    std::size_t live = heap.live += malloc_usable_size(p);
    ++heap.allocations;
    std::size_t peak = heap.peak.load();
    while (live > peak && !heap.peak.compare_exchange_weak(peak, live)) {
    }
    return p;
}

[[gnu::noinline]] inline void CountedRelease(void* p) noexcept {
    if (!p) return;
    Heap().live -= malloc_usable_size(p);
    std::free(p);
}

}  // namespace velmora::test_support

void* operator new(std::size_t size) {
    return velmora::test_support::CountedAllocate(size);
}

void* operator new[](std::size_t size) {
    return velmora::test_support::CountedAllocate(size);
}

void operator delete(void* p) noexcept {
    velmora::test_support::CountedRelease(p);
}

void operator delete[](void* p) noexcept {
    velmora::test_support::CountedRelease(p);
}

void operator delete(void* p, std::size_t) noexcept {
    velmora::test_support::CountedRelease(p);
}

void operator delete[](void* p, std::size_t) noexcept {
    velmora::test_support::CountedRelease(p);
}
