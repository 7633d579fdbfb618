// main() of the feed and delivery benchmarks: the program's own heap
// settings, so that the figures are the program's.
// VELMORA_BENCH_DEFAULT_HEAP=1 measures with the allocator's defaults instead.

#include <benchmark/benchmark.h>

#include <cstdlib>

#include "core/feed/heap_tuning.h"

int main(int argc, char** argv) {
    if (!std::getenv("VELMORA_BENCH_DEFAULT_HEAP")) velmora::TuneHeapForDocuments();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
