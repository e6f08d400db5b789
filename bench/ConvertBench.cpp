// The engine's own per-document rate for each picture type: the fetch and
// the writer in this process, no files written, one thread, warm cache. The
// figure bench/convert-bench holds glimmerbox-convert -j 1 against.
// Run: build/bench/bench/convert_bench
#include "app/convert/Convert.h"
#include "system/Files.h"
#include "preview/Fetch.h"
#include "preview/FileComponents.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<std::string> documents()
{
    std::vector<std::string> list;
    const auto dir = std::filesystem::path(GLIMMER_SOURCE_DIR).parent_path() / "shared" / "fixtures" / "documents";
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file() && glimmer::isDocumentName(it->path().filename().string()))
            list.push_back(it->path().string());
    std::sort(list.begin(), list.end());
    return list;
}

// A folder of its own, removed afterwards.
struct TemporaryFolder {
    std::string path;
    TemporaryFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "convert-bench.XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path = pattern;
    }
    ~TemporaryFolder()
    {
        std::error_code ec;
        if (!path.empty())
            std::filesystem::remove_all(path, ec);
    }
};

// Every fixture document once per iteration: its preview fetched and its
// picture file made, of the type and size given.
void FetchAndWrite(benchmark::State& state, glimmer::convert::OutputType type, int size)
{
    const std::vector<std::string> docs = documents();
    if (docs.empty()) {
        state.SkipWithError("fixture documents not found");
        return;
    }
    glimmer::FileComponents components;
    for (auto _ : state)
        for (const std::string& doc : docs) {
            const glimmer::FetchedPreview fetched = glimmer::fetchPreview(components, doc);
            if (fetched.status == glimmer::FetchedPreview::Status::Ok)
                benchmark::DoNotOptimize(glimmer::convert::pictureFile(fetched.picture, type, size).data());
        }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(docs.size()));
}
// The same, each picture file then written into a folder through the one
// atomic writer every program uses (a temporary file, synced, renamed over
// the one before): the engine's rate with the files' cost in it.
void FetchAndSave(benchmark::State& state)
{
    const std::vector<std::string> docs = documents();
    const TemporaryFolder folder;
    if (docs.empty() || folder.path.empty()) {
        state.SkipWithError("fixture documents not found, or no temporary folder");
        return;
    }
    glimmer::FileComponents components;
    for (auto _ : state)
        for (std::size_t i = 0; i < docs.size(); ++i) {
            const glimmer::FetchedPreview fetched = glimmer::fetchPreview(components, docs[i]);
            if (fetched.status != glimmer::FetchedPreview::Status::Ok)
                continue;
            const glimmer::Bytes bytes = glimmer::convert::pictureFile(fetched.picture, glimmer::convert::OutputType::Bmp, 240);
            glimmer::writeFileAtomically(folder.path + "/" + std::to_string(i) + ".bmp", bytes);
        }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(docs.size()));
}
BENCHMARK(FetchAndSave)->Name("FetchAndSave/bmp240")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

BENCHMARK_CAPTURE(FetchAndWrite, bmp240, glimmer::convert::OutputType::Bmp, 240)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(FetchAndWrite, jpg240, glimmer::convert::OutputType::Jpg, 240)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(FetchAndWrite, wmf, glimmer::convert::OutputType::Wmf, 240)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(FetchAndWrite, png180, glimmer::convert::OutputType::Png, 180)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

} // namespace
