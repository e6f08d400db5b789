// Fuzz target: a document file end to end through the fetch the window and
// the thumbnailer use (open, version, thumbnail or property set, pixels), the
// metafile file of its preview and the property reader's way. Each must give
// a result or raise RuntimeError; nothing else may happen.
#include "platform/RuntimeError.h"
#include "preview/Fetch.h"
#include "preview/FileComponents.h"
#include "fuzz/support/InputFile.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// The input goes to a file, since documents are read by path: one file in a
// folder made once, in memory where there is /dev/shm.
std::unique_ptr<glimmer::fuzz::InputFile> input;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QGuiApplication app(*argc, *argv);
    // Qt's image readers complain about every damaged picture; the errors we
    // raise are what counts.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    input = std::make_unique<glimmer::fuzz::InputFile>("input.ipt");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace glimmer;
    input->write(data, size);

    const QString path = QString::fromStdString(input->path());
    FileComponents components;
    // The fetch as the window and the thumbnailer run it; a preview it gives
    // must also make a metafile file.
    const FetchedPreview fetched = fetchPreview(components, path);
    if (fetched.status == FetchedPreview::Status::Ok) {
        try {
            fetched.picture.placeableMetafile();
        } catch (const RuntimeError&) {
        }
    }
    // The property reader's way, whatever the version says.
    try {
        components.createPropertyReader()->OpenPropertySets(path)->PreviewPicture().toImage();
    } catch (const RuntimeError&) {
    }
    // Nothing stays behind, however the run ends.
    input->remove();
    return 0;
}
