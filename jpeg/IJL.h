#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace glimmer {

// Our JPEG library: the parameter record and the operations over it.

// Write mode: the whole image, into the memory buffer at JPGBytes.
inline constexpr std::int32_t IJL_JBUFF_WRITEWHOLEIMAGE = 9;

// Result codes: 0 is success, failures are negative; ijlErrorStr has a text for each.
enum IjlCode : std::int32_t {
    IjlOk = 0,
    IjlNoRecord = -1,
    IjlNotInitialised = -2,
    IjlBadMode = -3,
    IjlNoPixels = -4,
    IjlBadDibSize = -5,
    IjlBadChannels = -6,
    IjlBadJpegSize = -7,
    IjlBadQuality = -8,
    IjlNoBuffer = -9,
    IjlBufferTooSmall = -10,
    IjlEncoderFailed = -11,
    IjlOutOfMemory = -12,
    IjlReadUnsupported = -13,
    IjlBadStreamLength = -14,   // a stream length outside the buffer came back
};

// How the colour planes are sampled: every pixel (4:4:4) or 2 x 2 blocks (4:2:0).
enum class IjlChroma : std::int32_t { Full = 0, Half = 1 };

struct IjlInstance;

// The parameter record. Start from a zero-filled record, prepare it with
// ijlInit, describe the picture and the buffer, call ijlWrite, give it back
// with ijlFree.
struct JPEG_CORE_PROPERTIES {
    // The DIB: rows of 3-byte blue-green-red pixels, read in place.
    std::byte* DIBBytes;
    std::int32_t DIBWidth;
    std::int32_t DIBHeight;       // negative: the rows are stored bottom-up
    std::int32_t DIBPadBytes;     // bytes after the pixels of each row
    std::int32_t dibChannels;     // ijlInit: 3, the only count written

    // The JPEG stream.
    std::int32_t JPGWidth;        // must be the DIB's; there is no scaling
    std::int32_t JPGHeight;
    std::int32_t jquality;        // 1..100; ijlInit: 75
    IjlChroma chroma;             // ijlInit: Full
    std::byte* JPGBytes;          // the buffer the stream goes into
    std::int32_t JPGSizeBytes;    // its capacity; after ijlWrite, the stream's length

    IjlInstance* instance;        // made by ijlInit, released by ijlFree
};

struct IjlVersion {
    std::int32_t major;
    std::int32_t minor;
    const char* name;
    const char* version;
};

std::int32_t ijlInit(JPEG_CORE_PROPERTIES* record);
std::int32_t ijlFree(JPEG_CORE_PROPERTIES* record);
// Reading is not offered; it always returns IjlReadUnsupported.
std::int32_t ijlRead(JPEG_CORE_PROPERTIES* record, std::int32_t mode);
// Encodes the DIB the record describes into the buffer; never writes beyond
// JPGSizeBytes (IjlBufferTooSmall when the stream does not fit).
std::int32_t ijlWrite(JPEG_CORE_PROPERTIES* record, std::int32_t mode);
const IjlVersion* ijlGetLibVersion();
// A NUL-terminated text for a result code; nullptr for a code we never return.
const char* ijlErrorStr(std::int32_t code);

// The operations the JPEG writer calls, as one replaceable table.
struct IjlFunctions {
    std::function<std::int32_t(JPEG_CORE_PROPERTIES*)> ijlInit;
    std::function<std::int32_t(JPEG_CORE_PROPERTIES*, std::int32_t)> ijlWrite;
    std::function<std::int32_t(JPEG_CORE_PROPERTIES*)> ijlFree;
    std::function<const char*(std::int32_t)> ijlErrorStr;
};

// The table of the library's own operations.
const IjlFunctions& ijlLibrary();

// A failure of the library: its result code and the caller's own text
// ("Failed to save to JPG").
class IjlError : public std::runtime_error {
public:
    IjlError(std::int32_t code, const std::string& text) : std::runtime_error(text), code_(code) {}
    std::int32_t code() const noexcept { return code_; }

private:
    std::int32_t code_;
};

// The JPEG stream, at quality 100, of 24-bit blue-green-red rows laid out as
// a bottom-up DIB holds them: `bytesPerScanLine` bytes a row, the bottom row
// first for a positive height. The library instance is given back by every
// path. Raises IjlError for a library failure and std::overflow_error for
// sizes whose products leave 32 bits.
std::vector<std::byte> ijlEncodeDib(const std::byte* bits, std::int32_t width, std::int32_t height,
                                    std::int32_t bytesPerScanLine, const IjlFunctions& ijl = ijlLibrary());

// "IJL ERROR: [code] - library text - text": what the window's error box
// and the converter say of a library failure.
std::string ijlErrorMessage(const std::string& text, std::int32_t code, const IjlFunctions& ijl = ijlLibrary());

} // namespace glimmer
