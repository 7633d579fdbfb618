#include "core/feed/heap_tuning.h"

#include <cstdlib>  // defines __GLIBC__ on glibc systems

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace velmora {

void TuneHeapForDocuments() {
#if defined(__GLIBC__) && defined(M_MXFAST)
    // The per-thread cache still serves the quick reuse of small blocks.
    ::mallopt(M_MXFAST, 0);
#endif
}

}  // namespace velmora
