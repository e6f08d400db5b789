// How fast and how cheaply the document reader refuses hostile documents: a
// sector chain cycle, a stream of 4 GiB, a metafile claiming a billion
// records, directories of thousands of entries, an allocation table that
// names one sector again and again in a large sparse file. The goal is
// under 100 ms and under 64 MiB for each refusal.
// The metafile bombs (BM_MetafileBomb/<name>) are played as a picture is
// shown, at their natural size: each must be refused, or play within the
// work budget, in well under a second and 256 MiB.
// Counters: peak_heap is the most C++ heap held at once during one refusal
// (counted by this program's operator new); maxrss is the whole process's
// high-water mark after the runs. Run: build/bench/bench/hostile_bench
#include "formats/Metafile.h"
#include "formats/MetafilePlayer.h"
#include "fuzz/support/MetafileBombs.h"
#include "fuzz/support/SeedDocuments.h"
#include "preview/FileComponents.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>

namespace {

std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};

void* counted(std::size_t n)
{
    // A header in front of each block keeps its size for delete.
    auto* p = static_cast<std::size_t*>(std::malloc(n + sizeof(std::max_align_t)));
    if (!p)
        throw std::bad_alloc();
    *p = n;
    const std::size_t now = liveBytes += n;
    std::size_t peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
    }
    return reinterpret_cast<char*>(p) + sizeof(std::max_align_t);
}

void release(void* block) noexcept
{
    if (!block)
        return;
    auto* p = reinterpret_cast<std::size_t*>(static_cast<char*>(block) - sizeof(std::max_align_t));
    liveBytes -= *p;
    std::free(p);
}

std::filesystem::path written(const char* name, const std::vector<std::uint8_t>& bytes)
{
    const auto path = std::filesystem::temp_directory_path() / (std::string("glimmer-hostile-") + name);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

// `bytes` as a file of `size` bytes (sparse beyond them), refused again and again.
void refuse(benchmark::State& state, const char* name, const std::vector<std::uint8_t>& bytes, std::uint64_t size = 0)
{
    const auto path = written(name, bytes);
    if (size > bytes.size())
        std::filesystem::resize_file(path, size);
    glimmer::FileComponents components;
    std::size_t worst = 0;
    for (auto _ : state) {
        peakBytes = liveBytes.load();
        const std::size_t before = liveBytes.load();
        const auto server = components.createDocumentServer();
        try {
            benchmark::DoNotOptimize(server->OpenDocument(path.string())->Thumbnail());
            state.SkipWithError("the hostile document was accepted");
        } catch (const glimmer::FormatError&) {
        }
        worst = std::max(worst, peakBytes.load() - before);
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_heap"] = benchmark::Counter(static_cast<double>(worst), benchmark::Counter::kDefaults,
                                                     benchmark::Counter::OneK::kIs1024);
    state.counters["maxrss"] = benchmark::Counter(static_cast<double>(usage.ru_maxrss) * 1024,
                                                  benchmark::Counter::kDefaults, benchmark::Counter::OneK::kIs1024);
    std::filesystem::remove(path);
}

void BM_RefuseChainCycle(benchmark::State& state)
{
    refuse(state, "cycle.iam", glimmer::seeds::chainCycleDocument());
}
BENCHMARK(BM_RefuseChainCycle)->Unit(benchmark::kMillisecond);

void BM_RefuseHugeStream(benchmark::State& state)
{
    refuse(state, "huge.ipt", glimmer::seeds::hugeStreamDocument());
}
BENCHMARK(BM_RefuseHugeStream)->Unit(benchmark::kMillisecond);

void BM_RefuseBillionRecords(benchmark::State& state)
{
    refuse(state, "records.ipt", glimmer::seeds::billionRecordDocument());
}
BENCHMARK(BM_RefuseBillionRecords)->Unit(benchmark::kMillisecond);

// A directory of `range(0)` entries, empty streams beside the version
// stream, in 4096-byte sectors: opened and found without a preview when it
// is within the limit, refused when it is over it.
void BM_DirectoryBomb(benchmark::State& state)
{
    std::vector<glimmer::seeds::Stream> streams{{"RSeStorage/V1/RSeDb", std::vector<std::byte>(32)}};
    for (std::int64_t i = 4; i < state.range(0); ++i)
        streams.push_back({"s" + std::to_string(i), {}});
    refuse(state, "directory.ipt", glimmer::seeds::compoundFile(streams, 4096));
}
BENCHMARK(BM_DirectoryBomb)->Arg(4096)->Arg(16384)->Arg(65000)->Unit(benchmark::kMillisecond);

// A header whose allocation table's sector list names sector 0 262,144
// times, in a sparse file of 260 MiB.
void BM_RefuseRepeatedTableSector(benchmark::State& state)
{
    auto bytes = glimmer::seeds::compoundFile({{"RSeStorage/V1/RSeDb", std::vector<std::byte>(32)}});
    const auto put = [&](std::size_t at, std::uint32_t v) {
        for (std::size_t i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put(44, 262144);
    for (std::size_t i = 0; i < 109; ++i)
        put(76 + 4 * i, 0);
    put(68, 0);
    put(72, 2064);
    bytes.resize(1024);
    for (std::size_t i = 0; i < 127; ++i)
        put(512 + 4 * i, 0);
    put(512 + 4 * 127, 0);   // the extension sector leads back to itself
    refuse(state, "table.ipt", bytes, std::uint64_t{260} << 20);
}
BENCHMARK(BM_RefuseRepeatedTableSector)->Unit(benchmark::kMillisecond);
void metafileBomb(benchmark::State& state, const glimmer::seeds::MetafileBomb& bomb)
{
    using namespace glimmer;
    for (auto _ : state) {
        try {
            Image canvas(wmf::naturalSize(bomb.bytes), PixelFormat::Xrgb32);
            canvas.fill(White);
            wmf::render(canvas, bomb.bytes, canvas.rect());
            benchmark::DoNotOptimize(canvas.row(0));
        } catch (const FormatError&) {
        }
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["maxrss"] = benchmark::Counter(static_cast<double>(usage.ru_maxrss) * 1024,
                                                  benchmark::Counter::kDefaults, benchmark::Counter::OneK::kIs1024);
    state.SetLabel(bomb.error.empty() ? "plays" : "refused");
}

[[maybe_unused]] const bool metafileBombsRegistered = [] {
    for (auto& bomb : glimmer::seeds::metafileBombs())
        benchmark::RegisterBenchmark(("BM_MetafileBomb/" + bomb.name).c_str(),
                                     [bomb](benchmark::State& state) { metafileBomb(state, bomb); })
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime();
    return true;
}();

} // namespace

void* operator new(std::size_t n)
{
    return counted(n);
}
void* operator new[](std::size_t n)
{
    return counted(n);
}
void operator delete(void* p) noexcept
{
    release(p);
}
void operator delete[](void* p) noexcept
{
    release(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    release(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    release(p);
}
