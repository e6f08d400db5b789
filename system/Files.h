#pragma once

#include <cstddef>
#include <span>
#include <stdexcept>
#include <string>

// Writing whole files safely, for every program: paths are UTF-8 (or any
// bytes the file system takes), errors are FileError.
namespace glimmer {

// A file that could not be written: what stood in the way, the system's
// error number (0 when there is none) and a text for people naming the path,
// such as `Path not found: cannot write "a/b.png" (No such file or directory)`.
class FileError : public std::runtime_error {
public:
    enum class Kind {
        BadFileName,        // the path is empty
        PathNotFound,       // its folder is missing, or is not a folder
        PermissionDenied,   // the folder or the file may not be written
        Access,             // anything else: a folder, FIFO or device in the way, a full disk, a failed sync
    };

    FileError(Kind kind, int error, const std::string& text) : std::runtime_error(text), kind_(kind), error_(error) {}

    Kind kind() const noexcept { return kind_; }
    int error() const noexcept { return error_; }

private:
    Kind kind_;
    int error_;
};

// `Unsynced` skips waiting for the disk: for a file its caller reads at once
// and then deletes, such as a thumbnailer's output, which the file manager
// copies into its own cache. The file is still whole when it appears; it may
// not outlive a crash of the system.
enum class Durability { Synced, Unsynced };

// Makes `bytes` the whole content of the file at `path`, through a temporary
// file in the same folder that is renamed over it: a failure leaves any
// existing file as it was. Raises FileError.
//
// Only a regular file is ever replaced. A folder, a FIFO, a device or a socket
// at `path` is refused (Access) and left as it is. A symbolic link is written
// through: when its final target is a regular file, that file is replaced
// (its temporary file lies in the target's folder) and the link stays; a link
// that leads nowhere, or to anything but a regular file, is refused.
void writeFileAtomically(const std::string& path, std::span<const std::byte> bytes,
                         Durability durability = Durability::Synced);

// writeFileAtomically in two steps, for callers that write many files and
// must not wait on the disk for each: `stage` writes the bytes to a new
// temporary file beside the file `path` replaces (named after it, ending in
// ".part-" and six characters) and starts writing it to disk; `commit` waits
// until the bytes are on disk and renames the temporary file into place. A
// staged file that is not committed is removed when it is destroyed.
class StagedFile {
public:
    StagedFile() = default;
    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&& other) noexcept;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    ~StagedFile();

    // Raises FileError as writeFileAtomically does; nothing is left behind.
    static StagedFile stage(const std::string& path, std::span<const std::byte> bytes,
                            Durability durability = Durability::Synced);

    // Adds `bytes` to the end of the staged file: for a caller that makes its
    // temporary file before it has the bytes, such as a program that gives
    // up opening files before it reads its input. Raises FileError as stage()
    // does; the staged file stays until committed or destroyed.
    void append(std::span<const std::byte> bytes);

    // Waits until the bytes are on disk. Syncing many staged files first and
    // committing them after lets one journal commit serve them all.
    void sync() noexcept;

    // Syncs (unless done) and renames the temporary file into place. Raises
    // FileError naming the path and the reason (a full disk, a failed sync, a
    // rename refused); the temporary file is gone either way, and after a
    // failure the file at the path is as it was.
    void commit();

    // The file commit() replaces: the path given, or the final target of a
    // symbolic link there. Its folder holds the temporary file.
    const std::string& target() const noexcept { return target_; }

private:
    void discard() noexcept;

    std::string path_;        // as given, for messages
    std::string target_;      // the file replaced: `path_`, or the final target of a link
    std::string temporary_;   // empty once committed or discarded
    int fd_ = -1;             // open until synced
    int error_ = 0;           // what the sync met
    Durability durability_ = Durability::Synced;
};

// The system's text for an error number, such as "No such file or directory".
std::string errorText(int error);

} // namespace glimmer
