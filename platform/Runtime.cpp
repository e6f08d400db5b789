#include "platform/Runtime.h"

#include "formats/BitmapFile.h"
#include "platform/RuntimeError.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace glimmer {

namespace {

// The run-time error for a file that could not be written, by what is in the way.
RuntimeError writeError(const QString& path, const QString& reason)
{
    const QFileInfo target(path);
    const QFileInfo folder(target.absolutePath());
    if (!folder.exists() || !folder.isDir())
        return RuntimeError(RuntimeError::PathNotFound,
                            QStringLiteral("Path not found: cannot write \"%1\" (%2)").arg(path, reason));
    if (target.isDir())
        return RuntimeError(RuntimeError::PathFileAccess,
                            QStringLiteral("Path/File access error: \"%1\" is a folder (%2)").arg(path, reason));
    if (!folder.isWritable() || (target.exists() && !target.isWritable()))
        return RuntimeError(RuntimeError::PermissionDenied,
                            QStringLiteral("Permission denied: cannot write \"%1\" (%2)").arg(path, reason));
    return RuntimeError(RuntimeError::PathFileAccess,
                        QStringLiteral("Path/File access error: cannot write \"%1\" (%2)").arg(path, reason));
}

RuntimeError notAFile(const QString& path, const QString& what)
{
    return RuntimeError(RuntimeError::PathFileAccess, QStringLiteral("Path/File access error: \"%1\" %2").arg(path, what));
}

// The file a write to `path` replaces: `path` itself, or the final target of
// a symbolic link. Raises when what is there is not a regular file.
QString writeTarget(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return path;   // nothing there, or not reachable: the save names the reason
    QString target = path;
    if (S_ISLNK(st.st_mode)) {
        const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(native.constData(), nullptr), &std::free);
        if (!resolved || ::stat(resolved.get(), &st) != 0)
            throw notAFile(path, QStringLiteral("is a symbolic link that leads nowhere (%1)")
                                     .arg(QString::fromLocal8Bit(std::strerror(errno))));
        target = QFile::decodeName(resolved.get());
    }
    if (S_ISDIR(st.st_mode))
        throw notAFile(path, QStringLiteral("is a folder"));
    if (!S_ISREG(st.st_mode))
        throw notAFile(path, QStringLiteral("is not a regular file"));
    return target;
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

StagedFile::StagedFile(StagedFile&& other) noexcept
    : path_(std::move(other.path_)), target_(std::move(other.target_)),
      temporary_(std::exchange(other.temporary_, {})), fd_(std::exchange(other.fd_, -1)), error_(other.error_),
      durability_(other.durability_)
{
}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept
{
    if (this != &other) {
        discard();
        path_ = std::move(other.path_);
        target_ = std::move(other.target_);
        temporary_ = std::exchange(other.temporary_, {});
        fd_ = std::exchange(other.fd_, -1);
        error_ = other.error_;
        durability_ = other.durability_;
    }
    return *this;
}

StagedFile::~StagedFile()
{
    discard();
}

void StagedFile::discard() noexcept
{
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
    if (!temporary_.isEmpty())
        ::unlink(std::exchange(temporary_, {}).constData());
}

StagedFile StagedFile::stage(const QString& path, std::span<const std::byte> bytes, Durability durability)
{
    if (path.isEmpty())
        throw RuntimeError(RuntimeError::BadFileName, QStringLiteral("Bad file name: the path is empty"));
    StagedFile file;
    file.path_ = path;
    file.durability_ = durability;
    file.target_ = QFile::encodeName(writeTarget(path));
    struct stat old {};
    const bool replacing = ::stat(file.target_.constData(), &old) == 0;
    if (replacing && ::access(file.target_.constData(), W_OK) != 0)
        throw writeError(path, QStringLiteral("the file is not writable"));

    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; file.fd_ < 0; ++attempt) {
        // Six letters from the kernel's random bytes: Qt's generator would
        // first seed itself, which costs the thumbnailer more than its write.
        unsigned char random[6] = {};
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
            throw writeError(path, errnoText(errno));
        QByteArray name = file.target_ + ".part-";
        for (const unsigned char r : random)
            name += letters[r % (sizeof letters - 1)];
        file.fd_ = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file.fd_ >= 0)
            file.temporary_ = name;
        else if (errno != EEXIST || attempt == 100)
            throw writeError(path, errnoText(errno));
    }
    // A replaced picture keeps its permissions, as a rewritten one would.
    if (replacing)
        ::fchmod(file.fd_, old.st_mode & 07777);
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(file.fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw writeError(path, errnoText(n < 0 ? errno : ENOSPC));
        done += static_cast<std::size_t>(n);
    }
    // Hand the bytes to the disk now, so that commit() mostly finds them there.
    if (durability == Durability::Synced)
        ::sync_file_range(file.fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
    return file;
}

void StagedFile::sync() noexcept
{
    if (fd_ < 0)
        return;
    error_ = durability_ == Durability::Unsynced || ::fdatasync(fd_) == 0 ? 0 : errno;
    if (::close(std::exchange(fd_, -1)) != 0 && error_ == 0)
        error_ = errno;
}

void StagedFile::commit()
{
    if (temporary_.isEmpty())
        throw RuntimeError(RuntimeError::PathFileAccess,
                           QStringLiteral("Path/File access error: \"%1\" is not staged").arg(path_));
    sync();
    if (error_ == 0 && ::rename(temporary_.constData(), target_.constData()) != 0)
        error_ = errno;
    if (error_ != 0) {
        discard();
        throw writeError(path_, errnoText(error_));
    }
    temporary_.clear();
}

void writeFileAtomically(const QString& path, std::span<const std::byte> bytes, Durability durability)
{
    StagedFile::stage(path, bytes, durability).commit();
}

void SavePicture(const QImage& image, const QString& path)
{
    QByteArray bytes;
    try {
        bytes = bmp::encode24(image);
    } catch (const FormatError& e) {
        throw RuntimeError(RuntimeError::InvalidPicture,
                           QStringLiteral("Invalid picture: cannot save \"%1\" (%2)").arg(path, QString::fromUtf8(e.what())));
    }
    writeFileAtomically(path, {reinterpret_cast<const std::byte*>(bytes.constData()),
                               static_cast<std::size_t>(bytes.size())});
}

QString printable(const QString& text)
{
    return QString::fromStdString(glimmer::printable(text.toStdString()));
}

void Kill(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || (!info.exists() && !info.isSymLink()))
        throw RuntimeError(RuntimeError::FileNotFound, QStringLiteral("File not found: \"%1\"").arg(path));
    if (info.isDir())
        throw RuntimeError(RuntimeError::PathFileAccess,
                           QStringLiteral("Path/File access error: \"%1\" is a folder").arg(path));
    QFile file(path);
    if (!file.remove())
        throw RuntimeError(RuntimeError::PermissionDenied,
                           QStringLiteral("Permission denied: cannot delete \"%1\" (%2)").arg(path, file.errorString()));
}

void DoEvents()
{
    QCoreApplication::processEvents();
}

} // namespace glimmer
