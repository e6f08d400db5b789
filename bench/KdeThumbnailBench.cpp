// One thumbnail through the KIO thumbnail plugin, in process, as KIO's
// thumbnail worker asks for it (the plugin loaded through its metadata and
// factory), against the engine's own fetch and scale of the same document.
// Built by the plugin's project: cmake --preset bench, then
// build/bench/kde/kde_thumbnail_bench.
#include "preview/Box.h"
#include "preview/Engine.h"
#include "tests/support/Fixtures.h"

#include <KIO/ThumbnailCreator>
#include <KPluginFactory>
#include <KPluginMetaData>

#include <QCoreApplication>
#include <QImage>
#include <QUrl>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

std::unique_ptr<KIO::ThumbnailCreator> creator;

// 180-pixel previews: a PNG and a metafile.
const char* const Documents[] = {"Rou7e-typhlogyroscope/Part3.ipt", "kdizon-2P-OPM/AA AOTF subassy.iam"};

// range(0): the document; range(1): the box asked for (128 scales, 256 keeps the natural size).
void BM_Plugin(benchmark::State& state)
{
    const KIO::ThumbnailRequest request(
        QUrl::fromLocalFile(QString::fromStdString(glimmer::test::fixtureFile(Documents[state.range(0)]))),
        QSize(int(state.range(1)), int(state.range(1))), QStringLiteral("application/x-inventor-part"), 1.0, 0);
    for (auto _ : state) {
        const KIO::ThumbnailResult result = creator->create(request);
        if (!result.isValid())
            state.SkipWithError("no thumbnail");
        benchmark::DoNotOptimize(result.image().constBits());
    }
}

void BM_Engine(benchmark::State& state)
{
    const std::string path = glimmer::test::fixtureFile(Documents[state.range(0)]);
    for (auto _ : state) {
        const glimmer::FetchedPreview fetched = glimmer::readDocumentFile(path);
        const glimmer::Image image = glimmer::thumbnailImage(fetched.picture, int(state.range(1)));
        if (image.isNull())
            state.SkipWithError("no thumbnail");
        benchmark::DoNotOptimize(image.row(0));
    }
}

BENCHMARK(BM_Plugin)->ArgsProduct({{0, 1}, {128, 256}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Engine)->ArgsProduct({{0, 1}, {128, 256}})->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (!glimmer::test::fixturesDir()) {
        std::fprintf(stderr, "fixture documents not found (../shared/fixtures/documents beside the project)\n");
        return 1;
    }
    QCoreApplication::addLibraryPath(QStringLiteral(GLIMMER_KDE_PLUGIN_PATH));
    auto made = KPluginFactory::instantiatePlugin<KIO::ThumbnailCreator>(
        KPluginMetaData::findPluginById(QStringLiteral(GLIMMER_KDE_PLUGIN_NAMESPACE), QStringLiteral("glimmerboxthumbnail")));
    if (!made) {
        std::fprintf(stderr, "the plugin cannot be loaded: %s\n", qPrintable(made.errorString));
        return 1;
    }
    creator.reset(made.plugin);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    creator.reset();
    return 0;
}
