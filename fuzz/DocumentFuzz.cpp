// Fuzz target: a document file end to end through the components the window
// uses: open, version, thumbnail, the property sets' preview, its pixels.
// Each step must give a result or raise RuntimeError; nothing else may happen.
#include "platform/RuntimeError.h"
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
    {
        auto server = components.createDocumentServer();
        try {
            const auto document = server->OpenDocument(path);
            try {
                document->VersionNumber();
            } catch (const RuntimeError&) {
            }
            try {
                document->Thumbnail().toImage();
            } catch (const RuntimeError&) {
            }
        } catch (const RuntimeError&) {
        }
        server->CloseAll();
    }
    try {
        components.createPropertyReader()->OpenPropertySets(path)->PreviewPicture().toImage();
    } catch (const RuntimeError&) {
    }
    // Nothing stays behind, however the run ends.
    input->remove();
    return 0;
}
