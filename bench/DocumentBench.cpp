// Previews extracted per second over the fixture documents (one thread, warm
// cache) and the bytes each extraction reads from disk against the
// document's size. Run: build/bench/bench/document_bench
#include "formats/CompoundFile.h"
#include "formats/Png.h"
#include "preview/Box.h"
#include "preview/DocumentFile.h"
#include "preview/Engine.h"
#include "preview/Fetch.h"
#include "preview/FileComponents.h"
#include "system/FileSource.h"

#include <benchmark/benchmark.h>

#include <QImage>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<std::filesystem::path> documents()
{
    static const std::vector<std::filesystem::path> found = [] {
        std::vector<std::filesystem::path> list;
        const auto dir = std::filesystem::path(GLIMMER_SOURCE_DIR).parent_path() / "shared" / "fixtures" / "documents";
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            const auto ext = it->path().extension().string();
            if (ext == ".ipt" || ext == ".iam" || ext == ".idw" || ext == ".ipn" || ext == ".ide")
                list.push_back(it->path());
        }
        std::sort(list.begin(), list.end());
        return list;
    }();
    return found;
}

// Bytes this process has read through system calls so far.
std::uint64_t bytesReadSoFar()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return 0;
}

// One document's preview as the thumbnailer makes it: fetched, scaled to fit 180 pixels.
glimmer::Image thumbnail(glimmer::Components& components, const std::string& path)
{
    return glimmer::thumbnailImage(glimmer::fetchPreview(components, path).picture, 180);
}

// Every fixture document once per iteration, through the same code as the
// window and the thumbnailer, scaled to 180 pixels.
void ExtractPreviews(benchmark::State& state)
{
    const auto docs = documents();
    if (docs.empty()) {
        state.SkipWithError("fixture documents not found");
        return;
    }
    glimmer::FileComponents components;
    std::int64_t previews = 0;
    for (auto _ : state) {
        for (const auto& doc : docs) {
            const glimmer::Image image = thumbnail(components, doc.string());
            previews += !image.isNull();
            benchmark::DoNotOptimize(image.row(0));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(docs.size()));
    state.counters["previews"] = benchmark::Counter(static_cast<double>(previews), benchmark::Counter::kIsRate);
}
BENCHMARK(ExtractPreviews)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// The same through the plain entry, as the thumbnailer, the converter and the
// KIO plugin read: each document opened, read and closed.
void ReadDocuments(benchmark::State& state)
{
    const auto docs = documents();
    if (docs.empty()) {
        state.SkipWithError("fixture documents not found");
        return;
    }
    for (auto _ : state)
        for (const auto& doc : docs)
            benchmark::DoNotOptimize(glimmer::thumbnailImage(glimmer::readDocumentFile(doc.string()).picture, 180).row(0));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(docs.size()));
}
BENCHMARK(ReadDocuments)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// One document: its preview per second, and what was read for it.
void ExtractOne(benchmark::State& state)
{
    const auto docs = documents();
    const auto& doc = docs.at(static_cast<std::size_t>(state.range(0)));
    state.SetLabel(doc.parent_path().filename().string() + "/" + doc.filename().string());
    glimmer::FileComponents components;
    const std::uint64_t before = bytesReadSoFar();
    for (auto _ : state)
        benchmark::DoNotOptimize(thumbnail(components, doc.string()).row(0));
    const double read = static_cast<double>(bytesReadSoFar() - before) / static_cast<double>(state.iterations());
    const double size = static_cast<double>(std::filesystem::file_size(doc));
    state.SetItemsProcessed(state.iterations());
    state.counters["read_bytes"] = read;
    state.counters["file_bytes"] = size;
    state.counters["read_share"] = read / size;
}
BENCHMARK(ExtractOne)
    ->DenseRange(0, static_cast<int>(documents().size()) - 1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMicrosecond);

// The compound file alone: opened and its summary set read, and the bytes
// that took (the header, the tables, the directory and that one stream).
void OpenCompoundFile(benchmark::State& state)
{
    const auto docs = documents();
    const auto& doc = docs.at(static_cast<std::size_t>(state.range(0)));
    state.SetLabel(doc.parent_path().filename().string() + "/" + doc.filename().string());
    std::uint64_t read = 0;
    for (auto _ : state) {
        const glimmer::CompoundFile file(glimmer::openFileSource(doc.string()));
        for (const auto& set : {glimmer::CadSummarySet, glimmer::StandardSummarySet})
            if (file.contains(set.streamName))
                benchmark::DoNotOptimize(file.read(set.streamName).data());
        read = file.bytesRead();
    }
    const double size = static_cast<double>(std::filesystem::file_size(doc));
    state.counters["read_bytes"] = static_cast<double>(read);
    state.counters["read_share"] = static_cast<double>(read) / size;
}
BENCHMARK(OpenCompoundFile)->DenseRange(0, static_cast<int>(documents().size()) - 1)->Unit(benchmark::kMicrosecond);

// The PNG payload of one fixture's preview, as the decoders are handed it.
glimmer::Bytes pngPayload(const std::filesystem::path& doc)
{
    const glimmer::DocumentFile file(doc.string());
    const auto cf = glimmer::previewIn(*file.propertySetStream(glimmer::CadSummarySet), glimmer::CadSummarySet);
    return {cf->begin() + 16, cf->end()};
}

// Two PNG decoders on one preview: Qt's reader (libpng over zlib), the one
// use of Qt here, as the yardstick; and the engine's own (over libdeflate).
// Argument: the fixture's index.
void DecodePngWithQt(benchmark::State& state)
{
    const auto doc = documents().at(static_cast<std::size_t>(state.range(0)));
    state.SetLabel(doc.filename().string());
    const glimmer::Bytes payload = pngPayload(doc);
    for (auto _ : state) {
        QImage image;
        image.loadFromData(reinterpret_cast<const uchar*>(payload.data()), static_cast<int>(payload.size()), "PNG");
        benchmark::DoNotOptimize(image.constBits());
    }
}

void DecodePngWithEngine(benchmark::State& state)
{
    const auto doc = documents().at(static_cast<std::size_t>(state.range(0)));
    state.SetLabel(doc.filename().string());
    const glimmer::Bytes payload = pngPayload(doc);
    for (auto _ : state)
        benchmark::DoNotOptimize(glimmer::png::decode(payload, glimmer::MaxPreviewPixels).row(0));
}

// One 180-pixel and one 512-pixel PNG preview (fixtures 1 and 12).
BENCHMARK(DecodePngWithQt)->Arg(1)->Arg(12)->Unit(benchmark::kMicrosecond);
BENCHMARK(DecodePngWithEngine)->Arg(1)->Arg(12)->Unit(benchmark::kMicrosecond);

} // namespace
