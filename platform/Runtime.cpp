#include "platform/Runtime.h"

#include "formats/BitmapFile.h"

#include "platform/Paths.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace glimmer {

namespace {

void (*eventPump)() = nullptr;

} // namespace

RuntimeError runtimeErrorOf(const FileError& error)
{
    int number = RuntimeError::PathFileAccess;
    switch (error.kind()) {
    case FileError::Kind::BadFileName: number = RuntimeError::BadFileName; break;
    case FileError::Kind::PathNotFound: number = RuntimeError::PathNotFound; break;
    case FileError::Kind::PermissionDenied: number = RuntimeError::PermissionDenied; break;
    case FileError::Kind::Access: number = RuntimeError::PathFileAccess; break;
    }
    return RuntimeError(number, error.what());
}

void writeWholeFile(const std::string& path, std::span<const std::byte> bytes, Durability durability)
{
    try {
        writeFileAtomically(path, bytes, durability);
    } catch (const FileError& e) {
        throw runtimeErrorOf(e);
    }
}

void SavePicture(const Image& image, const std::string& path)
{
    Bytes bytes;
    try {
        bytes = bmp::encode24(image);
    } catch (const FormatError& e) {
        throw RuntimeError(RuntimeError::InvalidPicture,
                           "Invalid picture: cannot save \"" + path + "\" (" + e.what() + ")");
    }
    writeWholeFile(path, bytes);
}

void Kill(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(fsPath(path), ec);
    if (path.empty() || !fs::exists(status))
        throw RuntimeError(RuntimeError::FileNotFound, "File not found: \"" + path + "\"");
    if (fs::is_directory(status))
        throw RuntimeError(RuntimeError::PathFileAccess, "Path/File access error: \"" + path + "\" is a folder");
    if (!fs::remove(fsPath(path), ec))
        throw RuntimeError(RuntimeError::PermissionDenied,
                           "Permission denied: cannot delete \"" + path + "\" (" + ec.message() + ")");
}

void (*setEventPump(void (*pump)()))()
{
    return std::exchange(eventPump, pump);
}

void DoEvents()
{
    if (eventPump)
        eventPump();
}

} // namespace glimmer
