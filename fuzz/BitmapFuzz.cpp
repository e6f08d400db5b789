// Fuzz target: a bitmap file through the bitmap-file decoder, the graphics
// layer's LoadImageA and cDIBSection::Load. Each must give a picture, a
// failure or a FormatError/RuntimeError, and leave no graphics object alive.
#include "formats/BitmapFile.h"
#include "imaging/cDIBSection.h"
#include "platform/Gdi.h"
#include "platform/RuntimeError.h"
#include "support/InputFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

std::unique_ptr<glimmer::fuzz::InputFile> input;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    input = std::make_unique<glimmer::fuzz::InputFile>("input.bmp");
    return 0;
}

// Where the pixel reads go, so that they are not optimised away.
volatile unsigned pixelSum;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace glimmer;
    try {
        const Image image = bmp::decode({reinterpret_cast<const std::byte*>(data), size});
        if (image.isNull())
            std::abort();
    } catch (const FormatError&) {
    }

    input->write(data, size);
    gdi::MemoryGdi gdi;
    if (const gdi::HBITMAP loaded = gdi.LoadImageA(gdi::HINSTANCE{}, input->path().c_str(), gdi::IMAGE_BITMAP, 0, 0,
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
        if (dib.Load(input->path())) {
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
    input->remove();
    return 0;
}
