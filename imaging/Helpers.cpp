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

JpegLibraryError::JpegLibraryError(std::int32_t code, const QString& text)
    : std::runtime_error(text.toStdString()), code_(code), text_(text)
{
}

QByteArray EncodeDibAsJpeg(const std::byte* lBits, std::int32_t lWidth, std::int32_t lHeight,
                           std::int32_t lBytesPerScanLine, const IjlFunctions& ijl)
{
    try {
        const std::vector<std::byte> stream = ijlEncodeDib(lBits, lWidth, lHeight, lBytesPerScanLine, ijl);
        return QByteArray(reinterpret_cast<const char*>(stream.data()), static_cast<qsizetype>(stream.size()));
    } catch (const IjlError& e) {
        throw JpegLibraryError(e.code(), QString::fromUtf8(e.what()));
    } catch (const std::overflow_error&) {
        throw OverflowError();
    }
}

bool SaveDibAsJpeg(MessageBox& box, cDIBSection& oDib, const QString& sJpegFile, const IjlFunctions& ijl)
{
    QByteArray stream;
    try {
        stream = EncodeDibAsJpeg(oDib.DIBSectionBitsPtr(), oDib.dib_width(), oDib.dib_height(),
                                 oDib.BytesPerScanLine(), ijl);
    } catch (const JpegLibraryError& e) {
        ReportJpegError(box, e.text(), e.code(), ijl);
        return false;
    }
    writeFileAtomically(sJpegFile, {reinterpret_cast<const std::byte*>(stream.constData()),
                                    static_cast<std::size_t>(stream.size())});
    return true;
}

QString JpegErrorMessage(const QString& sText, std::int32_t lCode, const IjlFunctions& ijl)
{
    return QString::fromStdString(ijlErrorMessage(sText.toStdString(), lCode, ijl));
}

void ReportJpegError(MessageBox& box, const QString& sText, std::int32_t lCode, const IjlFunctions& ijl)
{
    box.show(JpegErrorMessage(sText, lCode, ijl), QStringLiteral("Intel(R) JPEG Library"), MessageBox::Icon::Exclamation);
}

QString StringFromAnsiPointer(const char* const& lAddress)
{
    if (!lAddress)
        return {};
    const std::string ansi(lAddress, strnlen(lAddress, kMaxLibraryText));
    return fromAnsi(ansi.c_str());
}

} // namespace glimmer
