#pragma once

#include "formats/ByteSource.h"

#include <memory>
#include <string>

namespace glimmer {

// The file at `utf8Path`, read where it lies. Refuses what is not a regular
// file ("is a folder, not a file", "is not a regular file") and what cannot
// be opened ("cannot be read: ..."), each a FormatError (Io).
std::unique_ptr<ByteSource> openFileSource(const std::string& utf8Path);

// The same over a descriptor opened by the caller, which the source takes
// over and closes, even when it refuses it: for a program that opens its
// input before it gives up opening files.
std::unique_ptr<ByteSource> fileSourceFromDescriptor(int fd);

} // namespace glimmer
