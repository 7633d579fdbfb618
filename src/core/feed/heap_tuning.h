#pragma once
// Process-wide allocator settings that suit the feed's memory pattern.

namespace velmora {

// Every document parse builds and then frees a tree of hundreds of thousands
// of small nodes. glibc parks such blocks in its "fast bins" without merging
// them, and the next large allocation or free then merges them all at once
// (malloc_consolidate), walking memory in the order the nodes were freed: at
// 10 000 items that took about a quarter of a whole delivery cycle. With fast
// bins off, each free merges with its neighbours while they are still in the
// cache, and the freed tree can go back to the system. Call once at start-up,
// before other threads run; does nothing where the allocator is not glibc's.
void TuneHeapForDocuments();

}  // namespace velmora
