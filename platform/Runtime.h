#pragma once

#include <QImage>
#include <QString>

#include <cstddef>
#include <span>

namespace glimmer {

// Writes `image` as a 24-bit uncompressed Windows bitmap file at `path`.
// Raises RuntimeError naming the path and the reason; an existing file
// survives a failed write unchanged.
void SavePicture(const QImage& image, const QString& path);

// Deletes a file. Raises RuntimeError: FileNotFound when it is absent,
// PathFileAccess for a folder, PermissionDenied when it cannot be removed.
void Kill(const QString& path);

// Lets the event loop process the events that are waiting.
void DoEvents();

// Makes `bytes` the whole content of the file at `path`, through a temporary
// file in the same folder that is renamed over it: a failure leaves any
// existing file as it was. Raises RuntimeError (PathNotFound,
// PermissionDenied or PathFileAccess) naming the path and the reason.
//
// Only a regular file is ever replaced. A folder, a FIFO, a device or a socket
// at `path` is refused (PathFileAccess) and left as it is. A symbolic link is
// written through: when its final target is a regular file, that file is
// replaced (its temporary file lies in the target's folder) and the link
// stays; a link that leads nowhere, or to anything but a regular file, is
// refused.
//
// `Durability::Unsynced` skips waiting for the disk: for a file its caller
// reads at once and then deletes, such as a thumbnailer's output, which the
// file manager copies into its own cache. The file is still whole when it
// appears; it may not outlive a crash of the system.
enum class Durability { Synced, Unsynced };
void writeFileAtomically(const QString& path, std::span<const std::byte> bytes,
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

    // Raises RuntimeError as writeFileAtomically does; nothing is left behind.
    static StagedFile stage(const QString& path, std::span<const std::byte> bytes,
                            Durability durability = Durability::Synced);

    // Waits until the bytes are on disk. Syncing many staged files first and
    // committing them after lets one journal commit serve them all.
    void sync() noexcept;

    // Syncs (unless done) and renames the temporary file into place. Raises
    // RuntimeError naming the path and the reason (a full disk, a failed
    // sync, a rename refused); the temporary file is gone either way, and
    // after a failure the file at the path is as it was.
    void commit();

private:
    void discard() noexcept;

    QString path_;           // as given, for messages
    QByteArray target_;      // the file replaced: `path_`, or the final target of a link
    QByteArray temporary_;   // empty once committed or discarded
    int fd_ = -1;            // open until synced
    int error_ = 0;          // what the sync met
    Durability durability_ = Durability::Synced;
};

// `text` fit for a one-line message: control characters (C0, DEL, C1), which
// names taken from documents and paths may hold, written out as \xNN.
QString printable(const QString& text);

} // namespace glimmer
