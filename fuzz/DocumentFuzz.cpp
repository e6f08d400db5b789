// Fuzz target: a document file end to end through the components the window
// uses: open, version, thumbnail, the property sets' preview, its pixels.
// Each step must give a result or raise RuntimeError; nothing else may happen.
#include "platform/RuntimeError.h"
#include "preview/FileComponents.h"

#include <QGuiApplication>

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// The input goes to a file, since documents are read by path: one file in a
// folder made once, in memory where there is /dev/shm.
std::string documentPath;

void removeDocument()
{
    ::unlink(documentPath.c_str());
    ::rmdir(documentPath.substr(0, documentPath.rfind('/')).c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QGuiApplication app(*argc, *argv);
    // Qt's image readers complain about every damaged picture; the errors we
    // raise are what counts.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    std::string folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/glimmer-fuzz-XXXXXX" : "/tmp/glimmer-fuzz-XXXXXX";
    if (!::mkdtemp(folder.data()))
        std::abort();
    documentPath = folder + "/input.ipt";
    std::atexit(removeDocument);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace glimmer;
    const int fd = ::open(documentPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        std::abort();
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            std::abort();
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);

    const QString path = QString::fromStdString(documentPath);
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
    ::unlink(documentPath.c_str());
    return 0;
}
