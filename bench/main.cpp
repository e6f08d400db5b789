// The benchmarks' main: the heap kept as the window and the converter keep
// it, then Google Benchmark. No Qt: a benchmark that needs an application
// (the window's batch) makes its own.
#include "system/Heap.h"

#include <benchmark/benchmark.h>

int main(int argc, char** argv)
{
    glimmer::keepFreedMemoryForReuse();   // as the programs that read many documents do
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
