#pragma once

#include "system/Files.h"
#include "platform/RuntimeError.h"

#include <string>
#include <cstddef>
#include <span>

namespace glimmer {

class Image;

// Writes `image` as a 24-bit uncompressed Windows bitmap file at `path`.
// Raises RuntimeError naming the path and the reason; an existing file
// survives a failed write unchanged.
void SavePicture(const Image& image, const std::string& path);

// Deletes a file. Raises RuntimeError: FileNotFound when it is absent,
// PathFileAccess for a folder, PermissionDenied when it cannot be removed.
void Kill(const std::string& path);

// Lets the event loop process the events that are waiting: through the
// pump the window's toolkit installs; nothing without one.
void DoEvents();
// Installs `pump` and returns the one it replaces.
void (*setEventPump(void (*pump)()))();

// writeFileAtomically (system/Files.h) as the window calls it: its
// failure raised as the RuntimeError the window records (PathNotFound,
// PermissionDenied, PathFileAccess or BadFileName), with the same text.
void writeWholeFile(const std::string& path, std::span<const std::byte> bytes,
                         Durability durability = Durability::Synced);

// The window's run-time error for a file that could not be written.
RuntimeError runtimeErrorOf(const FileError& error);

} // namespace glimmer
