#include "jpeg/IJL.h"

#include "jpeg/JpegEncoder.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>

namespace glimmer {

struct IjlInstance {
    static constexpr std::uint32_t kAlive = 0x494a4c31;   // "IJL1"
    std::uint32_t alive = kAlive;
};

namespace {

std::int32_t fromStatus(jpeg::Status status)
{
    switch (status) {
    case jpeg::Status::Ok: return IjlOk;
    case jpeg::Status::BadImage: return IjlBadDibSize;
    case jpeg::Status::BadQuality: return IjlBadQuality;
    case jpeg::Status::BufferTooSmall: return IjlBufferTooSmall;
    case jpeg::Status::EncoderFailed: return IjlEncoderFailed;
    }
    return IjlEncoderFailed;
}

// Library texts are short; a longer one is cut here rather than read without end.
constexpr std::size_t kMaxLibraryText = 4096;

template <typename T>
T checkedMul(T a, T b)
{
    T r{};
    if (__builtin_mul_overflow(a, b, &r))
        throw std::overflow_error("Overflow");
    return r;
}

template <typename T>
T checkedSub(T a, T b)
{
    T r{};
    if (__builtin_sub_overflow(a, b, &r))
        throw std::overflow_error("Overflow");
    return r;
}

} // namespace

std::int32_t ijlInit(JPEG_CORE_PROPERTIES* record)
{
    if (!record)
        return IjlNoRecord;
    auto* instance = new (std::nothrow) IjlInstance;
    if (!instance)
        return IjlOutOfMemory;
    record->dibChannels = 3;
    record->jquality = 75;
    record->chroma = IjlChroma::Full;
    record->instance = instance;
    return IjlOk;
}

std::int32_t ijlFree(JPEG_CORE_PROPERTIES* record)
{
    if (!record)
        return IjlNoRecord;
    if (!record->instance || record->instance->alive != IjlInstance::kAlive)
        return IjlNotInitialised;
    delete record->instance;
    record->instance = nullptr;
    return IjlOk;
}

std::int32_t ijlRead(JPEG_CORE_PROPERTIES* record, std::int32_t)
{
    return record ? IjlReadUnsupported : IjlNoRecord;
}

std::int32_t ijlWrite(JPEG_CORE_PROPERTIES* record, std::int32_t mode)
{
    if (!record)
        return IjlNoRecord;
    const JPEG_CORE_PROPERTIES& r = *record;
    if (!r.instance || r.instance->alive != IjlInstance::kAlive)
        return IjlNotInitialised;
    if (mode != IJL_JBUFF_WRITEWHOLEIMAGE)
        return IjlBadMode;
    if (r.dibChannels != 3)
        return IjlBadChannels;
    if (!r.DIBBytes)
        return IjlNoPixels;
    if (r.DIBWidth <= 0 || r.DIBHeight == 0 || r.DIBHeight == std::numeric_limits<std::int32_t>::min()
        || r.DIBPadBytes < 0)
        return IjlBadDibSize;
    const std::int32_t rows = r.DIBHeight < 0 ? -r.DIBHeight : r.DIBHeight;
    if (r.JPGWidth != r.DIBWidth || r.JPGHeight != rows)
        return IjlBadJpegSize;
    if (r.jquality < 1 || r.jquality > 100)
        return IjlBadQuality;
    if (!r.JPGBytes || r.JPGSizeBytes <= 0)
        return IjlNoBuffer;

    const std::int64_t rowBytes = std::int64_t{r.DIBWidth} * 3;
    const std::int64_t stride = rowBytes + r.DIBPadBytes;
    const std::int64_t pixelBytes = stride * (rows - 1) + rowBytes;
    const jpeg::BgrImage image{{r.DIBBytes, static_cast<std::size_t>(pixelBytes)}, r.DIBWidth, rows, stride,
                               r.DIBHeight < 0};
    try {
        const jpeg::Result result =
            jpeg::encode(image, r.jquality, r.chroma == IjlChroma::Half ? jpeg::Chroma::Half : jpeg::Chroma::Full,
                         {r.JPGBytes, static_cast<std::size_t>(r.JPGSizeBytes)});
        if (result.status != jpeg::Status::Ok)
            return fromStatus(result.status);
        record->JPGSizeBytes = static_cast<std::int32_t>(result.size);
        return IjlOk;
    } catch (const std::bad_alloc&) {
        return IjlOutOfMemory;
    }
}

const IjlVersion* ijlGetLibVersion()
{
    static const std::string text = "1.0 (libjpeg-turbo " + std::string(jpeg::libraryVersion()) + ")";
    static const IjlVersion version{1, 0, "Glimmerbox JPEG library over libjpeg-turbo", text.c_str()};
    return &version;
}

const char* ijlErrorStr(std::int32_t code)
{
    switch (code) {
    case IjlOk: return "No error";
    case IjlNoRecord: return "No parameter record was given";
    case IjlNotInitialised: return "The parameter record was not prepared by ijlInit";
    case IjlBadMode: return "Unsupported read or write mode";
    case IjlNoPixels: return "The DIB has no pixel memory";
    case IjlBadDibSize: return "Invalid DIB size or row padding";
    case IjlBadChannels: return "Only 3-channel blue-green-red DIBs can be written";
    case IjlBadJpegSize: return "The JPEG size must equal the DIB size";
    case IjlBadQuality: return "The quality must lie between 1 and 100";
    case IjlNoBuffer: return "No output buffer was given";
    case IjlBufferTooSmall: return "The JPEG stream does not fit into the output buffer";
    case IjlEncoderFailed: return "The JPEG encoder failed";
    case IjlOutOfMemory: return "Out of memory";
    case IjlReadUnsupported: return "Reading JPEG streams is not supported";
    case IjlBadStreamLength: return "The reported stream length lies outside the output buffer";
    default: return nullptr;
    }
}

std::vector<std::byte> ijlEncodeDib(const std::byte* bits, std::int32_t width, std::int32_t height,
                                    std::int32_t bytesPerScanLine, const IjlFunctions& ijl)
{
    JPEG_CORE_PROPERTIES record{};
    const std::int32_t init = ijl.ijlInit(&record);
    if (init != 0)
        throw IjlError(init, "Failed to initialise the IJL library");
    // The library instance goes back when the call ends, by any path.
    struct Release {
        const IjlFunctions& ijl;
        JPEG_CORE_PROPERTIES& record;
        ~Release() { ijl.ijlFree(&record); }
    } release{ijl, record};

    // The library only reads the pixels.
    record.DIBBytes = const_cast<std::byte*>(bits);
    record.DIBWidth = width;
    // A negative height tells the library that the rows lie bottom-up, as in the DIB.
    record.DIBHeight = checkedSub<std::int32_t>(0, height);
    record.DIBPadBytes = checkedSub(bytesPerScanLine, checkedMul<std::int32_t>(3, width));
    record.JPGWidth = width;
    record.JPGHeight = height;
    record.jquality = 100;

    const std::int32_t capacity = checkedMul<std::int32_t>(checkedMul(width, height), 4);
    const auto buffer = std::make_unique_for_overwrite<std::byte[]>(capacity > 0 ? static_cast<std::size_t>(capacity) : 0);
    record.JPGBytes = buffer.get();
    record.JPGSizeBytes = capacity;

    const std::int32_t written = ijl.ijlWrite(&record, IJL_JBUFF_WRITEWHOLEIMAGE);
    if (written != 0)
        throw IjlError(written, "Failed to save to JPG");
    const std::int32_t length = record.JPGSizeBytes;
    if (length < 0 || length > capacity)
        throw IjlError(IjlBadStreamLength, "Failed to save to JPG");
    return {buffer.get(), buffer.get() + length};
}

std::string ijlErrorMessage(const std::string& text, std::int32_t code, const IjlFunctions& ijl)
{
    const char* const library = ijl.ijlErrorStr(code);
    return "IJL ERROR: [" + std::to_string(code) + "] - "
           + (library ? std::string(library, strnlen(library, kMaxLibraryText)) : std::string()) + " - " + text;
}

const IjlFunctions& ijlLibrary()
{
    static const IjlFunctions functions{glimmer::ijlInit, glimmer::ijlWrite, glimmer::ijlFree, glimmer::ijlErrorStr};
    return functions;
}

} // namespace glimmer
