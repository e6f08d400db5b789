#pragma once

#include "imaging/IJL.h"

#include <QString>

#include <cstdint>

namespace glimmer {

class MessageBox;
class cDIBSection;

// Encodes the picture that `oDib` holds (after a successful Load) at quality
// 100 and makes the stream the whole content of `sJpegFile`. A library failure
// is shown in `box` and gives false, with no file created or changed; a file
// error raises RuntimeError and an overflowing size OverflowError.
bool SaveDibAsJpeg(MessageBox& box, cDIBSection& oDib, const QString& sJpegFile,
                   const IjlFunctions& ijl = ijlLibrary());

// Shows "IJL ERROR: [code] - library text - sText" in an exclamation box
// titled "Intel(R) JPEG Library".
void ReportJpegError(MessageBox& box, const QString& sText, std::int32_t lCode,
                     const IjlFunctions& ijl = ijlLibrary());

// The text of a NUL-terminated narrow string; empty for nullptr.
QString StringFromAnsiPointer(const char* const& lAddress);

} // namespace glimmer
