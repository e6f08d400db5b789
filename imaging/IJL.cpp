#include "imaging/IJL.h"

#include "platform/JpegEncoder.h"

#include <limits>
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

const IjlFunctions& ijlLibrary()
{
    static const IjlFunctions functions{glimmer::ijlInit, glimmer::ijlWrite, glimmer::ijlFree, glimmer::ijlErrorStr};
    return functions;
}

} // namespace glimmer
