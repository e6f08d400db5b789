#include "platform/Runtime.h"

#include "formats/BitmapFile.h"
#include "platform/RuntimeError.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

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

} // namespace

void writeFileAtomically(const QString& path, std::span<const std::byte> bytes)
{
    if (path.isEmpty())
        throw RuntimeError(RuntimeError::BadFileName, QStringLiteral("Bad file name: the path is empty"));
    QSaveFile file(writeTarget(path));
    if (!file.open(QIODevice::WriteOnly))
        throw writeError(path, file.errorString());
    const auto size = static_cast<qint64>(bytes.size());
    if (file.write(reinterpret_cast<const char*>(bytes.data()), size) != size) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw writeError(path, reason);
    }
    if (!file.commit())
        throw writeError(path, file.errorString());
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
