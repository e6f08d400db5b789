// Documents per second through the real window in "Multiple Files" mode,
// offscreen, with a scripted dialog, over copies of the fixture documents;
// and the peak memory, which must not grow with the length of the run.
#include "app/frmSavePreview.h"
#include "app/qt/QtForm.h"
#include "preview/FileComponents.h"
#include "tests/support/Fixtures.h"
#include "tests/support/window/Doubles.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>

#include <sys/resource.h>

#include <filesystem>

using namespace glimmer;
using namespace glimmer::test;

namespace {

// The window needs an application, headless unless told otherwise; the
// benchmarks' main makes none.
void ensureApplication()
{
    static int argc = 1;
    static char name[] = "batch_bench";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
}

long peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A folder holding `count` copies of the fixture documents, made once.
const std::filesystem::path& documentFolder(int count)
{
    static TempDir dir;
    static int made = 0;
    const auto& docs = fixtureDocuments();
    for (; made < count; ++made) {
        const FixtureDocument& doc = docs[static_cast<std::size_t>(made) % docs.size()];
        const std::filesystem::path source = fixturePath(doc);
        std::filesystem::copy_file(source, dir.path() / (std::to_string(made) + " " + source.filename().string()));
    }
    return dir.path();
}

void batch(benchmark::State& state, const char* type)
{
    if (!fixturesDir()) {
        state.SkipWithError("fixture documents not found");
        return;
    }
    ensureApplication();
    const int count = static_cast<int>(state.range(0));
    const std::filesystem::path folder = documentFolder(count);
    QStringList paths;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const QString p = QString::fromStdString(entry.path().string());
        if (!p.endsWith(".bmp") && !p.endsWith(".wmf") && !p.endsWith(".jpg"))
            paths << p;
    }
    paths.sort();
    paths = paths.mid(0, count);

    ScriptedDialog dialog;
    RecordingMessageBox messages;
    FileComponents components;
    ScriptedProgress progress;
    QtForm form;
    frmSavePreview window(form, dialog, messages, components);
    window.setProgress(progress);
    auto* fileType = form.findChild<QComboBox*>("FileType");
    fileType->setCurrentIndex(fileType->findText(type));
    form.findChild<QRadioButton*>("optMulti")->setChecked(true);
    auto* cmdOpen = form.findChild<QPushButton*>("cmdOpen");

    const long before = peakRssKiB();
    std::vector<std::string> chosen;
    for (const QString& p : paths)
        chosen.push_back(p.toStdString());
    for (auto _ : state) {
        dialog.answer(chosen);
        cmdOpen->click();
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["peak_rss_MiB"] = static_cast<double>(peakRssKiB()) / 1024.0;
    state.counters["rss_growth_MiB"] = static_cast<double>(peakRssKiB() - before) / 1024.0;
    state.counters["messages"] = static_cast<double>(messages.messages.size());
}

} // namespace

BENCHMARK_CAPTURE(batch, bmp, ".bmp")->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(batch, wmf, ".wmf")->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(batch, jpg, ".jpg")->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);
