// The benchmarks' main: the heap kept as the window and the converter keep
// it, a headless application (pictures, and for the batch benchmark the
// window, need one), then Google Benchmark.
#include "platform/Heap.h"

#include <benchmark/benchmark.h>

#include <QApplication>

int main(int argc, char** argv)
{
    glimmer::keepFreedMemoryForReuse();   // as the programs that read many documents do
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
