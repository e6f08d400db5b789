#include "imaging/Helpers.h"

#include "imaging/cDIBSection.h"
#include "platform/Ansi.h"
#include "platform/Checked.h"
#include "platform/MessageBox.h"
#include "platform/Runtime.h"

#include <QScopeGuard>

#include <cstring>
#include <memory>
#include <string>

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
    JPEG_CORE_PROPERTIES record{};
    const std::int32_t init = ijl.ijlInit(&record);
    if (init != 0)
        throw JpegLibraryError(init, QStringLiteral("Failed to initialise the IJL library"));
    // The library instance goes back when the call ends, by any path.
    const auto release = qScopeGuard([&] { ijl.ijlFree(&record); });

    // The library only reads the pixels.
    record.DIBBytes = const_cast<std::byte*>(lBits);
    record.DIBWidth = lWidth;
    // A negative height tells the library that the rows lie bottom-up, as in the DIB.
    record.DIBHeight = checked::neg(lHeight);
    record.DIBPadBytes = checked::sub(lBytesPerScanLine, checked::mul<std::int32_t>(3, lWidth));
    record.JPGWidth = lWidth;
    record.JPGHeight = lHeight;
    record.jquality = 100;

    const std::int32_t capacity = checked::mul<std::int32_t>(checked::mul(lWidth, lHeight), 4);
    const auto buffer = std::make_unique_for_overwrite<std::byte[]>(capacity > 0 ? capacity : 0);
    record.JPGBytes = buffer.get();
    record.JPGSizeBytes = capacity;

    const std::int32_t written = ijl.ijlWrite(&record, IJL_JBUFF_WRITEWHOLEIMAGE);
    if (written != 0)
        throw JpegLibraryError(written, QStringLiteral("Failed to save to JPG"));
    const std::int32_t length = record.JPGSizeBytes;
    if (length < 0 || length > capacity)
        throw JpegLibraryError(IjlBadStreamLength, QStringLiteral("Failed to save to JPG"));
    return QByteArray(reinterpret_cast<const char*>(buffer.get()), length);
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
    const char* const text = ijl.ijlErrorStr(lCode);
    return QStringLiteral("IJL ERROR: [") + QString::number(lCode) + QStringLiteral("]") + QStringLiteral(" - ")
           + StringFromAnsiPointer(text) + QStringLiteral(" - ") + sText;
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
