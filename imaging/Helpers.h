#pragma once

#include "jpeg/IJL.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace glimmer {

class MessageBox;
class cDIBSection;

// A failure of the JPEG library: its result code and the writer's own text
// ("Failed to save to JPG").
class JpegLibraryError : public std::runtime_error {
public:
    JpegLibraryError(std::int32_t code, const std::string& text);
    std::int32_t code() const noexcept { return code_; }
    const std::string& text() const noexcept { return text_; }

private:
    std::int32_t code_;
    std::string text_;
};

// The encoding step of SaveDibAsJpeg, with no file and no message: the
// stream ijlEncodeDib makes of the rows of a loaded cDIBSection. A library
// failure raises JpegLibraryError, an overflowing size OverflowError.
std::vector<std::byte> EncodeDibAsJpeg(const std::byte* lBits, std::int32_t lWidth, std::int32_t lHeight,
                           std::int32_t lBytesPerScanLine, const IjlFunctions& ijl = ijlLibrary());

// "IJL ERROR: [code] - library text - sText", the text of the error box.
std::string JpegErrorMessage(const std::string& sText, std::int32_t lCode, const IjlFunctions& ijl = ijlLibrary());

// Encodes the picture that `oDib` holds (after a successful Load) at quality
// 100 and makes the stream the whole content of `sJpegFile`. A library failure
// is shown in `box` and gives false, with no file created or changed; a file
// error raises RuntimeError and an overflowing size OverflowError.
bool SaveDibAsJpeg(MessageBox& box, cDIBSection& oDib, const std::string& sJpegFile,
                   const IjlFunctions& ijl = ijlLibrary());

// Shows "IJL ERROR: [code] - library text - sText" in an exclamation box
// titled "Intel(R) JPEG Library".
void ReportJpegError(MessageBox& box, const std::string& sText, std::int32_t lCode,
                     const IjlFunctions& ijl = ijlLibrary());

// The text of a NUL-terminated narrow string; empty for nullptr.
std::string StringFromAnsiPointer(const char* const& lAddress);

} // namespace glimmer
