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

bool SaveDibAsJpeg(MessageBox& box, cDIBSection& oDib, const QString& sJpegFile, const IjlFunctions& ijl)
{
    JPEG_CORE_PROPERTIES record{};
    const std::int32_t init = ijl.ijlInit(&record);
    if (init != 0) {
        ReportJpegError(box, QStringLiteral("Failed to initialise the IJL library"), init, ijl);
        return false;
    }
    // The library instance goes back when the writer's call ends, by any path.
    const auto release = qScopeGuard([&] { ijl.ijlFree(&record); });

    const std::int32_t width = oDib.dib_width();
    const std::int32_t height = oDib.dib_height();
    record.DIBBytes = oDib.DIBSectionBitsPtr();
    record.DIBWidth = width;
    // A negative height tells the library that the rows lie bottom-up, as in the DIB.
    record.DIBHeight = checked::neg(height);
    record.DIBPadBytes = checked::sub(oDib.BytesPerScanLine(), checked::mul<std::int32_t>(3, width));
    record.JPGWidth = width;
    record.JPGHeight = height;
    record.jquality = 100;

    const std::int32_t capacity = checked::mul<std::int32_t>(checked::mul(width, height), 4);
    const auto buffer = std::make_unique_for_overwrite<std::byte[]>(capacity > 0 ? capacity : 0);
    record.JPGBytes = buffer.get();
    record.JPGSizeBytes = capacity;

    const std::int32_t written = ijl.ijlWrite(&record, IJL_JBUFF_WRITEWHOLEIMAGE);
    if (written != 0) {
        ReportJpegError(box, QStringLiteral("Failed to save to JPG"), written, ijl);
        return false;
    }
    const std::int32_t length = record.JPGSizeBytes;
    if (length < 0 || length > capacity) {
        ReportJpegError(box, QStringLiteral("Failed to save to JPG"), IjlBadStreamLength, ijl);
        return false;
    }
    writeFileAtomically(sJpegFile, {buffer.get(), static_cast<std::size_t>(length)});
    return true;
}

void ReportJpegError(MessageBox& box, const QString& sText, std::int32_t lCode, const IjlFunctions& ijl)
{
    const char* const text = ijl.ijlErrorStr(lCode);
    const QString message = QStringLiteral("IJL ERROR: [") + QString::number(lCode) + QStringLiteral("]")
                            + QStringLiteral(" - ") + StringFromAnsiPointer(text) + QStringLiteral(" - ") + sText;
    box.show(message, QStringLiteral("Intel(R) JPEG Library"), MessageBox::Icon::Exclamation);
}

QString StringFromAnsiPointer(const char* const& lAddress)
{
    if (!lAddress)
        return {};
    const std::string ansi(lAddress, strnlen(lAddress, kMaxLibraryText));
    return fromAnsi(ansi.c_str());
}

} // namespace glimmer
