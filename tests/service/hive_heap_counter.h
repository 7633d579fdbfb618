#pragma once
// Counts what goes through the global operator new: live bytes, their peak and
// the number of allocations. Replaces operator new and delete, so include it
// in exactly one source file of a program.

#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace velmora::testing {

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

}  // namespace velmora::testing

void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    auto& heap = velmora::testing::Heap();
    std::size_t live = heap.live += malloc_usable_size(p);
    ++heap.allocations;
    std::size_t peak = heap.peak.load();
    while (live > peak && !heap.peak.compare_exchange_weak(peak, live)) {
    }
    return p;
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void operator delete(void* p) noexcept {
    if (!p) return;
    velmora::testing::Heap().live -= malloc_usable_size(p);
    std::free(p);
}

void operator delete[](void* p) noexcept {
    operator delete(p);
}

void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}

void operator delete[](void* p, std::size_t) noexcept {
    operator delete(p);
}
