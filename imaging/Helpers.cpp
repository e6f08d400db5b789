#include "imaging/Helpers.h"

#include "imaging/cDIBSection.h"
#include "platform/Ansi.h"
#include "platform/MessageBox.h"
#include "platform/Runtime.h"
#include "platform/RuntimeError.h"

#include <cstring>
#include <string>
#include <vector>

namespace glimmer {

namespace {

// Library texts are short; a longer one is cut here rather than read without end.
constexpr std::size_t kMaxLibraryText = 4096;

} // namespace

JpegLibraryError::JpegLibraryError(std::int32_t code, const std::string& text)
    : std::runtime_error(text), code_(code), text_(text)
{
}

std::vector<std::byte> EncodeDibAsJpeg(const std::byte* lBits, std::int32_t lWidth, std::int32_t lHeight,
                           std::int32_t lBytesPerScanLine, const IjlFunctions& ijl)
{
    try {
        return ijlEncodeDib(lBits, lWidth, lHeight, lBytesPerScanLine, ijl);
    } catch (const IjlError& e) {
        throw JpegLibraryError(e.code(), e.what());
    } catch (const std::overflow_error&) {
        throw OverflowError();
    }
}

bool SaveDibAsJpeg(MessageBox& box, cDIBSection& oDib, const std::string& sJpegFile, const IjlFunctions& ijl)
{
    std::vector<std::byte> stream;
    try {
        stream = EncodeDibAsJpeg(oDib.DIBSectionBitsPtr(), oDib.dib_width(), oDib.dib_height(),
                                 oDib.BytesPerScanLine(), ijl);
    } catch (const JpegLibraryError& e) {
        ReportJpegError(box, e.text(), e.code(), ijl);
        return false;
    }
    writeWholeFile(sJpegFile, stream);
    return true;
}

std::string JpegErrorMessage(const std::string& sText, std::int32_t lCode, const IjlFunctions& ijl)
{
    return ijlErrorMessage(sText, lCode, ijl);
}

void ReportJpegError(MessageBox& box, const std::string& sText, std::int32_t lCode, const IjlFunctions& ijl)
{
    box.show(JpegErrorMessage(sText, lCode, ijl), "Intel(R) JPEG Library", MessageBox::Icon::Exclamation);
}

std::string StringFromAnsiPointer(const char* const& lAddress)
{
    if (!lAddress)
        return {};
    const std::string ansi(lAddress, strnlen(lAddress, kMaxLibraryText));
    return fromAnsi(ansi.c_str());
}

} // namespace glimmer
