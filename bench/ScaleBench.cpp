// The engine's smooth scaler against Qt's QImage::scaled(...,
// Qt::SmoothTransformation) on the same pixels, at the sizes the programs
// scale to: the thumbnailer's 512 to 256, the converter's 512 and 180 to 240.
//
//   cmake --preset bench && cmake --build --preset bench --target scale_bench
//   build/bench/bench/scale_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "formats/Scale.h"

#include <benchmark/benchmark.h>

#include <QImage>

#include <cstring>

using namespace glimmer;

namespace {

// A preview-like picture: smooth shading with a sharp-edged body.
QImage picture(int size)
{
    QImage image(size, size, QImage::Format_RGB32);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const bool body = x > size / 5 && x < 4 * size / 5 && y > size / 4 && y < 3 * size / 4;
            image.setPixel(x, y, body ? qRgb(110 + x % 100, 80 + y % 90, 30) : qRgb(235 - y / 4, 240 - y / 5, 250));
        }
    return image;
}

Image engineImage(const QImage& q)
{
    Image image(q.width(), q.height(), PixelFormat::Xrgb32);
    for (int y = 0; y < q.height(); ++y)
        std::memcpy(image.row(y), q.constScanLine(y), std::size_t(q.width()) * 4);
    return image;
}

void Ours(benchmark::State& state)
{
    const Image source = engineImage(picture(static_cast<int>(state.range(0))));
    const Size size{static_cast<int>(state.range(1)), static_cast<int>(state.range(1))};
    for (auto _ : state)
        benchmark::DoNotOptimize(scaled(source, size).row(0));
}

void Qts(benchmark::State& state)
{
    const QImage source = picture(static_cast<int>(state.range(0)));
    const int size = static_cast<int>(state.range(1));
    for (auto _ : state)
        benchmark::DoNotOptimize(source.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).constBits());
}

} // namespace

BENCHMARK(Ours)->Args({512, 256})->Args({512, 240})->Args({180, 240})->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(Qts)->Args({512, 256})->Args({512, 240})->Args({180, 240})->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);
