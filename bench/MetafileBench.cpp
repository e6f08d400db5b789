// How fast previews go through the metafile writer, reader and player.
#include "formats/Metafile.h"
#include "formats/MetafilePlayer.h"
#include "formats/MetafileReader.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

namespace {

using namespace glimmer;

QImage picture(int side)
{
    QImage img(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            img.setPixel(x, y, qRgb(x & 0xFF, y & 0xFF, (x ^ y) & 0xFF));
    return img;
}

std::span<const std::byte> bytesOf(const QByteArray& a)
{
    return {reinterpret_cast<const std::byte*>(a.constData()), static_cast<std::size_t>(a.size())};
}

void FromImage(benchmark::State& state)
{
    const QImage img = picture(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(wmf::fromImage(img));
    state.SetBytesProcessed(state.iterations() * img.width() * img.height() * 3);
}
BENCHMARK(FromImage)->Arg(180)->Arg(512);

void Read(benchmark::State& state)
{
    const QByteArray wmf = wmf::fromImage(picture(int(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(wmf::read(bytesOf(wmf)));
}
BENCHMARK(Read)->Arg(180)->Arg(512);

// Played into a canvas of `range(1)` pixels: equal to the picture is the
// exact copy, smaller is the smooth shrink a preview box does.
void Play(benchmark::State& state)
{
    const QByteArray wmf = wmf::fromImage(picture(int(state.range(0))));
    const int side = int(state.range(1));
    QImage canvas(side, side, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&canvas);
        benchmark::DoNotOptimize(wmf::play(painter, bytesOf(wmf), QRectF(0, 0, side, side)));
    }
}
BENCHMARK(Play)->Args({180, 180})->Args({512, 512})->Args({512, 180})->Args({180, 360});

} // namespace

BENCHMARK_MAIN();
