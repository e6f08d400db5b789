// Fuzz target: a bitmap file through the bitmap-file decoder, the graphics
// layer's LoadImageA and cDIBSection::Load. Each must give a picture, a
// failure or a FormatError/RuntimeError, and leave no graphics object alive.
#include "formats/BitmapFile.h"
#include "imaging/cDIBSection.h"
#include "platform/Gdi.h"
#include "platform/RuntimeError.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string bitmapPath;

void removeBitmap()
{
    ::unlink(bitmapPath.c_str());
    ::rmdir(bitmapPath.substr(0, bitmapPath.rfind('/')).c_str());
}

void writeInput(const std::uint8_t* data, std::size_t size)
{
    const int fd = ::open(bitmapPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        std::abort();
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            std::abort();
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/glimmer-fuzz-XXXXXX" : "/tmp/glimmer-fuzz-XXXXXX";
    if (!::mkdtemp(folder.data()))
        std::abort();
    bitmapPath = folder + "/input.bmp";
    std::atexit(removeBitmap);
    return 0;
}

// Where the pixel reads go, so that they are not optimised away.
volatile unsigned pixelSum;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace glimmer;
    try {
        const QImage image = bmp::decode({reinterpret_cast<const std::byte*>(data), size});
        if (image.isNull())
            std::abort();
    } catch (const FormatError&) {
    }

    writeInput(data, size);
    gdi::MemoryGdi gdi;
    if (const gdi::HBITMAP loaded = gdi.LoadImageA(gdi::HINSTANCE{}, bitmapPath.c_str(), gdi::IMAGE_BITMAP, 0, 0,
                                                   gdi::LR_LOADFROMFILE | gdi::LR_CREATEDIBSECTION)) {
        gdi::BITMAPINFO info{};
        info.bmiHeader.biSize = 40;
        const gdi::HDC dc = gdi.CreateCompatibleDC(gdi::HDC{});
        gdi.GetDIBits(dc, loaded, 0, 0, {}, info, gdi::DIB_RGB_COLORS);
        gdi.DeleteObject(dc);
        gdi.DeleteObject(loaded);
    }
    try {
        cDIBSection dib(gdi);
        if (dib.Load(QString::fromStdString(bitmapPath))) {
            // Every pixel row the section claims must be there to read.
            const std::int64_t bytes = std::int64_t{dib.BytesPerScanLine()} * std::abs(dib.dib_height());
            unsigned sum = 0;
            for (std::int64_t i = 0; i < bytes; ++i)
                sum += std::to_integer<unsigned>(dib.DIBSectionBitsPtr()[i]);
            pixelSum = sum;
        }
        dib.CleanUp();
    } catch (const RuntimeError&) {
    }
    if (gdi.liveObjects() != 0)
        std::abort();   // a graphics object outlived its owner
    // Nothing stays behind, however the run ends.
    ::unlink(bitmapPath.c_str());
    return 0;
}
