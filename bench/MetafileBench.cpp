// How fast previews go through the metafile writer, reader and player.
#include "formats/Metafile.h"
#include "formats/MetafilePlayer.h"
#include "formats/MetafileReader.h"

#include <benchmark/benchmark.h>

#include <initializer_list>
#include <utility>
#include <vector>

namespace {

using namespace glimmer;

Image picture(int side)
{
    Image img(side, side, PixelFormat::Xrgb32);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            img.setPixel(x, y, rgb(unsigned(x) & 0xFF, unsigned(y) & 0xFF, unsigned(x ^ y) & 0xFF));
    return img;
}

void FromImage(benchmark::State& state)
{
    const Image img = picture(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(wmf::fromImage(img));
    state.SetBytesProcessed(state.iterations() * img.width() * img.height() * 3);
}
BENCHMARK(FromImage)->Arg(180)->Arg(512);

void Read(benchmark::State& state)
{
    const Bytes wmf = wmf::fromImage(picture(int(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(wmf::read(wmf));
}
BENCHMARK(Read)->Arg(180)->Arg(512);

// Played into a canvas of `range(1)` pixels: equal to the picture is the
// exact copy, smaller or larger the nearest-pixel scaling.
void Play(benchmark::State& state)
{
    const Bytes wmf = wmf::fromImage(picture(int(state.range(0))));
    const int side = int(state.range(1));
    Image canvas(side, side, PixelFormat::Xrgb32);
    for (auto _ : state)
        benchmark::DoNotOptimize(wmf::play(canvas, wmf, canvas.rect()));
}
BENCHMARK(Play)->Args({180, 180})->Args({512, 512})->Args({512, 180})->Args({180, 360});

// A metafile of one record of 16-bit parameters, drawn with a pen 400
// units wide in a window of 32767 units.
Bytes oneRecord(std::uint16_t function, const std::vector<int>& params)
{
    Bytes records;
    const auto put = [](Bytes& out, std::size_t v, int n) {
        for (int i = 0; i < n; ++i)
            out.push_back(std::byte((v >> (8 * i)) & 0xFF));
    };
    const auto record = [&](std::uint16_t f, const std::vector<int>& p) {
        put(records, 3 + p.size(), 4);
        put(records, f, 2);
        for (int v : p)
            put(records, std::size_t(v), 2);
    };
    record(wmf::META_SETWINDOWEXT, {32767, 32767});
    record(wmf::META_CREATEPENINDIRECT, {0, 400, 0, 0, 0});
    record(wmf::META_SELECTOBJECT, {0});
    record(function, params);
    record(wmf::META_EOF, {});
    Bytes out;
    for (const auto& [v, n] : {std::pair<std::size_t, int>{1, 2}, {9, 2}, {0x0300, 2}, {9 + records.size() / 2, 4},
                               {1, 2}, {3 + params.size(), 4}, {0, 2}})
        put(out, v, n);
    out.insert(out.end(), records.begin(), records.end());
    return out;
}

// Shapes far larger than the canvas, or of very many points, onto a
// preview's canvas: the work follows the pixels that show.
void HugeShapes(benchmark::State& state)
{
    std::vector<int> polygon{32767};
    for (int i = 0; i < 32767; ++i) {
        polygon.push_back(i % 2 ? 32767 : 0);
        polygon.push_back(i);
    }
    const Bytes wmf = state.range(0) == 0 ? oneRecord(wmf::META_ELLIPSE, {32767, 32767, -32767, -32767})
                                          : oneRecord(wmf::META_POLYGON, polygon);
    Image canvas(180, 180, PixelFormat::Xrgb32);
    for (auto _ : state)
        benchmark::DoNotOptimize(wmf::play(canvas, wmf, canvas.rect()));
    state.SetLabel(state.range(0) == 0 ? "ellipse of 65534 units, wide pen" : "polygon of 32767 points, wide pen");
}
BENCHMARK(HugeShapes)->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
